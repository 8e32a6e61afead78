#include "packtool_test_support.h"

#include <dirent.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>

namespace packtool_test {

ScratchFolder::ScratchFolder() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/packtool-test-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  nftw(
      path_.c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  uint32_t state = 0x9E3779B9u * (seed + 1u);
  for (uint8_t& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot create " + path);
  size_t written = bytes.empty() ? 0 : fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
  if (written != bytes.size()) throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) throw std::runtime_error("cannot open " + path);
  Bytes bytes;
  uint8_t chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  fclose(file);
  return bytes;
}

bool FileExists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

namespace {

void ListInto(const std::string& root, const std::string& relative, std::vector<std::string>* names) {
  DIR* folder = opendir((root + relative).c_str());
  if (folder == nullptr) return;
  while (dirent* entry = readdir(folder)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    names->push_back(relative.empty() ? name : relative.substr(1) + "/" + name);
    ListInto(root, relative + "/" + name, names);
  }
  closedir(folder);
}

}  // namespace

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  ListInto(path, "", &names);
  std::sort(names.begin(), names.end());
  return names;
}

Bytes StandInLauncher(packtool::Variant variant) {
  Bytes bytes = Pattern(packtool::PackageOffset(variant), variant == packtool::Variant::kSix ? 61 : 91);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  return bytes;
}

Bytes StandInPlayer() { return Pattern(core::kPlayerImageSize, 17); }

Outcome Packtool(const std::vector<std::string>& args, const packtool::BuiltInImages& images) {
  Outcome run;
  run.code = packtool::RunPacktool(args, images, &run.out, &run.err);
  return run;
}

core::PackageHeader HeaderAt(const Bytes& file, packtool::Variant variant) {
  size_t offset = packtool::PackageOffset(variant);
  core::PackageHeader header;
  size_t available = file.size() > offset ? file.size() - offset : 0;
  core::DecodePackageHeader(file.data() + std::min(offset, file.size()), available, &header);
  return header;
}

std::vector<std::vector<std::string>> BreachIds(const std::string& json) {
  std::vector<std::vector<std::string>> readings;
  size_t at = 0;
  const std::string list = "\"breaches\": [";
  const std::string id = "{\"id\": \"";
  while ((at = json.find(list, at)) != std::string::npos) {
    at += list.size();
    size_t end = json.find(']', at);
    readings.emplace_back();
    for (size_t found = json.find(id, at); found < end; found = json.find(id, found + 1)) {
      size_t start = found + id.size();
      readings.back().push_back(json.substr(start, json.find('"', start) - start));
    }
  }
  return readings;
}

}  // namespace packtool_test
