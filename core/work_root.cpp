#include "work_root.h"

#include "text.h"

namespace core {

bool CreateWorkRoot(FolderPlatform& platform, const char* windowsDir) {
  // A Windows directory too long for the buffers would give cut paths, and the
  // shell would copy to or delete another folder than the one meant.
  if (!WindowsDirectoryFits(windowsDir)) return false;
  char root[kPathBufferSize];
  if (!BuildWorkRoot(windowsDir, root, sizeof root)) return false;
  if (platform.FolderExists(root)) return true;
  return platform.CreateFolder(root) == 0;
}

namespace {

struct ProbeContext {
  FolderPlatform* platform;
  const char* windowsDir;
};

bool InstanceFolderTaken(int32_t instance, void* context) {
  auto* probe = static_cast<ProbeContext*>(context);
  char folder[kPathBufferSize];
  if (!BuildInstanceFolder(probe->windowsDir, instance, folder, sizeof folder)) return false;
  return probe->platform->FolderExists(folder);
}

// Enough for every run of a crowded machine to find its number.
constexpr int kProbeRounds = 64;

}  // namespace

bool CreateInstanceFolder(FolderPlatform& platform, const char* windowsDir, int32_t* instance) {
  ProbeContext probe = {&platform, windowsDir};
  int32_t candidate = 1;
  for (int round = 0; round < kProbeRounds; ++round) {
    candidate = FirstFreeInstance(InstanceFolderTaken, &probe, candidate);
    // The mark comes first, so no moment passes in which this run's folder
    // exists without it.
    if (!platform.ClaimInstance(candidate)) {
      ++candidate;
      continue;
    }
    char folder[kPathBufferSize];
    if (!BuildInstanceFolder(windowsDir, candidate, folder, sizeof folder)) {
      platform.ReleaseInstance(candidate);
      return false;
    }
    uint32_t error = platform.CreateFolder(folder);
    if (error == 0) {
      *instance = candidate;
      return true;
    }
    platform.ReleaseInstance(candidate);
    if (error == kErrorPathNotFound) {
      // Another run removed the emptied work root since our first step.
      if (!CreateWorkRoot(platform, windowsDir)) return false;
      continue;
    }
    // A file by that name stops the probe; a folder means another run won it.
    if (error != kErrorAlreadyExists || !platform.FolderExists(folder)) return false;
    ++candidate;
  }
  return false;
}

namespace {

struct RemovalContext {
  FolderPlatform* platform;
  const char* root;
  int32_t ownInstance;
};

void RemoveEntry(const char* name, bool isFolder, void* context) {
  auto* removal = static_cast<RemovalContext*>(context);
  int32_t instance = isFolder ? ParseInstanceName(name) : 0;
  if (instance != 0 && instance != removal->ownInstance && removal->platform->InstanceInProgress(instance))
    return;
  char path[kPathBufferSize];
  TextBuffer text = MakeText(path, sizeof path);
  Append(&text, removal->root);
  Append(&text, "\\");
  Append(&text, name);
  if (text.ok) removal->platform->DeleteTree(path);
}

}  // namespace

void RemoveWorkRoot(FolderPlatform& platform, const char* windowsDir, int32_t ownInstance) {
  char root[kPathBufferSize];
  if (!BuildWorkRoot(windowsDir, root, sizeof root)) return;
  RemovalContext removal = {&platform, root, ownInstance};
  platform.ListFolder(root, RemoveEntry, &removal);
  platform.RemoveEmptyFolder(root);
}

}  // namespace core
