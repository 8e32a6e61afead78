// The few file operations packtool needs, over POSIX or Win32. Paths are
// UTF-8 on both. Outputs are written beside their final name and moved into
// place only when complete, so a failed run never leaves half a file.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "byte_source.h"

namespace packtool {

// A regular file opened for reading; directories and devices are refused.
class InputFile : public ByteSource {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() override;

  bool Open(const std::string& path, std::string* error);
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* out, size_t count) override;

 private:
  intptr_t handle_ = -1;
  uint64_t size_ = 0;
};

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Removes the temporary file of an output that was never committed.
  ~OutputFile();

  bool Create(const std::string& finalPath, std::string* error);
  bool Write(const void* data, size_t count, std::string* error);
  // Closes the temporary file and renames it to the final path, replacing
  // a file of that name; `executable` also sets the execute permissions.
  bool Commit(bool executable, std::string* error);

 private:
  void Discard();

  intptr_t handle_ = -1;
  std::string finalPath_;
  std::string tempPath_;
};

// Creates the folder unless it exists already (its parent must exist);
// `created` says whether it was made now.
bool MakeFolder(const std::string& path, bool* created, std::string* error);
// Removes an empty folder; used to take back a folder made for an output
// that then failed.
void RemoveEmptyFolder(const std::string& path);
bool PathExists(const std::string& path);
// The program's arguments after its name, in UTF-8: on Windows taken from
// the wide command line, since argv there is in the ANSI code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);
// Text written to the console as UTF-8 shows as such also on Windows.
void WriteToConsole(const std::string& text, bool toErrorStream);
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace packtool
