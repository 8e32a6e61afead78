#include "package_reader.h"

#include <string.h>

namespace packtool {
namespace {

struct BreachName {
  uint32_t bit;
  const char* id;
};

// In the order of the rules of a valid package.
const BreachName kBreachNames[] = {
    {kBreachUnknownLauncher, "unknown_launcher"},
    {core::kBreachNoHeader, "no_header"},
    {core::kBreachZeroProjector, "zero_projector"},
    {core::kBreachProjectorCut, "projector_cut"},
    {core::kBreachZeroSong, "zero_song"},
    {core::kBreachSongCut, "song_cut"},
    {core::kBreachPlayerCut, "player_cut"},
    {core::kBreachTitleWithoutNul, "title_without_nul"},
};

bool StartsWith(ByteSource* file, const uint8_t* image, size_t length, bool* matches,
                std::string* error) {
  *matches = false;
  if (file->Size() < length) return true;
  uint8_t chunk[16384];
  for (size_t done = 0; done < length;) {
    size_t count = length - done < sizeof chunk ? length - done : sizeof chunk;
    if (!file->ReadAt(done, chunk, count)) {
      *error = "cannot read the launcher image at the start of the file";
      return false;
    }
    if (memcmp(chunk, image + done, count) != 0) return true;
    done += count;
  }
  *matches = true;
  return true;
}

bool ReadAt(ByteSource* file, Variant variant, bool launcherKnown, PackageReading* reading,
            std::string* error) {
  reading->variant = variant;
  reading->packageOffset = PackageOffset(variant);
  reading->launcherKnown = launcherKnown;
  uint8_t headerBytes[core::kPackageHeaderSize] = {};
  uint64_t size = file->Size();
  uint64_t left = size > reading->packageOffset ? size - reading->packageOffset : 0;
  reading->headerAvailable = left < sizeof headerBytes ? static_cast<size_t>(left) : sizeof headerBytes;
  if (reading->headerAvailable > 0 && !file->ReadAt(reading->packageOffset, headerBytes, reading->headerAvailable)) {
    *error = "cannot read the package header";
    return false;
  }
  core::DecodePackageHeader(headerBytes, reading->headerAvailable, &reading->header);
  reading->segmentCount = core::PlanSegments(reading->header, reading->packageOffset, reading->segments);
  reading->breaches = core::CheckPackage(size, reading->packageOffset, headerBytes, reading->headerAvailable);
  if (!launcherKnown) reading->breaches |= kBreachUnknownLauncher;
  return true;
}

}  // namespace

uint32_t PackageOffset(Variant variant) {
  return variant == Variant::kSix ? core::kSixIconPackageOffset : core::kNineIconPackageOffset;
}

const char* VariantName(Variant variant) { return variant == Variant::kSix ? "six" : "nine"; }

const char* VariantLongName(Variant variant) {
  return variant == Variant::kSix ? "six-icon variant" : "nine-icon variant";
}

bool ParseVariant(const std::string& text, Variant* variant) {
  if (text == "six") *variant = Variant::kSix;
  else if (text == "nine") *variant = Variant::kNine;
  else return false;
  return true;
}

bool VariantForLength(uint64_t length, Variant* variant) {
  for (Variant candidate : {Variant::kSix, Variant::kNine}) {
    if (length == PackageOffset(candidate)) {
      *variant = candidate;
      return true;
    }
  }
  return false;
}

std::vector<uint32_t> BreachBits(uint32_t breaches) {
  std::vector<uint32_t> bits;
  for (const BreachName& name : kBreachNames) {
    if (breaches & name.bit) bits.push_back(name.bit);
    breaches &= ~name.bit;
  }
  for (int i = 0; i < 32; ++i) {
    if (breaches & (1u << i)) bits.push_back(1u << i);
  }
  return bits;
}

const char* BreachId(uint32_t breach) {
  for (const BreachName& name : kBreachNames) {
    if (name.bit == breach) return name.id;
  }
  return "other";
}

const char* BreachText(uint32_t breach) {
  if (breach == kBreachUnknownLauncher) {
    return "the bytes before the package offset are no known launcher image of this variant";
  }
  return core::DescribeBreach(static_cast<core::PackageBreach>(breach));
}

uint64_t PackageReading::End() const {
  const core::Segment& last = segments[segmentCount - 1];
  return last.offset + last.length;
}

bool ReadPackage(ByteSource* file, const std::vector<LauncherImage>& launchers,
                 const Variant* forcedVariant, PackageReport* report, std::string* error) {
  *report = PackageReport();
  report->fileSize = file->Size();
  bool known[2] = {false, false};
  for (const LauncherImage& launcher : launchers) {
    bool matches = false;
    if (!StartsWith(file, launcher.bytes, PackageOffset(launcher.variant), &matches, error)) return false;
    if (matches && !report->launcherRecognised) {
      report->launcherRecognised = true;
      report->recognisedVariant = launcher.variant;
      report->launcherOrigin = launcher.origin;
    }
    known[static_cast<int>(launcher.variant)] |= matches;
  }

  std::vector<Variant> variants;
  if (forcedVariant != nullptr) variants = {*forcedVariant};
  else if (known[0] != known[1]) variants = {report->recognisedVariant};
  else variants = {Variant::kSix, Variant::kNine};

  for (Variant variant : variants) {
    PackageReading reading;
    if (!ReadAt(file, variant, known[static_cast<int>(variant)], &reading, error)) return false;
    report->readings.push_back(reading);
  }
  return true;
}

}  // namespace packtool
