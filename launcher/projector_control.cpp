#include "projector_control.h"

#include "failure.h"
#include "placement.h"
#include "run_state.h"
#include "text.h"

namespace {

constexpr DWORD kIdleWaitMs = 10000;
constexpr DWORD kSupervisionWaitMs = 120000;
// Enough for a terminated child to release its files before the removal.
constexpr DWORD kChildExitWaitMs = 5000;
constexpr UINT kPlacementFlags = SWP_NOSIZE | SWP_NOZORDER;

bool HasBlank(const char* text) {
  for (; *text != '\0'; ++text) {
    if (*text == ' ') return true;
  }
  return false;
}

// Starts a program of the instance folder by its full path, with no
// arguments. The path also goes in as the application name, and in quotes
// when it holds a blank, so the system can never split it and start another
// program than the unpacked one.
bool StartChild(const char* name, WORD showCommand, STARTUPINFOA* startup, PROCESS_INFORMATION* process) {
  char path[core::kPathBufferSize];
  char commandLine[core::kPathBufferSize + 2];
  if (!InstancePath(name, path)) return false;
  core::TextBuffer text = core::MakeText(commandLine, sizeof commandLine);
  bool quote = HasBlank(path);
  if (quote) core::Append(&text, "\"");
  core::Append(&text, path);
  if (quote) core::Append(&text, "\"");
  if (!text.ok) return false;

  ZeroMemory(startup, sizeof *startup);
  startup->cb = sizeof *startup;
  startup->dwFlags = STARTF_USESHOWWINDOW;
  startup->wShowWindow = showCommand;
  return CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, startup,
                        process) != FALSE;
}

void CentreOnDesktop(HWND window) {
  HWND desktop = GetDesktopWindow();
  GetWindowRect(desktop, &Run.desktopRect);
  GetWindowRect(window, &Run.windowRect);
  Run.windowPosition.x = core::CentredOrigin(Run.desktopRect.right - Run.desktopRect.left,
                                             Run.windowRect.right - Run.windowRect.left);
  Run.windowPosition.y = core::CentredOrigin(Run.desktopRect.bottom - Run.desktopRect.top,
                                             Run.windowRect.bottom - Run.windowRect.top);
  SetWindowPos(window, nullptr, Run.windowPosition.x, Run.windowPosition.y, 0, 0, kPlacementFlags);
}

void PlaceAndShow(HWND window) {
  const core::PackageHeader& header = Run.header;
  int shows[2];
  int showCount = core::ShowCommands(header.placementMode, header.maximizeFlag, shows);
  if (header.placementMode == 0) {
    CentreOnDesktop(window);
  } else if (header.placementMode == 2) {
    Run.windowPosition.x = header.x;
    Run.windowPosition.y = header.y;
    SetWindowPos(window, nullptr, header.x, header.y, 0, 0, kPlacementFlags);
  }
  for (int i = 0; i < showCount; ++i) ShowWindow(window, shows[i]);
  SetForegroundWindow(window);
}

void EndChildren(bool withPlayer) {
  TerminateProcess(Run.projectorProcess.hProcess, 0);
  if (withPlayer) TerminateProcess(Run.playerProcess.hProcess, 0);
  // Files of a child that is still ending would resist the removal that follows.
  if (Run.projectorProcess.hProcess != nullptr)
    WaitForSingleObject(Run.projectorProcess.hProcess, kChildExitWaitMs);
  if (withPlayer && Run.playerProcess.hProcess != nullptr)
    WaitForSingleObject(Run.playerProcess.hProcess, kChildExitWaitMs);
}

}  // namespace

BOOL CALLBACK RememberFirstWindow(HWND window, LPARAM) {
  Run.presentationWindow = window;
  return FALSE;
}

bool RunPresentation() {
  if (!StartChild(core::kProjectorStartName, SW_HIDE, &Run.projectorStartup, &Run.projectorProcess)) {
    ShowFailureMessage(core::kApplicationCannotRun);
    return false;
  }
  WaitForInputIdle(Run.projectorProcess.hProcess, kIdleWaitMs);
  EnumThreadWindows(Run.projectorProcess.dwThreadId, RememberFirstWindow, 0);
  HWND window = Run.presentationWindow;
  SetWindowTextA(window, Run.header.title);
  PlaceAndShow(window);

  bool withPlayer = core::HasMusic(Run.header);
  if (withPlayer &&
      !StartChild(core::kPlayerName, SW_SHOW, &Run.playerStartup, &Run.playerProcess)) {
    ShowFailureMessage(core::kMidiCannotRun);
  }
  WaitForSingleObject(Run.projectorProcess.hProcess, kSupervisionWaitMs);
  EndChildren(withPlayer);
  return true;
}
