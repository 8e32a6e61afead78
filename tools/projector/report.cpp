#include "report.h"

#include "paths.h"
#include "text.h"

namespace standin {
namespace {

// Big enough for a full EntryList twice over (files and vanished).
char g_reportText[2 * kMaxEntries * MAX_PATH + 4096];

void Line(core::TextBuffer* text, const char* key, const char* value) {
  core::Append(text, key);
  core::Append(text, "=");
  core::Append(text, value);
  core::Append(text, "\n");
}

void Line(core::TextBuffer* text, const char* key, int64_t value) {
  core::Append(text, key);
  core::Append(text, "=");
  core::AppendDecimal(text, value);
  core::Append(text, "\n");
}

void RectLine(core::TextBuffer* text, const RECT& r) {
  core::Append(text, "rect=");
  const LONG sides[] = {r.left, r.top, r.right, r.bottom};
  for (int i = 0; i < 4; ++i) {
    if (i > 0) core::Append(text, ",");
    core::AppendDecimal(text, sides[i]);
  }
  core::Append(text, "\n");
}

void EntriesLine(core::TextBuffer* text, const char* key, const EntryList& list) {
  core::Append(text, key);
  core::Append(text, "=");
  AppendEntries(text, list);
  core::Append(text, "\n");
}

void ComposeReport(const ReportInput& in, core::TextBuffer* text) {
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  char currentDir[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof currentDir, currentDir);

  Line(text, "pid", GetCurrentProcessId());
  Line(text, "exe", exe);
  Line(text, "command_line", GetCommandLineA());
  Line(text, "current_dir", currentDir);
  Line(text, "window", in.window->exists);
  Line(text, "title", in.window->title);
  RectLine(text, in.window->rect);
  Line(text, "visible", in.window->visible);
  Line(text, "maximized", in.window->maximized);
  Line(text, "foreground", in.window->foreground);
  EntriesLine(text, "files", *in.files);
  EntriesLine(text, "vanished", in.watch->vanished);
  Line(text, "snapshots", in.watch->snapshots);
  Line(text, "ended", in.ended);
  Line(text, "uptime_ms", in.uptimeMs);
  Line(text, "ignored", in.ignoredLines);
}

bool WriteWholeFile(const char* path, const char* bytes, size_t length) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(file);
  return ok && written == length;
}

bool EndsWithBackslash(const char* path) {
  size_t length = core::TextLength(path);
  return length > 0 && path[length - 1] == '\\';
}

}  // namespace

WindowFacts ObserveWindow(HWND window) {
  WindowFacts facts = {};
  if (window == nullptr) return facts;
  facts.exists = true;
  GetWindowTextA(window, facts.title, sizeof facts.title);
  GetWindowRect(window, &facts.rect);
  facts.visible = IsWindowVisible(window) != FALSE;
  facts.maximized = IsZoomed(window) != FALSE;
  facts.foreground = GetForegroundWindow() == window;
  return facts;
}

bool MakeReportPaths(const char* programPath, const char* currentDir, ReportPaths* out) {
  size_t folderEnd = core::FolderPrefixLength(programPath, core::TextLength(programPath));
  if (folderEnd == 0) return false;
  size_t nameEnd = folderEnd - 1;  // the backslash before the program's own name
  size_t nameStart = core::FolderPrefixLength(programPath, nameEnd);

  const char* suffixes[] = {".txt", ".tmp"};
  char* targets[] = {out->report, out->temp};
  for (int i = 0; i < 2; ++i) {
    core::TextBuffer text = core::MakeText(targets[i], MAX_PATH);
    core::Append(&text, currentDir);
    // A drive's root is the one current directory that ends with a backslash.
    if (!EndsWithBackslash(currentDir)) core::Append(&text, "\\");
    core::Append(&text, "standin-report-");
    core::AppendBytes(&text, programPath + nameStart, nameEnd - nameStart);
    core::Append(&text, suffixes[i]);
    if (!text.ok) return false;
  }
  return true;
}

bool WriteReport(const ReportPaths& paths, const ReportInput& input) {
  core::TextBuffer text = core::MakeText(g_reportText, sizeof g_reportText);
  ComposeReport(input, &text);
  if (!text.ok) return false;
  return WriteWholeFile(paths.temp, text.data, text.length) &&
         MoveFileExA(paths.temp, paths.report, MOVEFILE_REPLACE_EXISTING);
}

}  // namespace standin
