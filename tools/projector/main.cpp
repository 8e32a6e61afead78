// A stand-in for the projector that a package carries: any Windows GUI
// program whose main thread shows its window once it is input-idle and that
// ends when the window is closed will do. Without "standin.txt" in the
// current directory it plays a short slide show; with it, it behaves as the
// file asks and reports on itself, for the launcher's end-to-end tests.
#include <windows.h>

#include "behaviour.h"
#include "demo.h"
#include "test_mode.h"

namespace {

const char kBehaviourFileName[] = "standin.txt";

// Fills `text` with the file's bytes; false when there is no such file.
bool ReadBehaviourFile(char* text, DWORD capacity, DWORD* length) {
  HANDLE file = CreateFileA(kBehaviourFileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  *length = 0;
  ReadFile(file, text, capacity, length, nullptr);
  CloseHandle(file);
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  static char text[8192];
  DWORD length = 0;
  if (!ReadBehaviourFile(text, sizeof text, &length)) return standin::RunDemo(instance, showCommand);
  return standin::RunTestMode(instance, showCommand, standin::ParseBehaviour(text, length));
}
