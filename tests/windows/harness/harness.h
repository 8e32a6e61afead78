// End-to-end test support: runs a real program under Wine (the tests
// themselves are Windows programs), reads and answers every message box
// that appears meanwhile, and gives file helpers for checking results.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace harness {

struct MessageBoxSeen {
  DWORD processId;
  std::string caption;
  std::string text;      // the static control with id 0xFFFF
  bool hasIcon;          // the box's icon control is visible
  DWORD shownAfterMs;    // since the program was started
};

struct RunOptions {
  std::string currentDirectory;               // empty: the test's own
  std::vector<std::string> extraEnvironment;  // "NAME=value", added to the test's own
  DWORD timeoutMs = 60000;   // then every process started since is ended and timedOut is set
  DWORD answerAfterMs = 0;   // how long each box stays up before it is confirmed
  bool quoteProgram = true;  // put the program path in quotes on the command line
  // Called for each new box before it is confirmed, while the program waits
  // on it: the moment to look at what the program has left on disk.
  std::function<void(const MessageBoxSeen&)> onBox;
};

struct RunResult {
  bool started = false;
  bool timedOut = false;
  DWORD exitCode = 0;
  DWORD elapsedMs = 0;
  std::vector<MessageBoxSeen> boxes;  // every box of any other process, in order
};

// Starts `program` with no arguments, confirms each message box of any
// process but the test's own, and waits for the program to end.
RunResult RunAndAnswer(const std::string& program, const RunOptions& options = RunOptions());

struct ManyResult {
  bool allStarted = false;
  bool timedOut = false;
  std::vector<DWORD> exitCodes;  // in the order of the programs
  DWORD elapsedMs = 0;
  std::vector<MessageBoxSeen> boxes;
};

// Starts all programs at once and answers boxes until every one has ended.
ManyResult RunManyAndAnswer(const std::vector<std::string>& programs, const RunOptions& options = RunOptions());

// Paths and files. Paths are Windows paths; directories have no trailing slash.
std::string BinDir();                             // folder of the running test program
std::string WindowsDir();
std::string WorkRoot();                           // WindowsDir() + "\\DERizi"
std::string ScratchDir(const std::string& name);  // a fresh, empty folder under %TEMP%
std::string Join(const std::string& folder, const std::string& name);

bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
std::string ReadFileBytes(const std::string& path);  // empty when missing
bool WriteFileBytes(const std::string& path, const std::string& bytes);
void RemoveTree(const std::string& path);            // no error when missing
// Relative paths of every file and folder below `root` ("a", "a\\b.txt"), sorted.
std::vector<std::string> ListTree(const std::string& root);

// Top-level windows of a process, and processes whose image name matches.
std::vector<HWND> WindowsOfProcess(DWORD processId);
std::vector<DWORD> ProcessesNamed(const std::string& exeName);  // case-insensitive
bool WaitUntil(DWORD timeoutMs, bool (*condition)(void*), void* context);

}  // namespace harness
