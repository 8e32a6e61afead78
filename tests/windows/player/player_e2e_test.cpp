// The real midi.exe under Wine, with the test stand-in for winmm.dll beside
// it: the requests it sends to the sequencer, its answer to each completion
// notification, its run-time error report, and its window.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "harness.h"
#include "package_layout.h"
#include "player_fixture.h"

namespace player_test {
namespace {

const char kDeviceId[] = "7";  // handed out by the stand-in; any real one would do

std::string Hex8(UINT_PTR value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

std::string StandInControl(const std::string& codes, int limit, int delayMs = 50) {
  return "codes=" + codes + "\r\nlimit=" + std::to_string(limit) + "\r\ndelay=" +
         std::to_string(delayMs) + "\r\ndevice-id=" + kDeviceId + "\r\n";
}

const LogLine* FirstStep(const std::vector<LogLine>& log, const std::string& step) {
  for (const LogLine& line : log) {
    if (line.Step() == step) return &line;
  }
  return nullptr;
}

void ExpectOpenRequest(const LogLine& line, const PlayerFolder& folder) {
  EXPECT_EQ(line.Field("device"), "0");
  EXPECT_EQ(line.Field("flags"), "00002200");
  EXPECT_EQ(line.Field("callback"), "00000000");
  EXPECT_EQ(line.Field("type"), "sequencer");
  EXPECT_EQ(line.Field("alias"), "-");
  // The folder as the system spells it; the song's name as the player does.
  std::string element = line.Field("element");
  std::string expected = folder.File("midi.mid");
  ASSERT_EQ(element.size(), expected.size()) << element;
  EXPECT_EQ(_strnicmp(element.c_str(), expected.c_str(), expected.size()), 0) << element;
  EXPECT_EQ(element.substr(element.size() - 9), "\\midi.mid");
}

void ExpectPlayWithNotification(const LogLine& line, const std::string& device, HWND window) {
  EXPECT_EQ(line.Field("device"), device);
  EXPECT_EQ(line.Field("flags"), "00000001");
  EXPECT_EQ(line.Field("callback"), Hex8(reinterpret_cast<UINT_PTR>(window)));
  EXPECT_EQ(line.Field("from"), "0");
  EXPECT_EQ(line.Field("to"), "0");
}

void ExpectSeekToStart(const LogLine& line, const std::string& device) {
  EXPECT_EQ(line.Field("device"), device);
  EXPECT_EQ(line.Field("flags"), "00000100");
  EXPECT_EQ(line.Field("params"), "null");
}

// Fails fast where waiting would only time out: without the stand-in no
// notification would ever come.
testing::AssertionResult Ready(RunningPlayer& player, const PlayerFolder& folder) {
  if (!player.started()) return testing::AssertionFailure() << "the player did not start";
  if (player.WaitForWindow() == nullptr) return testing::AssertionFailure() << "no notification window";
  std::vector<LogLine> log = folder.Log();
  if (log.empty() || log[0].kind != "attach")
    return testing::AssertionFailure() << "Wine did not load the stand-in for winmm.dll";
  return testing::AssertionSuccess();
}

bool AnyWindowVisible(DWORD processId) {
  for (HWND window : harness::WindowsOfProcess(processId)) {
    if (IsWindowVisible(window)) return true;
  }
  return false;
}

TEST(PlayerImage, HasExactlyTheLengthThePackageReservesForIt) {
  std::string image = harness::ReadFileBytes(harness::Join(harness::BinDir(), "midi.exe"));
  EXPECT_EQ(image.size(), core::kPlayerImageSize);
  EXPECT_EQ(image.substr(0, 2), "MZ");
}

// --- The loop flag: only a first byte "1" loops.

struct LoopCase {
  const char* name;
  std::string loopFlag;
  std::string codes;          // what the stand-in reports, notification by notification
  std::string reportedCodes;  // as they appear in its log
  bool loops;
};

const size_t kRounds = 3;

const LoopCase kLoopCases[] = {
    {"One", "1", "successful", "1 1 1", true},
    {"OneThenLineEnd", "1\r\n", "successful", "1 1 1", true},
    {"OneThenZero", "10", "successful", "1 1 1", true},
    {"OneAfterAbortedAndFailedPlays", "1", "aborted,failed,successful", "4 8 1", true},
    {"OneWhileEveryPlayFails", "1", "failed", "8 8 8", true},
    {"Zero", "0", "successful", "1", false},
    {"ZeroAfterAnAbortedPlay", "0", "aborted", "4", false},
    {"Blank", " ", "successful", "1", false},
    {"LineEnd", "\r\n", "successful", "1", false},
    {"EmptyFile", "", "successful", "1", false},
    {"ZeroThenOne", "01", "successful", "1", false},
    {"OtherCharacter", "y", "successful", "1", false},
};

class LoopFlag : public testing::TestWithParam<LoopCase> {};

TEST_P(LoopFlag, DecidesBetweenOnePlayAndARewindAndReplayAtEveryNotification) {
  const LoopCase& c = GetParam();
  PlayerFolder folder(std::string("loop ") + c.name);
  folder.WriteLoopFlag(c.loopFlag);
  folder.WriteSong();
  folder.WriteStandInControl(StandInControl(c.codes, static_cast<int>(kRounds)));

  RunningPlayer player(folder);
  ASSERT_TRUE(Ready(player, folder));
  HWND window = player.WaitForWindow();
  size_t notifications = c.loops ? kRounds : 1;
  ASSERT_TRUE(player.WaitForSteps("notify", notifications)) << Script(folder.Log());
  if (c.loops) {
    ASSERT_TRUE(player.WaitForSteps("play", kRounds + 1)) << Script(folder.Log());
  }
  // Posted after the last notification, the close request is handled after
  // it: whatever the player does in answer is in the log once it has ended.
  EXPECT_EQ(player.CloseAndWait(), 0u);

  std::vector<LogLine> log = folder.Log();
  std::string expected = "open play";
  for (size_t i = 0; i < notifications; ++i) expected += c.loops ? " notify seek play" : " notify";
  ASSERT_EQ(Script(log), expected);
  ASSERT_EQ(log[0].kind, "attach");
  ExpectOpenRequest(*FirstStep(log, "open"), folder);
  std::string codes;
  for (const LogLine& line : log) {
    if (line.Step() == "play") ExpectPlayWithNotification(line, kDeviceId, window);
    if (line.Step() == "seek") ExpectSeekToStart(line, kDeviceId);
    if (line.Step() == "notify") codes += (codes.empty() ? "" : " ") + line.Field("code");
  }
  EXPECT_EQ(codes, c.reportedCodes);
}

INSTANTIATE_TEST_SUITE_P(FirstByte, LoopFlag, testing::ValuesIn(kLoopCases),
                         [](const testing::TestParamInfo<LoopCase>& info) { return info.param.name; });

// --- A loop flag file that cannot be read: the run-time error report.

struct UnreadableCase {
  const char* name;
  // Makes the loop flag file unreadable; returns a handle to hold meanwhile.
  HANDLE (*spoil)(const PlayerFolder& folder);
  DWORD errorNumber;
  const char* textBeforePlace;
};

HANDLE LeaveMissing(const PlayerFolder&) { return nullptr; }

HANDLE MakeAFolder(const PlayerFolder& folder) {
  CreateDirectoryA(folder.File("ml.dat").c_str(), nullptr);
  return nullptr;
}

HANDLE HoldOpenWithoutSharing(const PlayerFolder& folder) {
  folder.WriteLoopFlag("1");
  return CreateFileA(folder.File("ml.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

const UnreadableCase kUnreadableCases[] = {
    {"Missing", LeaveMissing, ERROR_FILE_NOT_FOUND, "Runtime error   2 at "},
    {"AFolder", MakeAFolder, ERROR_ACCESS_DENIED, "Runtime error   5 at "},
    {"HeldOpenWithoutSharing", HoldOpenWithoutSharing, ERROR_SHARING_VIOLATION, "Runtime error  32 at "},
};

class UnreadableLoopFlag : public testing::TestWithParam<UnreadableCase> {};

TEST_P(UnreadableLoopFlag, ShowsTheRuntimeErrorAndEndsWithItsNumberBeforeAnyRequest) {
  const UnreadableCase& c = GetParam();
  PlayerFolder folder(std::string("unreadable ") + c.name);
  folder.WriteSong();
  HANDLE held = c.spoil(folder);

  harness::RunOptions options;
  options.currentDirectory = folder.currentDirectory();
  options.extraEnvironment = {WinmmOverride()};
  options.timeoutMs = 60000;
  harness::RunResult result = harness::RunAndAnswer(folder.player(), options);
  if (held != nullptr && held != INVALID_HANDLE_VALUE) CloseHandle(held);

  ASSERT_TRUE(result.started);
  ASSERT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, c.errorNumber);
  ASSERT_EQ(result.boxes.size(), 1u);
  const harness::MessageBoxSeen& box = result.boxes[0];
  EXPECT_EQ(box.caption, "Error");
  EXPECT_FALSE(box.hasIcon);
  size_t prefix = std::strlen(c.textBeforePlace);
  ASSERT_EQ(box.text.size(), prefix + 8) << box.text;
  EXPECT_EQ(box.text.substr(0, prefix), c.textBeforePlace);
  std::string place = box.text.substr(prefix);
  ASSERT_EQ(place.find_first_not_of("0123456789ABCDEF"), std::string::npos) << place;
  // The place of the failed check lies within the loaded image.
  unsigned long offset = std::strtoul(place.c_str(), nullptr, 16);
  EXPECT_GT(offset, 0u);
  EXPECT_LT(offset, SizeOfImage(folder.player()));

  std::vector<LogLine> log = folder.Log();
  ASSERT_FALSE(log.empty()) << "the stand-in for winmm.dll was not loaded";
  EXPECT_EQ(log[0].kind, "attach");
  EXPECT_EQ(Script(log), "");  // not even the open request
}

INSTANTIATE_TEST_SUITE_P(LoopFlagFile, UnreadableLoopFlag, testing::ValuesIn(kUnreadableCases),
                         [](const testing::TestParamInfo<UnreadableCase>& info) { return info.param.name; });

// --- The player's folder, whatever its file is called.

struct NameCase {
  const char* name;
  const char* playerFileName;
};

const NameCase kNameCases[] = {
    {"AsTheLauncherWritesIt", "Midi.exe"},
    {"Shorter", "m.exe"},
    {"Longer", "Player of the presentation.exe"},
};

class PlayerFileName : public testing::TestWithParam<NameCase> {};

TEST_P(PlayerFileName, FindsTheLoopFlagAndTheSongInItsOwnFolder) {
  const NameCase& c = GetParam();
  PlayerFolder folder(std::string("name ") + c.name, c.playerFileName);
  folder.WriteLoopFlag("1");  // the decoy in the current directory says "0"
  folder.WriteSong();
  folder.WriteStandInControl(StandInControl("successful", 1));

  RunningPlayer player(folder);
  ASSERT_TRUE(Ready(player, folder));
  ASSERT_TRUE(player.WaitForSteps("play", 2)) << Script(folder.Log());
  EXPECT_EQ(player.CloseAndWait(), 0u);

  std::vector<LogLine> log = folder.Log();
  EXPECT_EQ(Script(log), "open play notify seek play");
  const LogLine* open = FirstStep(log, "open");
  ASSERT_NE(open, nullptr);
  ExpectOpenRequest(*open, folder);
}

INSTANTIATE_TEST_SUITE_P(AnyName, PlayerFileName, testing::ValuesIn(kNameCases),
                         [](const testing::TestParamInfo<NameCase>& info) { return info.param.name; });

// --- A song that cannot be opened.

TEST(MissingSong, GoesUnnoticedAndThePlayerIdlesUntilItIsClosed) {
  PlayerFolder folder("missing song");
  folder.WriteLoopFlag("1");
  folder.WriteStandInControl(StandInControl("successful", 3));

  RunningPlayer player(folder);
  ASSERT_TRUE(Ready(player, folder));
  ASSERT_TRUE(player.WaitForSteps("play", 1));
  ASSERT_TRUE(player.WaitForInputIdle());
  EXPECT_FALSE(player.HasEnded(1000));
  EXPECT_FALSE(AnyWindowVisible(player.processId())) << "no message, no window";
  EXPECT_EQ(player.CloseAndWait(), 0u);

  std::vector<LogLine> log = folder.Log();
  ASSERT_EQ(Script(log), "open play");
  const LogLine& open = *FirstStep(log, "open");
  EXPECT_NE(open.Field("result"), "0");
  EXPECT_EQ(open.Field("id"), "0");
  // The identifier the failed open left behind is the one the play goes to.
  EXPECT_EQ(FirstStep(log, "play")->Field("device"), "0");
}

// --- The notification window.

struct ShowCase {
  const char* name;
  int showCommand;  // < 0: the start-up record asks for no show state
};

const ShowCase kShowCases[] = {
    {"NoneAskedFor", -1},
    {"ShowNormal", SW_SHOWNORMAL},
    {"Show", SW_SHOW},
    {"ShowMaximized", SW_SHOWMAXIMIZED},
    {"ShowDefault", SW_SHOWDEFAULT},
};

class ShowState : public testing::TestWithParam<ShowCase> {};

TEST_P(ShowState, NeverMakesTheNotificationWindowVisible) {
  const ShowCase& c = GetParam();
  PlayerFolder folder(std::string("show ") + c.name);
  folder.WriteLoopFlag("1");
  folder.WriteSong();
  folder.WriteStandInControl(StandInControl("successful", 2));

  RunningPlayer player(folder, c.showCommand);
  ASSERT_TRUE(Ready(player, folder));
  HWND window = player.WaitForWindow();
  ASSERT_TRUE(player.WaitForInputIdle());
  EXPECT_FALSE(IsWindowVisible(window));
  ASSERT_TRUE(player.WaitForSteps("play", 3));  // two rounds later
  EXPECT_FALSE(AnyWindowVisible(player.processId()));

  char title[64] = {};
  GetWindowTextA(window, title, sizeof title);
  EXPECT_STREQ(title, "Win Min");
  LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  EXPECT_EQ(style & WS_VISIBLE, 0);
  EXPECT_EQ(player.CloseAndWait(), 0u);
}

INSTANTIATE_TEST_SUITE_P(AskedByTheStartingProcess, ShowState, testing::ValuesIn(kShowCases),
                         [](const testing::TestParamInfo<ShowCase>& info) { return info.param.name; });

// --- The close request.

TEST(CloseRequest, EndsALoopingPlayerWithoutStoppingOrClosingTheDevice) {
  PlayerFolder folder("close while looping");
  folder.WriteLoopFlag("1");
  folder.WriteSong();
  folder.WriteStandInControl(StandInControl("successful", 1000, 20));

  RunningPlayer player(folder);
  ASSERT_TRUE(Ready(player, folder));
  ASSERT_TRUE(player.WaitForSteps("notify", 5));
  EXPECT_EQ(player.CloseAndWait(), 0u);

  const std::set<std::string> kAllowed = {"open", "play", "seek", "notify"};
  for (const LogLine& line : folder.Log()) {
    if (line.kind == "attach") continue;
    EXPECT_EQ(kAllowed.count(line.Step()), 1u) << line.Step();
  }
}

}  // namespace
}  // namespace player_test
