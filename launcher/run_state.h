// The program-wide values of one launcher run: zero at the start of the
// process and kept until its end, as every step reads what earlier ones wrote.
#pragma once
#include <windows.h>

#include "package_layout.h"
#include "paths.h"

struct RunState {
  char windowsDirectory[core::kPathBufferSize];
  int32_t instanceNumber;
  HWND presentationWindow;
  char ownPath[core::kPathBufferSize];
  core::PackageHeader header;
  STARTUPINFOA projectorStartup;
  STARTUPINFOA playerStartup;
  PROCESS_INFORMATION projectorProcess;
  PROCESS_INFORMATION playerProcess;
  RECT desktopRect;
  RECT windowRect;
  POINT windowPosition;
  // Held for the whole run: marks the instance folder as in use by a live run.
  HANDLE instanceClaim;
  UINT exitCode;
};

extern RunState Run;

// The package offset of this build variant: the exact length of its image.
extern const uint32_t kPackageOffset;

// Builds a path in the instance folder; false when it would not fit.
bool InstancePath(const char* name, char* out);
bool InstanceFolderPath(char* out);
bool WorkRootPath(char* out);
