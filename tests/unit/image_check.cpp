#include "image_check.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <tuple>

namespace image_check {
namespace {

// Offsets are 64-bit so that a 32-bit offset plus a 32-bit length never wraps.
bool Has(const Bytes& file, std::uint64_t offset, std::uint64_t length) {
  return offset <= file.size() && length <= file.size() - offset;
}

// Callers check the range with Has() first.
std::uint16_t U16(const Bytes& file, std::uint64_t offset) {
  return static_cast<std::uint16_t>(file[offset] | file[offset + 1] << 8);
}

std::uint32_t U32(const Bytes& file, std::uint64_t offset) {
  return static_cast<std::uint32_t>(U16(file, offset)) |
         static_cast<std::uint32_t>(U16(file, offset + 2)) << 16;
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

struct Section {
  std::string name;
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawOffset = 0;
  std::uint32_t rawSize = 0;

  // Bytes past the virtual size are file padding, not part of the image.
  std::uint64_t MappedLength() const {
    return virtualSize == 0 ? rawSize : std::min(virtualSize, rawSize);
  }
};

struct Layout {
  const Bytes& file;
  std::vector<Section> sections;

  // Where the bytes at `rva` lie in the file and how many follow them in
  // their section; false when no section holds them.
  bool Map(std::uint64_t rva, std::uint64_t* offset, std::uint64_t* available) const {
    for (const Section& s : sections) {
      if (rva >= s.virtualAddress && rva - s.virtualAddress < s.MappedLength()) {
        *offset = s.rawOffset + (rva - s.virtualAddress);
        *available = s.MappedLength() - (rva - s.virtualAddress);
        return true;
      }
    }
    return false;
  }

  bool MapRange(std::uint64_t rva, std::uint64_t length, std::uint64_t* offset) const {
    std::uint64_t available = 0;
    return Map(rva, offset, &available) && length <= available;
  }

  bool ReadString(std::uint64_t rva, std::string* text) const {
    std::uint64_t offset = 0;
    std::uint64_t available = 0;
    if (!Map(rva, &offset, &available)) return false;
    text->clear();
    for (std::uint64_t i = 0; i < available; ++i) {
      char c = static_cast<char>(file[offset + i]);
      if (c == '\0') return true;
      text->push_back(c);
    }
    return false;
  }
};

struct Headers {
  std::uint64_t peOffset = 0;
  std::uint16_t sectionCount = 0;
  std::uint64_t optionalOffset = 0;
  std::uint16_t optionalSize = 0;
  std::uint64_t imageBase = 0;
  std::uint32_t directoryCount = 0;
  std::uint64_t directoriesOffset = 0;
};

std::string ReadHeaders(const Bytes& file, PeImage* image, Headers* headers) {
  if (!Has(file, 0, 64) || file[0] != 'M' || file[1] != 'Z') return "no MZ header";
  headers->peOffset = U32(file, 0x3C);
  if (!Has(file, headers->peOffset, 24)) return "PE header lies outside the file";
  const Bytes signature = {'P', 'E', 0, 0};
  if (!std::equal(signature.begin(), signature.end(), file.begin() + headers->peOffset))
    return "no PE signature at " + Hex(headers->peOffset);
  image->machine = U16(file, headers->peOffset + 4);
  headers->sectionCount = U16(file, headers->peOffset + 6);
  headers->optionalSize = U16(file, headers->peOffset + 20);
  headers->optionalOffset = headers->peOffset + 24;
  if (!Has(file, headers->optionalOffset, headers->optionalSize))
    return "optional header runs past the end of the file";
  if (headers->optionalSize < 2) return "optional header too short for its magic";
  image->optionalMagic = U16(file, headers->optionalOffset);

  std::uint64_t countField = 0;
  if (image->optionalMagic == kPe32Magic) {
    countField = 92;
  } else if (image->optionalMagic == kPe32PlusMagic) {
    countField = 108;
  } else {
    return "unknown optional header magic " + Hex(image->optionalMagic);
  }
  headers->directoriesOffset = headers->optionalOffset + countField + 4;
  if (headers->optionalSize < countField + 4) return "optional header too short";
  const std::uint64_t o = headers->optionalOffset;
  image->subsystem = U16(file, o + 68);
  headers->imageBase = image->optionalMagic == kPe32Magic
                           ? U32(file, o + 28)
                           : (static_cast<std::uint64_t>(U32(file, o + 28)) << 32 | U32(file, o + 24));
  // The count may claim more directories than the header has room for.
  const std::uint64_t room = (headers->optionalSize - countField - 4) / 8;
  headers->directoryCount =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(U32(file, o + countField), room));
  return "";
}

std::string ReadSections(const Bytes& file, const Headers& headers, Layout* layout) {
  const std::uint64_t table = headers.optionalOffset + headers.optionalSize;
  if (!Has(file, table, 40ull * headers.sectionCount))
    return "section table runs past the end of the file";
  for (std::uint16_t i = 0; i < headers.sectionCount; ++i) {
    const std::uint64_t entry = table + 40ull * i;
    Section s;
    for (int c = 0; c < 8 && file[entry + c] != 0; ++c) s.name.push_back(static_cast<char>(file[entry + c]));
    s.virtualSize = U32(file, entry + 8);
    s.virtualAddress = U32(file, entry + 12);
    s.rawSize = U32(file, entry + 16);
    s.rawOffset = U32(file, entry + 20);
    if (s.rawSize != 0 && !Has(file, s.rawOffset, s.rawSize))
      return "section " + s.name + " runs past the end of the file";
    layout->sections.push_back(s);
  }
  return "";
}

struct DataDirectory {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

DataDirectory Directory(const Bytes& file, const Headers& headers, std::uint32_t index) {
  if (index >= headers.directoryCount) return {};
  const std::uint64_t at = headers.directoriesOffset + 8ull * index;
  return {U32(file, at), U32(file, at + 4)};
}

std::string ReadImports(const Layout& layout, std::uint32_t rva, std::vector<std::string>* dlls) {
  for (std::uint64_t at = rva;; at += 20) {
    std::uint64_t offset = 0;
    if (!layout.MapRange(at, 20, &offset)) return "import descriptor outside the image";
    const std::uint32_t nameRva = U32(layout.file, offset + 12);
    if (nameRva == 0) return "";
    std::string name;
    if (!layout.ReadString(nameRva, &name)) return "import name outside the image";
    dlls->push_back(name);
  }
}

std::string ReadDelayImports(const Layout& layout, std::uint32_t rva, std::uint64_t imageBase,
                             std::vector<std::string>* dlls) {
  for (std::uint64_t at = rva;; at += 32) {
    std::uint64_t offset = 0;
    if (!layout.MapRange(at, 32, &offset)) return "delay-import descriptor outside the image";
    const std::uint32_t attributes = U32(layout.file, offset);
    std::uint64_t nameRva = U32(layout.file, offset + 4);
    if (nameRva == 0) return "";
    // Old descriptors hold addresses rather than RVAs.
    if ((attributes & 1) == 0) nameRva -= imageBase;
    std::string name;
    if (!layout.ReadString(nameRva, &name)) return "delay-import name outside the image";
    dlls->push_back(name);
  }
}

// Type, name and language: the three levels of every resource tree.
constexpr int kResourceLevels = 3;
// Entries may share subdirectories, so a small file can describe a huge tree.
constexpr std::size_t kMaxResourceEntries = 100000;

class ResourceWalk {
 public:
  ResourceWalk(const Layout& layout, std::uint32_t rootRva, std::vector<Resource>* out)
      : layout_(layout), rootRva_(rootRva), out_(out) {}

  std::string Directory(std::uint32_t relative, int level, ResourceKey path[kResourceLevels]) {
    std::uint64_t at = 0;
    if (!layout_.MapRange(std::uint64_t{rootRva_} + relative, 16, &at))
      return "resource directory outside the image";
    const std::uint32_t count = U16(layout_.file, at + 12) + U16(layout_.file, at + 14);
    std::uint64_t entries = 0;
    if (!layout_.MapRange(std::uint64_t{rootRva_} + relative + 16, 8ull * count, &entries))
      return "resource directory entries outside the image";
    for (std::uint32_t i = 0; i < count; ++i) {
      if (++visited_ > kMaxResourceEntries) return "resource tree too large";
      const std::uint32_t key = U32(layout_.file, entries + 8ull * i);
      const std::uint32_t target = U32(layout_.file, entries + 8ull * i + 4);
      std::string problem = Key(key, &path[level]);
      if (problem.empty()) problem = Descend(target, level, path);
      if (!problem.empty()) return problem;
    }
    return "";
  }

 private:
  std::string Key(std::uint32_t field, ResourceKey* key) {
    if ((field & 0x80000000u) == 0) {
      *key = ResourceKey::Id(static_cast<std::uint16_t>(field));
      return "";
    }
    const std::uint64_t rva = std::uint64_t{rootRva_} + (field & 0x7FFFFFFFu);
    std::uint64_t at = 0;
    if (!layout_.MapRange(rva, 2, &at)) return "resource name outside the image";
    const std::uint16_t length = U16(layout_.file, at);
    if (!layout_.MapRange(rva + 2, 2ull * length, &at)) return "resource name outside the image";
    std::string name;
    for (std::uint16_t i = 0; i < length; ++i) {
      const std::uint16_t unit = U16(layout_.file, at + 2ull * i);
      name.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    *key = ResourceKey::Name(name);
    return "";
  }

  std::string Descend(std::uint32_t target, int level, ResourceKey path[kResourceLevels]) {
    const bool isDirectory = (target & 0x80000000u) != 0;
    const bool atLanguage = level == kResourceLevels - 1;
    if (isDirectory && atLanguage) return "resource tree deeper than three levels";
    if (!isDirectory && !atLanguage) return "resource data above the language level";
    if (isDirectory) return Directory(target & 0x7FFFFFFFu, level + 1, path);
    std::uint64_t entry = 0;
    if (!layout_.MapRange(std::uint64_t{rootRva_} + target, 16, &entry))
      return "resource data entry outside the image";
    Resource resource{path[0], path[1], path[2], 0, U32(layout_.file, entry + 4)};
    if (!layout_.MapRange(U32(layout_.file, entry), resource.size, &resource.fileOffset))
      return "resource data outside the image";
    out_->push_back(resource);
    return "";
  }

  const Layout& layout_;
  std::uint32_t rootRva_;
  std::vector<Resource>* out_;
  std::size_t visited_ = 0;
};

std::string Lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string WithoutDllSuffix(const std::string& name) {
  const std::string suffix = ".dll";
  if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
    return name.substr(0, name.size() - suffix.size());
  return name;
}

std::string CheckEntryAgainstBitmap(const IconGroupEntry& entry, const Resource& icon,
                                    const IconBitmapHeader& header) {
  const int entryWidth = entry.width == 0 ? 256 : entry.width;
  const int entryHeight = entry.height == 0 ? 256 : entry.height;
  const std::string which = "icon " + std::to_string(entry.iconId) + ": ";
  if (header.width != entryWidth) return which + "bitmap width differs from the group entry";
  if (header.height != 2 * entryHeight) return which + "bitmap height is not twice the group entry's";
  if (header.bitCount != entry.bitCount) return which + "bitmap bit count differs from the group entry";
  if (header.planes != 1 || entry.planes != 1) return which + "planes are not 1";
  const int colours = entry.bitCount < 8 ? 1 << entry.bitCount : 0;
  if (entry.colorCount != colours) return which + "colour count does not match the bit count";
  if (entry.bytesInRes != icon.size) return which + "group entry size differs from the icon resource";
  return "";
}

}  // namespace

ResourceKey ResourceKey::Id(std::uint16_t id) {
  ResourceKey key;
  key.id = id;
  return key;
}

ResourceKey ResourceKey::Name(std::string name) {
  ResourceKey key;
  key.named = true;
  key.name = std::move(name);
  return key;
}

bool ResourceKey::operator==(const ResourceKey& other) const {
  return named == other.named && (named ? name == other.name : id == other.id);
}

bool IconShape::operator==(const IconShape& other) const {
  return width == other.width && height == other.height && bitCount == other.bitCount;
}

bool IconShape::operator<(const IconShape& other) const {
  return std::tie(width, height, bitCount) < std::tie(other.width, other.height, other.bitCount);
}

std::string ReadPeImage(const Bytes& file, PeImage* image) {
  *image = PeImage();
  Headers headers;
  std::string problem = ReadHeaders(file, image, &headers);
  Layout layout{file, {}};
  if (problem.empty()) problem = ReadSections(file, headers, &layout);
  if (!problem.empty()) return problem;

  const DataDirectory imports = Directory(file, headers, 1);
  if (imports.rva != 0) problem = ReadImports(layout, imports.rva, &image->importedDlls);
  const DataDirectory delayImports = Directory(file, headers, 13);
  if (problem.empty() && delayImports.rva != 0)
    problem = ReadDelayImports(layout, delayImports.rva, headers.imageBase, &image->importedDlls);
  const DataDirectory resources = Directory(file, headers, 2);
  if (problem.empty() && resources.rva != 0) {
    ResourceKey path[kResourceLevels];
    problem = ResourceWalk(layout, resources.rva, &image->resources).Directory(0, 0, path);
  }
  return problem;
}

std::string ReadIconGroup(const Bytes& file, const Resource& group,
                          std::vector<IconGroupEntry>* entries) {
  entries->clear();
  const std::uint64_t at = group.fileOffset;
  if (group.size < 6 || !Has(file, at, group.size)) return "icon group shorter than its header";
  if (U16(file, at + 2) != 1) return "icon group does not hold icons";
  const std::uint16_t count = U16(file, at + 4);
  if (6ull + 14ull * count > group.size) return "icon group shorter than its entry count";
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::uint64_t e = at + 6 + 14ull * i;
    IconGroupEntry entry;
    entry.width = file[e];
    entry.height = file[e + 1];
    entry.colorCount = file[e + 2];
    entry.planes = U16(file, e + 4);
    entry.bitCount = U16(file, e + 6);
    entry.bytesInRes = U32(file, e + 8);
    entry.iconId = U16(file, e + 12);
    entries->push_back(entry);
  }
  return "";
}

std::string ReadIconBitmapHeader(const Bytes& file, const Resource& icon,
                                 IconBitmapHeader* header) {
  const std::uint64_t at = icon.fileOffset;
  if (icon.size >= 4 && Has(file, at, 4) && file[at] == 0x89 && file[at + 1] == 'P')
    return "icon stored as PNG, not as a bitmap";
  if (icon.size < 40 || !Has(file, at, 40)) return "icon shorter than a bitmap header";
  if (U32(file, at) < 40) return "icon bitmap header has an unknown size";
  header->width = static_cast<std::int32_t>(U32(file, at + 4));
  header->height = static_cast<std::int32_t>(U32(file, at + 8));
  header->planes = U16(file, at + 12);
  header->bitCount = U16(file, at + 14);
  return "";
}

std::vector<Resource> ResourcesOfType(const PeImage& image, std::uint16_t type) {
  std::vector<Resource> found;
  for (const Resource& r : image.resources)
    if (r.type == ResourceKey::Id(type)) found.push_back(r);
  return found;
}

std::vector<std::string> ImportsOutside(const PeImage& image,
                                        const std::vector<std::string>& allowed) {
  std::vector<std::string> outside;
  for (const std::string& dll : image.importedDlls) {
    const std::string wanted = WithoutDllSuffix(Lowercase(dll));
    const bool known = std::any_of(allowed.begin(), allowed.end(), [&](const std::string& a) {
      return WithoutDllSuffix(Lowercase(a)) == wanted;
    });
    if (!known) outside.push_back(dll);
  }
  return outside;
}

IconGroupReport InspectIconGroup(const Bytes& file, const PeImage& image, const Resource& group) {
  IconGroupReport report;
  std::vector<IconGroupEntry> entries;
  std::string problem = ReadIconGroup(file, group, &entries);
  if (!problem.empty()) report.problems.push_back(problem);
  const std::vector<Resource> icons = ResourcesOfType(image, kResourceIcon);
  for (const IconGroupEntry& entry : entries) {
    auto icon = std::find_if(icons.begin(), icons.end(), [&](const Resource& r) {
      return r.name == ResourceKey::Id(entry.iconId);
    });
    if (icon == icons.end()) {
      report.problems.push_back("icon " + std::to_string(entry.iconId) + " is missing");
      continue;
    }
    IconBitmapHeader header;
    problem = ReadIconBitmapHeader(file, *icon, &header);
    if (problem.empty()) problem = CheckEntryAgainstBitmap(entry, *icon, header);
    if (!problem.empty()) {
      report.problems.push_back(problem);
      continue;
    }
    report.shapes.push_back({header.width, header.height / 2, header.bitCount});
  }
  return report;
}

bool ReadWholeFile(const std::string& path, Bytes* bytes) {
  bytes->clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::uint8_t buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes->insert(bytes->end(), buffer, buffer + n);
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok;
}

}  // namespace image_check
