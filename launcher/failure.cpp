#include "failure.h"

#include <windows.h>

#include "text.h"

void ShowFailureMessage(const char* text) {
  MessageBoxA(nullptr, text, core::kErrorCaption, MB_ICONERROR);
}

static const char* OwnFileName(char* buffer, DWORD capacity) {
  DWORD length = GetModuleFileNameA(nullptr, buffer, capacity);
  if (length >= capacity) length = capacity - 1;
  buffer[length] = '\0';
  return buffer + core::FolderPrefixLength(buffer, length);
}

void ShowFailureReport(const Failure& failure) {
  char modulePath[MAX_PATH + 1];
  char message[core::kPathBufferSize + 64];
  char report[sizeof message + MAX_PATH + 96];
  core::FormatFailureMessage(failure.kind, failure.path, failure.errorCode, message, sizeof message);
  core::FormatFailureReport(failure.kind, OwnFileName(modulePath, sizeof modulePath), failure.place,
                            message, report, sizeof report);
  MessageBoxA(nullptr, report, core::kApplicationErrorCaption, MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}
