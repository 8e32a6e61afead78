// libFuzzer target: arbitrary bytes read as a packaged file, and the report
// `packtool show` prints about them, as text and as JSON.
//
// The first input byte chooses the frame, so that the fuzzer reaches the
// header without having to produce a whole launcher image first:
//   bits 0-1: 0 the rest is the whole file, no launcher known;
//             1 a known six-icon launcher image, then the rest;
//             2 a known nine-icon launcher image, then the rest;
//             3 the six-icon image, then the rest, read with --variant six
//               while no launcher is known;
//   bits 2-3: the code page the title is decoded from.
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "package_reader.h"
#include "report_format.h"

namespace {

using packtool::Variant;

std::vector<uint8_t> StandInLauncher(Variant variant) {
  std::vector<uint8_t> bytes(packtool::PackageOffset(variant));
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + 7 + (variant == Variant::kNine));
  return bytes;
}

// A launcher image followed by the fuzzer's bytes, without copying either.
class FramedSource : public packtool::ByteSource {
 public:
  FramedSource(const std::vector<uint8_t>* prefix, const uint8_t* data, size_t size)
      : prefix_(prefix), data_(data), size_(size) {}
  uint64_t Size() const override { return PrefixSize() + size_; }
  bool ReadAt(uint64_t offset, void* out, size_t count) override {
    if (offset > Size() || count > Size() - offset) return false;
    uint8_t* target = static_cast<uint8_t*>(out);
    size_t fromPrefix = offset < PrefixSize() ? static_cast<size_t>(std::min<uint64_t>(count, PrefixSize() - offset)) : 0;
    if (fromPrefix > 0) memcpy(target, prefix_->data() + offset, fromPrefix);
    if (count > fromPrefix) memcpy(target + fromPrefix, data_ + (offset + fromPrefix - PrefixSize()), count - fromPrefix);
    return true;
  }

 private:
  uint64_t PrefixSize() const { return prefix_ ? prefix_->size() : 0; }
  const std::vector<uint8_t>* prefix_;
  const uint8_t* data_;
  size_t size_;
};

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// What a report promises, whatever the bytes: a valid reading's segments lie
// inside the file, and nothing is called valid that breaks a rule.
void CheckReport(const packtool::PackageReport& report) {
  Require(!report.readings.empty() && report.readings.size() <= 2);
  for (const packtool::PackageReading& reading : report.readings) {
    Require(reading.headerAvailable <= core::kPackageHeaderSize);
    Require(reading.segmentCount == 1 || reading.segmentCount == 3);
    if (!reading.Valid()) continue;
    Require(reading.launcherKnown);
    Require(reading.End() <= report.fileSize);
    Require(core::HasUsableLengths(reading.header));
    Require(reading.segments[0].offset == reading.packageOffset + uint64_t{core::kPackageHeaderSize});
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> kSix = StandInLauncher(Variant::kSix);
  static const std::vector<uint8_t> kNine = StandInLauncher(Variant::kNine);
  if (size == 0) return 0;
  static const int kCodePages[] = {1252, 1250, 1251, 1252};
  int frame = data[0] & 3;
  int codePage = kCodePages[(data[0] >> 2) & 3];

  const std::vector<uint8_t>* prefix = frame == 1 || frame == 3 ? &kSix : frame == 2 ? &kNine : nullptr;
  FramedSource file(prefix, data + 1, size - 1);
  std::vector<packtool::LauncherImage> launchers;
  if (frame == 1 || frame == 2) {
    launchers.push_back({Variant::kSix, kSix.data(), "six"});
    launchers.push_back({Variant::kNine, kNine.data(), "nine"});
  }
  Variant forced = Variant::kSix;
  packtool::PackageReport report;
  std::string error;
  Require(packtool::ReadPackage(&file, launchers, frame == 3 ? &forced : nullptr, &report, &error));
  CheckReport(report);
  std::string text = packtool::FormatReportText("fuzz.exe", report, codePage);
  std::string json = packtool::FormatReportJson("fuzz.exe", report, codePage);
  Require(!text.empty() && json.front() == '{' && json.find('\0') == std::string::npos);
  return 0;
}
