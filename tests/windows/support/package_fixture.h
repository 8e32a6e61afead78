// Builds packaged executables from named fields, so that a test says
// "music mode 1, projector 1000 bytes" rather than spelling out bytes.
#pragma once
#include <stdint.h>

#include <string>

#include "package_layout.h"

namespace fixture {

enum Variant { kSix, kNine };

struct Package {
  Variant variant = kSix;
  core::PackageHeader header = {};
  std::string projector;  // the projector image; its length goes in the header unless overridden
  std::string song;
  std::string player;     // defaults to the real midi.exe in the music modes
  std::string trailing;   // bytes after the last segment
  bool keepLengths = false;  // take projectorLength and songLength from the header as set
  bool headerOnly = false;   // write nothing after the header
};

std::string LauncherImage(Variant variant);  // base-six.exe or base-nine.exe
uint32_t PackageOffset(Variant variant);
std::string RealPlayer();                    // midi.exe
std::string StandinProjector();              // projector.exe
std::string Bytes(size_t count, uint32_t seed);  // deterministic filler

// The whole packaged file.
std::string Build(const Package& package);
// Writes it to folder\name and returns the path.
std::string WritePackage(const std::string& folder, const std::string& name, const Package& package);

// A presentation with the stand-in projector, centred, with the given title.
Package Presentation(const std::string& title = "Stand-in");
void SetTitle(Package* package, const std::string& title);

}  // namespace fixture
