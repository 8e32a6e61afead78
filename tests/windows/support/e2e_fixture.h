// What every end-to-end test of a packaged executable starts from: no work
// root, a fresh scratch folder with a working directory in it, and a way to
// run a packaged file from there.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "harness.h"
#include "package_fixture.h"

class PackagedRunTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the file as "present.exe" in the scratch folder and runs it with
  // the working directory as its current directory, unless options say another.
  harness::RunResult RunBytes(const std::string& bytes, harness::RunOptions options = harness::RunOptions());
  harness::RunResult RunPackage(const fixture::Package& package,
                                harness::RunOptions options = harness::RunOptions());

  std::string Instance(int number) const;

  std::string scratch_;
  std::string workingDir_;
};

// Polls a condition on a thread of its own while a run goes on, until it
// first holds; Stop() says whether it ever did.
class BackgroundPoll {
 public:
  BackgroundPoll(std::function<bool()> condition, unsigned intervalMs);
  ~BackgroundPoll();
  bool Stop();

 private:
  std::function<bool()> condition_;
  unsigned intervalMs_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> held_{false};
  std::thread thread_;
};
