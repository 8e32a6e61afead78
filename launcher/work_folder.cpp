#include "work_folder.h"

#include <shellapi.h>

#include "paths.h"
#include "run_state.h"
#include "text.h"

bool FolderExists(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The shell takes a list of paths ended by two NULs. A path that does not fit
// is refused whole: a cut path would name another folder.
static bool FillShellPath(char (&buffer)[core::kShellPathBufferSize], const char* path) {
  ZeroMemory(buffer, sizeof buffer);
  if (core::TextLength(path) > core::kMaxShellPathLength) return false;
  core::CopyText(buffer, sizeof buffer, path);
  return true;
}

bool ShellCopy(const char* source, const char* target, UINT operation) {
  char from[core::kShellPathBufferSize];
  char to[core::kShellPathBufferSize];
  if (!FillShellPath(from, source) || !FillShellPath(to, target)) return false;
  SHFILEOPSTRUCTA operationRecord;
  ZeroMemory(&operationRecord, sizeof operationRecord);
  operationRecord.hwnd = nullptr;
  operationRecord.wFunc = operation;
  operationRecord.pFrom = from;
  operationRecord.pTo = to;
  operationRecord.fFlags = FOF_SIMPLEPROGRESS | FOF_NOCONFIRMATION;
  operationRecord.hNameMappings = nullptr;
  operationRecord.lpszProgressTitle = "";
  return SHFileOperationA(&operationRecord) == 0;
}

bool ShellDelete(const char* path) {
  char from[core::kShellPathBufferSize];
  if (!FillShellPath(from, path)) return false;
  SHFILEOPSTRUCTA operationRecord;
  ZeroMemory(&operationRecord, sizeof operationRecord);
  operationRecord.hwnd = nullptr;
  operationRecord.wFunc = FO_DELETE;
  operationRecord.pFrom = from;
  operationRecord.pTo = nullptr;
  // No FOF_ALLOWUNDO: the removal deletes for good, not into the recycle bin.
  operationRecord.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
  operationRecord.hNameMappings = nullptr;
  operationRecord.lpszProgressTitle = nullptr;
  return SHFileOperationA(&operationRecord) == 0;
}

bool CreateWorkRoot() {
  UINT length = GetWindowsDirectoryA(Run.windowsDirectory, sizeof Run.windowsDirectory);
  // A Windows directory too long for the buffers would give cut paths, and the
  // shell would copy to or delete another folder than the one meant.
  if (length == 0 || length >= sizeof Run.windowsDirectory) return false;
  if (!core::WindowsDirectoryFits(Run.windowsDirectory)) return false;
  char root[core::kPathBufferSize];
  if (!WorkRootPath(root)) return false;
  if (FolderExists(root)) return true;
  return CreateDirectoryA(root, nullptr) != FALSE;
}

// A run marks its instance number as in progress with a named mutex that lives
// exactly as long as its process, so a crashed or killed run leaves no mark.
static void InstanceClaimName(int32_t instance, char (&name)[48]) {
  core::TextBuffer text = core::MakeText(name, sizeof name);
  core::Append(&text, "DERizi.instance.");
  core::AppendDecimal(&text, instance);
}

static HANDLE ClaimInstance(int32_t instance) {
  char name[48];
  InstanceClaimName(instance, name);
  HANDLE claim = CreateMutexA(nullptr, FALSE, name);
  if (claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(claim);
    return nullptr;
  }
  return claim;
}

static bool InstanceInProgress(int32_t instance) {
  char name[48];
  InstanceClaimName(instance, name);
  HANDLE claim = OpenMutexA(SYNCHRONIZE, FALSE, name);
  if (claim == nullptr) return false;
  CloseHandle(claim);
  return true;
}

static bool InstanceFolderTaken(int32_t instance, void*) {
  char folder[core::kPathBufferSize];
  if (!core::BuildInstanceFolder(Run.windowsDirectory, instance, folder, sizeof folder)) return false;
  return FolderExists(folder);
}

bool CreateInstanceFolder() {
  // Two runs may probe the same free number at once; the one that loses the
  // claim or the creation moves on to the next number instead of giving up.
  const int kAttempts = 64;
  int32_t instance = 1;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    instance = core::FirstFreeInstance(InstanceFolderTaken, nullptr, instance);
    HANDLE claim = ClaimInstance(instance);
    if (claim == nullptr) {
      ++instance;
      continue;
    }
    char folder[core::kPathBufferSize];
    if (!core::BuildInstanceFolder(Run.windowsDirectory, instance, folder, sizeof folder)) {
      CloseHandle(claim);
      return false;
    }
    if (CreateDirectoryA(folder, nullptr)) {
      Run.instanceNumber = instance;
      Run.instanceClaim = claim;
      return true;
    }
    DWORD error = GetLastError();
    CloseHandle(claim);
    if (error == ERROR_PATH_NOT_FOUND) {
      // Another run removed the emptied work root between our steps 1 and 2.
      char root[core::kPathBufferSize];
      if (!WorkRootPath(root) || (!FolderExists(root) && !CreateDirectoryA(root, nullptr))) return false;
      continue;
    }
    // A file by that name stops the probe; a folder means another run won it.
    if (!FolderExists(folder)) return false;
    ++instance;
  }
  return false;
}

void CopyFsCommand() {
  if (!FolderExists(core::kFsCommandName)) return;
  char target[core::kPathBufferSize];
  if (!InstancePath(core::kFsCommandName, target)) return;
  ShellCopy(core::kFsCommandName, target, FO_COPY);
}

static bool EntryOfLiveRun(const WIN32_FIND_DATAA& entry) {
  if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  int32_t instance = core::ParseInstanceName(entry.cFileName);
  if (instance == 0 || instance == Run.instanceNumber) return false;
  return InstanceInProgress(instance);
}

void RemoveWorkRoot() {
  char root[core::kPathBufferSize];
  char pattern[core::kPathBufferSize];
  if (!WorkRootPath(root)) return;
  core::TextBuffer text = core::MakeText(pattern, sizeof pattern);
  core::Append(&text, root);
  core::Append(&text, "\\*");
  if (!text.ok) return;

  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern, &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (core::TextEquals(entry.cFileName, ".") || core::TextEquals(entry.cFileName, "..")) continue;
      if (EntryOfLiveRun(entry)) continue;
      char path[core::kPathBufferSize];
      core::TextBuffer entryPath = core::MakeText(path, sizeof path);
      core::Append(&entryPath, root);
      core::Append(&entryPath, "\\");
      core::Append(&entryPath, entry.cFileName);
      if (entryPath.ok) ShellDelete(path);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  // Fails, as it should, while another run's folder is still in there.
  RemoveDirectoryA(root);
}
