// Failures of the launcher, as values that travel up to LauncherMain, and
// the two ways they are shown to the user.
#pragma once
#include <stdint.h>

#include "messages.h"
#include "paths.h"

struct Failure {
  core::FailureKind kind;
  uint32_t place;      // offset of the failing code within the launcher's image
  uint32_t errorCode;  // system error code, for EInOutError
  char path[core::kPathBufferSize];
};

// "Application can not be run." and "Midi file can not be run.": owner-less,
// captioned "Error", stop icon.
void ShowFailureMessage(const char* text);

// The task-modal "Application Error" report for a raised failure.
void ShowFailureReport(const Failure& failure);
