// Runs the real midi.exe in a scratch folder beside the test stand-in for
// winmm.dll, and reads back what the stand-in recorded.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace player_test {

// One line of the stand-in's log: "attach", "call" or "notify", and its fields.
struct LogLine {
  std::string kind;
  std::map<std::string, std::string> fields;

  std::string Field(const std::string& name) const;
  // "open", "play", "seek" for those requests, "request XXXX" for any other,
  // "notify" for a notification the stand-in posted.
  std::string Step() const;
};

std::vector<LogLine> ParseLog(const std::string& text);
// The steps of every call and notification, separated by blanks.
std::string Script(const std::vector<LogLine>& log);

// The environment entry asking Wine to load the stand-in for this one child.
// Wine reads WINEDLLOVERRIDES from the environment it was started with, so a
// child started by a Windows parent needs the per-program registry override
// as well, which PlayerFolder sets. Earlier entries are kept.
std::string WinmmOverride();

// A fresh folder holding a copy of midi.exe (under `playerName`) and the
// stand-in, plus a separate current directory with decoy files, so that a
// player that looks there instead of its own folder is caught.
class PlayerFolder {
 public:
  explicit PlayerFolder(const std::string& name, const std::string& playerName = "Midi.exe");

  void WriteLoopFlag(const std::string& bytes) const;
  void WriteSong() const;
  // Lines of key=value for the stand-in: codes, limit, delay, device-id.
  void WriteStandInControl(const std::string& text) const;

  std::string File(const std::string& name) const;
  std::vector<LogLine> Log() const;

  const std::string& folder() const { return folder_; }
  const std::string& player() const { return player_; }
  const std::string& currentDirectory() const { return currentDirectory_; }

 private:
  std::string folder_;
  std::string player_;
  std::string currentDirectory_;
};

// A player process started with CreateProcess; ended by force when the test
// leaves it running.
class RunningPlayer {
 public:
  // `showCommand` < 0: no show state in the start-up record.
  explicit RunningPlayer(const PlayerFolder& folder, int showCommand = -1);
  ~RunningPlayer();
  RunningPlayer(const RunningPlayer&) = delete;
  RunningPlayer& operator=(const RunningPlayer&) = delete;

  bool started() const { return process_.hProcess != nullptr; }
  DWORD processId() const { return process_.dwProcessId; }
  // The notification window, once the player has created it; null on timeout.
  HWND WaitForWindow(DWORD timeoutMs = 60000);
  bool WaitForInputIdle(DWORD timeoutMs = 60000) const;
  // Waits until the log holds `count` lines whose step is `step`.
  bool WaitForSteps(const std::string& step, size_t count, DWORD timeoutMs = 60000) const;
  bool HasEnded(DWORD waitMs) const;
  // Posts the close request and waits for the end; returns the exit code,
  // or STILL_ACTIVE when the player did not end.
  DWORD CloseAndWait(DWORD timeoutMs = 60000);

 private:
  const PlayerFolder& folder_;
  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
};

// Size of the loaded image, from the PE header of the file at `path`.
DWORD SizeOfImage(const std::string& path);

}  // namespace player_test
