// Starts the projector hidden, titles, places and shows its first window,
// starts the MIDI player in the music modes, and supervises both.
#pragma once
#include <windows.h>

// Step 6: false when the projector could not be started (after its message).
bool RunPresentation();

// EnumThreadWindows callback: keeps the first window reported and stops.
BOOL CALLBACK RememberFirstWindow(HWND window, LPARAM unused);
