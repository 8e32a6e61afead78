// The real launcher images under Wine: work folder, unpacking and the ends
// of a run, checked on disk and through the boxes the launcher shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

#include "e2e_fixture.h"
#include "harness.h"
#include "package_fixture.h"
#include "standin.h"

namespace {

using fixture::Package;
using harness::Join;

const char kCannotRun[] = "Application can not be run.";

class Launcher : public PackagedRunTest {
 protected:
  void SetUp() override {
    PackagedRunTest::SetUp();
    standin::SetBehaviour(workingDir_, {{"close_after_ms", "300"}});
  }
  harness::RunResult Run(const Package& package, harness::RunOptions options = harness::RunOptions()) {
    return RunPackage(package, options);
  }
};

void ExpectOnlyBox(const harness::RunResult& result, const std::string& caption, const std::string& text) {
  ASSERT_EQ(result.boxes.size(), 1u);
  EXPECT_EQ(result.boxes[0].caption, caption);
  EXPECT_EQ(result.boxes[0].text, text);
  EXPECT_TRUE(result.boxes[0].hasIcon);
}

// A projector image that is no program: the start fails and the launcher
// waits on its message, with every unpacked file still on disk.
Package UnrunnablePackage(uint8_t musicMode) {
  Package package;
  package.header.musicMode = musicMode;
  package.projector = fixture::Bytes(1000, 1);
  package.song = fixture::Bytes(500, 2);
  return package;
}

// ---- Work root and instance folder ----------------------------------------

TEST_F(Launcher, FirstRunCreatesWorkRootUsesInstanceOneAndRemovesIt) {
  harness::RunResult result = Run(fixture::Presentation());
  ASSERT_TRUE(result.started);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_TRUE(result.boxes.empty());
  standin::Report report = standin::ReadReport(workingDir_, 1);
  ASSERT_TRUE(report.present);
  EXPECT_EQ(_stricmp(report.Get("exe").c_str(), Join(Instance(1), "projector.exe").c_str()), 0);
  EXPECT_EQ(report.Get("command_line"), Join(Instance(1), "Projector.exe"));
  EXPECT_EQ(_stricmp(report.Get("current_dir").c_str(), workingDir_.c_str()), 0);
  EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
}

struct ProbeCase {
  std::vector<int> existingFolders;
  int expected;
};

class InstanceProbe : public Launcher, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(InstanceProbe, TakesLowestFreeNumberAndRemovesLeftovers) {
  CreateDirectoryA(harness::WorkRoot().c_str(), nullptr);
  for (int number : GetParam().existingFolders) {
    CreateDirectoryA(Instance(number).c_str(), nullptr);
    harness::WriteFileBytes(Join(Instance(number), "left.txt"), "left by a failed run");
  }
  harness::RunResult result = Run(fixture::Presentation());
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_TRUE(result.boxes.empty());
  EXPECT_TRUE(standin::ReadReport(workingDir_, GetParam().expected).present);
  EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
}

INSTANTIATE_TEST_SUITE_P(Folders, InstanceProbe,
                         ::testing::Values(ProbeCase{{1, 2}, 3}, ProbeCase{{1, 3}, 2}, ProbeCase{{2}, 1}));

TEST_F(Launcher, FileNamedOneStopsTheProbeWithMessageAndRemovesNothing) {
  CreateDirectoryA(harness::WorkRoot().c_str(), nullptr);
  harness::WriteFileBytes(Instance(1), "a file, not a folder");
  harness::RunResult result = Run(fixture::Presentation());
  EXPECT_EQ(result.exitCode, 0u);
  ExpectOnlyBox(result, "Error", kCannotRun);
  EXPECT_TRUE(harness::FileExists(Instance(1)));
  EXPECT_EQ(harness::ListTree(harness::WorkRoot()), std::vector<std::string>{"1"});
}

TEST_F(Launcher, WorkRootThatIsAFileStopsAtTheFirstStep) {
  harness::WriteFileBytes(harness::WorkRoot(), "not a folder");
  harness::RunResult result = Run(fixture::Presentation());
  EXPECT_EQ(result.exitCode, 0u);
  ExpectOnlyBox(result, "Error", kCannotRun);
  EXPECT_EQ(harness::ReadFileBytes(harness::WorkRoot()), "not a folder");
}

TEST_F(Launcher, RemovalKeepsTheFolderOfARunInProgress) {
  CreateDirectoryA(harness::WorkRoot().c_str(), nullptr);
  CreateDirectoryA(Instance(5).c_str(), nullptr);
  harness::WriteFileBytes(Join(Instance(5), "projector.exe"), "in use by a live run");
  CreateDirectoryA(Instance(7).c_str(), nullptr);
  harness::WriteFileBytes(Join(Instance(7), "projector.exe"), "left by a failed run");
  // The live run's mark: a run holds this for as long as its process lives.
  HANDLE liveRun = CreateMutexA(nullptr, FALSE, "DERizi.instance.5");
  ASSERT_NE(liveRun, nullptr);

  harness::RunResult result = Run(fixture::Presentation());
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_TRUE(standin::ReadReport(workingDir_, 1).present);
  EXPECT_EQ(harness::ListTree(harness::WorkRoot()), (std::vector<std::string>{"5", "5\\projector.exe"}));
  CloseHandle(liveRun);
}

// ---- "fscommand" ------------------------------------------------------------

TEST_F(Launcher, CopiesFsCommandWholeFromTheCurrentDirectory) {
  std::string source = Join(workingDir_, "fscommand");
  CreateDirectoryA(source.c_str(), nullptr);
  CreateDirectoryA(Join(source, "sub").c_str(), nullptr);
  harness::WriteFileBytes(Join(source, "a.txt"), "a");
  harness::WriteFileBytes(Join(source, "sub\\b.txt"), "b");
  // One beside the packaged file must not be used.
  std::string besideExe = Join(scratch_, "fscommand");
  CreateDirectoryA(besideExe.c_str(), nullptr);
  harness::WriteFileBytes(Join(besideExe, "other.txt"), "other");

  harness::RunResult result = Run(fixture::Presentation());
  EXPECT_TRUE(result.boxes.empty());
  standin::Report report = standin::ReadReport(workingDir_, 1);
  ASSERT_TRUE(report.present);
  std::vector<std::string> files = report.List("files");
  for (const char* expected : {"fscommand", "fscommand\\a.txt", "fscommand\\sub", "fscommand\\sub\\b.txt"})
    EXPECT_NE(std::find(files.begin(), files.end(), expected), files.end()) << expected;
  EXPECT_EQ(std::find(files.begin(), files.end(), "fscommand\\other.txt"), files.end());
}

TEST_F(Launcher, FsCommandThatIsAFileOrMissingIsSkippedSilently) {
  for (bool asFile : {true, false}) {
    SCOPED_TRACE(asFile ? "a file" : "missing");
    if (asFile) harness::WriteFileBytes(Join(workingDir_, "fscommand"), "a file");
    else harness::RemoveTree(Join(workingDir_, "fscommand"));
    harness::RunResult result = Run(fixture::Presentation());
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.boxes.empty());
    standin::Report report = standin::ReadReport(workingDir_, 1);
    ASSERT_TRUE(report.present);
    std::vector<std::string> files = report.List("files");
    EXPECT_EQ(std::find(files.begin(), files.end(), "fscommand"), files.end());
  }
}

// ---- Unpacking ----------------------------------------------------------------

class Unpacking : public Launcher, public ::testing::WithParamInterface<fixture::Variant> {};

// Snapshots the instance folder while the launcher waits on its message.
struct FolderAtMessage {
  std::vector<std::string> files;
  std::map<std::string, std::string> contents;
  void Take(const std::string& folder) {
    files = harness::ListTree(folder);
    for (const std::string& file : files) contents[file] = harness::ReadFileBytes(Join(folder, file));
  }
};

TEST_P(Unpacking, WritesEverySegmentByteForByteAndTheLoopFlag) {
  struct ModeCase {
    uint8_t mode;
    const char* flag;
  };
  for (ModeCase mode : {ModeCase{1, "0"}, ModeCase{2, "1"}, ModeCase{255, "1"}}) {
    SCOPED_TRACE(static_cast<int>(mode.mode));
    Package package = UnrunnablePackage(mode.mode);
    package.variant = GetParam();
    FolderAtMessage seen;
    harness::RunOptions options;
    options.onBox = [&](const harness::MessageBoxSeen&) { seen.Take(Instance(1)); };
    harness::RunResult result = Run(package, options);
    EXPECT_EQ(result.exitCode, 0u);
    ExpectOnlyBox(result, "Error", kCannotRun);
    EXPECT_EQ(seen.files, (std::vector<std::string>{"Midi.exe", "Midi.mid", "ml.dat", "projector.exe"}));
    EXPECT_EQ(seen.contents["projector.exe"], package.projector);
    EXPECT_EQ(seen.contents["Midi.mid"], package.song);
    EXPECT_EQ(seen.contents["Midi.exe"], fixture::RealPlayer());
    EXPECT_EQ(seen.contents["ml.dat"], mode.flag);
    EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
  }
}

TEST_P(Unpacking, MusicModeZeroWritesOnlyTheProjector) {
  Package package = UnrunnablePackage(0);
  package.variant = GetParam();
  package.keepLengths = true;
  package.header.projectorLength = 1000;
  package.header.songLength = 500;
  package.trailing = fixture::Bytes(20000, 3);
  FolderAtMessage seen;
  harness::RunOptions options;
  options.onBox = [&](const harness::MessageBoxSeen&) { seen.Take(Instance(1)); };
  Run(package, options);
  EXPECT_EQ(seen.files, std::vector<std::string>{"projector.exe"});
  EXPECT_EQ(seen.contents["projector.exe"], package.projector);
}

TEST_P(Unpacking, ReservedAndTrailingBytesChangeNothing) {
  Package plain = UnrunnablePackage(1);
  plain.variant = GetParam();
  Package noisy = plain;
  noisy.header.reserved9 = noisy.header.reserved10 = noisy.header.reserved29 = 0xFF;
  for (int i = 0; i < 4; ++i) noisy.header.reserved21[i] = noisy.header.reserved25[i] = 0xA5;
  noisy.header.skipped30[0] = noisy.header.skipped30[1] = 0x5A;
  noisy.trailing = fixture::Bytes(5000, 4);
  FolderAtMessage seenPlain, seenNoisy;
  harness::RunOptions options;
  options.onBox = [&](const harness::MessageBoxSeen&) { seenPlain.Take(Instance(1)); };
  Run(plain, options);
  options.onBox = [&](const harness::MessageBoxSeen&) { seenNoisy.Take(Instance(1)); };
  Run(noisy, options);
  EXPECT_FALSE(seenPlain.files.empty());
  EXPECT_EQ(seenPlain.files, seenNoisy.files);
  EXPECT_EQ(seenPlain.contents, seenNoisy.contents);
}

// "Exception EReadError in module present.exe at 0040ABCD.\nStream read error."
void ExpectReport(const harness::RunResult& result, const std::string& kind, const std::string& message) {
  ASSERT_EQ(result.boxes.size(), 1u);
  EXPECT_EQ(result.boxes[0].caption, "Application Error");
  EXPECT_TRUE(result.boxes[0].hasIcon);
  std::regex layout("Exception " + kind + " in module present\\.exe at [0-9A-F]{8}\\.\n(.*)");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(result.boxes[0].text, match, layout)) << result.boxes[0].text;
  EXPECT_EQ(match[1].str(), message);
  EXPECT_EQ(result.exitCode, 1u);
}

TEST_P(Unpacking, PackageCutInsideThePlayerImageReportsReadErrorAndKeepsTheFolder) {
  Package package = UnrunnablePackage(1);
  package.variant = GetParam();
  package.player = fixture::RealPlayer().substr(0, 100);
  harness::RunResult result = Run(package);
  ExpectReport(result, "EReadError", "Stream read error.");
  EXPECT_EQ(harness::ListTree(Instance(1)), (std::vector<std::string>{"Midi.mid", "projector.exe"}));
  EXPECT_EQ(harness::ReadFileBytes(Join(Instance(1), "Midi.mid")), package.song);
}

TEST_P(Unpacking, HugeProjectorLengthReportsBeforeAnyFile) {
  Package package = fixture::Presentation();
  package.variant = GetParam();
  package.keepLengths = true;
  package.header.projectorLength = 0xFFFFFFFFu;
  harness::RunResult result = Run(package);
  ExpectReport(result, "EReadError", "Stream read error.");
  EXPECT_TRUE(harness::DirExists(Instance(1)));
  EXPECT_TRUE(harness::ListTree(Instance(1)).empty());
}

INSTANTIATE_TEST_SUITE_P(BothVariants, Unpacking, ::testing::Values(fixture::kSix, fixture::kNine),
                         [](const ::testing::TestParamInfo<fixture::Variant>& info) {
                           return std::string(info.param == fixture::kSix ? "Six" : "Nine");
                         });

// A zero length would unpack the launcher itself as the projector or song;
// such packages are refused before anything is started.
TEST_F(Launcher, ZeroLengthsAreRefusedBeforeAnythingStarts) {
  struct RefusalCase {
    const char* name;
    Package package;
  };
  Package zeroProjector = fixture::Presentation();
  zeroProjector.keepLengths = true;
  zeroProjector.header.projectorLength = 0;
  Package zeroSong = fixture::Presentation();
  zeroSong.header.musicMode = 1;
  zeroSong.song = "";
  std::vector<RefusalCase> cases = {{"projector length 0", zeroProjector},
                                    {"song length 0 in music mode 1", zeroSong}};
  for (const RefusalCase& refusal : cases) {
    SCOPED_TRACE(refusal.name);
    size_t launchersBefore = harness::ProcessesNamed("projector.exe").size();
    harness::RunResult result = Run(refusal.package);
    EXPECT_EQ(result.exitCode, 0u);
    ExpectOnlyBox(result, "Error", kCannotRun);
    EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
    EXPECT_EQ(harness::ProcessesNamed("projector.exe").size(), launchersBefore);
  }
  // A launcher with nothing appended reads a header of zeros.
  std::string bare = Join(scratch_, "bare.exe");
  harness::WriteFileBytes(bare, fixture::LauncherImage(fixture::kSix));
  harness::RunOptions options;
  options.currentDirectory = workingDir_;
  harness::RunResult result = harness::RunAndAnswer(bare, options);
  EXPECT_EQ(result.exitCode, 0u);
  ExpectOnlyBox(result, "Error", kCannotRun);
  EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
}

}  // namespace
