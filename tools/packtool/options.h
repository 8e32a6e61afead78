// The command lines of packtool's three commands, parsed into records.
// Only the form of the arguments is checked here; files are checked by the
// commands that open them.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "package_reader.h"

namespace packtool {

constexpr int kDefaultCodePage = 1252;

struct BuildOptions {
  std::string projector;
  std::string song;      // empty: no music
  std::string player;    // empty: the embedded player image
  std::string launcher;  // empty: the embedded launcher image of the variant
  std::string output;
  std::string title;     // UTF-8
  uint8_t musicMode = 0;
  uint8_t placementMode = 0;
  int32_t x = 0;
  int32_t y = 0;
  bool maximize = false;
  bool variantGiven = false;
  Variant variant = Variant::kSix;
  int codePage = kDefaultCodePage;
};

struct ShowOptions {
  std::string file;
  std::string launcher;
  bool json = false;
  bool variantGiven = false;
  Variant variant = Variant::kSix;
  int codePage = kDefaultCodePage;
};

struct ExtractOptions {
  std::string file;
  std::string folder;
  std::string launcher;
  bool variantGiven = false;
  Variant variant = Variant::kSix;
};

// `args` are the words after the command's name.
bool WantsHelp(const std::vector<std::string>& args);
bool ParseBuildOptions(const std::vector<std::string>& args, BuildOptions* options, std::string* error);
bool ParseShowOptions(const std::vector<std::string>& args, ShowOptions* options, std::string* error);
bool ParseExtractOptions(const std::vector<std::string>& args, ExtractOptions* options, std::string* error);

extern const char kUsage[];
extern const char kBuildHelp[];
extern const char kShowHelp[];
extern const char kExtractHelp[];

}  // namespace packtool
