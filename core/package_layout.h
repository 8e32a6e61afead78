// The package appended to a launcher image: header record, segments and the
// rules a package must meet. Shared by the launcher, packtool and the tests.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace core {

constexpr uint32_t kSixIconPackageOffset = 62464;   // 0xF400
constexpr uint32_t kNineIconPackageOffset = 82944;  // 0x14400
constexpr uint32_t kPackageHeaderSize = 288;        // 0x120
constexpr uint32_t kPlayerImageSize = 17408;        // 0x4400
constexpr size_t kTitleFieldSize = 256;

// One record, fields in file order. Lengths are unsigned, X and Y signed.
struct PackageHeader {
  uint8_t musicMode;        // 0 none, 1 once, 2..255 loop
  uint32_t projectorLength;
  uint32_t songLength;
  uint8_t reserved9;
  uint8_t reserved10;
  uint8_t placementMode;    // 0 centre, 2 at X,Y, other: leave
  int32_t x;
  int32_t y;
  uint8_t maximizeFlag;
  uint8_t reserved21[4];
  uint8_t reserved25[4];
  uint8_t reserved29;
  uint8_t skipped30[2];     // never read by the launcher; kept for packtool show
  char title[kTitleFieldSize];  // always NUL-terminated after decoding
};

// Decodes the header from the bytes at the package offset. Bytes past
// `available` read as zero, as a header cut short by the end of the file does.
// A title field without NUL is cut at 255 characters.
void DecodePackageHeader(const uint8_t* bytes, size_t available, PackageHeader* header);
void EncodePackageHeader(const PackageHeader& header, uint8_t out[kPackageHeaderSize]);

bool HasMusic(const PackageHeader& header);
// '0' plays once (music mode 1), '1' loops (every other non-zero mode).
char LoopFlagCharacter(uint8_t musicMode);

// A length of 0 would make the reader take the whole image: the launcher
// would start a copy of itself as the projector, again and again.
bool HasUsableLengths(const PackageHeader& header);

enum SegmentId { kProjectorSegment, kSongSegment, kPlayerSegment };

struct Segment {
  SegmentId id;
  const char* fileName;  // name in the instance folder
  uint64_t offset;       // from the start of the packaged file
  uint32_t length;
};

// The segments the music mode calls for, in file order; returns their count (1 or 3).
int PlanSegments(const PackageHeader& header, uint32_t packageOffset, Segment out[3]);

// Every way in which a packaged file can break the rules of a valid package.
enum PackageBreach : uint32_t {
  kBreachNone = 0,
  kBreachNoHeader = 1u << 0,          // fewer than 288 bytes after the package offset
  kBreachZeroProjector = 1u << 1,
  kBreachProjectorCut = 1u << 2,
  kBreachZeroSong = 1u << 3,
  kBreachSongCut = 1u << 4,
  kBreachPlayerCut = 1u << 5,
  kBreachTitleWithoutNul = 1u << 6,
};

// `headerBytes` are the raw bytes at the package offset (up to 288 of them).
uint32_t CheckPackage(uint64_t fileSize, uint32_t packageOffset, const uint8_t* headerBytes,
                      size_t headerAvailable);
// One line describing a single breach bit, for people.
const char* DescribeBreach(PackageBreach breach);

}  // namespace core
