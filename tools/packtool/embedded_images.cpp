#include "embedded_images.h"

#include <stdint.h>

extern "C" {
extern const uint8_t kSixImage[] __asm__("packtool_six_image");
extern const uint8_t kSixImageEnd[] __asm__("packtool_six_image_end");
extern const uint8_t kNineImage[] __asm__("packtool_nine_image");
extern const uint8_t kNineImageEnd[] __asm__("packtool_nine_image_end");
extern const uint8_t kPlayerImage[] __asm__("packtool_player_image");
extern const uint8_t kPlayerImageEnd[] __asm__("packtool_player_image_end");
}

namespace packtool {
namespace {

Image Frame(const uint8_t* start, const uint8_t* end) {
  Image image;
  image.bytes = start;
  image.size = static_cast<size_t>(reinterpret_cast<uintptr_t>(end) - reinterpret_cast<uintptr_t>(start));
  return image;
}

}  // namespace

BuiltInImages EmbeddedImages() {
  BuiltInImages images;
  images.six = Frame(kSixImage, kSixImageEnd);
  images.nine = Frame(kNineImage, kNineImageEnd);
  images.player = Frame(kPlayerImage, kPlayerImageEnd);
  return images;
}

}  // namespace packtool
