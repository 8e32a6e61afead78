// The launcher on strangers' machines: many runs at once in one work root,
// malformed and hostile packages, and the platform failing under it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <regex>
#include <thread>

#include "e2e_fixture.h"
#include "harness.h"
#include "package_fixture.h"
#include "standin.h"

namespace {

using fixture::Package;
using harness::Join;

class Reliability : public PackagedRunTest {
 protected:
  void SetUp() override {
    PackagedRunTest::SetUp();
    standin::SetBehaviour(workingDir_, {{"close_after_ms", "500"}});
  }
  harness::RunResult RunFile(const std::string& bytes, harness::RunOptions options = harness::RunOptions()) {
    return RunBytes(bytes, options);
  }
};

// Everything in the Windows directory but the work root, to prove that a run
// changes nothing outside it.
std::vector<std::string> WindowsOutsideWorkRoot() {
  std::vector<std::string> entries = harness::ListTree(harness::WindowsDir());
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [](const std::string& e) { return _strnicmp(e.c_str(), "DERizi", 6) == 0; }),
                entries.end());
  return entries;
}

// Watches a run for a second launcher: it would take a second instance folder.
class SecondLauncherWatch : public BackgroundPoll {
 public:
  SecondLauncherWatch()
      : BackgroundPoll(
            [] {
              return harness::DirExists(harness::Join(harness::WorkRoot(), "2")) ||
                     harness::ProcessesNamed("present.exe").size() > 1;
            },
            20) {}
};

// ---- Many runs at once ---------------------------------------------------------

TEST_F(Reliability, EightRunsAtOnceEachKeepTheirOwnFolderToTheEnd) {
  const int kRuns = 8;
  standin::SetBehaviour(workingDir_, {{"watch_ms", "4000"}, {"close_after_ms", "4500"}});
  std::string bytes = fixture::Build(fixture::Presentation());
  std::vector<std::string> programs;
  for (int i = 0; i < kRuns; ++i) {
    programs.push_back(Join(scratch_, "present" + std::to_string(i) + ".exe"));
    harness::WriteFileBytes(programs.back(), bytes);
  }
  harness::RunOptions options;
  options.currentDirectory = workingDir_;
  options.timeoutMs = 180000;
  harness::ManyResult result = harness::RunManyAndAnswer(programs, options);
  ASSERT_TRUE(result.allStarted);
  EXPECT_FALSE(result.timedOut);
  EXPECT_TRUE(result.boxes.empty()) << result.boxes[0].text;
  for (DWORD code : result.exitCodes) EXPECT_EQ(code, 0u);

  std::vector<int> instances;
  for (int number = 1; number <= 4 * kRuns; ++number) {
    standin::Report report = standin::ReadReport(workingDir_, number);
    if (!report.present) continue;
    instances.push_back(number);
    EXPECT_EQ(report.Get("vanished"), "") << "instance " << number;
    EXPECT_GE(report.Int("snapshots"), 10) << "instance " << number;
    EXPECT_EQ(report.Get("ended"), "1") << "instance " << number;
  }
  EXPECT_EQ(instances.size(), static_cast<size_t>(kRuns));
  EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
}

// ---- Malformed and hostile packages ----------------------------------------------

enum Expect { kCannotRun, kReadError, kRuns, kMidiMessage };

struct MalformedRow {
  const char* name;
  std::function<std::string()> file;
  Expect expect;
  std::vector<std::string> kept;  // files in the instance folder after a read error
};

const size_t P = core::kSixIconPackageOffset;
const size_t H = core::kPackageHeaderSize;

// Music mode 1, a projector of 1000 bytes that is no program, a song of 500.
Package Unrunnable() {
  Package package;
  package.header.musicMode = 1;
  package.projector = fixture::Bytes(1000, 21);
  package.song = fixture::Bytes(500, 22);
  return package;
}

std::function<std::string()> CutAt(size_t length) {
  return [length] { return fixture::Build(Unrunnable()).substr(0, length); };
}

std::function<std::string()> WithLengths(Package package, uint32_t projector, uint32_t song) {
  return [=] {
    Package changed = package;
    changed.keepLengths = true;
    changed.header.projectorLength = projector;
    changed.header.songLength = song;
    return fixture::Build(changed);
  };
}

Package MusicalPresentation() {
  Package package = fixture::Presentation("Malformed");
  package.header.musicMode = 1;
  package.song = fixture::Bytes(500, 23);
  return package;
}

std::vector<MalformedRow> MalformedRows() {
  Package unrunnable = Unrunnable();
  Package musical = MusicalPresentation();
  size_t projectorSize = musical.projector.size();
  std::vector<MalformedRow> rows = {
      {"header cut after its first byte", CutAt(P + 1), kCannotRun, {}},
      {"header cut after the lengths", CutAt(P + 9), kReadError, {}},
      {"header one byte short", CutAt(P + H - 1), kReadError, {}},
      {"nothing after the header", CutAt(P + H), kReadError, {}},
      {"projector one byte short", CutAt(P + H + 999), kReadError, {}},
      {"cut at the end of the projector", CutAt(P + H + 1000), kReadError, {"projector.exe"}},
      {"song one byte short", CutAt(P + H + 1499), kReadError, {"projector.exe"}},
      {"cut at the end of the song", CutAt(P + H + 1500), kReadError, {"Midi.mid", "projector.exe"}},
      {"player one byte short", CutAt(P + H + 1500 + 17407), kReadError, {"Midi.mid", "projector.exe"}},
      {"projector length 0", WithLengths(unrunnable, 0, 500), kCannotRun, {}},
      {"projector length 1", WithLengths(unrunnable, 1, 500), kCannotRun, {}},
      {"projector length 0x7FFFFFFF", WithLengths(unrunnable, 0x7FFFFFFF, 500), kReadError, {}},
      {"projector length 0x80000000", WithLengths(unrunnable, 0x80000000u, 500), kReadError, {}},
      {"projector length 0xFFFFFFFF", WithLengths(unrunnable, 0xFFFFFFFFu, 500), kReadError, {}},
      {"song length 0", WithLengths(musical, static_cast<uint32_t>(projectorSize), 0), kCannotRun, {}},
      {"song length 1: the player image is misplaced",
       WithLengths(musical, static_cast<uint32_t>(projectorSize), 1), kMidiMessage, {}},
      {"song length 0x7FFFFFFF", WithLengths(musical, static_cast<uint32_t>(projectorSize), 0x7FFFFFFF),
       kReadError, {"projector.exe"}},
      {"song length 0x80000000", WithLengths(musical, static_cast<uint32_t>(projectorSize), 0x80000000u),
       kReadError, {"projector.exe"}},
      {"song length 0xFFFFFFFF", WithLengths(musical, static_cast<uint32_t>(projectorSize), 0xFFFFFFFFu),
       kReadError, {"projector.exe"}},
      {"song length 0xFFFFFFFF without music",
       [] {
         Package package = fixture::Presentation();
         package.header.songLength = 0xFFFFFFFFu;
         package.keepLengths = true;
         package.header.projectorLength = static_cast<uint32_t>(package.projector.size());
         return fixture::Build(package);
       },
       kRuns, {}},
      {"title without NUL",
       [] {
         Package package = fixture::Presentation();
         for (char& c : package.header.title) c = 'T';
         return fixture::Build(package);
       },
       kRuns, {}},
      {"launcher with nothing appended", [] { return fixture::LauncherImage(fixture::kSix); }, kCannotRun, {}},
      {"player image that is no program",
       [] {
         Package package = MusicalPresentation();
         package.player = fixture::Bytes(core::kPlayerImageSize, 24);
         return fixture::Build(package);
       },
       kMidiMessage, {}},
      {"random header: music, huge lengths",
       [] { return fixture::LauncherImage(fixture::kSix) + "\x05" + fixture::Bytes(4000, 25); }, kReadError, {}},
      {"random bytes after a valid header",
       [] {
         Package package = Unrunnable();
         package.headerOnly = true;
         return fixture::Build(package) + fixture::Bytes(600, 26);
       },
       kReadError, {}},
  };
  return rows;
}

TEST_F(Reliability, MalformedPackagesEndAsExpectedAndTouchNothingElse) {
  std::vector<std::string> windowsBefore = WindowsOutsideWorkRoot();
  for (const MalformedRow& row : MalformedRows()) {
    SCOPED_TRACE(row.name);
    harness::RemoveTree(harness::WorkRoot());
    SecondLauncherWatch watch;
    harness::RunOptions options;
    options.timeoutMs = 90000;
    harness::RunResult result = RunFile(row.file(), options);
    EXPECT_FALSE(watch.Stop()) << "a second launcher ran";
    EXPECT_FALSE(result.timedOut);
    switch (row.expect) {
      case kCannotRun:
        EXPECT_EQ(result.exitCode, 0u);
        ASSERT_EQ(result.boxes.size(), 1u);
        EXPECT_EQ(result.boxes[0].text, "Application can not be run.");
        EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
        break;
      case kReadError:
        EXPECT_EQ(result.exitCode, 1u);
        ASSERT_EQ(result.boxes.size(), 1u);
        EXPECT_EQ(result.boxes[0].caption, "Application Error");
        EXPECT_TRUE(std::regex_match(result.boxes[0].text,
                                     std::regex("Exception EReadError in module present\\.exe at [0-9A-F]{8}\\.\n"
                                                "Stream read error\\.")))
            << result.boxes[0].text;
        EXPECT_EQ(harness::ListTree(Instance(1)), row.kept);
        break;
      case kRuns:
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_TRUE(result.boxes.empty());
        EXPECT_TRUE(standin::ReadReport(workingDir_, 1).present);
        EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
        break;
      case kMidiMessage:
        EXPECT_EQ(result.exitCode, 0u);
        ASSERT_EQ(result.boxes.size(), 1u);
        EXPECT_EQ(result.boxes[0].text, "Midi file can not be run.");
        EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
        break;
    }
    for (const char* name : {"present.exe", "projector.exe", "Midi.exe"})
      EXPECT_TRUE(harness::ProcessesNamed(name).empty()) << name << " still running";
  }
  harness::RemoveTree(harness::WorkRoot());
  EXPECT_EQ(WindowsOutsideWorkRoot(), windowsBefore);
}

TEST_F(Reliability, TitleWithoutNulIsCutAt255Characters) {
  Package package = fixture::Presentation();
  for (char& c : package.header.title) c = 'T';
  standin::SetBehaviour(workingDir_, {{"close_after_ms", "1500"}});
  RunFile(fixture::Build(package));
  standin::Report report = standin::ReadReport(workingDir_, 1);
  ASSERT_TRUE(report.present);
  EXPECT_EQ(report.Get("title"), std::string(255, 'T'));
}

// ---- The platform failing under a run ---------------------------------------------

// Takes a name in the first instance folder the moment the folder appears.
// A large "fscommand" copy holds the run in step 3 meanwhile, so the name is
// taken before the step that needs it.
class NameTaker : public BackgroundPoll {
 public:
  explicit NameTaker(const std::string& path)
      : BackgroundPoll(
            [path] {
              std::string folder = path.substr(0, path.find_last_of('\\'));
              return harness::DirExists(folder) && CreateDirectoryA(path.c_str(), nullptr) != FALSE;
            },
            1) {}
};

void FillLargeFsCommand(const std::string& workingDir) {
  std::string folder = Join(workingDir, "fscommand");
  CreateDirectoryA(folder.c_str(), nullptr);
  for (int i = 0; i < 400; ++i) harness::WriteFileBytes(Join(folder, "f" + std::to_string(i) + ".txt"), "x");
}

TEST_F(Reliability, ImageCopyThatCannotBeWrittenEndsWithMessageAndRemoval) {
  FillLargeFsCommand(workingDir_);
  NameTaker taker(Join(Instance(1), "Temp.dat"));
  harness::RunOptions options;
  options.timeoutMs = 300000;  // removing the large copy takes a while on a slow machine
  harness::RunResult result = RunFile(fixture::Build(fixture::Presentation()), options);
  ASSERT_TRUE(taker.Stop());
  EXPECT_EQ(result.exitCode, 0u);
  ASSERT_EQ(result.boxes.size(), 1u);
  EXPECT_EQ(result.boxes[0].caption, "Error");
  EXPECT_EQ(result.boxes[0].text, "Application can not be run.");
  EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
}

TEST_F(Reliability, SegmentFileThatCannotBeCreatedReportsItsFullPath) {
  struct Case {
    const char* name;
    std::vector<std::string> kept;
  } cases[] = {{"projector.exe", {}}, {"Midi.mid", {"projector.exe"}}, {"Midi.exe", {"Midi.mid", "projector.exe"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    harness::RemoveTree(harness::WorkRoot());
    FillLargeFsCommand(workingDir_);
    std::string blocked = Join(Instance(1), c.name);
    NameTaker taker(blocked);
    harness::RunOptions options;
    options.timeoutMs = 300000;
    harness::RunResult result = RunFile(fixture::Build(MusicalPresentation()), options);
    ASSERT_TRUE(taker.Stop());
    EXPECT_EQ(result.exitCode, 1u);
    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_EQ(result.boxes[0].caption, "Application Error");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(result.boxes[0].text, match,
                                 std::regex("Exception EFCreateError in module present\\.exe at [0-9A-F]{8}\\.\n(.*)")))
        << result.boxes[0].text;
    EXPECT_EQ(match[1].str(), "Cannot create file " + blocked + ".");
    for (const std::string& kept : c.kept) EXPECT_TRUE(harness::FileExists(Join(Instance(1), kept))) << kept;
    EXPECT_FALSE(harness::FileExists(Join(Instance(1), "Temp.dat")));
  }
}

}  // namespace
