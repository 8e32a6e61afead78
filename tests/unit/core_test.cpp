// The portable core: header decoding, segment plan and package checks,
// paths and the probe rule, placement arithmetic, and every message text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "messages.h"
#include "package_layout.h"
#include "paths.h"
#include "placement.h"
#include "text.h"

namespace {

std::vector<uint8_t> HeaderBytes(std::initializer_list<std::pair<size_t, uint8_t>> set) {
  std::vector<uint8_t> bytes(core::kPackageHeaderSize, 0);
  for (auto [at, value] : set) bytes[at] = value;
  return bytes;
}

// ---- Header ------------------------------------------------------------------

TEST(PackageHeader, DecodesLittleEndianFieldsAtTheirOffsets) {
  auto bytes = HeaderBytes({{0, 1}, {1, 0x00}, {2, 0x10}, {5, 0xF4}, {6, 0x01}, {11, 2},
                            {12, 0xFF}, {13, 0xFF}, {14, 0xFF}, {15, 0xFF}, {16, 20}, {20, 1},
                            {32, 'H'}, {33, 'i'}});
  core::PackageHeader header;
  core::DecodePackageHeader(bytes.data(), bytes.size(), &header);
  EXPECT_EQ(header.musicMode, 1);
  EXPECT_EQ(header.projectorLength, 4096u);
  EXPECT_EQ(header.songLength, 500u);
  EXPECT_EQ(header.placementMode, 2);
  EXPECT_EQ(header.x, -1);
  EXPECT_EQ(header.y, 20);
  EXPECT_EQ(header.maximizeFlag, 1);
  EXPECT_STREQ(header.title, "Hi");
}

TEST(PackageHeader, BytesPastTheEndReadAsZero) {
  auto bytes = HeaderBytes({{0, 2}, {1, 0xE8}, {2, 0x03}, {3, 0x77}, {4, 0x77}});
  core::PackageHeader header;
  core::DecodePackageHeader(bytes.data(), 3, &header);  // the file ends inside the projector length
  EXPECT_EQ(header.musicMode, 2);
  EXPECT_EQ(header.projectorLength, 1000u);
  EXPECT_EQ(header.title[0], '\0');
}

TEST(PackageHeader, TitleWithoutNulIsCutAt255Characters) {
  std::vector<uint8_t> bytes(core::kPackageHeaderSize, 'A');
  core::PackageHeader header;
  core::DecodePackageHeader(bytes.data(), bytes.size(), &header);
  EXPECT_EQ(std::string(header.title).size(), 255u);
}

TEST(PackageHeader, EncodeThenDecodeKeepsEveryFieldReservedOnesToo) {
  core::PackageHeader header = {};
  header.musicMode = 255;
  header.projectorLength = 0x80000000u;
  header.songLength = 7;
  header.reserved9 = 9;
  header.reserved10 = 10;
  header.placementMode = 3;
  header.x = -50;
  header.y = 2147483647;
  header.maximizeFlag = 2;
  for (int i = 0; i < 4; ++i) header.reserved21[i] = static_cast<uint8_t>(21 + i);
  for (int i = 0; i < 4; ++i) header.reserved25[i] = static_cast<uint8_t>(25 + i);
  header.reserved29 = 29;
  header.skipped30[0] = 30;
  header.skipped30[1] = 31;
  core::CopyText(header.title, sizeof header.title, "Title");
  uint8_t bytes[core::kPackageHeaderSize];
  core::EncodePackageHeader(header, bytes);
  core::PackageHeader decoded;
  core::DecodePackageHeader(bytes, sizeof bytes, &decoded);
  uint8_t again[core::kPackageHeaderSize];
  core::EncodePackageHeader(decoded, again);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + sizeof bytes), std::vector<uint8_t>(again, again + sizeof again));
  EXPECT_EQ(bytes[21], 21);
  EXPECT_EQ(bytes[31], 31);
  EXPECT_EQ(bytes[32], 'T');
}

// ---- Segments and package rules ---------------------------------------------

TEST(Segments, FollowTheHeaderWithoutGaps) {
  core::PackageHeader header = {};
  header.musicMode = 1;
  header.projectorLength = 1000;
  header.songLength = 500;
  for (uint32_t offset : {core::kSixIconPackageOffset, core::kNineIconPackageOffset}) {
    core::Segment segments[3];
    ASSERT_EQ(core::PlanSegments(header, offset, segments), 3);
    EXPECT_EQ(segments[0].offset, offset + 288u);
    EXPECT_EQ(segments[1].offset, offset + 1288u);
    EXPECT_EQ(segments[2].offset, offset + 1788u);
    EXPECT_EQ(segments[2].offset + segments[2].length, offset + 19196u);
    EXPECT_STREQ(segments[0].fileName, "projector.exe");
    EXPECT_STREQ(segments[1].fileName, "Midi.mid");
    EXPECT_STREQ(segments[2].fileName, "Midi.exe");
  }
  header.musicMode = 0;
  core::Segment segments[3];
  EXPECT_EQ(core::PlanSegments(header, core::kSixIconPackageOffset, segments), 1);
}

TEST(Segments, LoopFlagAndUsableLengths) {
  EXPECT_EQ(core::LoopFlagCharacter(1), '0');
  EXPECT_EQ(core::LoopFlagCharacter(2), '1');
  EXPECT_EQ(core::LoopFlagCharacter(255), '1');
  struct Case {
    uint8_t mode;
    uint32_t projector, song;
    bool usable;
  } cases[] = {{0, 1, 0, true}, {0, 0, 5, false}, {1, 1, 1, true}, {1, 1, 0, false}, {7, 0, 1, false}};
  for (const Case& c : cases) {
    core::PackageHeader header = {};
    header.musicMode = c.mode;
    header.projectorLength = c.projector;
    header.songLength = c.song;
    EXPECT_EQ(core::HasUsableLengths(header), c.usable) << int(c.mode) << " " << c.projector << " " << c.song;
  }
}

TEST(PackageCheck, NamesEachBreach) {
  const uint32_t P = core::kSixIconPackageOffset;
  struct Case {
    const char* name;
    uint8_t mode;
    uint32_t projector, song;
    uint64_t fileSize;
    bool titleNul;
    uint32_t breaches;
  } cases[] = {
      {"valid, no music", 0, 10, 0, P + 298, true, core::kBreachNone},
      {"valid, music", 1, 10, 5, P + 303 + 17408, true, core::kBreachNone},
      {"trailing bytes are fine", 2, 10, 5, P + 303 + 17408 + 99, true, core::kBreachNone},
      {"header cut", 0, 10, 0, P + 100, true, core::kBreachNoHeader | core::kBreachProjectorCut},
      {"zero projector", 0, 0, 0, P + 288, true, core::kBreachZeroProjector},
      {"projector cut", 0, 10, 0, P + 297, true, core::kBreachProjectorCut},
      {"zero song", 1, 10, 0, P + 298 + 17408, true, core::kBreachZeroSong},
      {"song cut", 1, 10, 5, P + 300, true, core::kBreachSongCut | core::kBreachPlayerCut},
      {"player cut", 1, 10, 5, P + 303 + 17407, true, core::kBreachPlayerCut},
      {"title without NUL", 0, 10, 0, P + 298, false, core::kBreachTitleWithoutNul},
      {"lengths that wrap", 1, 0xFFFFFFFFu, 0xFFFFFFFFu, P + 400, true,
       core::kBreachProjectorCut | core::kBreachSongCut | core::kBreachPlayerCut},
  };
  for (const Case& c : cases) {
    auto bytes = HeaderBytes({});
    core::PackageHeader header = {};
    header.musicMode = c.mode;
    header.projectorLength = c.projector;
    header.songLength = c.song;
    core::EncodePackageHeader(header, bytes.data());
    if (!c.titleNul)
      for (size_t i = 32; i < bytes.size(); ++i) bytes[i] = 'x';
    size_t available = c.fileSize < P + 288 ? static_cast<size_t>(c.fileSize - P) : bytes.size();
    EXPECT_EQ(core::CheckPackage(c.fileSize, P, bytes.data(), available), c.breaches) << c.name;
  }
  EXPECT_STREQ(core::DescribeBreach(core::kBreachPlayerCut), "the player image runs past the end of the file");
}

// ---- Paths ---------------------------------------------------------------------

TEST(Paths, BuiltByPlainConcatenation) {
  char path[core::kPathBufferSize];
  ASSERT_TRUE(core::BuildWorkRoot("C:\\WINDOWS", path, sizeof path));
  EXPECT_STREQ(path, "C:\\WINDOWS\\DERizi");
  ASSERT_TRUE(core::BuildInstanceFolder("C:\\WINDOWS", 1, path, sizeof path));
  EXPECT_STREQ(path, "C:\\WINDOWS\\DERizi\\1");
  ASSERT_TRUE(core::BuildInstanceFile("C:\\WINDOWS", 11, "projector.exe", path, sizeof path));
  EXPECT_STREQ(path, "C:\\WINDOWS\\DERizi\\11\\projector.exe");
}

TEST(Paths, APathThatDoesNotFitIsRefusedNeverCut) {
  char path[24];
  EXPECT_FALSE(core::BuildInstanceFile("C:\\WINDOWS", 1, "projector.exe", path, sizeof path));
  EXPECT_STREQ(path, "");
  EXPECT_TRUE(core::BuildInstanceFile("C:\\W", 1, "ml.dat", path, sizeof path));
}

TEST(Paths, WindowsDirectoryMustLeaveRoomForEveryPathOfARun) {
  // The instance folder holds up to 10 digits; "\fscommand" must fit the
  // shell's 255 characters, "\projector.exe" the 259 of the path buffers.
  const size_t kFixed = std::string("\\DERizi\\2147483647").size();
  std::string fits(core::kMaxShellPathLength - kFixed - std::string("\\fscommand").size(), 'w');
  std::string tooLong = fits + "w";
  EXPECT_TRUE(core::WindowsDirectoryFits(fits.c_str()));
  EXPECT_FALSE(core::WindowsDirectoryFits(tooLong.c_str()));
  EXPECT_FALSE(core::WindowsDirectoryFits(""));
  EXPECT_TRUE(core::WindowsDirectoryFits("C:\\windows"));
}

TEST(Paths, InstanceNames) {
  struct Case {
    const char* name;
    int32_t number;
  } cases[] = {{"1", 1},   {"27", 27}, {"2147483647", 2147483647}, {"0", 0},  {"01", 0},
               {"-1", 0},  {"1a", 0},  {"2147483648", 0},          {"", 0},   {"Temp.dat", 0}};
  for (const Case& c : cases) EXPECT_EQ(core::ParseInstanceName(c.name), c.number) << c.name;
}

TEST(Paths, FolderPrefixEndsAtTheLastSeparator) {
  struct Case {
    const char* path;
    size_t prefix;
  } cases[] = {{"C:\\W\\DERizi\\1\\Midi.exe", 14}, {"C:\\x\\player.exe", 5}, {"a/b.exe", 2}, {"Midi.exe", 0}};
  for (const Case& c : cases)
    EXPECT_EQ(core::FolderPrefixLength(c.path, core::TextLength(c.path)), c.prefix) << c.path;
}

TEST(Paths, ProbeTakesTheLowestFreeNumber) {
  struct Case {
    std::vector<int32_t> taken;
    int32_t expected;
  } cases[] = {{{}, 1}, {{1, 2}, 3}, {{1, 3}, 2}, {{2, 3}, 1}};
  for (const Case& c : cases) {
    auto isTaken = [](int32_t n, void* context) {
      auto* taken = static_cast<std::vector<int32_t>*>(context);
      return std::find(taken->begin(), taken->end(), n) != taken->end();
    };
    std::vector<int32_t> taken = c.taken;
    EXPECT_EQ(core::FirstFreeInstance(isTaken, &taken, 1), c.expected);
  }
}

// ---- Placement -------------------------------------------------------------------

TEST(Placement, CentringFloorsHalfTheDifference) {
  struct Case {
    int32_t outer, inner, origin;
  } cases[] = {{1024, 640, 192}, {768, 480, 144}, {1024, 1027, -2}, {768, 769, -1},
               {1024, 501, 261}, {201, 100, 50},  {100, 201, -51},  {5, 5, 0}};
  for (const Case& c : cases) EXPECT_EQ(core::CentredOrigin(c.outer, c.inner), c.origin) << c.outer << " " << c.inner;
}

TEST(Placement, ShowCommandsByPlacementAndMaximiseFlag) {
  const int N = core::kShowNormal, M = core::kShowMaximized;
  struct Case {
    uint8_t placement, maximize;
    std::vector<int> shows;
  } cases[] = {{0, 0, {N}},    {0, 1, {M}},    {1, 2, {M}},    {255, 0, {N}},
               {2, 0, {N, N}}, {2, 1, {M, M}}, {2, 2, {N, M}}, {2, 255, {N, M}}};
  for (const Case& c : cases) {
    int out[2];
    int count = core::ShowCommands(c.placement, c.maximize, out);
    EXPECT_EQ(std::vector<int>(out, out + count), c.shows) << int(c.placement) << " " << int(c.maximize);
  }
}

// ---- Messages ----------------------------------------------------------------------

TEST(Messages, FailureMessagesByKind) {
  struct Case {
    core::FailureKind kind;
    uint32_t code;
    const char* expected;
  } cases[] = {
      {core::EFOpenError, 0, "Cannot open file C:\\W\\x"},
      {core::EFCreateError, 0, "Cannot create file C:\\W\\x"},
      {core::EReadError, 0, "Stream read error"},
      {core::EWriteError, 0, "Stream write error"},
      {core::EStreamError, 0, "Out of memory while expanding memory stream"},
      {core::EOutOfMemory, 0, "Out of memory"},
      {core::EInOutError, 2, "File not found"},
      {core::EInOutError, 3, "Invalid filename"},
      {core::EInOutError, 4, "Too many open files"},
      {core::EInOutError, 5, "File access denied"},
      {core::EInOutError, 100, "Read beyond end of file"},
      {core::EInOutError, 101, "Disk full"},
      {core::EInOutError, 106, "Invalid numeric input"},
      {core::EInOutError, 112, "I/O error 112"},
  };
  for (const Case& c : cases) {
    char text[300];
    ASSERT_TRUE(core::FormatFailureMessage(c.kind, "C:\\W\\x", c.code, text, sizeof text));
    EXPECT_STREQ(text, c.expected);
  }
}

TEST(Messages, ReportAddsAClosingPeriodOnlyWhenMissing) {
  struct Case {
    const char* message;
    const char* expected;
  } cases[] = {
      {"Stream read error", "Exception EReadError in module present.exe at 0040ABCD.\nStream read error."},
      {"Ends with.", "Exception EReadError in module present.exe at 0040ABCD.\nEnds with."},
      {"", "Exception EReadError in module present.exe at 0040ABCD.\n"},
  };
  for (const Case& c : cases) {
    char text[300];
    ASSERT_TRUE(core::FormatFailureReport(core::EReadError, "present.exe", 0x0040ABCD, c.message, text, sizeof text));
    EXPECT_STREQ(text, c.expected);
  }
}

TEST(Messages, RuntimeErrorPutsTheLastDigitFourAfterError) {
  struct Case {
    uint32_t number;
    const char* expected;
  } cases[] = {{2, "Runtime error   2 at 00001A2B"},
               {103, "Runtime error 103 at 00001A2B"},
               {1234, "Runtime error1234 at 00001A2B"},
               {123456, "Runtime error123456 at 00001A2B"}};
  for (const Case& c : cases) {
    char text[64];
    ASSERT_TRUE(core::FormatRuntimeError(c.number, 0x1A2B, text, sizeof text));
    EXPECT_STREQ(text, c.expected);
  }
  // Up to three digits the text keeps the template's length.
  EXPECT_EQ(std::string("Runtime error   2 at 00000000").size(), std::string("Runtime error     at 00000000").size());
}

TEST(Text, OverflowEmptiesTheTextInsteadOfCuttingIt) {
  char buffer[8];
  core::TextBuffer text = core::MakeText(buffer, sizeof buffer);
  core::Append(&text, "1234567");
  EXPECT_TRUE(text.ok);
  core::Append(&text, "8");
  EXPECT_FALSE(text.ok);
  EXPECT_STREQ(buffer, "");
  core::Append(&text, "x");
  EXPECT_STREQ(buffer, "");
  text = core::MakeText(buffer, sizeof buffer);
  core::AppendDecimal(&text, -42);
  EXPECT_STREQ(buffer, "-42");
}

}  // namespace
