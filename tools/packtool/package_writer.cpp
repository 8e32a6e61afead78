#include "package_writer.h"

#include <memory>
#include <vector>

#include "paths.h"

namespace packtool {
namespace {

constexpr size_t kCopyChunk = 1 << 20;

// Checks the layout about to be written against the same rules `show`
// applies, so packtool can never produce a package it would call broken.
bool CheckPlannedPackage(const core::PackageHeader& header, uint32_t packageOffset, std::string* error) {
  uint8_t headerBytes[core::kPackageHeaderSize];
  core::EncodePackageHeader(header, headerBytes);
  uint64_t size = packageOffset + uint64_t{core::kPackageHeaderSize} + header.projectorLength;
  if (core::HasMusic(header)) size += uint64_t{header.songLength} + core::kPlayerImageSize;
  uint32_t breaches = core::CheckPackage(size, packageOffset, headerBytes, sizeof headerBytes);
  if (breaches == 0) return true;
  *error = std::string("the package would not be valid: ") + BreachText(BreachBits(breaches)[0]);
  return false;
}

// Every file is written in full before the first one takes its name, so a
// failure leaves the folder as it was.
bool WriteSegmentFiles(ByteSource* file, const std::string& fileName, const PackageReading& reading,
                       const std::string& folder, std::string* error) {
  std::vector<std::unique_ptr<OutputFile>> outputs;
  for (int i = 0; i < reading.segmentCount; ++i) {
    const core::Segment& segment = reading.segments[i];
    outputs.emplace_back(new OutputFile);
    if (!outputs.back()->Create(JoinPath(folder, segment.fileName), error)) return false;
    if (!CopyRange(file, fileName, segment.offset, segment.length, outputs.back().get(), error)) return false;
  }
  if (core::HasMusic(reading.header)) {
    char flag = core::LoopFlagCharacter(reading.header.musicMode);
    outputs.emplace_back(new OutputFile);
    if (!outputs.back()->Create(JoinPath(folder, core::kLoopFlagFileName), error)) return false;
    if (!outputs.back()->Write(&flag, 1, error)) return false;
  }
  for (auto& output : outputs) {
    if (!output->Commit(false, error)) return false;
  }
  return true;
}

}  // namespace

bool CopyRange(ByteSource* source, const std::string& sourceName, uint64_t offset, uint64_t length,
               OutputFile* out, std::string* error) {
  std::vector<uint8_t> buffer(length < kCopyChunk ? static_cast<size_t>(length) : kCopyChunk);
  while (length > 0) {
    size_t count = length < buffer.size() ? static_cast<size_t>(length) : buffer.size();
    if (!source->ReadAt(offset, buffer.data(), count)) {
      *error = "cannot read '" + sourceName + "': it ended early or changed while it was copied";
      return false;
    }
    if (!out->Write(buffer.data(), count, error)) return false;
    offset += count;
    length -= count;
  }
  return true;
}

bool WritePackage(const PackageInputs& inputs, const std::string& outputPath, std::string* error) {
  core::PackageHeader header = inputs.header;
  header.projectorLength = static_cast<uint32_t>(inputs.projector->Size());
  header.songLength = inputs.song != nullptr ? static_cast<uint32_t>(inputs.song->Size()) : 0;
  uint32_t packageOffset = PackageOffset(inputs.variant);
  if (!CheckPlannedPackage(header, packageOffset, error)) return false;

  uint8_t headerBytes[core::kPackageHeaderSize];
  core::EncodePackageHeader(header, headerBytes);
  OutputFile out;
  if (!out.Create(outputPath, error)) return false;
  if (!out.Write(inputs.launcher, packageOffset, error)) return false;
  if (!out.Write(headerBytes, sizeof headerBytes, error)) return false;
  if (!CopyRange(inputs.projector, inputs.projectorName, 0, header.projectorLength, &out, error)) return false;
  if (core::HasMusic(header)) {
    if (!CopyRange(inputs.song, inputs.songName, 0, header.songLength, &out, error)) return false;
    if (!out.Write(inputs.player, core::kPlayerImageSize, error)) return false;
  }
  return out.Commit(true, error);
}

bool ExtractPackage(ByteSource* file, const std::string& fileName, const PackageReading& reading,
                    const std::string& folder, std::string* error) {
  if ((reading.breaches & ~kBreachUnknownLauncher) != 0) {
    uint32_t breaches = reading.breaches & ~kBreachUnknownLauncher;
    *error = "'" + fileName + "' holds no valid package: " + BreachText(BreachBits(breaches)[0]);
    return false;
  }
  bool created = false;
  if (!MakeFolder(folder, &created, error)) return false;
  if (WriteSegmentFiles(file, fileName, reading, folder, error)) return true;
  if (created) RemoveEmptyFolder(folder);
  return false;
}

}  // namespace packtool
