// packtool build, then show, then extract: every input comes back byte for
// byte, in each music mode and for both launcher variants.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "packtool_test_support.h"

namespace {

using packtool::Variant;
using namespace packtool_test;

struct Case {
  const char* name;
  Variant variant;
  const char* play;  // nullptr: no song
  uint8_t musicMode;
  const char* loopFlag;
};

const Case kCases[] = {
    {"SixNoMusic", Variant::kSix, nullptr, 0, nullptr},
    {"SixOnce", Variant::kSix, "once", 1, "0"},
    {"SixLoop", Variant::kSix, "loop", 2, "1"},
    {"NineNoMusic", Variant::kNine, nullptr, 0, nullptr},
    {"NineOnce", Variant::kNine, "once", 1, "0"},
    {"NineLoop", Variant::kNine, "loop", 2, "1"},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RoundTrip : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    launcher_ = StandInLauncher(GetParam().variant);
    WriteFile(scratch_ / "launcher.bin", launcher_);
    WriteFile(scratch_ / "player.bin", player_);
    WriteFile(scratch_ / "projector.exe", projector_);
    WriteFile(scratch_ / "song.mid", song_);
  }

  std::vector<std::string> BuildArgs() const {
    std::vector<std::string> args = {"build", "--projector", scratch_ / "projector.exe", "--launcher",
                                     scratch_ / "launcher.bin", "--title", "Round trip", "-o", scratch_ / "out.exe"};
    if (GetParam().play != nullptr) {
      args.insert(args.end(), {"--song", scratch_ / "song.mid", "--play", GetParam().play, "--player",
                               scratch_ / "player.bin"});
    }
    return args;
  }

  ScratchFolder scratch_;
  Bytes launcher_;
  Bytes player_ = StandInPlayer();
  Bytes projector_ = Pattern(1000, 1);
  Bytes song_ = Pattern(500, 2);
};

TEST_P(RoundTrip, LaysOutThePackageRightBehindTheLauncher) {
  ASSERT_EQ(Packtool(BuildArgs()).code, 0);
  Bytes out = ReadFile(scratch_ / "out.exe");
  const size_t p = launcher_.size();
  const bool music = GetParam().play != nullptr;
  ASSERT_EQ(out.size(), p + 288 + 1000 + (music ? 500 + 17408 : 0));
  EXPECT_TRUE(std::equal(launcher_.begin(), launcher_.end(), out.begin()));
  EXPECT_TRUE(std::equal(projector_.begin(), projector_.end(), out.begin() + p + 288));
  if (music) {
    EXPECT_TRUE(std::equal(song_.begin(), song_.end(), out.begin() + p + 1288));
    EXPECT_TRUE(std::equal(player_.begin(), player_.end(), out.begin() + p + 1788));
  }
  core::PackageHeader header = HeaderAt(out, GetParam().variant);
  EXPECT_EQ(header.musicMode, GetParam().musicMode);
  EXPECT_EQ(header.projectorLength, 1000u);
  EXPECT_EQ(header.songLength, music ? 500u : 0u);
  EXPECT_STREQ(header.title, "Round trip");
  struct stat status;
  ASSERT_EQ(stat((scratch_ / "out.exe").c_str(), &status), 0);
  EXPECT_NE(status.st_mode & S_IXUSR, 0u) << "the package is a program";
}

TEST_P(RoundTrip, ShowRecognisesTheLauncherAndCallsThePackageValid) {
  ASSERT_EQ(Packtool(BuildArgs()).code, 0);
  Outcome show = Packtool({"show", scratch_ / "out.exe", "--json", "--launcher", scratch_ / "launcher.bin"});
  EXPECT_EQ(show.code, 0) << show.out << show.err;
  const std::string variant = packtool::VariantName(GetParam().variant);
  EXPECT_NE(show.out.find("\"launcher\": {\"known\": true, \"variant\": \"" + variant + "\""), std::string::npos);
  const uint64_t p = packtool::PackageOffset(GetParam().variant);
  std::string segments = "\"segments\": [{\"name\": \"projector.exe\", \"offset\": " + std::to_string(p + 288) +
                         ", \"length\": 1000}";
  if (GetParam().play != nullptr) {
    segments += ", {\"name\": \"Midi.mid\", \"offset\": " + std::to_string(p + 1288) +
                ", \"length\": 500}, {\"name\": \"Midi.exe\", \"offset\": " + std::to_string(p + 1788) +
                ", \"length\": 17408}";
  }
  EXPECT_NE(show.out.find(segments + "]"), std::string::npos) << show.out;
  EXPECT_EQ(BreachIds(show.out), std::vector<std::vector<std::string>>{{}});
  EXPECT_NE(show.out.find("\"valid\": true\n}"), std::string::npos);
}

TEST_P(RoundTrip, ExtractGivesBackEveryInput) {
  ASSERT_EQ(Packtool(BuildArgs()).code, 0);
  Outcome extract = Packtool({"extract", scratch_ / "out.exe", "-d", scratch_ / "unpacked", "--launcher",
                          scratch_ / "launcher.bin"});
  ASSERT_EQ(extract.code, 0) << extract.err;
  EXPECT_EQ(ReadFile(scratch_ / "unpacked/projector.exe"), projector_);
  if (GetParam().play == nullptr) {
    EXPECT_EQ(ListFolder(scratch_ / "unpacked"), std::vector<std::string>{"projector.exe"});
    return;
  }
  EXPECT_EQ(ListFolder(scratch_ / "unpacked"),
            (std::vector<std::string>{"Midi.exe", "Midi.mid", "ml.dat", "projector.exe"}));
  EXPECT_EQ(ReadFile(scratch_ / "unpacked/Midi.mid"), song_);
  EXPECT_EQ(ReadFile(scratch_ / "unpacked/Midi.exe"), player_);
  const char* flag = GetParam().loopFlag;
  EXPECT_EQ(ReadFile(scratch_ / "unpacked/ml.dat"), Bytes(flag, flag + 1));
}

// The images built into the tool stand in for --launcher and --player and
// give the same file.
TEST_P(RoundTrip, BuiltInImagesGiveTheSameFileAsTheGivenOnes) {
  Bytes six = StandInLauncher(Variant::kSix), nine = StandInLauncher(Variant::kNine);
  packtool::BuiltInImages images;
  images.six = {six.data(), six.size()};
  images.nine = {nine.data(), nine.size()};
  images.player = {player_.data(), player_.size()};
  ASSERT_EQ(Packtool(BuildArgs()).code, 0);
  std::vector<std::string> args = {"build", "--projector", scratch_ / "projector.exe", "--variant",
                                   packtool::VariantName(GetParam().variant), "--title", "Round trip",
                                   "-o", scratch_ / "builtin.exe"};
  if (GetParam().play != nullptr) args.insert(args.end(), {"--song", scratch_ / "song.mid", "--play", GetParam().play});
  Outcome build = Packtool(args, images);
  ASSERT_EQ(build.code, 0) << build.err;
  EXPECT_EQ(ReadFile(scratch_ / "builtin.exe"), ReadFile(scratch_ / "out.exe"));

  Outcome show = Packtool({"show", scratch_ / "builtin.exe"}, images);
  EXPECT_EQ(show.code, 0) << show.out;
  EXPECT_NE(show.out.find(std::string("launcher: ") + packtool::VariantLongName(GetParam().variant) +
                          " (built-in image)"),
            std::string::npos)
      << show.out;
}

INSTANTIATE_TEST_SUITE_P(Packtool, RoundTrip, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// ---- Header fields from the options ------------------------------------------

struct PlacementCase {
  std::vector<std::string> options;
  uint8_t placementMode;
  int32_t x;
  int32_t y;
  uint8_t maximizeFlag;
};

TEST(PacktoolBuild, StoresPlacementAndMaximiseFlag) {
  const PlacementCase kPlacements[] = {
      {{}, 0, 0, 0, 0},
      {{"--center"}, 0, 0, 0, 0},
      {{"--at", "100,-20"}, 2, 100, -20, 0},
      {{"--at=-2147483648,2147483647"}, 2, INT32_MIN, INT32_MAX, 0},
      {{"--keep-position"}, 1, 0, 0, 0},
      {{"--maximize"}, 0, 0, 0, 1},
      {{"--at", "5,6", "--maximize"}, 2, 5, 6, 1},
  };
  ScratchFolder scratch;
  WriteFile(scratch / "projector.exe", Pattern(10, 3));
  WriteFile(scratch / "launcher.bin", StandInLauncher(Variant::kSix));
  for (const PlacementCase& c : kPlacements) {
    std::vector<std::string> args = {"build", "--projector", scratch / "projector.exe", "--launcher",
                                     scratch / "launcher.bin", "-o", scratch / "out.exe"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    Outcome build = Packtool(args);
    ASSERT_EQ(build.code, 0) << build.err;
    core::PackageHeader header = HeaderAt(ReadFile(scratch / "out.exe"), Variant::kSix);
    EXPECT_EQ(header.placementMode, c.placementMode) << testing::PrintToString(c.options);
    EXPECT_EQ(header.x, c.x) << testing::PrintToString(c.options);
    EXPECT_EQ(header.y, c.y) << testing::PrintToString(c.options);
    EXPECT_EQ(header.maximizeFlag, c.maximizeFlag) << testing::PrintToString(c.options);
  }
}

TEST(PacktoolBuild, TakesTheVariantFromTheLauncherFilesLength) {
  ScratchFolder scratch;
  WriteFile(scratch / "projector.exe", Pattern(10, 3));
  WriteFile(scratch / "nine.bin", StandInLauncher(Variant::kNine));
  ASSERT_EQ(Packtool({"build", "--projector", scratch / "projector.exe", "--launcher", scratch / "nine.bin", "-o",
                      scratch / "out.exe"})
                .code,
            0);
  EXPECT_EQ(HeaderAt(ReadFile(scratch / "out.exe"), Variant::kNine).projectorLength, 10u);
}

TEST(PacktoolBuild, ReplacesAnExistingOutputWhole) {
  ScratchFolder scratch;
  WriteFile(scratch / "projector.exe", Pattern(10, 3));
  WriteFile(scratch / "launcher.bin", StandInLauncher(Variant::kSix));
  WriteFile(scratch / "out.exe", Pattern(200000, 9));
  ASSERT_EQ(Packtool({"build", "--projector", scratch / "projector.exe", "--launcher", scratch / "launcher.bin",
                      "-o", scratch / "out.exe"})
                .code,
            0);
  EXPECT_EQ(ReadFile(scratch / "out.exe").size(), 62464u + 288 + 10);
  EXPECT_EQ(ListFolder(scratch.path()), (std::vector<std::string>{"launcher.bin", "out.exe", "projector.exe"}));
}

// ---- The real images, when the Windows build was there to embed them ---------

#ifndef PACKTOOL_BINARY
#error "the tests need the path of the packtool program"
#endif

int RunProgram(const std::string& command) { return WEXITSTATUS(system(command.c_str())); }

TEST(PacktoolEmbeddedImages, BuildsShowsAndExtractsWithTheRealLauncherAndPlayer) {
  const std::string six = PACKTOOL_EMBEDDED_SIX, player = PACKTOOL_EMBEDDED_PLAYER;
  if (six.empty() || player.empty()) GTEST_SKIP() << "packtool was built without the Windows images";
  ScratchFolder scratch;
  WriteFile(scratch / "projector.exe", Pattern(3000, 4));
  WriteFile(scratch / "song.mid", Pattern(300, 5));
  const std::string tool = PACKTOOL_BINARY;
  ASSERT_EQ(RunProgram(tool + " build --projector " + (scratch / "projector.exe") + " --song " +
                       (scratch / "song.mid") + " --play once -o " + (scratch / "out.exe") + " >/dev/null"),
            0);
  Bytes out = ReadFile(scratch / "out.exe");
  Bytes launcher = ReadFile(six);
  ASSERT_GT(out.size(), launcher.size());
  EXPECT_TRUE(std::equal(launcher.begin(), launcher.end(), out.begin()));

  EXPECT_EQ(RunProgram(tool + " show " + (scratch / "out.exe") + " --json >" + (scratch / "show.json")), 0);
  Bytes json = ReadFile(scratch / "show.json");
  EXPECT_NE(std::string(json.begin(), json.end()).find("\"origin\": \"built-in image\""), std::string::npos);

  ASSERT_EQ(RunProgram(tool + " extract " + (scratch / "out.exe") + " -d " + (scratch / "x") + " >/dev/null"), 0);
  EXPECT_EQ(ReadFile(scratch / "x/projector.exe"), Pattern(3000, 4));
  EXPECT_EQ(ReadFile(scratch / "x/Midi.mid"), Pattern(300, 5));
  EXPECT_EQ(ReadFile(scratch / "x/Midi.exe"), ReadFile(player));
  EXPECT_EQ(ReadFile(scratch / "x/ml.dat"), Bytes{'0'});
}

}  // namespace
