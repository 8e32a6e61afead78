#include "placement.h"

namespace core {

int32_t CentredOrigin(int32_t outerExtent, int32_t innerExtent) {
  int64_t difference = static_cast<int64_t>(outerExtent) - innerExtent;
  int64_t half = difference / 2;
  if (difference < 0 && difference % 2 != 0) --half;
  return static_cast<int32_t>(half);
}

int ShowCommands(uint8_t placementMode, uint8_t maximizeFlag, int out[2]) {
  int count = 0;
  // The explicit position shows once itself, maximised only for the flag 1.
  if (placementMode == 2) out[count++] = maximizeFlag == 1 ? kShowMaximized : kShowNormal;
  out[count++] = maximizeFlag != 0 ? kShowMaximized : kShowNormal;
  return count;
}

}  // namespace core
