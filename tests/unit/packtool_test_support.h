// What the packtool tests share: a scratch folder, files of known bytes,
// stand-ins for the launcher and player images, and packtool run in-process.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "package_layout.h"
#include "package_reader.h"
#include "packtool.h"

namespace packtool_test {

using Bytes = std::vector<uint8_t>;

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Deterministic bytes that differ from one `seed` to the next.
Bytes Pattern(size_t size, uint8_t seed);
void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// Names in a folder (recursively, as relative paths), sorted.
std::vector<std::string> ListFolder(const std::string& path);

// Launcher and player images of the right lengths; the tests never depend
// on the Windows build.
Bytes StandInLauncher(packtool::Variant variant);
Bytes StandInPlayer();

struct Outcome {
  int code;
  std::string out;
  std::string err;
};
Outcome Packtool(const std::vector<std::string>& args, const packtool::BuiltInImages& images = {});

// Header of a package file at the offset of `variant`.
core::PackageHeader HeaderAt(const Bytes& file, packtool::Variant variant);

// The breach ids of a `show --json` report, one list per reading.
std::vector<std::vector<std::string>> BreachIds(const std::string& json);

}  // namespace packtool_test
