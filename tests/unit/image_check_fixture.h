// Builds tiny PE images from named fields, so that reader tests can say
// "an i386 GUI image importing USER32.dll with a 16x16 4-bit icon" and then
// break exactly one field of it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "image_check.h"

namespace image_check {

struct FixtureIcon {
  int size = 16;
  int bitCount = 4;
};

struct FixtureSpec {
  std::uint16_t machine = kMachineI386;
  std::uint16_t optionalMagic = kPe32Magic;
  std::uint16_t subsystem = kSubsystemGui;
  std::vector<std::string> imports = {"KERNEL32.dll", "USER32.dll"};
  std::string iconGroupName = "MAINICON";
  std::vector<FixtureIcon> icons = {{16, 4}, {32, 8}};
  std::vector<std::uint16_t> otherResourceTypes;  // one small resource of each
};

// The image and the file offsets of the fields that tests corrupt.
struct Fixture {
  Bytes bytes;
  std::uint64_t peHeader = 0;
  std::uint64_t optionalHeader = 0;
  std::uint64_t dataDirectories = 0;
  std::uint64_t sectionTable = 0;
  std::uint64_t importDescriptors = 0;
  std::uint64_t resourceRoot = 0;
  std::uint64_t groupNameEntry = 0;      // in the icon group type's name directory
  std::uint64_t groupNameString = 0;
  std::uint64_t groupLanguageEntry = 0;
  std::uint64_t groupDataEntry = 0;
  std::uint64_t groupData = 0;
  std::vector<std::uint64_t> iconData;
};

Fixture BuildFixture(const FixtureSpec& spec);

void Put16(Bytes* bytes, std::uint64_t offset, std::uint16_t value);
void Put32(Bytes* bytes, std::uint64_t offset, std::uint32_t value);

}  // namespace image_check
