#include "player_fixture.h"

#include <cstring>

#include "harness.h"
#include "smf_writer.h"

namespace player_test {

namespace {

const char kClassName[] = "WinMin : Main";
const char kStandInFolder[] = "winmm-double";

void ParseFields(const std::string& text, LogLine* line) {
  size_t at = 0;
  while (at < text.size()) {
    size_t equals = text.find('=', at);
    if (equals == std::string::npos) break;
    std::string name = text.substr(at, equals - at);
    // The element name may hold blanks; the stand-in writes it last.
    size_t end = name == "element" ? text.size() : text.find(' ', equals);
    if (end == std::string::npos) end = text.size();
    line->fields[name] = text.substr(equals + 1, end - equals - 1);
    at = end + 1;
  }
}

// The player never reads the song, nor does the stand-in; a real one all the same.
std::string TestSongBytes() {
  std::vector<uint8_t> bytes = midiwrite::WriteSong(midiwrite::TestSong());
  return std::string(bytes.begin(), bytes.end());
}

std::vector<char> EnvironmentWithOverride() {
  std::vector<char> block;
  char* strings = GetEnvironmentStringsA();
  const char kName[] = "WINEDLLOVERRIDES=";
  for (char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
    if (_strnicmp(entry, kName, sizeof kName - 1) == 0) continue;
    block.insert(block.end(), entry, entry + std::strlen(entry) + 1);
  }
  FreeEnvironmentStringsA(strings);
  std::string added = WinmmOverride();
  block.insert(block.end(), added.c_str(), added.c_str() + added.size() + 1);
  block.push_back('\0');
  return block;
}

struct StepWait {
  const PlayerFolder* folder;
  std::string step;
  size_t count;
};

bool EnoughSteps(void* context) {
  auto* wait = static_cast<StepWait*>(context);
  size_t seen = 0;
  for (const LogLine& line : wait->folder->Log()) seen += line.Step() == wait->step ? 1 : 0;
  return seen >= wait->count;
}

struct WindowWait {
  DWORD processId;
  HWND found;
};

bool FindNotifyWindow(void* context) {
  auto* wait = static_cast<WindowWait*>(context);
  for (HWND window : harness::WindowsOfProcess(wait->processId)) {
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, kClassName) == 0) {
      wait->found = window;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string LogLine::Field(const std::string& name) const {
  auto found = fields.find(name);
  return found == fields.end() ? std::string("<none>") : found->second;
}

std::string LogLine::Step() const {
  if (kind != "call") return kind;
  std::string command = Field("command");
  if (command == "0803") return "open";
  if (command == "0806") return "play";
  if (command == "0807") return "seek";
  return "request " + command;
}

std::vector<LogLine> ParseLog(const std::string& text) {
  std::vector<LogLine> lines;
  size_t at = 0;
  for (;;) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) break;  // a line is only complete with its line end
    std::string row = text.substr(at, end - at);
    at = end + 2;
    LogLine line;
    size_t blank = row.find(' ');
    line.kind = row.substr(0, blank);
    if (blank != std::string::npos) ParseFields(row.substr(blank + 1), &line);
    lines.push_back(line);
  }
  return lines;
}

std::string Script(const std::vector<LogLine>& log) {
  std::string script;
  for (const LogLine& line : log) {
    if (line.kind == "attach") continue;
    if (!script.empty()) script += " ";
    script += line.Step();
  }
  return script;
}

std::string WinmmOverride() {
  char current[1024] = {};
  DWORD length = GetEnvironmentVariableA("WINEDLLOVERRIDES", current, sizeof current);
  std::string value = length > 0 && length < sizeof current ? std::string(current) + ";" : std::string();
  return "WINEDLLOVERRIDES=" + value + "winmm=n,b";
}

// Wine takes WINEDLLOVERRIDES from the environment it was started with, not
// from the environment block a Windows parent hands to CreateProcess, so the
// override is also set where Wine reads it per program: the registry key of
// this program name. Native first, then builtin: a player of that name
// without the stand-in beside it (the launcher's) still gets the system's.
static void PreferStandInWinmmFor(const std::string& playerName) {
  std::string key = "Software\\Wine\\AppDefaults\\" + playerName + "\\DllOverrides";
  HKEY handle = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS)
    return;
  const char kNativeFirst[] = "native,builtin";
  RegSetValueExA(handle, "winmm", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNativeFirst), sizeof kNativeFirst);
  RegCloseKey(handle);
}

PlayerFolder::PlayerFolder(const std::string& name, const std::string& playerName)
    : folder_(harness::ScratchDir("player " + name)),
      player_(harness::Join(folder_, playerName)),
      currentDirectory_(harness::ScratchDir("player " + name + " cwd")) {
  std::string bin = harness::BinDir();
  PreferStandInWinmmFor(playerName);
  CopyFileA(harness::Join(bin, "midi.exe").c_str(), player_.c_str(), FALSE);
  CopyFileA(harness::Join(harness::Join(bin, kStandInFolder), "winmm.dll").c_str(),
            File("winmm.dll").c_str(), FALSE);
  // A player reading its current directory would find these instead.
  harness::WriteFileBytes(harness::Join(currentDirectory_, "ml.dat"), "0");
  harness::WriteFileBytes(harness::Join(currentDirectory_, "midi.mid"), TestSongBytes());
}

void PlayerFolder::WriteLoopFlag(const std::string& bytes) const {
  harness::WriteFileBytes(File("ml.dat"), bytes);
}

void PlayerFolder::WriteSong() const { harness::WriteFileBytes(File("Midi.mid"), TestSongBytes()); }

void PlayerFolder::WriteStandInControl(const std::string& text) const {
  harness::WriteFileBytes(File("mci-notify.txt"), text);
}

std::string PlayerFolder::File(const std::string& name) const { return harness::Join(folder_, name); }

std::vector<LogLine> PlayerFolder::Log() const {
  return ParseLog(harness::ReadFileBytes(File("mci-log.txt")));
}

RunningPlayer::RunningPlayer(const PlayerFolder& folder, int showCommand) : folder_(folder) {
  std::string commandLine = folder.player();
  std::vector<char> command(commandLine.begin(), commandLine.end());
  command.push_back('\0');
  std::vector<char> environment = EnvironmentWithOverride();
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (showCommand >= 0) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
  }
  if (!CreateProcessA(folder.player().c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                      environment.data(), folder.currentDirectory().c_str(), &startup, &process_)) {
    process_ = {};
  }
}

RunningPlayer::~RunningPlayer() {
  if (!started()) return;
  if (!HasEnded(0)) {
    TerminateProcess(process_.hProcess, 0);
    WaitForSingleObject(process_.hProcess, 5000);
  }
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
}

HWND RunningPlayer::WaitForWindow(DWORD timeoutMs) {
  if (window_ != nullptr) return window_;
  WindowWait wait = {process_.dwProcessId, nullptr};
  if (started() && harness::WaitUntil(timeoutMs, FindNotifyWindow, &wait)) window_ = wait.found;
  return window_;
}

bool RunningPlayer::WaitForInputIdle(DWORD timeoutMs) const {
  return started() && ::WaitForInputIdle(process_.hProcess, timeoutMs) == 0;
}

bool RunningPlayer::WaitForSteps(const std::string& step, size_t count, DWORD timeoutMs) const {
  StepWait wait = {&folder_, step, count};
  return harness::WaitUntil(timeoutMs, EnoughSteps, &wait);
}

bool RunningPlayer::HasEnded(DWORD waitMs) const {
  return WaitForSingleObject(process_.hProcess, waitMs) == WAIT_OBJECT_0;
}

DWORD RunningPlayer::CloseAndWait(DWORD timeoutMs) {
  if (window_ == nullptr) WaitForWindow();
  PostMessageA(window_, WM_CLOSE, 0, 0);
  DWORD exitCode = STILL_ACTIVE;
  if (HasEnded(timeoutMs)) GetExitCodeProcess(process_.hProcess, &exitCode);
  return exitCode;
}

DWORD SizeOfImage(const std::string& path) {
  std::string image = harness::ReadFileBytes(path);
  auto read32 = [&](size_t at) -> DWORD {
    if (at + 4 > image.size()) return 0;
    DWORD value = 0;
    std::memcpy(&value, image.data() + at, 4);
    return value;
  };
  DWORD peHeader = read32(0x3C);
  const size_t kOptionalHeader = 4 + 20;  // signature, file header
  const size_t kSizeOfImageField = 56;
  return read32(peHeader + kOptionalHeader + kSizeOfImageField);
}

}  // namespace player_test
