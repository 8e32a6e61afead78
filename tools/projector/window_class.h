// The stand-in's one window class, shared by the demo and the test mode.
#pragma once
#include <windows.h>

namespace standin {

extern const char kInitialTitle[];  // until the launcher gives it its own

// Registers the class on first use and creates an overlapped window that is
// not yet visible: the caller shows it as the start-up information asks.
HWND CreateProjectorWindow(HINSTANCE instance, WNDPROC procedure, int x, int y, int width,
                           int height);

// Runs until WM_QUIT.
void RunMessageLoop();

}  // namespace standin
