// packtool's commands over an argument list, with their output collected as
// text so that main() only prints it and the tests can read it.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace packtool {

constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitInvalidPackage = 2;  // `show` on a file that is no valid package

struct Image {
  const uint8_t* bytes = nullptr;
  size_t size = 0;  // 0: not built in
};

// The images built into the tool: both launcher variants and the player.
struct BuiltInImages {
  Image six;
  Image nine;
  Image player;
};

// `args` are the words after the program's name. Errors come as one line,
// "packtool: ...", in `err`.
int RunPacktool(const std::vector<std::string>& args, const BuiltInImages& images, std::string* out,
                std::string* err);

}  // namespace packtool
