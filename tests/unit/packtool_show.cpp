// packtool show on packages that break the rules: each breach is named, the
// reserved fields are shown as stored, and an unknown launcher image makes it
// read the file at both package offsets.
#include <gtest/gtest.h>
#include <string.h>

#include "packtool_test_support.h"

namespace {

using packtool::Variant;
using namespace packtool_test;
using Ids = std::vector<std::vector<std::string>>;

// A packaged file made from named fields, with the segments the header
// promises, cut to `keep` bytes when that is not 0.
Bytes MakePackage(const Bytes& launcher, const core::PackageHeader& header, size_t keep = 0) {
  Bytes file = launcher;
  uint8_t bytes[core::kPackageHeaderSize];
  core::EncodePackageHeader(header, bytes);
  file.insert(file.end(), bytes, bytes + sizeof bytes);
  Bytes projector = Pattern(header.projectorLength, 1);
  file.insert(file.end(), projector.begin(), projector.end());
  if (header.musicMode != 0) {
    Bytes song = Pattern(header.songLength, 2), player = StandInPlayer();
    file.insert(file.end(), song.begin(), song.end());
    file.insert(file.end(), player.begin(), player.end());
  }
  if (keep != 0) file.resize(keep);
  return file;
}

core::PackageHeader Header(uint8_t musicMode, uint32_t projector, uint32_t song) {
  core::PackageHeader header = {};
  header.musicMode = musicMode;
  header.projectorLength = projector;
  header.songLength = song;
  return header;
}

class PacktoolShow : public testing::Test {
 protected:
  void SetUp() override { WriteFile(scratch_ / "six.bin", six_); }

  Outcome Show(const Bytes& file, std::vector<std::string> options = {"--launcher", "six.bin"}) {
    WriteFile(scratch_ / "package.exe", file);
    std::vector<std::string> args = {"show", scratch_ / "package.exe", "--json"};
    for (const std::string& option : options) args.push_back(option == "six.bin" ? scratch_ / "six.bin" : option);
    return Packtool(args);
  }

  ScratchFolder scratch_;
  Bytes six_ = StandInLauncher(Variant::kSix);
  const size_t p_ = 62464;
};

struct Cut {
  const char* name;
  core::PackageHeader header;
  size_t keep;  // bytes of the file kept; 0 for all
  std::vector<std::string> breaches;
};

TEST_F(PacktoolShow, NamesEachBreachOfACutOrBrokenPackage) {
  core::PackageHeader noNul = Header(0, 10, 0);
  memset(noNul.title, 'T', sizeof noNul.title);
  const Cut kCuts[] = {
      {"launcher alone", Header(0, 10, 0), p_, {"no_header", "zero_projector", "projector_cut"}},
      {"inside the header", Header(0, 10, 0), p_ + 100, {"no_header", "projector_cut"}},
      {"inside the projector", Header(0, 10, 0), p_ + 288 + 9, {"projector_cut"}},
      {"inside the song", Header(1, 10, 50), p_ + 288 + 10 + 49, {"song_cut", "player_cut"}},
      {"inside the player", Header(2, 10, 50), p_ + 288 + 60 + 17407, {"player_cut"}},
      {"projector length 0", Header(0, 0, 0), 0, {"zero_projector"}},
      {"song length 0", Header(1, 10, 0), 0, {"zero_song"}},
      {"title without NUL", noNul, 0, {"title_without_nul"}},
  };
  for (const Cut& cut : kCuts) {
    Outcome show = Show(MakePackage(six_, cut.header, cut.keep));
    EXPECT_EQ(show.code, packtool::kExitInvalidPackage) << cut.name;
    EXPECT_EQ(BreachIds(show.out), Ids{cut.breaches}) << cut.name << "\n" << show.out;
    EXPECT_NE(show.out.find("\"valid\": false\n}"), std::string::npos) << cut.name;
  }
}

TEST_F(PacktoolShow, ProjectorLengthOfAllOnesRunsPastTheEnd) {
  Bytes file = MakePackage(six_, Header(0, 10, 0));
  memset(file.data() + p_ + 1, 0xFF, 4);
  Outcome show = Show(file);
  EXPECT_EQ(BreachIds(show.out), Ids{{"projector_cut"}}) << show.out;
  EXPECT_NE(show.out.find("\"projector_length\": 4294967295,"), std::string::npos);
}

TEST_F(PacktoolShow, ReportsReservedFieldsAndTrailingBytesAsStored) {
  core::PackageHeader header = Header(1, 10, 5);
  header.reserved9 = 9;
  header.reserved10 = 10;
  header.reserved29 = 29;
  const uint8_t r21[4] = {21, 22, 23, 24}, r25[4] = {25, 26, 27, 28}, r30[2] = {30, 31};
  memcpy(header.reserved21, r21, 4);
  memcpy(header.reserved25, r25, 4);
  memcpy(header.skipped30, r30, 2);
  header.placementMode = 7;
  header.maximizeFlag = 200;
  Bytes file = MakePackage(six_, header);
  file.resize(file.size() + 3, 'z');
  Outcome show = Show(file);
  EXPECT_EQ(show.code, 0) << show.out;
  for (const char* field : {"\"reserved_9\": 9,", "\"reserved_10\": 10,", "\"reserved_21\": [21, 22, 23, 24],",
                            "\"reserved_25\": [25, 26, 27, 28],", "\"reserved_29\": 29,", "\"reserved_30\": [30, 31],",
                            "\"placement_mode\": 7,", "\"maximize_flag\": 200,", "\"loop_flag\": \"0\",",
                            "\"trailing_bytes\": 3,"}) {
    EXPECT_NE(show.out.find(field), std::string::npos) << field << "\n" << show.out;
  }
}

TEST_F(PacktoolShow, ReadsAnUnknownLauncherAtBothOffsets) {
  Bytes file = MakePackage(StandInLauncher(Variant::kNine), Header(0, 10, 0));
  Outcome show = Show(file, {});
  EXPECT_EQ(show.code, packtool::kExitInvalidPackage);
  EXPECT_NE(show.out.find("\"launcher\": {\"known\": false}"), std::string::npos);
  // At the six-icon offset the bytes are launcher code; at the nine-icon
  // offset the package is whole, but the launcher is still not known.
  Ids ids = BreachIds(show.out);
  ASSERT_EQ(ids.size(), 2u) << show.out;
  EXPECT_EQ(ids[0].front(), "unknown_launcher");
  EXPECT_EQ(ids[1], std::vector<std::string>{"unknown_launcher"});

  Outcome forced = Show(file, {"--variant", "nine"});
  EXPECT_EQ(BreachIds(forced.out), Ids{{"unknown_launcher"}});
}

TEST_F(PacktoolShow, TextReportListsEveryFieldAndBreach) {
  Outcome show = Packtool({"show", scratch_ / "six.bin", "--launcher", scratch_ / "six.bin"});
  EXPECT_EQ(show.code, packtool::kExitInvalidPackage);
  for (const char* line : {"launcher: six-icon variant", "0 of 288 header bytes present", "music mode",
                           "projector length", "song length", "reserved 9", "reserved 10", "placement mode",
                           "maximise flag", "reserved 21..24", "reserved 25..28", "reserved 29",
                           "reserved 30..31", "window title", "projector.exe     offset 62752, length 0",
                           "- the 288-byte package header is not complete", "- the projector length is 0",
                           "valid: no"}) {
    EXPECT_NE(show.out.find(line), std::string::npos) << line << "\n" << show.out;
  }
}

TEST_F(PacktoolShow, ExtractFollowsAGivenVariantPastAnUnknownLauncher) {
  Bytes file = MakePackage(StandInLauncher(Variant::kNine), Header(2, 10, 20));
  WriteFile(scratch_ / "package.exe", file);
  Outcome extract = Packtool({"extract", scratch_ / "package.exe", "-d", scratch_ / "x", "--variant", "nine"});
  ASSERT_EQ(extract.code, 0) << extract.err;
  EXPECT_EQ(ReadFile(scratch_ / "x/Midi.mid"), Pattern(20, 2));
  EXPECT_EQ(ReadFile(scratch_ / "x/ml.dat"), Bytes{'1'});
}

}  // namespace
