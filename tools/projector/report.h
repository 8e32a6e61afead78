// The stand-in's report: what it can see of itself, as key=value lines in a
// file that a test reads while the stand-in runs and after it has ended.
#pragma once
#include <windows.h>

#include "folder_watch.h"

namespace standin {

struct WindowFacts {
  bool exists;
  char title[256];
  RECT rect;
  bool visible;
  bool maximized;
  bool foreground;
};

struct ReportPaths {
  char report[MAX_PATH];  // <current dir>\standin-report-<instance>.txt
  char temp[MAX_PATH];    // written first, then moved over the report
};

// Reads the window's state; a zero handle gives facts with `exists` false.
WindowFacts ObserveWindow(HWND window);

// The report's place: named after the folder of the running program, which
// the launcher numbers, so that several instances never share a report.
bool MakeReportPaths(const char* programPath, const char* currentDir, ReportPaths* out);

struct ReportInput {
  DWORD uptimeMs;
  const WindowFacts* window;
  const EntryList* files;
  const VanishWatch* watch;
  const char* ignoredLines;
  bool ended;
};

// Writes the whole report anew and moves it into place in one step, so that a
// reader never sees a half-written file.
bool WriteReport(const ReportPaths& paths, const ReportInput& input);

}  // namespace standin
