// The launcher and player images built into packtool, found by the build in
// the Windows tree. An image the build did not have has size 0.
#pragma once
#include "packtool.h"

namespace packtool {

BuiltInImages EmbeddedImages();

}  // namespace packtool
