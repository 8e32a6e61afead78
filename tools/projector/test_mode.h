// The stand-in as tests drive it: it behaves as "standin.txt" asks and keeps
// a report of its own state up to date beside it.
#pragma once
#include <windows.h>

#include "behaviour.h"

namespace standin {

// Returns the exit code that the behaviour asks for.
int RunTestMode(HINSTANCE instance, int showCommand, const Behaviour& behaviour);

}  // namespace standin
