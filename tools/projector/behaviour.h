// What a test asks of the stand-in projector. The stand-in takes no
// arguments, like the real projector, so the wish arrives as a small text
// file ("standin.txt" in the current directory) of key=value lines.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace standin {

constexpr int32_t kNever = -1;
constexpr int32_t kDefaultPosition = INT32_MIN;  // the value of CW_USEDEFAULT
constexpr size_t kIgnoredCapacity = 512;

struct Behaviour {
  int32_t closeAfterMs;   // kNever, or close itself this long after the window's creation
  bool neverClose;        // ignore every close, its own included
  bool noWindow;
  int32_t windowDelayMs;  // sleep this long before creating the window
  bool windowThread;      // the window belongs to a second thread
  int32_t x, y;           // kDefaultPosition: the system's choice
  int32_t width, height;
  int32_t watchMs;        // how long to look for files vanishing from the instance folder
  int32_t exitCode;       // when it ends by itself
  // Lines that were not understood, ';'-separated, so that a typing error in
  // a test shows up in the report instead of silently changing nothing.
  char ignored[kIgnoredCapacity];
};

Behaviour DefaultBehaviour();

// Reads key=value lines; blank lines and lines starting with '#' are skipped,
// a trailing CR is dropped, blanks around keys and values are trimmed.
Behaviour ParseBehaviour(const char* text, size_t length);

}  // namespace standin
