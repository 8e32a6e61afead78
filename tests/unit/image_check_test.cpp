// The PE reader on hand-made images, then the Windows build's programs
// checked with it: length, format, icons, resources and imported DLLs.
#include "image_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "image_check_fixture.h"
#include "package_layout.h"

namespace image_check {

// Lets failures show shapes as "16x16x4" rather than as raw bytes.
void PrintTo(const IconShape& shape, std::ostream* out) {
  *out << shape.width << "x" << shape.height << "x" << shape.bitCount;
}

namespace {

std::string Read(const Bytes& bytes, PeImage* image) { return ReadPeImage(bytes, image); }

std::vector<IconShape> Sorted(std::vector<IconShape> shapes) {
  std::sort(shapes.begin(), shapes.end());
  return shapes;
}

// --- The reader on fixtures ---------------------------------------------------

TEST(PeReader, ReadsHeaderImportsAndIconGroupOfBothFormats) {
  for (std::uint16_t magic : {kPe32Magic, kPe32PlusMagic}) {
    SCOPED_TRACE(magic);
    FixtureSpec spec;
    spec.optionalMagic = magic;
    spec.subsystem = 3;
    spec.otherResourceTypes = {kResourceManifest};
    const Fixture fixture = BuildFixture(spec);

    PeImage image;
    ASSERT_EQ(Read(fixture.bytes, &image), "");
    EXPECT_EQ(image.machine, kMachineI386);
    EXPECT_EQ(image.optionalMagic, magic);
    EXPECT_EQ(image.subsystem, 3);
    EXPECT_EQ(image.importedDlls, spec.imports);
    EXPECT_EQ(ResourcesOfType(image, kResourceManifest).size(), 1u);
    EXPECT_EQ(ResourcesOfType(image, kResourceIcon).size(), 2u);

    const std::vector<Resource> groups = ResourcesOfType(image, kResourceGroupIcon);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].name, ResourceKey::Name("MAINICON"));
    EXPECT_EQ(groups[0].language, ResourceKey::Id(0x409));
    const IconGroupReport report = InspectIconGroup(fixture.bytes, image, groups[0]);
    EXPECT_EQ(report.problems, std::vector<std::string>());
    EXPECT_EQ(report.shapes, (std::vector<IconShape>{{16, 16, 4}, {32, 32, 8}}));
  }
}

// Under the sanitizers an unchecked read past the end fails this test. The
// fixture ends with its section's last byte, so every shorter prefix is broken.
TEST(PeReader, RefusesEveryTruncationOfAnImage) {
  const Bytes whole = BuildFixture(FixtureSpec()).bytes;
  for (std::size_t length = 0; length < whole.size(); ++length) {
    const Bytes prefix(whole.begin(), whole.begin() + length);
    PeImage image;
    EXPECT_NE(Read(prefix, &image), "") << "prefix of " << length << " bytes";
  }
}

struct Corruption {
  const char* what;
  std::function<void(Fixture&)> apply;
  const char* expected;
};

TEST(PeReader, ReportsFieldsThatPointOutsideTheFile) {
  const std::vector<Corruption> cases = {
      {"no MZ", [](Fixture& f) { f.bytes[0] = 'X'; }, "no MZ header"},
      {"PE offset past the end", [](Fixture& f) { Put32(&f.bytes, 0x3C, 0xFFFFFFF0); },
       "PE header lies outside the file"},
      {"PE signature", [](Fixture& f) { f.bytes[f.peHeader + 1] = 'X'; }, "no PE signature at 0x40"},
      {"unknown magic", [](Fixture& f) { Put16(&f.bytes, f.optionalHeader, 0x1234); },
       "unknown optional header magic 0x1234"},
      {"optional header past the end", [](Fixture& f) { Put16(&f.bytes, f.peHeader + 20, 0xFFFF); },
       "optional header runs past the end of the file"},
      {"optional header without directories count", [](Fixture& f) { Put16(&f.bytes, f.peHeader + 20, 64); },
       "optional header too short"},
      {"section count past the end", [](Fixture& f) { Put16(&f.bytes, f.peHeader + 6, 0xFFFF); },
       "section table runs past the end of the file"},
      {"section size wraps", [](Fixture& f) { Put32(&f.bytes, f.sectionTable + 16, 0xFFFFFFFF); },
       "section .data runs past the end of the file"},
      {"section offset past the end", [](Fixture& f) { Put32(&f.bytes, f.sectionTable + 20, 0xFFFFFF00); },
       "section .data runs past the end of the file"},
      {"import table outside", [](Fixture& f) { Put32(&f.bytes, f.dataDirectories + 8, 0x90000); },
       "import descriptor outside the image"},
      {"import name outside", [](Fixture& f) { Put32(&f.bytes, f.importDescriptors + 12, 0x90000); },
       "import name outside the image"},
      {"import descriptor straddling the section end",
       [](Fixture& f) { Put32(&f.bytes, f.dataDirectories + 8, 0x1000 + (f.bytes.size() - 0x200) - 10); },
       "import descriptor outside the image"},
      {"resource root outside", [](Fixture& f) { Put32(&f.bytes, f.dataDirectories + 16, 0x90000); },
       "resource directory outside the image"},
      {"resource entry count past the section", [](Fixture& f) { Put16(&f.bytes, f.resourceRoot + 12, 0xFFFF); },
       "resource directory entries outside the image"},
      {"subdirectory outside", [](Fixture& f) { Put32(&f.bytes, f.resourceRoot + 20, 0xFFFFFFF0); },
       "resource directory outside the image"},
      {"subdirectory back to the root", [](Fixture& f) { Put32(&f.bytes, f.resourceRoot + 20, 0x80000000); },
       "resource tree deeper than three levels"},
      {"data in place of a subdirectory", [](Fixture& f) { Put32(&f.bytes, f.resourceRoot + 20, 0); },
       "resource data above the language level"},
      {"name string outside", [](Fixture& f) { Put32(&f.bytes, f.groupNameEntry, 0xFFFFFF00); },
       "resource name outside the image"},
      {"name string longer than the section", [](Fixture& f) { Put16(&f.bytes, f.groupNameString, 0xFFFF); },
       "resource name outside the image"},
      {"data entry outside", [](Fixture& f) { Put32(&f.bytes, f.groupLanguageEntry + 4, 0x7FFFFF00); },
       "resource data entry outside the image"},
      {"data outside", [](Fixture& f) { Put32(&f.bytes, f.groupDataEntry, 0x90000); },
       "resource data outside the image"},
      {"data longer than the section", [](Fixture& f) { Put32(&f.bytes, f.groupDataEntry + 4, 0xFFFFFFFF); },
       "resource data outside the image"},
  };
  for (const Corruption& c : cases) {
    Fixture fixture = BuildFixture(FixtureSpec());
    c.apply(fixture);
    PeImage image;
    EXPECT_EQ(Read(fixture.bytes, &image), c.expected) << c.what;
  }
}

TEST(PeReader, ReportsIconGroupsThatDisagreeWithTheirIcons) {
  const std::vector<Corruption> cases = {
      {"bit count", [](Fixture& f) { Put16(&f.bytes, f.iconData[0] + 14, 8); },
       "icon 1: bitmap bit count differs from the group entry"},
      {"height not doubled", [](Fixture& f) { Put32(&f.bytes, f.iconData[0] + 8, 16); },
       "icon 1: bitmap height is not twice the group entry's"},
      {"width", [](Fixture& f) { Put32(&f.bytes, f.iconData[0] + 4, 32); },
       "icon 1: bitmap width differs from the group entry"},
      {"planes", [](Fixture& f) { Put16(&f.bytes, f.groupData + 6 + 4, 0); }, "icon 1: planes are not 1"},
      {"colour count", [](Fixture& f) { f.bytes[f.groupData + 6 + 2] = 0; },
       "icon 1: colour count does not match the bit count"},
      {"size in the group", [](Fixture& f) { Put32(&f.bytes, f.groupData + 6 + 8, 100); },
       "icon 1: group entry size differs from the icon resource"},
      {"missing icon", [](Fixture& f) { Put16(&f.bytes, f.groupData + 6 + 12, 99); }, "icon 99 is missing"},
      {"PNG icon", [](Fixture& f) { f.bytes[f.iconData[0]] = 0x89; f.bytes[f.iconData[0] + 1] = 'P'; },
       "icon stored as PNG, not as a bitmap"},
      {"bitmap header size", [](Fixture& f) { Put32(&f.bytes, f.iconData[0], 12); },
       "icon bitmap header has an unknown size"},
  };
  for (const Corruption& c : cases) {
    Fixture fixture = BuildFixture(FixtureSpec());
    c.apply(fixture);
    PeImage image;
    ASSERT_EQ(Read(fixture.bytes, &image), "") << c.what;
    const IconGroupReport report =
        InspectIconGroup(fixture.bytes, image, ResourcesOfType(image, kResourceGroupIcon).at(0));
    EXPECT_EQ(report.problems, std::vector<std::string>{c.expected}) << c.what;
    EXPECT_EQ(report.shapes, (std::vector<IconShape>{{32, 32, 8}})) << c.what;
  }
}

TEST(PeReader, ReportsIconGroupDirectoriesCutShort) {
  const std::vector<Corruption> cases = {
      {"count beyond the data", [](Fixture& f) { Put16(&f.bytes, f.groupData + 4, 200); },
       "icon group shorter than its entry count"},
      {"not an icon directory", [](Fixture& f) { Put16(&f.bytes, f.groupData + 2, 2); },
       "icon group does not hold icons"},
      {"shorter than a header", [](Fixture& f) { Put32(&f.bytes, f.groupDataEntry + 4, 5); },
       "icon group shorter than its header"},
  };
  for (const Corruption& c : cases) {
    Fixture fixture = BuildFixture(FixtureSpec());
    c.apply(fixture);
    PeImage image;
    ASSERT_EQ(Read(fixture.bytes, &image), "") << c.what;
    const IconGroupReport report =
        InspectIconGroup(fixture.bytes, image, ResourcesOfType(image, kResourceGroupIcon).at(0));
    EXPECT_EQ(report.problems, std::vector<std::string>{c.expected}) << c.what;
    EXPECT_TRUE(report.shapes.empty()) << c.what;
  }
}

TEST(PeReader, ComparesImportedDllNamesWithoutCaseOrSuffix) {
  const std::vector<std::string> allowed = {"kernel32", "msvcrt"};
  struct Case {
    const char* dll;
    bool allowed;
  };
  const Case cases[] = {
      {"KERNEL32.dll", true}, {"msvcrt.DLL", true},    {"Kernel32", true},
      {"msvcr100.dll", false}, {"kernel32.dll.dll", false}, {"kernel3.dll", false},
      {"api-ms-win-crt-runtime-l1-1-0.dll", false},     {"", false},
  };
  for (const Case& c : cases) {
    PeImage image;
    image.importedDlls = {c.dll};
    const std::vector<std::string> expected =
        c.allowed ? std::vector<std::string>() : std::vector<std::string>{c.dll};
    EXPECT_EQ(ImportsOutside(image, allowed), expected) << "'" << c.dll << "'";
  }
}

// --- The Windows build's programs -------------------------------------------------

const std::vector<std::string> kSystemDlls = {"kernel32", "user32", "shell32", "winmm", "msvcrt"};

struct Deliverable {
  const char* file;
  std::uint32_t length;
  std::vector<IconShape> icons;  // empty: no icon group required
};

std::vector<IconShape> Shapes(std::vector<int> sizes, std::vector<int> bitCounts) {
  std::vector<IconShape> shapes;
  for (int size : sizes)
    for (int bits : bitCounts) shapes.push_back({size, size, bits});
  return shapes;
}

void PrintTo(const Deliverable& d, std::ostream* out) { *out << d.file; }

class WindowsProgram : public testing::TestWithParam<Deliverable> {};

TEST_P(WindowsProgram, IsALeanI386GuiImageWithItsIcons) {
  const Deliverable& d = GetParam();
  const std::string path = std::string(WINDOWS_BIN_DIR) + "/" + d.file;
  Bytes bytes;
  if (!ReadWholeFile(path, &bytes))
    GTEST_SKIP() << path << " is absent: build the windows preset first (make build)";

  EXPECT_EQ(bytes.size(), d.length);
  PeImage image;
  ASSERT_EQ(ReadPeImage(bytes, &image), "");
  EXPECT_EQ(image.optionalMagic, kPe32Magic);
  EXPECT_EQ(image.machine, kMachineI386);
  EXPECT_EQ(image.subsystem, kSubsystemGui);
  EXPECT_EQ(ImportsOutside(image, kSystemDlls), std::vector<std::string>());
  EXPECT_TRUE(ResourcesOfType(image, kResourceManifest).empty()) << "carries a manifest";
  EXPECT_TRUE(ResourcesOfType(image, kResourceVersion).empty()) << "carries version information";
  if (d.icons.empty()) return;

  const std::vector<Resource> groups = ResourcesOfType(image, kResourceGroupIcon);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].name, ResourceKey::Name("MAINICON"));
  const IconGroupReport report = InspectIconGroup(bytes, image, groups[0]);
  EXPECT_EQ(report.problems, std::vector<std::string>());
  EXPECT_EQ(Sorted(report.shapes), Sorted(d.icons));
}

INSTANTIATE_TEST_SUITE_P(
    Build, WindowsProgram,
    testing::Values(Deliverable{"base-six.exe", core::kSixIconPackageOffset, Shapes({16, 32}, {1, 4, 8})},
                    Deliverable{"base-nine.exe", core::kNineIconPackageOffset, Shapes({16, 32, 48}, {4, 8, 32})},
                    Deliverable{"midi.exe", core::kPlayerImageSize, {}}),
    [](const testing::TestParamInfo<Deliverable>& info) {
      std::string name = info.param.file;
      name.erase(std::remove_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }),
                 name.end());
      return name;
    });

}  // namespace
}  // namespace image_check
