#include "e2e_fixture.h"

void PackagedRunTest::SetUp() {
  harness::RemoveTree(harness::WorkRoot());
  scratch_ = harness::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  workingDir_ = harness::Join(scratch_, "cwd");
  CreateDirectoryA(workingDir_.c_str(), nullptr);
}

void PackagedRunTest::TearDown() { harness::RemoveTree(harness::WorkRoot()); }

harness::RunResult PackagedRunTest::RunBytes(const std::string& bytes, harness::RunOptions options) {
  std::string exe = harness::Join(scratch_, "present.exe");
  harness::WriteFileBytes(exe, bytes);
  if (options.currentDirectory.empty()) options.currentDirectory = workingDir_;
  harness::RunResult result = harness::RunAndAnswer(exe, options);
  EXPECT_TRUE(result.started) << exe;
  return result;
}

harness::RunResult PackagedRunTest::RunPackage(const fixture::Package& package, harness::RunOptions options) {
  return RunBytes(fixture::Build(package), options);
}

std::string PackagedRunTest::Instance(int number) const {
  return harness::Join(harness::WorkRoot(), std::to_string(number));
}

BackgroundPoll::BackgroundPoll(std::function<bool()> condition, unsigned intervalMs)
    : condition_(std::move(condition)), intervalMs_(intervalMs), thread_([this] {
        while (!stop_ && !held_) {
          if (condition_()) held_ = true;
          else Sleep(intervalMs_);
        }
      }) {}

BackgroundPoll::~BackgroundPoll() { Stop(); }

bool BackgroundPoll::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  return held_;
}
