#include "harness.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace harness {
namespace {

struct BoxScan {
  DWORD ownProcess;
  std::vector<HWND> boxes;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM context) {
  auto* scan = reinterpret_cast<BoxScan*>(context);
  char className[32] = {};
  GetClassNameA(window, className, sizeof className);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != scan->ownProcess && std::strcmp(className, "#32770") == 0 && IsWindowVisible(window))
    scan->boxes.push_back(window);
  return TRUE;
}

std::string WindowText(HWND window) {
  char text[4096] = {};
  // WM_GETTEXT works across processes, GetWindowText does not for controls.
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      2000, nullptr);
  return text;
}

bool BoxHasIcon(HWND box) {
  // The icon is a static control with SS_ICON.
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    char className[32] = {};
    GetClassNameA(child, className, sizeof className);
    LONG style = GetWindowLongA(child, GWL_STYLE);
    if (_stricmp(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
      // A box without icon may keep the control but hold no icon in it.
      DWORD_PTR icon = 0;
      SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon);
      return IsWindowVisible(child) != FALSE && icon != 0;
    }
  }
  return false;
}

MessageBoxSeen ReadBox(HWND box, DWORD startTick) {
  MessageBoxSeen seen;
  GetWindowThreadProcessId(box, &seen.processId);
  // A box can be visible a moment before its texts are set: wait for them.
  for (DWORD waited = 0; waited < 5000; waited += 50) {
    seen.caption = WindowText(box);
    HWND textControl = GetDlgItem(box, 0xFFFF);
    seen.text = textControl != nullptr ? WindowText(textControl) : std::string();
    if (!seen.caption.empty() && !seen.text.empty()) break;
    Sleep(50);
  }
  seen.hasIcon = BoxHasIcon(box);
  seen.shownAfterMs = GetTickCount() - startTick;
  return seen;
}

std::set<DWORD> SnapshotProcesses() {
  std::set<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    ids.insert(entry.th32ProcessID);
  CloseHandle(snapshot);
  return ids;
}

// Ends every process that appeared after `before`, so a run that timed out
// leaves nothing behind for the next test.
void EndNewProcesses(const std::set<DWORD>& before) {
  for (DWORD id : SnapshotProcesses()) {
    if (before.count(id) != 0 || id == GetCurrentProcessId()) continue;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (process == nullptr) continue;
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
}

std::vector<char> EnvironmentWith(const std::vector<std::string>& extra) {
  std::vector<std::string> entries;
  char* block = GetEnvironmentStringsA();
  for (char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) entries.push_back(entry);
  FreeEnvironmentStringsA(block);
  for (const std::string& added : extra) {
    std::string name = added.substr(0, added.find('=') + 1);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::string& e) { return _strnicmp(e.c_str(), name.c_str(), name.size()) == 0; }),
                  entries.end());
    entries.push_back(added);
  }
  std::vector<char> result;
  for (const std::string& entry : entries) result.insert(result.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
  result.push_back('\0');
  return result;
}

}  // namespace

RunResult RunAndAnswer(const std::string& program, const RunOptions& options) {
  ManyResult many = RunManyAndAnswer(std::vector<std::string>{program}, options);
  RunResult result;
  result.started = many.allStarted;
  result.timedOut = many.timedOut;
  result.exitCode = many.exitCodes.empty() ? 0 : many.exitCodes[0];
  result.elapsedMs = many.elapsedMs;
  result.boxes = many.boxes;
  return result;
}

ManyResult RunManyAndAnswer(const std::vector<std::string>& programs, const RunOptions& options) {
  ManyResult result;
  std::set<DWORD> before = SnapshotProcesses();
  std::vector<char> environment = EnvironmentWith(options.extraEnvironment);
  std::vector<PROCESS_INFORMATION> processes;
  DWORD startTick = GetTickCount();
  result.allStarted = true;
  for (const std::string& program : programs) {
    std::string commandLine = options.quoteProgram ? "\"" + program + "\"" : program;
    std::vector<char> commandBuffer(commandLine.begin(), commandLine.end());
    commandBuffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.c_str(), commandBuffer.data(), nullptr, nullptr, FALSE, 0,
                        options.extraEnvironment.empty() ? nullptr : environment.data(),
                        options.currentDirectory.empty() ? nullptr : options.currentDirectory.c_str(),
                        &startup, &process)) {
      result.allStarted = false;
      continue;
    }
    processes.push_back(process);
  }

  std::set<HWND> answered;
  std::map<HWND, DWORD> firstSeen;
  for (;;) {
    bool allEnded = true;
    for (const PROCESS_INFORMATION& process : processes)
      if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) allEnded = false;
    BoxScan scan = {GetCurrentProcessId(), {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&scan));
    for (HWND box : scan.boxes) {
      if (answered.count(box) != 0) continue;
      if (firstSeen.count(box) == 0) {
        firstSeen[box] = GetTickCount();
        result.boxes.push_back(ReadBox(box, startTick));
        if (options.onBox) options.onBox(result.boxes.back());
      }
      if (GetTickCount() - firstSeen[box] >= options.answerAfterMs) {
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        answered.insert(box);
      }
    }
    if (allEnded) break;
    if (GetTickCount() - startTick > options.timeoutMs) {
      result.timedOut = true;
      for (const PROCESS_INFORMATION& process : processes) TerminateProcess(process.hProcess, 0xDEAD);
      EndNewProcesses(before);
      break;
    }
    Sleep(20);
  }
  result.elapsedMs = GetTickCount() - startTick;
  for (const PROCESS_INFORMATION& process : processes) {
    DWORD code = 0;
    WaitForSingleObject(process.hProcess, 5000);
    GetExitCodeProcess(process.hProcess, &code);
    result.exitCodes.push_back(code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return result;
}

std::string BinDir() {
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path, length);
  return text.substr(0, text.find_last_of("\\/"));
}

std::string WindowsDir() {
  char path[MAX_PATH] = {};
  GetWindowsDirectoryA(path, sizeof path);
  return path;
}

std::string WorkRoot() { return WindowsDir() + "\\DERizi"; }

std::string Join(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

std::string ScratchDir(const std::string& name) {
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  std::string base = std::string(temp) + "e2e";
  CreateDirectoryA(base.c_str(), nullptr);
  std::string safeName = name;
  for (char& c : safeName)
    if (c == '/' || c == '\\' || c == ':') c = '_';
  std::string folder = Join(base, safeName);
  RemoveTree(folder);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ReadFileBytes(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  CloseHandle(file);
  return ok;
}

void RemoveTree(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(Join(path, "*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name != "." && name != "..") RemoveTree(Join(path, name));
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

static void ListInto(const std::string& root, const std::string& prefix, std::vector<std::string>* out) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(Join(root, "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    std::string relative = prefix.empty() ? name : prefix + "\\" + name;
    out->push_back(relative);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ListInto(Join(root, name), relative, out);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

std::vector<std::string> ListTree(const std::string& root) {
  std::vector<std::string> entries;
  ListInto(root, "", &entries);
  std::sort(entries.begin(), entries.end());
  return entries;
}

struct WindowScan {
  DWORD process;
  std::vector<HWND> windows;
};

static BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  auto* scan = reinterpret_cast<WindowScan*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == scan->process) scan->windows.push_back(window);
  return TRUE;
}

std::vector<HWND> WindowsOfProcess(DWORD processId) {
  WindowScan scan = {processId, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&scan));
  return scan.windows;
}

std::vector<DWORD> ProcessesNamed(const std::string& exeName) {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (_stricmp(entry.szExeFile, exeName.c_str()) == 0) ids.push_back(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return ids;
}

bool WaitUntil(DWORD timeoutMs, bool (*condition)(void*), void* context) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition(context)) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(50);
  }
}

}  // namespace harness
