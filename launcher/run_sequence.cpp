// LauncherMain: the whole run, one straight sequence whose every failure
// leads visibly to one of the ends of a run.
#include "failure.h"
#include "messages.h"
#include "package_reader.h"
#include "projector_control.h"
#include "run_state.h"
#include "text.h"
#include "work_folder.h"

RunState Run;

bool WorkRootPath(char* out) {
  return core::BuildWorkRoot(Run.windowsDirectory, out, core::kPathBufferSize);
}

bool InstanceFolderPath(char* out) {
  return core::BuildInstanceFolder(Run.windowsDirectory, Run.instanceNumber, out, core::kPathBufferSize);
}

bool InstancePath(const char* name, char* out) {
  return core::BuildInstanceFile(Run.windowsDirectory, Run.instanceNumber, name, out,
                                 core::kPathBufferSize);
}

// Ends 3 and 5, and a refused package: the message, then the removal.
static void FailAndRemove() {
  ShowFailureMessage(core::kApplicationCannotRun);
  RemoveWorkRoot();
}

void LauncherMain() {
  if (!CreateWorkRoot()) {                       // end 1
    ShowFailureMessage(core::kApplicationCannotRun);
    return;
  }
  if (!CreateInstanceFolder()) {                 // end 2
    ShowFailureMessage(core::kApplicationCannotRun);
    return;
  }
  Run.presentationWindow = nullptr;
  CopyFsCommand();
  if (!MakeImageCopy()) {                        // end 3
    FailAndRemove();
    return;
  }
  Failure failure;
  switch (UnpackPackage(&failure)) {
    case core::kUnpacked: break;
    case core::kRefused:                               // a zero length: never start it
      FailAndRemove();
      return;
    case core::kRaised:                                // end 4: nothing removed, exit code 1
      ShowFailureReport(failure);
      Run.exitCode = 1;
      return;
  }
  if (!RunPresentation()) {                      // end 5 (its message is shown)
    RemoveWorkRoot();
    return;
  }
  RemoveWorkRoot();                              // the normal end
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  LauncherMain();
  ExitProcess(Run.exitCode);
}
