// Reads a file as a packaged executable: which launcher variant it starts
// with, the package header at that variant's offset, where the segments lie
// and which rules of a valid package it breaks.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "byte_source.h"
#include "package_layout.h"

namespace packtool {

enum class Variant { kSix, kNine };

uint32_t PackageOffset(Variant variant);
const char* VariantName(Variant variant);       // "six", "nine"
const char* VariantLongName(Variant variant);   // "six-icon variant"
bool ParseVariant(const std::string& text, Variant* variant);
// The variant whose launcher image has this length, if any.
bool VariantForLength(uint64_t length, Variant* variant);

// A launcher image packtool can recognise a packaged file by.
struct LauncherImage {
  Variant variant;
  const uint8_t* bytes;  // exactly PackageOffset(variant) of them
  std::string origin;    // "embedded", or the file it came from
};

// Raised next to the core's breaches: the bytes before the package offset
// are no launcher image packtool knows for that variant.
constexpr uint32_t kBreachUnknownLauncher = 1u << 31;

// All breach bits in the order of the rules they break; bits the core may
// add later are still reported, after these.
std::vector<uint32_t> BreachBits(uint32_t breaches);
const char* BreachId(uint32_t breach);    // "projector_cut", for machines
const char* BreachText(uint32_t breach);  // for people

// The file read as a package at one variant's offset.
struct PackageReading {
  Variant variant;
  uint32_t packageOffset;
  bool launcherKnown;
  size_t headerAvailable;  // header bytes present in the file, up to 288
  core::PackageHeader header;
  int segmentCount;
  core::Segment segments[3];
  uint32_t breaches;

  bool Valid() const { return breaches == 0; }
  // The first byte after the last segment the music mode calls for.
  uint64_t End() const;
};

struct PackageReport {
  uint64_t fileSize = 0;
  bool launcherRecognised = false;
  Variant recognisedVariant = Variant::kSix;
  std::string launcherOrigin;
  // One reading when the launcher was recognised or the variant given,
  // otherwise one for each variant's offset.
  std::vector<PackageReading> readings;

  bool Valid() const { return readings.size() == 1 && readings[0].Valid(); }
};

// `forcedVariant` may be null. Fails only when the file cannot be read.
bool ReadPackage(ByteSource* file, const std::vector<LauncherImage>& launchers,
                 const Variant* forcedVariant, PackageReport* report, std::string* error);

}  // namespace packtool
