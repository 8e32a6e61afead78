// The demo presentation: a few slides drawn with GDI that advance by
// themselves or on a click, space or right arrow, and end after the last.
#pragma once
#include <windows.h>

namespace standin {

int RunDemo(HINSTANCE instance, int showCommand);

}  // namespace standin
