// Writes packaged executables, and the files a launcher unpacks from one.
// Either the whole output appears or none of it does.
#pragma once
#include <stdint.h>

#include <string>

#include "byte_source.h"
#include "file_io.h"
#include "package_layout.h"
#include "package_reader.h"

namespace packtool {

// The launcher counts a length of 2 GiB or more as more than the file holds.
constexpr uint64_t kLargestSegment = 0x7FFFFFFF;

struct PackageInputs {
  Variant variant;
  const uint8_t* launcher;     // PackageOffset(variant) bytes
  ByteSource* projector;
  std::string projectorName;
  ByteSource* song;            // null: no music
  std::string songName;
  const uint8_t* player;       // kPlayerImageSize bytes; used with a song only
  core::PackageHeader header;  // every field but the two lengths, which come from the sources
};

bool WritePackage(const PackageInputs& inputs, const std::string& outputPath, std::string* error);

// Writes "projector.exe" and, in the music modes, "Midi.mid", "Midi.exe" and
// "ml.dat" into `folder`, as the launcher would; the reading must be valid
// apart from an unknown launcher image.
bool ExtractPackage(ByteSource* file, const std::string& fileName, const PackageReading& reading,
                    const std::string& folder, std::string* error);

// `sourceName` names the source in the message when it ends early.
bool CopyRange(ByteSource* source, const std::string& sourceName, uint64_t offset, uint64_t length,
               OutputFile* out, std::string* error);

}  // namespace packtool
