// Bad input of every kind: one line on stderr, a non-zero exit code, and the
// folder exactly as it was, with no output and no temporary file left.
#include <gtest/gtest.h>
#include <unistd.h>

#include "packtool_test_support.h"

namespace {

using packtool::Variant;
using namespace packtool_test;

struct BadInput {
  const char* name;
  std::vector<std::string> args;  // "@x" stands for the file x in the scratch folder
  const char* message;            // a part of the one line expected
  bool builtInImages = false;
};

const BadInput kBadInputs[] = {
    {"NoCommand", {}, "no command"},
    {"UnknownCommand", {"pack"}, "unknown command 'pack'"},
    {"UnknownOption", {"build", "--projector", "@projector.exe", "--fast", "-o", "@out.exe"}, "unknown option --fast"},
    {"OptionTwice", {"build", "--projector", "@projector.exe", "--title", "a", "--title", "b", "-o", "@out.exe"},
     "--title is given twice"},
    {"OptionWithoutValue", {"build", "--projector", "@projector.exe", "-o"}, "-o needs a value"},
    {"NoProjector", {"build", "--launcher", "@six.bin", "-o", "@out.exe"}, "build needs --projector FILE"},
    {"NoOutput", {"build", "--projector", "@projector.exe", "--launcher", "@six.bin"}, "build needs -o OUT"},
    {"MissingProjector", {"build", "--projector", "@absent.exe", "--launcher", "@six.bin", "-o", "@out.exe"},
     "cannot open '@absent.exe': No such file or directory"},
    {"ProjectorIsAFolder", {"build", "--projector", "@folder", "--launcher", "@six.bin", "-o", "@out.exe"},
     "'@folder' is a folder, not a file"},
    {"EmptyProjector", {"build", "--projector", "@empty.bin", "--launcher", "@six.bin", "-o", "@out.exe"},
     "'@empty.bin' is empty; a projector needs at least 1 byte"},
    {"ProjectorOf2GiB", {"build", "--projector", "@huge.bin", "--launcher", "@six.bin", "-o", "@out.exe"},
     "'@huge.bin' is 2147483648 bytes; the launcher reads a projector of at most 2147483647 bytes"},
    {"LauncherOfNoVariantsLength", {"build", "--projector", "@projector.exe", "--launcher", "@player.bin", "-o", "@out.exe"},
     "'@player.bin' is 17408 bytes; a launcher image is 62464 (six-icon variant) or 82944 (nine-icon variant) bytes"},
    {"LauncherOfTheOtherVariant",
     {"build", "--projector", "@projector.exe", "--launcher", "@nine.bin", "--variant", "six", "-o", "@out.exe"},
     "'@nine.bin' is 82944 bytes; a launcher image of the six-icon variant is 62464 bytes"},
    {"UnknownVariant", {"build", "--projector", "@projector.exe", "--variant", "ten", "-o", "@out.exe"},
     "--variant must be six or nine, not 'ten'"},
    {"NoBuiltInLauncher", {"build", "--projector", "@projector.exe", "-o", "@out.exe"},
     "this packtool carries no launcher image of the six-icon variant; give one with --launcher FILE"},
    {"PlayerOneByteShort",
     {"build", "--projector", "@projector.exe", "--song", "@song.mid", "--play", "once", "--player", "@short-player.bin",
      "--launcher", "@six.bin", "-o", "@out.exe"},
     "'@short-player.bin' is 17407 bytes; a player image is exactly 17408 bytes"},
    {"NoBuiltInPlayer",
     {"build", "--projector", "@projector.exe", "--song", "@song.mid", "--play", "loop", "--launcher", "@six.bin", "-o",
      "@out.exe"},
     "this packtool carries no player image; give one with --player FILE"},
    {"SongWithoutPlay", {"build", "--projector", "@projector.exe", "--song", "@song.mid", "-o", "@out.exe"},
     "--song needs --play once or --play loop"},
    {"PlayWithoutSong", {"build", "--projector", "@projector.exe", "--play", "once", "-o", "@out.exe"},
     "--play needs a --song"},
    {"PlayTwice", {"build", "--projector", "@projector.exe", "--song", "@song.mid", "--play", "twice", "-o", "@out.exe"},
     "--play must be once or loop, not 'twice'"},
    {"PlayerWithoutSong", {"build", "--projector", "@projector.exe", "--player", "@player.bin", "-o", "@out.exe"},
     "--player is used only with a --song"},
    {"MissingSong",
     {"build", "--projector", "@projector.exe", "--song", "@absent.mid", "--play", "once", "--player", "@player.bin",
      "--launcher", "@six.bin", "-o", "@out.exe"},
     "cannot open '@absent.mid'"},
    {"EmptySong",
     {"build", "--projector", "@projector.exe", "--song", "@empty.bin", "--play", "once", "--player", "@player.bin",
      "--launcher", "@six.bin", "-o", "@out.exe"},
     "'@empty.bin' is empty; a song needs at least 1 byte"},
    {"PositionWithoutComma", {"build", "--projector", "@projector.exe", "--at", "100", "-o", "@out.exe"},
     "--at needs X,Y as two whole numbers"},
    {"PositionNotANumber", {"build", "--projector", "@projector.exe", "--at", "1,y", "-o", "@out.exe"},
     "--at needs X,Y as two whole numbers"},
    {"PositionPast32Bits", {"build", "--projector", "@projector.exe", "--at", "2147483648,0", "-o", "@out.exe"},
     "--at needs X,Y as two whole numbers"},
    {"TwoPlacements", {"build", "--projector", "@projector.exe", "--center", "--keep-position", "-o", "@out.exe"},
     "give only one of --center, --at and --keep-position"},
    {"UnsupportedCodePage", {"build", "--projector", "@projector.exe", "--codepage", "437", "-o", "@out.exe"},
     "code page '437' is not supported; use one of 1250, 1251, 1252"},
    {"OutputFolderMissing", {"build", "--projector", "@projector.exe", "--launcher", "@six.bin", "-o", "@absent/out.exe"},
     "cannot create '@absent/out.exe': No such file or directory"},
    {"OutputIsAFolder", {"build", "--projector", "@projector.exe", "--launcher", "@six.bin", "-o", "@folder"},
     "cannot write '@folder'"},
    {"FailedBuildKeepsTheOldOutput", {"build", "--projector", "@empty.bin", "--launcher", "@six.bin", "-o", "@existing.exe"},
     "is empty"},
    {"ShowMissingFile", {"show", "@absent.exe"}, "cannot open '@absent.exe'"},
    {"ShowNoFile", {"show", "--json"}, "show needs a FILE"},
    {"ShowTwoFiles", {"show", "@package.exe", "@cut.exe"}, "show takes one FILE, not also '@cut.exe'"},
    {"ShowAFolder", {"show", "@folder"}, "is a folder, not a file"},
    {"ExtractCutPackage", {"extract", "@cut.exe", "-d", "@unpacked", "--launcher", "@six.bin"},
     "'@cut.exe' holds no valid package: the player image runs past the end of the file"},
    {"ExtractNoise", {"extract", "@noise.bin", "-d", "@unpacked", "--variant", "six"}, "holds no valid package"},
    {"ExtractUnknownLauncher", {"extract", "@package.exe", "-d", "@unpacked"},
     "starts with no known launcher image; give --variant six|nine or --launcher FILE"},
    {"ExtractWithoutFolder", {"extract", "@package.exe", "--launcher", "@six.bin"}, "extract needs -d DIR"},
    {"ExtractIntoAFile", {"extract", "@package.exe", "-d", "@existing.exe", "--launcher", "@six.bin"},
     "cannot create the folder '@existing.exe': a file of that name exists"},
    {"ExtractIntoAMissingParent", {"extract", "@package.exe", "-d", "@absent/unpacked", "--launcher", "@six.bin"},
     "cannot create the folder '@absent/unpacked'"},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const BadInput& c, std::ostream* os) { *os << c.name; }

std::string Expand(const std::string& text, const ScratchFolder& scratch) {
  std::string expanded;
  for (char c : text) expanded += c == '@' ? scratch.path() + "/" : std::string(1, c);
  return expanded;
}

class PacktoolBadInput : public testing::TestWithParam<BadInput> {
 protected:
  void SetUp() override {
    WriteFile(scratch_ / "projector.exe", Pattern(100, 1));
    WriteFile(scratch_ / "song.mid", Pattern(50, 2));
    WriteFile(scratch_ / "empty.bin", {});
    WriteFile(scratch_ / "six.bin", StandInLauncher(Variant::kSix));
    WriteFile(scratch_ / "nine.bin", StandInLauncher(Variant::kNine));
    WriteFile(scratch_ / "player.bin", StandInPlayer());
    WriteFile(scratch_ / "short-player.bin", Pattern(17407, 3));
    WriteFile(scratch_ / "existing.exe", Pattern(64, 4));
    WriteFile(scratch_ / "noise.bin", Pattern(70000, 5));
    WriteFile(scratch_ / "huge.bin", {});
    ASSERT_EQ(truncate((scratch_ / "huge.bin").c_str(), 2147483648), 0);
    ASSERT_EQ(mkdir((scratch_ / "folder").c_str(), 0755), 0);
    ASSERT_EQ(Packtool({"build", "--projector", scratch_ / "projector.exe", "--song", scratch_ / "song.mid", "--play",
                        "once", "--player", scratch_ / "player.bin", "--launcher", scratch_ / "six.bin", "-o",
                        scratch_ / "package.exe"})
                  .code,
              0);
    Bytes package = ReadFile(scratch_ / "package.exe");
    WriteFile(scratch_ / "cut.exe", Bytes(package.begin(), package.end() - 1));
  }

  ScratchFolder scratch_;
};

TEST_P(PacktoolBadInput, FailsWithOneLineAndWritesNothing) {
  const BadInput& bad = GetParam();
  std::vector<std::string> args;
  for (const std::string& arg : bad.args) args.push_back(Expand(arg, scratch_));
  std::vector<std::string> before = ListFolder(scratch_.path());
  Bytes existing = ReadFile(scratch_ / "existing.exe");

  Outcome run = Packtool(args);

  EXPECT_EQ(run.code, packtool::kExitError);
  EXPECT_EQ(run.out, "");
  ASSERT_FALSE(run.err.empty());
  EXPECT_EQ(run.err.rfind("packtool: ", 0), 0u) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  EXPECT_NE(run.err.find(Expand(bad.message, scratch_)), std::string::npos) << run.err;
  EXPECT_EQ(ListFolder(scratch_.path()), before);
  EXPECT_EQ(ReadFile(scratch_ / "existing.exe"), existing);
}

INSTANTIATE_TEST_SUITE_P(Packtool, PacktoolBadInput, testing::ValuesIn(kBadInputs),
                         [](const testing::TestParamInfo<BadInput>& info) { return info.param.name; });

TEST(PacktoolHelp, EveryCommandDescribesItselfOnStandardOutput) {
  for (const char* command : {"build", "show", "extract"}) {
    Outcome help = Packtool({command, "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind(std::string("usage: packtool ") + command, 0), 0u) << help.out;
  }
  Outcome overview = Packtool({"--help"});
  EXPECT_EQ(overview.code, 0);
  EXPECT_NE(overview.out.find("build"), std::string::npos);
}

}  // namespace
