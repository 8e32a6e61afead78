// The presentation window and the supervision of both children, on the real
// launcher with the stand-in projector under Wine (Xvfb 1024x768 desktop).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "e2e_fixture.h"
#include "harness.h"
#include "package_fixture.h"
#include "standin.h"

namespace {

using fixture::Package;
using harness::Join;
using Behaviour = std::map<std::string, std::string>;

// How long a projector stays before it closes by itself: long enough for the
// launcher to title, place and show it on a slow machine.
const char kShortShowMs[] = "6000";

class Presentation : public PackagedRunTest {
 protected:
  harness::RunResult Run(const Package& package, const Behaviour& behaviour,
                         harness::RunOptions options = harness::RunOptions()) {
    standin::SetBehaviour(workingDir_, behaviour);
    options.timeoutMs = 200000;
    return RunPackage(package, options);
  }

  standin::Report Report() const { return standin::ReadReport(workingDir_, 1); }
};

Package Placed(uint8_t placement, uint8_t maximize, const std::string& title = "Placed") {
  Package package = fixture::Presentation(title);
  package.header.placementMode = placement;
  package.header.maximizeFlag = maximize;
  return package;
}

// Watches, while a run goes on, whether the player's hidden window appears.
class PlayerWatch : public BackgroundPoll {
 public:
  PlayerWatch() : BackgroundPoll([] { return FindWindowA("WinMin : Main", "Win Min") != nullptr; }, 100) {}
};

// ---- Placement and show ----------------------------------------------------------

TEST_F(Presentation, CentringMovesTheWindowAndKeepsItsSize) {
  struct Case {
    int width, height, left, top;
  } cases[] = {{640, 480, 192, 144}, {1027, 769, -2, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    harness::RunResult result = Run(Placed(0, 0), {{"close_after_ms", kShortShowMs}, {"x", "10"}, {"y", "10"},
                                                   {"width", std::to_string(c.width)},
                                                   {"height", std::to_string(c.height)}});
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.boxes.empty());
    standin::Report report = Report();
    ASSERT_TRUE(report.present);
    EXPECT_EQ(report.Rect(), (std::vector<int>{c.left, c.top, c.left + c.width, c.top + c.height}));
    EXPECT_EQ(report.Get("title"), "Placed");
    EXPECT_EQ(report.Get("visible"), "1");
    EXPECT_EQ(report.Get("foreground"), "1");
  }
}

TEST_F(Presentation, ExplicitPositionIsTakenAsStoredNegativeValuesToo) {
  Package package = Placed(2, 0);
  package.header.x = -50;
  package.header.y = 20;
  Run(package, {{"close_after_ms", kShortShowMs}, {"x", "10"}, {"y", "10"}});
  standin::Report report = Report();
  ASSERT_TRUE(report.present);
  EXPECT_EQ(report.Rect(), (std::vector<int>{-50, 20, 590, 500}));
  EXPECT_EQ(report.Get("maximized"), "0");
}

TEST_F(Presentation, OtherPlacementModesLeaveTheWindowButTitleShowAndRaiseIt) {
  for (uint8_t placement : {1, 3, 255}) {
    SCOPED_TRACE(static_cast<int>(placement));
    Run(Placed(placement, 0, "Left alone"), {{"close_after_ms", kShortShowMs}, {"x", "37"}, {"y", "41"}});
    standin::Report report = Report();
    ASSERT_TRUE(report.present);
    EXPECT_EQ(report.Rect(), (std::vector<int>{37, 41, 37 + 640, 41 + 480}));
    EXPECT_EQ(report.Get("title"), "Left alone");
    EXPECT_EQ(report.Get("visible"), "1");
    EXPECT_EQ(report.Get("foreground"), "1");
  }
}

TEST_F(Presentation, MaximiseFlagShowsTheWindowMaximised) {
  struct Case {
    uint8_t placement, maximize;
    const char* maximized;
  } cases[] = {{2, 2, "1"}, {0, 1, "1"}, {1, 7, "1"}, {2, 0, "0"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.placement) + "/" + std::to_string(c.maximize));
    Run(Placed(c.placement, c.maximize), {{"close_after_ms", kShortShowMs}});
    standin::Report report = Report();
    ASSERT_TRUE(report.present);
    EXPECT_EQ(report.Get("maximized"), c.maximized);
    EXPECT_EQ(report.Get("visible"), "1");
  }
}

TEST_F(Presentation, EmptyTitleStillReplacesTheProjectorsOwn) {
  Run(Placed(0, 0, ""), {{"close_after_ms", kShortShowMs}});
  standin::Report report = Report();
  ASSERT_TRUE(report.present);
  EXPECT_EQ(report.Get("window"), "1");
  EXPECT_EQ(report.Get("title"), "");
}

TEST_F(Presentation, WindowOutsideTheIdleWaitIsLeftAloneButThePlayerStillStarts) {
  struct Case {
    const char* name;
    Behaviour behaviour;
    DWORD minimumMs;
  } cases[] = {
      // Long enough after the player's start for it to make its window.
      {"created after the idle wait", {{"window_delay_ms", "11500"}, {"close_after_ms", "9000"}}, 12000},
      {"created on another thread", {{"window_thread", "1"}, {"close_after_ms", "15000"}}, 12000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Package package = Placed(0, 1, "Never applied");
    package.header.musicMode = 2;
    package.song = fixture::Bytes(64, 5);
    PlayerWatch player;
    harness::RunResult result = Run(package, c.behaviour);
    EXPECT_TRUE(player.Stop());
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_GE(result.elapsedMs, c.minimumMs);
    standin::Report report = Report();
    ASSERT_TRUE(report.present);
    EXPECT_EQ(report.Get("title"), "Stand-in projector");
    EXPECT_EQ(report.Get("maximized"), "0");
    EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
    EXPECT_TRUE(harness::ProcessesNamed("Midi.exe").empty());
  }
}

// ---- Start failures -----------------------------------------------------------------

TEST_F(Presentation, ProjectorThatCannotStartEndsTheRunWithoutPlayer) {
  Package package = Placed(0, 0);
  package.projector = fixture::Bytes(3000, 6);  // no program
  package.header.musicMode = 1;
  package.song = fixture::Bytes(64, 7);
  PlayerWatch player;
  harness::RunResult result = Run(package, {});
  EXPECT_FALSE(player.Stop());
  EXPECT_EQ(result.exitCode, 0u);
  ASSERT_EQ(result.boxes.size(), 1u);
  EXPECT_EQ(result.boxes[0].caption, "Error");
  EXPECT_EQ(result.boxes[0].text, "Application can not be run.");
  EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
}

TEST_F(Presentation, PlayerThatCannotStartIsReportedOverTheRunningPresentation) {
  Package package = Placed(0, 0, "Still running");
  package.header.musicMode = 1;
  package.song = fixture::Bytes(64, 8);
  package.player = fixture::Bytes(17408, 9);  // no program
  standin::Report duringBox;
  harness::RunOptions options;
  options.answerAfterMs = 1500;
  options.onBox = [&](const harness::MessageBoxSeen&) {
    Sleep(300);  // one more report of the projector
    duringBox = Report();
  };
  harness::RunResult result = Run(package, {{"close_after_ms", "6000"}}, options);
  EXPECT_EQ(result.exitCode, 0u);
  ASSERT_EQ(result.boxes.size(), 1u);
  EXPECT_EQ(result.boxes[0].caption, "Error");
  EXPECT_EQ(result.boxes[0].text, "Midi file can not be run.");
  EXPECT_TRUE(result.boxes[0].hasIcon);
  ASSERT_TRUE(duringBox.present);
  EXPECT_EQ(duringBox.Get("visible"), "1");
  EXPECT_EQ(duringBox.Get("title"), "Still running");
  EXPECT_EQ(duringBox.Get("ended"), "0");
  EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
}

// ---- Supervision ----------------------------------------------------------------------

TEST_F(Presentation, ClosingThePresentationEndsThePlayerAtOnce) {
  Package package = Placed(0, 0);
  package.header.musicMode = 2;
  package.song = fixture::Bytes(64, 10);
  PlayerWatch player;
  harness::RunResult result = Run(package, {{"close_after_ms", "30000"}});
  EXPECT_TRUE(player.Stop());
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_GE(result.elapsedMs, 30000u);
  EXPECT_LT(result.elapsedMs, 60000u);
  EXPECT_TRUE(harness::ProcessesNamed("Midi.exe").empty());
  EXPECT_TRUE(harness::ProcessesNamed("projector.exe").empty());
  EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
}

// These two take the full two minutes; CTest runs them in prefixes of their own.
TEST_F(Presentation, LongProjectorStillRunningAfterTwoMinutesIsEndedWithThePlayer) {
  Package package = Placed(0, 0);
  package.header.musicMode = 2;
  package.song = fixture::Bytes(64, 11);
  PlayerWatch player;
  harness::RunResult result = Run(package, {{"never_close", "1"}});
  EXPECT_TRUE(player.Stop());
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_GE(result.elapsedMs, 120000u);
  EXPECT_TRUE(harness::ProcessesNamed("Midi.exe").empty());
  EXPECT_TRUE(harness::ProcessesNamed("projector.exe").empty());
  EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
}

TEST_F(Presentation, LongTwoMinutesCountFromTheAnsweredPlayerMessage) {
  Package package = Placed(0, 0);
  package.header.musicMode = 1;
  package.song = fixture::Bytes(64, 12);
  package.player = fixture::Bytes(17408, 13);
  harness::RunOptions options;
  options.answerAfterMs = 8000;
  harness::RunResult result = Run(package, {{"never_close", "1"}}, options);
  EXPECT_FALSE(result.timedOut);
  ASSERT_EQ(result.boxes.size(), 1u);
  EXPECT_EQ(result.boxes[0].text, "Midi file can not be run.");
  EXPECT_GE(result.elapsedMs, 128000u);
  EXPECT_TRUE(harness::ProcessesNamed("projector.exe").empty());
  EXPECT_FALSE(harness::DirExists(harness::WorkRoot()));
}

}  // namespace
