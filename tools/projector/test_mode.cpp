#include "test_mode.h"

#include "folder_watch.h"
#include "paths.h"
#include "report.h"
#include "text.h"
#include "window_class.h"

namespace standin {
namespace {

constexpr UINT_PTR kReportTimer = 1;
constexpr UINT_PTR kCloseTimer = 2;
constexpr DWORD kReportEveryMs = 100;

// Program-wide, as the window procedure and, in the two-thread case, the
// window's thread work on it; the main thread reads it only after that
// thread has ended.
struct Run {
  Behaviour behaviour;
  HINSTANCE instance;
  int showCommand;
  DWORD startTick;
  HWND window;
  WindowFacts lastSeen;  // kept after the window is gone, for the final report
  char instanceFolder[MAX_PATH];
  bool canReport;
  ReportPaths reportPaths;
  EntryList files;
  VanishWatch watch;
};
Run g_run;

DWORD UptimeMs() { return GetTickCount() - g_run.startTick; }

bool Watching() {
  return g_run.behaviour.watchMs > 0 && UptimeMs() < static_cast<DWORD>(g_run.behaviour.watchMs);
}

void Report(bool ended) {
  if (!g_run.canReport) return;
  ListFolderTree(g_run.instanceFolder, &g_run.files);
  TakeSnapshot(&g_run.watch, g_run.files, Watching());
  ReportInput input = {UptimeMs(),   &g_run.lastSeen,           &g_run.files,
                       &g_run.watch, g_run.behaviour.ignored, ended};
  WriteReport(g_run.reportPaths, input);
}

void ReportNow() {
  if (g_run.window != nullptr) g_run.lastSeen = ObserveWindow(g_run.window);
  Report(false);
}

bool PrepareRun(HINSTANCE instance, int showCommand, const Behaviour& behaviour) {
  g_run.behaviour = behaviour;
  g_run.instance = instance;
  g_run.showCommand = showCommand;
  g_run.startTick = GetTickCount();

  char program[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  if (length == 0 || length >= sizeof program) return false;
  size_t folderEnd = core::FolderPrefixLength(program, length);
  if (folderEnd == 0) return false;
  core::CopyText(g_run.instanceFolder, folderEnd, program);  // drops the backslash

  char currentDir[MAX_PATH];
  length = GetCurrentDirectoryA(sizeof currentDir, currentDir);
  if (length == 0 || length >= sizeof currentDir) return false;
  return MakeReportPaths(program, currentDir, &g_run.reportPaths);
}

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      g_run.window = window;
      SetTimer(window, kReportTimer, kReportEveryMs, nullptr);
      if (g_run.behaviour.closeAfterMs != kNever)
        SetTimer(window, kCloseTimer, static_cast<UINT>(g_run.behaviour.closeAfterMs), nullptr);
      return 0;
    case WM_TIMER:
      if (wParam == kCloseTimer) {
        KillTimer(window, kCloseTimer);
        PostMessageA(window, WM_CLOSE, 0, 0);
      } else {
        ReportNow();
      }
      return 0;
    case WM_CLOSE:
      if (g_run.behaviour.neverClose) return 0;
      // Seen now, while the window is still shown: destruction hides it first.
      g_run.lastSeen = ObserveWindow(window);
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      KillTimer(window, kReportTimer);
      KillTimer(window, kCloseTimer);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int PositionOrDefault(int32_t value, bool placed) {
  if (!placed) return CW_USEDEFAULT;
  return value == kDefaultPosition ? 0 : value;
}

void RunWindowAndLoop() {
  const Behaviour& b = g_run.behaviour;
  bool placed = b.x != kDefaultPosition || b.y != kDefaultPosition;
  HWND window = CreateProjectorWindow(g_run.instance, TestWindowProc, PositionOrDefault(b.x, placed),
                                      PositionOrDefault(b.y, placed), b.width, b.height);
  if (window == nullptr) return;
  ShowWindow(window, g_run.showCommand);
  RunMessageLoop();
}

DWORD WINAPI WindowThread(void*) {
  RunWindowAndLoop();
  return 0;
}

// Sleeps without ever asking for a message, so that the process does not
// count as input-idle before its window exists.
void SleepReporting(DWORD totalMs) {
  DWORD start = GetTickCount();
  for (DWORD passed = 0; passed < totalMs; passed = GetTickCount() - start) {
    DWORD left = totalMs - passed;
    Sleep(left < kReportEveryMs ? left : kReportEveryMs);
    ReportNow();
  }
}

// Thread timers instead of a window: the message loop still makes the process
// input-idle, and "close" can only mean ending the loop.
void RunWithoutWindow() {
  UINT_PTR reportTimer = SetTimer(nullptr, 0, kReportEveryMs, nullptr);
  UINT_PTR closeTimer = 0;
  if (g_run.behaviour.closeAfterMs != kNever && !g_run.behaviour.neverClose)
    closeTimer = SetTimer(nullptr, 0, static_cast<UINT>(g_run.behaviour.closeAfterMs), nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message != WM_TIMER || message.hwnd != nullptr) continue;
    if (closeTimer != 0 && message.wParam == closeTimer) break;
    if (message.wParam == reportTimer) ReportNow();
  }
}

}  // namespace

int RunTestMode(HINSTANCE instance, int showCommand, const Behaviour& behaviour) {
  g_run.canReport = PrepareRun(instance, showCommand, behaviour);
  ReportNow();
  if (behaviour.noWindow) {
    RunWithoutWindow();
  } else {
    if (behaviour.windowDelayMs > 0) SleepReporting(static_cast<DWORD>(behaviour.windowDelayMs));
    if (behaviour.windowThread) {
      HANDLE thread = CreateThread(nullptr, 0, WindowThread, nullptr, 0, nullptr);
      if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
      }
    } else {
      RunWindowAndLoop();
    }
  }
  Report(true);
  return behaviour.exitCode;
}

}  // namespace standin
