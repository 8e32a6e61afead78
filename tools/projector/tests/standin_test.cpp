// The stand-in projector under Wine, driven as the launcher and its tests
// drive it: started hidden from a bare path, its window looked up on its main
// thread, titled, placed and shown from outside, and closed.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "harness.h"
#include "standin.h"

namespace {

using harness::Join;

constexpr int kInstance = 7;  // the name of the folder the stand-in runs from
constexpr DWORD kPatienceMs = 20000;  // generous: Wine may run under an emulator

bool Eventually(const std::function<bool()>& condition, DWORD timeoutMs = kPatienceMs) {
  DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(50);
  }
  return true;
}

BOOL CALLBACK KeepFirst(HWND window, LPARAM found) {
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// As the launcher finds the presentation window: the first of the main thread.
HWND FirstWindowOfThread(DWORD threadId) {
  HWND found = nullptr;
  EnumThreadWindows(threadId, KeepFirst, reinterpret_cast<LPARAM>(&found));
  return found;
}

template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
  return param.param.name;
}

class StandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name)
      if (c == '/') c = '_';
    scratch_ = harness::ScratchDir("standin-" + name);
    workingDir_ = Join(scratch_, "cwd");
    instanceDir_ = Join(scratch_, std::to_string(kInstance));
    CreateDirectoryA(workingDir_.c_str(), nullptr);
    CreateDirectoryA(instanceDir_.c_str(), nullptr);
    program_ = Join(instanceDir_, "projector.exe");
    ASSERT_TRUE(CopyFileA(Join(harness::BinDir(), "projector.exe").c_str(), program_.c_str(), FALSE));
  }

  void TearDown() override {
    if (process_.hProcess == nullptr) return;
    TerminateProcess(process_.hProcess, 0);
    WaitForSingleObject(process_.hProcess, 5000);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }

  void AddInstanceFile(const std::string& relative) {
    ASSERT_TRUE(harness::WriteFileBytes(Join(instanceDir_, relative), relative));
  }
  void AddInstanceFolder(const std::string& relative) {
    ASSERT_TRUE(CreateDirectoryA(Join(instanceDir_, relative).c_str(), nullptr));
  }

  // Started as the launcher starts it: hidden, bare path, no arguments.
  void Start() {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    std::vector<char> commandLine(program_.begin(), program_.end());
    commandLine.push_back('\0');
    startTick_ = GetTickCount();
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               workingDir_.c_str(), &startup, &process_));
  }

  standin::Report Report() const { return standin::ReadReport(workingDir_, kInstance); }

  bool ReportShows(const std::function<bool(const standin::Report&)>& wanted) {
    return Eventually([&] {
      standin::Report report = Report();
      return report.present && wanted(report);
    });
  }

  bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

  // Exit code, or STILL_ACTIVE when it did not end in time.
  DWORD WaitForEnd(DWORD timeoutMs = kPatienceMs) {
    WaitForSingleObject(process_.hProcess, timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  void CloseEveryWindow() {
    for (HWND window : harness::WindowsOfProcess(process_.dwProcessId))
      PostMessageA(window, WM_CLOSE, 0, 0);
  }

  std::string scratch_, workingDir_, instanceDir_, program_;
  PROCESS_INFORMATION process_ = {};
  DWORD startTick_ = 0;
};

// ---- What it reports --------------------------------------------------------

TEST_F(StandIn, ReportsItsOwnStateAndClosesItselfWhenAsked) {
  AddInstanceFolder("fscommand");
  AddInstanceFile("fscommand\\a.txt");
  standin::SetBehaviour(workingDir_, {{"x", "30"}, {"y", "40"}, {"width", "300"}, {"height", "200"},
                                      {"close_after_ms", "4000"}, {"exit_code", "7"},
                                      {"colour", "blue"}});
  Start();
  ASSERT_TRUE(ReportShows([](const standin::Report& r) { return r.Get("window") == "1"; }));

  standin::Report report = Report();
  EXPECT_EQ(report.Int("pid"), static_cast<int>(process_.dwProcessId));
  EXPECT_EQ(_stricmp(report.Get("exe").c_str(), program_.c_str()), 0);
  EXPECT_EQ(report.Get("command_line"), program_);
  EXPECT_EQ(_stricmp(report.Get("current_dir").c_str(), workingDir_.c_str()), 0);
  EXPECT_EQ(report.Get("title"), "Stand-in projector");
  EXPECT_EQ(report.Rect(), (std::vector<int>{30, 40, 330, 240}));
  EXPECT_EQ(report.Get("visible"), "0");
  EXPECT_EQ(report.Get("maximized"), "0");
  EXPECT_EQ(report.List("files"),
            (std::vector<std::string>{"fscommand", "fscommand\\a.txt", "projector.exe"}));
  EXPECT_EQ(report.Get("vanished"), "");
  EXPECT_GE(report.Int("snapshots"), 1);
  EXPECT_EQ(report.Get("ended"), "0");
  EXPECT_EQ(report.Get("ignored"), "colour=blue");

  EXPECT_EQ(WaitForEnd(), 7u);
  EXPECT_GE(GetTickCount() - startTick_, 4000u);
  standin::Report last = Report();
  EXPECT_EQ(last.Get("ended"), "1");
  EXPECT_EQ(last.Get("window"), "1");
  EXPECT_EQ(last.Rect(), (std::vector<int>{30, 40, 330, 240}));
  EXPECT_GE(last.Int("uptime_ms"), 4000);
}

TEST_F(StandIn, ReportFollowsWhatTheLauncherDoesToItsWindow) {
  standin::SetBehaviour(workingDir_, {});
  Start();
  ASSERT_EQ(WaitForInputIdle(process_.hProcess, kPatienceMs), 0u);
  HWND window = FirstWindowOfThread(process_.dwThreadId);
  ASSERT_NE(window, nullptr);

  SetWindowTextA(window, "Titled by the test");
  SetWindowPos(window, nullptr, 11, 22, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(window, SW_SHOW);
  EXPECT_TRUE(ReportShows([](const standin::Report& r) {
    return r.Get("title") == "Titled by the test" && r.Get("visible") == "1" &&
           r.Rect() == std::vector<int>{11, 22, 651, 502};
  })) << Report().Get("rect");

  ShowWindow(window, SW_SHOWMAXIMIZED);
  SetForegroundWindow(window);
  EXPECT_TRUE(ReportShows([](const standin::Report& r) {
    return r.Get("maximized") == "1" && r.Get("foreground") == "1";
  }));

  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForEnd(), 0u);
  standin::Report last = Report();
  EXPECT_EQ(last.Get("ended"), "1");
  EXPECT_EQ(last.Get("title"), "Titled by the test");
  EXPECT_EQ(last.Get("maximized"), "1");
}

struct WatchCase {
  const char* name;
  std::map<std::string, std::string> behaviour;
  std::vector<std::string> vanished;
};

class VanishingFiles : public StandIn, public ::testing::WithParamInterface<WatchCase> {};

TEST_P(VanishingFiles, AreRememberedOnlyWhileWatching) {
  AddInstanceFile("gone.txt");
  AddInstanceFile("kept.txt");
  standin::SetBehaviour(workingDir_, GetParam().behaviour);
  Start();
  ASSERT_TRUE(ReportShows([](const standin::Report& r) { return r.Int("snapshots") >= 2; }));
  ASSERT_TRUE(DeleteFileA(Join(instanceDir_, "gone.txt").c_str()));
  AddInstanceFile("new.txt");
  // Three more listings: time enough to notice, and to prove the listing goes on.
  int seen = Report().Int("snapshots");
  ASSERT_TRUE(ReportShows([&](const standin::Report& r) { return r.Int("snapshots") >= seen + 3; }));

  standin::Report report = Report();
  EXPECT_EQ(report.List("files"), (std::vector<std::string>{"kept.txt", "new.txt", "projector.exe"}));
  EXPECT_EQ(report.List("vanished"), GetParam().vanished);
  CloseEveryWindow();
  EXPECT_EQ(WaitForEnd(), 0u);
  EXPECT_EQ(Report().List("vanished"), GetParam().vanished);
}

INSTANTIATE_TEST_SUITE_P(
    Watch, VanishingFiles,
    ::testing::Values(WatchCase{"watching", {{"watch_ms", "60000"}}, {"gone.txt"}},
                      WatchCase{"not_watching", {}, {}}),
    CaseName<WatchCase>);

// ---- When and where its window appears ---------------------------------------

struct WindowCase {
  const char* name;
  std::map<std::string, std::string> behaviour;
  DWORD idleWaitMs;
  bool becomesIdle;            // within idleWaitMs
  bool mainThreadWindowAtIdle; // what the launcher's window search finds then
  bool mainThreadWindowLater;
  bool anyWindowLater;
  DWORD exitCode;
};

class WindowTiming : public StandIn, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(WindowTiming, MatchesWhatTheLauncherCanFind) {
  const WindowCase& c = GetParam();
  standin::SetBehaviour(workingDir_, c.behaviour);
  Start();
  DWORD idle = WaitForInputIdle(process_.hProcess, c.idleWaitMs);
  EXPECT_EQ(idle == 0, c.becomesIdle) << "WaitForInputIdle returned " << idle;
  EXPECT_EQ(FirstWindowOfThread(process_.dwThreadId) != nullptr, c.mainThreadWindowAtIdle);

  bool mainLater = Eventually([&] { return FirstWindowOfThread(process_.dwThreadId) != nullptr; },
                              c.mainThreadWindowLater ? kPatienceMs : 2000);
  EXPECT_EQ(mainLater, c.mainThreadWindowLater);
  bool anyLater = Eventually([&] { return !harness::WindowsOfProcess(process_.dwProcessId).empty(); },
                             c.anyWindowLater ? kPatienceMs : 2000);
  EXPECT_EQ(anyLater, c.anyWindowLater);
  EXPECT_TRUE(ReportShows([&](const standin::Report& r) {
    return r.Get("window") == (c.anyWindowLater ? "1" : "0");
  }));

  CloseEveryWindow();
  EXPECT_EQ(WaitForEnd(), c.exitCode);
  EXPECT_EQ(Report().Get("ended"), "1");
}

INSTANTIATE_TEST_SUITE_P(
    Behaviours, WindowTiming,
    ::testing::Values(
        WindowCase{"plain", {}, kPatienceMs, true, true, true, true, 0},
        WindowCase{"no_window", {{"no_window", "1"}, {"close_after_ms", "3000"}, {"exit_code", "3"}},
                   kPatienceMs, true, false, false, false, 3},
        WindowCase{"window_thread", {{"window_thread", "1"}, {"exit_code", "4"}},
                   kPatienceMs, true, false, false, true, 4},
        WindowCase{"window_delay", {{"window_delay_ms", "6000"}}, 2000, false, false, true, true, 0}),
    CaseName<WindowCase>);

TEST_F(StandIn, NeverCloseIgnoresEveryCloseRequest) {
  standin::SetBehaviour(workingDir_, {{"never_close", "1"}, {"close_after_ms", "200"}});
  Start();
  ASSERT_TRUE(ReportShows([](const standin::Report& r) { return r.Get("window") == "1"; }));
  Sleep(1500);
  CloseEveryWindow();
  int uptime = Report().Int("uptime_ms");
  EXPECT_TRUE(ReportShows([&](const standin::Report& r) { return r.Int("uptime_ms") > uptime + 1000; }));
  EXPECT_TRUE(Running());
  EXPECT_EQ(Report().Get("ended"), "0");
}

// ---- The demo ------------------------------------------------------------------

struct DemoCase {
  const char* name;
  DWORD hiddenFirstMs;  // how long it stays hidden before it is shown
  std::vector<std::pair<UINT, WPARAM>> input;
  DWORD atLeastMs;  // after the show
  DWORD atMostMs;
};

class Demo : public StandIn, public ::testing::WithParamInterface<DemoCase> {};

TEST_P(Demo, RunsItsSlidesFromTheShowAndEndsByItself) {
  const DemoCase& c = GetParam();
  Start();
  ASSERT_EQ(WaitForInputIdle(process_.hProcess, kPatienceMs), 0u);
  HWND window = FirstWindowOfThread(process_.dwThreadId);
  ASSERT_NE(window, nullptr);
  RECT rect;
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, 640);
  EXPECT_EQ(rect.bottom - rect.top, 480);

  Sleep(c.hiddenFirstMs);
  DWORD shown = GetTickCount();
  ShowWindow(window, SW_SHOW);
  for (const auto& message : c.input) PostMessageA(window, message.first, message.second, 0);
  // The window's end, not the process's, which Wine may take seconds to tear down.
  ASSERT_TRUE(Eventually([&] { return !IsWindow(window); }, c.atMostMs));
  EXPECT_GE(GetTickCount() - shown, c.atLeastMs);
  EXPECT_EQ(WaitForEnd(), 0u);
  EXPECT_FALSE(Report().present) << "the demo writes no report";
}

const std::vector<std::pair<UINT, WPARAM>> kFiveRightArrows(5, {WM_KEYDOWN, VK_RIGHT});
const std::vector<std::pair<UINT, WPARAM>> kFiveClicks(5, {WM_LBUTTONDOWN, MK_LBUTTON});

INSTANTIATE_TEST_SUITE_P(
    Slides, Demo,
    ::testing::Values(DemoCase{"by_itself", 6000, {}, 14500, 60000},
                      DemoCase{"right_arrows", 0, kFiveRightArrows, 0, 5000},
                      DemoCase{"clicks", 0, kFiveClicks, 0, 5000},
                      DemoCase{"escape", 0, {{WM_KEYDOWN, VK_ESCAPE}}, 0, 5000},
                      DemoCase{"back_then_on", 0,
                               {{WM_KEYDOWN, VK_RIGHT}, {WM_KEYDOWN, VK_LEFT}, {WM_KEYDOWN, VK_RIGHT},
                                {WM_KEYDOWN, VK_RIGHT}, {WM_KEYDOWN, VK_RIGHT}},
                               5500, 30000}),
    CaseName<DemoCase>);

}  // namespace
