#include "window_class.h"

namespace standin {

const char kInitialTitle[] = "Stand-in projector";

namespace {
const char kClassName[] = "StandInProjector";
}

HWND CreateProjectorWindow(HINSTANCE instance, WNDPROC procedure, int x, int y, int width,
                           int height) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, kClassName, kInitialTitle, WS_OVERLAPPEDWINDOW, x, y, width, height,
                         nullptr, nullptr, instance, nullptr);
}

void RunMessageLoop() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace standin
