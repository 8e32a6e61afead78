// Where the presentation window goes and how it is shown.
#pragma once
#include <stdint.h>

namespace core {

constexpr int kShowNormal = 5;     // SW_SHOW
constexpr int kShowMaximized = 3;  // SW_SHOWMAXIMIZED

// floor((outer - inner) * 0.5): half the difference, rounded toward minus
// infinity, so a window wider than the desktop overhangs one more on the left.
int32_t CentredOrigin(int32_t outerExtent, int32_t innerExtent);

// The ShowWindow commands for a placement mode and maximise flag, in order;
// returns their count (1, or 2 for the explicit position).
int ShowCommands(uint8_t placementMode, uint8_t maximizeFlag, int out[2]);

}  // namespace core
