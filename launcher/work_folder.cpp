#include "work_folder.h"

#include <shellapi.h>

#include "paths.h"
#include "run_state.h"
#include "text.h"
#include "work_root.h"

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

namespace {

// A run marks its instance number as in progress with a named mutex that
// lives exactly as long as its process, so a crashed or killed run leaves no
// mark behind.
void InstanceClaimName(int32_t instance, char (&name)[48]) {
  core::TextBuffer text = core::MakeText(name, sizeof name);
  core::Append(&text, "DERizi.instance.");
  core::AppendDecimal(&text, instance);
}

class WindowsFolders final : public core::FolderPlatform {
 public:
  bool FolderExists(const char* path) override { return ::FolderExists(path); }
  uint32_t CreateFolder(const char* path) override {
    return CreateDirectoryA(path, nullptr) ? 0 : GetLastError();
  }
  bool ClaimInstance(int32_t instance) override {
    char name[48];
    InstanceClaimName(instance, name);
    HANDLE claim = CreateMutexA(nullptr, FALSE, name);
    if (claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
      CloseHandle(claim);
      return false;
    }
    Run.instanceClaim = claim;
    return claim != nullptr;
  }
  void ReleaseInstance(int32_t) override {
    CloseHandle(Run.instanceClaim);
    Run.instanceClaim = nullptr;
  }
  bool InstanceInProgress(int32_t instance) override {
    char name[48];
    InstanceClaimName(instance, name);
    HANDLE claim = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (claim == nullptr) return false;
    CloseHandle(claim);
    return true;
  }
  void ListFolder(const char* path, void (*visit)(const char*, bool, void*), void* context) override {
    char pattern[core::kPathBufferSize];
    core::TextBuffer text = core::MakeText(pattern, sizeof pattern);
    core::Append(&text, path);
    core::Append(&text, "\\*");
    if (!text.ok) return;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
      if (core::TextEquals(entry.cFileName, ".") || core::TextEquals(entry.cFileName, "..")) continue;
      visit(entry.cFileName, (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, context);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  void DeleteTree(const char* path) override { ShellDelete(path); }
  void RemoveEmptyFolder(const char* path) override { RemoveDirectoryA(path); }
};

}  // namespace

bool CreateWorkRoot() {
  UINT length = GetWindowsDirectoryA(Run.windowsDirectory, sizeof Run.windowsDirectory);
  if (length == 0 || length >= sizeof Run.windowsDirectory) return false;
  WindowsFolders folders;
  return core::CreateWorkRoot(folders, Run.windowsDirectory);
}

bool CreateInstanceFolder() {
  WindowsFolders folders;
  return core::CreateInstanceFolder(folders, Run.windowsDirectory, &Run.instanceNumber);
}

void CopyFsCommand() {
  if (!FolderExists(core::kFsCommandName)) return;
  char target[core::kPathBufferSize];
  if (!InstancePath(core::kFsCommandName, target)) return;
  ShellCopy(core::kFsCommandName, target, FO_COPY);
}

void RemoveWorkRoot() {
  WindowsFolders folders;
  core::RemoveWorkRoot(folders, Run.windowsDirectory, Run.instanceNumber);
}
