// A small reader of Windows PE images, for checking what the Windows build
// produced: header fields, imported DLLs and resources, icon groups among them.
// It trusts nothing in the file: every offset and count is checked against the
// bytes at hand, so any byte string can be given to it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace image_check {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kMachineI386 = 0x14C;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint16_t kSubsystemGui = 2;

constexpr std::uint16_t kResourceIcon = 3;
constexpr std::uint16_t kResourceVersion = 16;
constexpr std::uint16_t kResourceGroupIcon = 14;
constexpr std::uint16_t kResourceManifest = 24;

// A resource type, name or language: a number, or a string (kept as ASCII,
// other characters become '?').
struct ResourceKey {
  bool named = false;
  std::uint16_t id = 0;
  std::string name;

  static ResourceKey Id(std::uint16_t id);
  static ResourceKey Name(std::string name);
  bool operator==(const ResourceKey& other) const;
};

struct Resource {
  ResourceKey type;
  ResourceKey name;
  ResourceKey language;
  std::uint64_t fileOffset = 0;  // the data lies wholly inside the file
  std::uint32_t size = 0;
};

struct PeImage {
  std::uint16_t machine = 0;
  std::uint16_t optionalMagic = 0;
  std::uint16_t subsystem = 0;
  std::vector<std::string> importedDlls;  // as spelled in the image, delay-loaded ones too
  std::vector<Resource> resources;
};

// Returns an empty text when the image was read, else what is wrong with it.
std::string ReadPeImage(const Bytes& file, PeImage* image);

// One entry of an icon group's directory.
struct IconGroupEntry {
  std::uint8_t width = 0;  // 0 stands for 256
  std::uint8_t height = 0;
  std::uint8_t colorCount = 0;
  std::uint16_t planes = 0;
  std::uint16_t bitCount = 0;
  std::uint32_t bytesInRes = 0;
  std::uint16_t iconId = 0;
};

std::string ReadIconGroup(const Bytes& file, const Resource& group,
                          std::vector<IconGroupEntry>* entries);

// The BITMAPINFOHEADER at the start of an icon image; its height covers the
// colour bits and the mask, so it is twice the icon's height.
struct IconBitmapHeader {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t planes = 0;
  std::uint16_t bitCount = 0;
};

std::string ReadIconBitmapHeader(const Bytes& file, const Resource& icon,
                                 IconBitmapHeader* header);

std::vector<Resource> ResourcesOfType(const PeImage& image, std::uint16_t type);

// The imported DLLs whose names are not in `allowed`; names compare without
// case and with or without ".dll".
std::vector<std::string> ImportsOutside(const PeImage& image,
                                        const std::vector<std::string>& allowed);

struct IconShape {
  int width = 0;
  int height = 0;
  int bitCount = 0;

  bool operator==(const IconShape& other) const;
  bool operator<(const IconShape& other) const;
};

// An icon group's images as their bitmap headers state them, and every way in
// which the group directory and the icon resources disagree.
struct IconGroupReport {
  std::vector<IconShape> shapes;
  std::vector<std::string> problems;
};

IconGroupReport InspectIconGroup(const Bytes& file, const PeImage& image,
                                 const Resource& group);

bool ReadWholeFile(const std::string& path, Bytes* bytes);

}  // namespace image_check
