#include "package_layout.h"

namespace core {
namespace {

struct Reader {
  const uint8_t* bytes;
  size_t available;
  size_t position;
};

uint8_t ReadByte(Reader* reader) {
  uint8_t value = reader->position < reader->available ? reader->bytes[reader->position] : 0;
  ++reader->position;
  return value;
}

uint32_t ReadUint32(Reader* reader) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(ReadByte(reader)) << (8 * i);
  return value;
}

void ReadBytes(Reader* reader, uint8_t* out, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = ReadByte(reader);
}

void PutUint32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

void DecodePackageHeader(const uint8_t* bytes, size_t available, PackageHeader* header) {
  Reader reader = {bytes, available, 0};
  header->musicMode = ReadByte(&reader);
  header->projectorLength = ReadUint32(&reader);
  header->songLength = ReadUint32(&reader);
  header->reserved9 = ReadByte(&reader);
  header->reserved10 = ReadByte(&reader);
  header->placementMode = ReadByte(&reader);
  header->x = static_cast<int32_t>(ReadUint32(&reader));
  header->y = static_cast<int32_t>(ReadUint32(&reader));
  header->maximizeFlag = ReadByte(&reader);
  ReadBytes(&reader, header->reserved21, 4);
  ReadBytes(&reader, header->reserved25, 4);
  header->reserved29 = ReadByte(&reader);
  ReadBytes(&reader, header->skipped30, 2);
  ReadBytes(&reader, reinterpret_cast<uint8_t*>(header->title), kTitleFieldSize);
  header->title[kTitleFieldSize - 1] = '\0';
}

void EncodePackageHeader(const PackageHeader& header, uint8_t out[kPackageHeaderSize]) {
  out[0] = header.musicMode;
  PutUint32(out + 1, header.projectorLength);
  PutUint32(out + 5, header.songLength);
  out[9] = header.reserved9;
  out[10] = header.reserved10;
  out[11] = header.placementMode;
  PutUint32(out + 12, static_cast<uint32_t>(header.x));
  PutUint32(out + 16, static_cast<uint32_t>(header.y));
  out[20] = header.maximizeFlag;
  for (int i = 0; i < 4; ++i) out[21 + i] = header.reserved21[i];
  for (int i = 0; i < 4; ++i) out[25 + i] = header.reserved25[i];
  out[29] = header.reserved29;
  out[30] = header.skipped30[0];
  out[31] = header.skipped30[1];
  for (size_t i = 0; i < kTitleFieldSize; ++i) out[32 + i] = static_cast<uint8_t>(header.title[i]);
}

bool HasMusic(const PackageHeader& header) { return header.musicMode != 0; }

char LoopFlagCharacter(uint8_t musicMode) { return musicMode == 1 ? '0' : '1'; }

bool HasUsableLengths(const PackageHeader& header) {
  if (header.projectorLength == 0) return false;
  return !HasMusic(header) || header.songLength != 0;
}

int PlanSegments(const PackageHeader& header, uint32_t packageOffset, Segment out[3]) {
  uint64_t offset = static_cast<uint64_t>(packageOffset) + kPackageHeaderSize;
  out[0] = {kProjectorSegment, "projector.exe", offset, header.projectorLength};
  if (!HasMusic(header)) return 1;
  offset += header.projectorLength;
  out[1] = {kSongSegment, "Midi.mid", offset, header.songLength};
  offset += header.songLength;
  out[2] = {kPlayerSegment, "Midi.exe", offset, kPlayerImageSize};
  return 3;
}

uint32_t CheckPackage(uint64_t fileSize, uint32_t packageOffset, const uint8_t* headerBytes,
                      size_t headerAvailable) {
  uint32_t breaches = kBreachNone;
  uint64_t headerEnd = static_cast<uint64_t>(packageOffset) + kPackageHeaderSize;
  if (fileSize < headerEnd || headerAvailable < kPackageHeaderSize) breaches |= kBreachNoHeader;

  PackageHeader header;
  DecodePackageHeader(headerBytes, headerAvailable, &header);
  bool titleHasNul = false;
  for (size_t i = 0; i < kTitleFieldSize; ++i) {
    size_t at = 32 + i;
    if (at >= headerAvailable || headerBytes[at] == 0) {
      titleHasNul = true;
      break;
    }
  }
  if (!titleHasNul) breaches |= kBreachTitleWithoutNul;

  static const uint32_t kZero[] = {kBreachZeroProjector, kBreachZeroSong, 0};
  static const uint32_t kCut[] = {kBreachProjectorCut, kBreachSongCut, kBreachPlayerCut};
  Segment segments[3];
  int count = PlanSegments(header, packageOffset, segments);
  for (int i = 0; i < count; ++i) {
    if (segments[i].length == 0) breaches |= kZero[i];
    if (segments[i].offset + segments[i].length > fileSize) breaches |= kCut[i];
  }
  return breaches;
}

const char* DescribeBreach(PackageBreach breach) {
  switch (breach) {
    case kBreachNone: return "valid";
    case kBreachNoHeader: return "the 288-byte package header is not complete";
    case kBreachZeroProjector: return "the projector length is 0";
    case kBreachProjectorCut: return "the projector image runs past the end of the file";
    case kBreachZeroSong: return "the song length is 0 in a music mode";
    case kBreachSongCut: return "the song image runs past the end of the file";
    case kBreachPlayerCut: return "the player image runs past the end of the file";
    case kBreachTitleWithoutNul: return "the window title field holds no NUL";
  }
  return "unknown breach";
}

}  // namespace core
