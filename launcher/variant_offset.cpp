#include "run_state.h"

// Set per build variant: it must equal the exact length of that variant's
// image, which the build pads to and checks.
const uint32_t kPackageOffset = PACKAGE_OFFSET;
