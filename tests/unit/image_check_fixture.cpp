#include "image_check_fixture.h"

#include <algorithm>

namespace image_check {
namespace {

constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::uint32_t kSectionFileOffset = 0x200;
constexpr std::uint32_t kPeOffset = 0x40;
constexpr std::uint32_t kDirectoryCount = 16;
constexpr int kPlainTag = -1;
constexpr int kGroupTag = -2;

struct Item {
  ResourceKey name;
  Bytes data;
  int tag = kPlainTag;  // an icon's index, or one of the tags above
};

struct TypeGroup {
  ResourceKey type;
  std::vector<Item> items;
};

// One section holds everything; its bytes grow as parts are placed in it.
class Section {
 public:
  std::uint64_t Reserve(std::uint64_t length, std::uint64_t alignment = 4) {
    while (bytes_.size() % alignment != 0) bytes_.push_back(0);
    const std::uint64_t at = bytes_.size();
    bytes_.resize(at + length);
    return at;
  }
  Bytes& bytes() { return bytes_; }
  static std::uint32_t Rva(std::uint64_t at) { return static_cast<std::uint32_t>(kSectionRva + at); }
  static std::uint64_t FileOffset(std::uint64_t at) { return kSectionFileOffset + at; }

 private:
  Bytes bytes_;
};

Bytes IconBitmap(const FixtureIcon& icon) {
  const int rowBytes = (icon.size * icon.bitCount + 31) / 32 * 4;
  const int maskRowBytes = (icon.size + 31) / 32 * 4;
  const int paletteBytes = icon.bitCount <= 8 ? 4 << icon.bitCount : 0;
  Bytes bitmap(40 + paletteBytes + (rowBytes + maskRowBytes) * icon.size, 0);
  Put32(&bitmap, 0, 40);
  Put32(&bitmap, 4, static_cast<std::uint32_t>(icon.size));
  Put32(&bitmap, 8, static_cast<std::uint32_t>(2 * icon.size));
  Put16(&bitmap, 12, 1);
  Put16(&bitmap, 14, static_cast<std::uint16_t>(icon.bitCount));
  return bitmap;
}

Bytes IconGroup(const std::vector<FixtureIcon>& icons) {
  Bytes group(6 + 14 * icons.size(), 0);
  Put16(&group, 2, 1);
  Put16(&group, 4, static_cast<std::uint16_t>(icons.size()));
  for (std::size_t i = 0; i < icons.size(); ++i) {
    const std::uint64_t e = 6 + 14 * i;
    group[e] = group[e + 1] = static_cast<std::uint8_t>(icons[i].size);
    group[e + 2] = static_cast<std::uint8_t>(icons[i].bitCount < 8 ? 1 << icons[i].bitCount : 0);
    Put16(&group, e + 4, 1);
    Put16(&group, e + 6, static_cast<std::uint16_t>(icons[i].bitCount));
    Put32(&group, e + 8, static_cast<std::uint32_t>(IconBitmap(icons[i]).size()));
    Put16(&group, e + 12, static_cast<std::uint16_t>(i + 1));
  }
  return group;
}

std::vector<TypeGroup> ResourceTypes(const FixtureSpec& spec) {
  std::vector<TypeGroup> types;
  TypeGroup icons{ResourceKey::Id(kResourceIcon), {}};
  for (std::size_t i = 0; i < spec.icons.size(); ++i)
    icons.items.push_back({ResourceKey::Id(static_cast<std::uint16_t>(i + 1)), IconBitmap(spec.icons[i]),
                           static_cast<int>(i)});
  types.push_back(icons);
  types.push_back({ResourceKey::Id(kResourceGroupIcon),
                   {{ResourceKey::Name(spec.iconGroupName), IconGroup(spec.icons), kGroupTag}}});
  for (std::uint16_t type : spec.otherResourceTypes)
    types.push_back({ResourceKey::Id(type), {{ResourceKey::Id(1), Bytes(8, 0x5A), kPlainTag}}});
  return types;
}

// Lays out the three-level tree: directories, then data entries and data,
// then the name strings as they are met.
class ResourceWriter {
 public:
  ResourceWriter(Section* section, Fixture* fixture) : section_(*section), fixture_(*fixture) {}

  std::uint64_t Write(const std::vector<TypeGroup>& types) {
    root_ = section_.Reserve(16 + 8 * types.size());
    std::vector<std::uint64_t> nameDirectories;
    for (const TypeGroup& t : types) nameDirectories.push_back(section_.Reserve(16 + 8 * t.items.size()));
    WriteDirectoryHeader(root_, types.size(), CountNamed(types));
    for (std::size_t t = 0; t < types.size(); ++t) {
      const std::uint64_t entry = root_ + 16 + 8 * t;
      Put32(&section_.bytes(), entry, KeyField(types[t].type));
      Put32(&section_.bytes(), entry + 4, 0x80000000u | Relative(nameDirectories[t]));
      WriteNameDirectory(types[t], nameDirectories[t]);
    }
    return root_;
  }

 private:
  static std::size_t CountNamed(const std::vector<TypeGroup>& types) {
    std::size_t named = 0;
    for (const TypeGroup& t : types) named += t.type.named;
    return named;
  }

  void WriteNameDirectory(const TypeGroup& type, std::uint64_t directory) {
    std::size_t named = 0;
    for (const Item& item : type.items) named += item.name.named;
    WriteDirectoryHeader(directory, type.items.size(), named);
    for (std::size_t i = 0; i < type.items.size(); ++i) {
      const Item& item = type.items[i];
      const std::uint64_t entry = directory + 16 + 8 * i;
      const std::uint64_t languages = section_.Reserve(16 + 8);
      Put32(&section_.bytes(), entry, KeyField(item.name));
      Put32(&section_.bytes(), entry + 4, 0x80000000u | Relative(languages));
      WriteDirectoryHeader(languages, 1, 0);
      const std::uint64_t dataEntry = section_.Reserve(16);
      const std::uint64_t data = section_.Reserve(item.data.size());
      Put32(&section_.bytes(), languages + 16, 0x409);
      Put32(&section_.bytes(), languages + 20, Relative(dataEntry));
      Put32(&section_.bytes(), dataEntry, Section::Rva(data));
      Put32(&section_.bytes(), dataEntry + 4, static_cast<std::uint32_t>(item.data.size()));
      std::copy(item.data.begin(), item.data.end(), section_.bytes().begin() + data);
      Remember(item, entry, languages + 16, dataEntry, data);
    }
  }

  void Remember(const Item& item, std::uint64_t nameEntry, std::uint64_t languageEntry,
                std::uint64_t dataEntry, std::uint64_t data) {
    if (item.tag >= 0) {
      fixture_.iconData.resize(std::max<std::size_t>(fixture_.iconData.size(), item.tag + 1));
      fixture_.iconData[item.tag] = Section::FileOffset(data);
    } else if (item.tag == kGroupTag) {
      fixture_.groupNameEntry = Section::FileOffset(nameEntry);
      fixture_.groupNameString = Section::FileOffset(lastString_);
      fixture_.groupLanguageEntry = Section::FileOffset(languageEntry);
      fixture_.groupDataEntry = Section::FileOffset(dataEntry);
      fixture_.groupData = Section::FileOffset(data);
    }
  }

  void WriteDirectoryHeader(std::uint64_t at, std::size_t entries, std::size_t named) {
    Put16(&section_.bytes(), at + 12, static_cast<std::uint16_t>(named));
    Put16(&section_.bytes(), at + 14, static_cast<std::uint16_t>(entries - named));
  }

  std::uint32_t KeyField(const ResourceKey& key) {
    if (!key.named) return key.id;
    lastString_ = section_.Reserve(2 + 2 * key.name.size(), 2);
    Put16(&section_.bytes(), lastString_, static_cast<std::uint16_t>(key.name.size()));
    for (std::size_t i = 0; i < key.name.size(); ++i)
      Put16(&section_.bytes(), lastString_ + 2 + 2 * i, static_cast<std::uint8_t>(key.name[i]));
    return 0x80000000u | Relative(lastString_);
  }

  std::uint32_t Relative(std::uint64_t at) const { return static_cast<std::uint32_t>(at - root_); }

  Section& section_;
  Fixture& fixture_;
  std::uint64_t root_ = 0;
  std::uint64_t lastString_ = 0;
};

std::uint64_t WriteImports(const std::vector<std::string>& dlls, Section* section) {
  const std::uint64_t descriptors = section->Reserve(20 * (dlls.size() + 1));
  for (std::size_t i = 0; i < dlls.size(); ++i) {
    const std::uint64_t name = section->Reserve(dlls[i].size() + 1, 2);
    std::copy(dlls[i].begin(), dlls[i].end(), section->bytes().begin() + name);
    Put32(&section->bytes(), descriptors + 20 * i + 12, Section::Rva(name));
  }
  return descriptors;
}

void WriteHeaders(const FixtureSpec& spec, std::uint32_t sectionSize, Fixture* f) {
  Bytes& b = f->bytes;
  b.assign(kSectionFileOffset, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(&b, 0x3C, kPeOffset);
  f->peHeader = kPeOffset;
  b[kPeOffset] = 'P';
  b[kPeOffset + 1] = 'E';
  const bool plus = spec.optionalMagic == kPe32PlusMagic;
  const std::uint16_t directoriesAt = plus ? 112 : 96;
  const std::uint16_t optionalSize = directoriesAt + 8 * kDirectoryCount;
  Put16(&b, kPeOffset + 4, spec.machine);
  Put16(&b, kPeOffset + 6, 1);
  Put16(&b, kPeOffset + 20, optionalSize);
  Put16(&b, kPeOffset + 22, 0x0102);  // executable, 32-bit words
  f->optionalHeader = kPeOffset + 24;
  Put16(&b, f->optionalHeader, spec.optionalMagic);
  Put32(&b, f->optionalHeader + (plus ? 24 : 28), 0x400000);
  Put16(&b, f->optionalHeader + 68, spec.subsystem);
  Put32(&b, f->optionalHeader + directoriesAt - 4, kDirectoryCount);
  f->dataDirectories = f->optionalHeader + directoriesAt;
  f->sectionTable = f->optionalHeader + optionalSize;
  const char name[] = ".data";
  std::copy(name, name + 5, b.begin() + f->sectionTable);
  Put32(&b, f->sectionTable + 8, sectionSize);
  Put32(&b, f->sectionTable + 12, kSectionRva);
  Put32(&b, f->sectionTable + 16, sectionSize);
  Put32(&b, f->sectionTable + 20, kSectionFileOffset);
}

}  // namespace

void Put16(Bytes* bytes, std::uint64_t offset, std::uint16_t value) {
  (*bytes)[offset] = static_cast<std::uint8_t>(value);
  (*bytes)[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(Bytes* bytes, std::uint64_t offset, std::uint32_t value) {
  Put16(bytes, offset, static_cast<std::uint16_t>(value));
  Put16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

Fixture BuildFixture(const FixtureSpec& spec) {
  Fixture fixture;
  Section section;
  const std::uint64_t imports = WriteImports(spec.imports, &section);
  const std::uint64_t resources = ResourceWriter(&section, &fixture).Write(ResourceTypes(spec));
  const std::uint32_t resourcesSize = static_cast<std::uint32_t>(section.bytes().size() - resources);

  WriteHeaders(spec, static_cast<std::uint32_t>(section.bytes().size()), &fixture);
  Put32(&fixture.bytes, fixture.dataDirectories + 8, Section::Rva(imports));
  Put32(&fixture.bytes, fixture.dataDirectories + 12, static_cast<std::uint32_t>(20 * (spec.imports.size() + 1)));
  Put32(&fixture.bytes, fixture.dataDirectories + 16, Section::Rva(resources));
  Put32(&fixture.bytes, fixture.dataDirectories + 20, resourcesSize);
  fixture.importDescriptors = Section::FileOffset(imports);
  fixture.resourceRoot = Section::FileOffset(resources);
  fixture.bytes.insert(fixture.bytes.end(), section.bytes().begin(), section.bytes().end());
  return fixture;
}

}  // namespace image_check
