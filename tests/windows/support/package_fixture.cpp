#include "package_fixture.h"

#include "harness.h"

namespace fixture {

std::string LauncherImage(Variant variant) {
  return harness::ReadFileBytes(harness::Join(harness::BinDir(), variant == kSix ? "base-six.exe" : "base-nine.exe"));
}

uint32_t PackageOffset(Variant variant) {
  return variant == kSix ? core::kSixIconPackageOffset : core::kNineIconPackageOffset;
}

std::string RealPlayer() { return harness::ReadFileBytes(harness::Join(harness::BinDir(), "midi.exe")); }

std::string StandinProjector() {
  return harness::ReadFileBytes(harness::Join(harness::BinDir(), "projector.exe"));
}

std::string Bytes(size_t count, uint32_t seed) {
  std::string bytes(count, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = 0; i < count; ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(state >> 16);
  }
  return bytes;
}

std::string Build(const Package& package) {
  core::PackageHeader header = package.header;
  std::string player = package.player;
  if (header.musicMode != 0 && player.empty()) player = RealPlayer();
  if (!package.keepLengths) {
    header.projectorLength = static_cast<uint32_t>(package.projector.size());
    if (header.musicMode != 0 || !package.song.empty()) header.songLength = static_cast<uint32_t>(package.song.size());
  }
  uint8_t headerBytes[core::kPackageHeaderSize];
  core::EncodePackageHeader(header, headerBytes);
  std::string file = LauncherImage(package.variant);
  file.append(reinterpret_cast<const char*>(headerBytes), sizeof headerBytes);
  if (package.headerOnly) return file;
  file += package.projector;
  if (header.musicMode != 0) file += package.song + player;
  file += package.trailing;
  return file;
}

std::string WritePackage(const std::string& folder, const std::string& name, const Package& package) {
  std::string path = harness::Join(folder, name);
  harness::WriteFileBytes(path, Build(package));
  return path;
}

void SetTitle(Package* package, const std::string& title) {
  for (size_t i = 0; i < core::kTitleFieldSize; ++i) package->header.title[i] = i < title.size() ? title[i] : '\0';
}

Package Presentation(const std::string& title) {
  Package package;
  package.projector = StandinProjector();
  SetTitle(&package, title);
  return package;
}

}  // namespace fixture
