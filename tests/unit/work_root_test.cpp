// The work root and instance folders on a scripted folder platform: the
// probe rule, the marks of live runs, races with other runs, and removal.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>

#include "work_root.h"

namespace {

const char kWindows[] = "C:\\WINDOWS";
const std::string kRoot = "C:\\WINDOWS\\DERizi";

std::string Instance(int n) { return kRoot + "\\" + std::to_string(n); }

class ScriptedFolders final : public core::FolderPlatform {
 public:
  std::set<std::string> folders;
  std::set<std::string> files;
  std::set<int32_t> liveRuns;  // numbers marked by other runs still in progress
  std::set<int32_t> ownClaims;
  std::map<std::string, uint32_t> createErrors;
  // Runs just before a folder is created: another run acting in between.
  std::function<void(const std::string&)> beforeCreate;
  std::vector<std::string> deleted;

  bool FolderExists(const char* path) override { return folders.count(path) != 0; }
  uint32_t CreateFolder(const char* path) override {
    if (beforeCreate) beforeCreate(path);
    auto scripted = createErrors.find(path);
    if (scripted != createErrors.end()) return scripted->second;
    if (folders.count(path) || files.count(path)) return core::kErrorAlreadyExists;
    std::string parent = std::string(path).substr(0, std::string(path).find_last_of('\\'));
    if (parent != kWindows && !folders.count(parent)) return core::kErrorPathNotFound;
    folders.insert(path);
    return 0;
  }
  bool ClaimInstance(int32_t instance) override {
    if (liveRuns.count(instance) || ownClaims.count(instance)) return false;
    ownClaims.insert(instance);
    return true;
  }
  void ReleaseInstance(int32_t instance) override { ownClaims.erase(instance); }
  bool InstanceInProgress(int32_t instance) override {
    return liveRuns.count(instance) != 0 || ownClaims.count(instance) != 0;
  }
  void ListFolder(const char* path, void (*visit)(const char*, bool, void*), void* context) override {
    std::string prefix = std::string(path) + "\\";
    std::vector<std::pair<std::string, bool>> entries;
    for (const auto& folder : folders)
      if (IsChild(prefix, folder)) entries.push_back({folder.substr(prefix.size()), true});
    for (const auto& file : files)
      if (IsChild(prefix, file)) entries.push_back({file.substr(prefix.size()), false});
    for (const auto& entry : entries) visit(entry.first.c_str(), entry.second, context);
  }
  void DeleteTree(const char* path) override {
    deleted.push_back(path);
    std::string prefix = std::string(path) + "\\";
    for (auto* set : {&folders, &files}) {
      for (auto it = set->begin(); it != set->end();) {
        if (*it == path || it->compare(0, prefix.size(), prefix) == 0) it = set->erase(it);
        else ++it;
      }
    }
  }
  void RemoveEmptyFolder(const char* path) override {
    std::string prefix = std::string(path) + "\\";
    for (auto* set : {&folders, &files})
      for (const auto& entry : *set)
        if (entry.compare(0, prefix.size(), prefix) == 0) return;
    folders.erase(path);
  }

 private:
  static bool IsChild(const std::string& prefix, const std::string& path) {
    return path.compare(0, prefix.size(), prefix) == 0 && path.find('\\', prefix.size()) == std::string::npos;
  }
};

TEST(WorkRoot, CreatedWhenMissingKeptWhenThereRefusedWhenAFile) {
  ScriptedFolders missing;
  EXPECT_TRUE(core::CreateWorkRoot(missing, kWindows));
  EXPECT_TRUE(missing.folders.count(kRoot));

  ScriptedFolders present;
  present.folders.insert(kRoot);
  present.createErrors[kRoot] = 5;  // would fail, but is never asked
  EXPECT_TRUE(core::CreateWorkRoot(present, kWindows));

  ScriptedFolders file;
  file.files.insert(kRoot);
  EXPECT_FALSE(core::CreateWorkRoot(file, kWindows));
}

TEST(WorkRoot, AWindowsDirectoryTooLongForTheBuffersCreatesNothing) {
  ScriptedFolders folders;
  std::string longWindows = "C:\\" + std::string(240, 'w');
  EXPECT_FALSE(core::CreateWorkRoot(folders, longWindows.c_str()));
  EXPECT_TRUE(folders.folders.empty());
}

TEST(InstanceFolder, TakesTheLowestNumberWithoutAFolder) {
  struct Case {
    std::vector<int> folders;
    int expected;
  } cases[] = {{{}, 1}, {{1, 2}, 3}, {{1, 3}, 2}, {{2}, 1}};
  for (const Case& c : cases) {
    ScriptedFolders platform;
    platform.folders.insert(kRoot);
    for (int n : c.folders) platform.folders.insert(Instance(n));
    int32_t instance = 0;
    ASSERT_TRUE(core::CreateInstanceFolder(platform, kWindows, &instance));
    EXPECT_EQ(instance, c.expected);
    EXPECT_TRUE(platform.folders.count(Instance(c.expected)));
    EXPECT_EQ(platform.ownClaims, std::set<int32_t>{c.expected});
  }
}

TEST(InstanceFolder, AFileNamedWithTheNumberEndsTheRun) {
  ScriptedFolders platform;
  platform.folders.insert(kRoot);
  platform.files.insert(Instance(1));
  int32_t instance = 0;
  EXPECT_FALSE(core::CreateInstanceFolder(platform, kWindows, &instance));
  EXPECT_TRUE(platform.ownClaims.empty());
}

TEST(InstanceFolder, OtherCreationFailuresEndTheRun) {
  for (uint32_t error : {5u, 82u, 112u}) {
    ScriptedFolders platform;
    platform.folders.insert(kRoot);
    platform.createErrors[Instance(1)] = error;
    int32_t instance = 0;
    EXPECT_FALSE(core::CreateInstanceFolder(platform, kWindows, &instance)) << error;
  }
}

TEST(InstanceFolder, LosingANumberToAnotherRunMovesOnToTheNext) {
  // Another run marked 1 and is about to create its folder.
  ScriptedFolders claimed;
  claimed.folders.insert(kRoot);
  claimed.liveRuns.insert(1);
  int32_t instance = 0;
  ASSERT_TRUE(core::CreateInstanceFolder(claimed, kWindows, &instance));
  EXPECT_EQ(instance, 2);

  // Another run created folder 1 between our probe and our creation.
  ScriptedFolders created;
  created.folders.insert(kRoot);
  created.beforeCreate = [&](const std::string& path) {
    if (path == Instance(1)) created.folders.insert(Instance(1));
    created.beforeCreate = nullptr;
  };
  ASSERT_TRUE(core::CreateInstanceFolder(created, kWindows, &instance));
  EXPECT_EQ(instance, 2);
  EXPECT_EQ(created.ownClaims, std::set<int32_t>{2});
}

TEST(InstanceFolder, AWorkRootRemovedByAnotherRunIsMadeAgain) {
  ScriptedFolders platform;
  platform.folders.insert(kRoot);
  platform.beforeCreate = [&](const std::string&) {
    platform.folders.erase(kRoot);  // the other run's removal took the empty root
    platform.beforeCreate = nullptr;
  };
  int32_t instance = 0;
  ASSERT_TRUE(core::CreateInstanceFolder(platform, kWindows, &instance));
  EXPECT_EQ(instance, 1);
  EXPECT_TRUE(platform.folders.count(Instance(1)));
}

TEST(Removal, TakesOwnAndLeftoverFoldersKeepsLiveRunsAndTheRootWhileNeeded) {
  ScriptedFolders platform;
  platform.folders = {kRoot, Instance(1), Instance(2), Instance(3), Instance(4), kRoot + "\\junk"};
  platform.files = {Instance(1) + "\\projector.exe", Instance(2) + "\\projector.exe", kRoot + "\\7",
                    kRoot + "\\notes.txt"};
  platform.ownClaims = {3};
  platform.liveRuns = {2};
  core::RemoveWorkRoot(platform, kWindows, 3);
  EXPECT_EQ(platform.folders, (std::set<std::string>{kRoot, Instance(2)}));
  EXPECT_EQ(platform.files, std::set<std::string>{Instance(2) + "\\projector.exe"});

  platform.liveRuns.clear();
  core::RemoveWorkRoot(platform, kWindows, 9);
  EXPECT_TRUE(platform.folders.empty());
  EXPECT_TRUE(platform.files.empty());
}

TEST(Removal, WithNoOtherRunEverythingGoes) {
  ScriptedFolders platform;
  platform.folders = {kRoot, Instance(1), Instance(5), Instance(5) + "\\fscommand"};
  platform.files = {Instance(5) + "\\fscommand\\a.txt", kRoot + "\\1x"};
  platform.ownClaims = {1};
  core::RemoveWorkRoot(platform, kWindows, 1);
  EXPECT_TRUE(platform.folders.empty());
  EXPECT_TRUE(platform.files.empty());
}

}  // namespace
