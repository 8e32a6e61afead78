#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_io.h"

namespace packtool {
namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string SystemError() { return strerror(errno); }

// The permissions a newly created file would get, so outputs look as if
// written by any other tool: the temporary file starts out private.
mode_t CreationMode(bool executable) {
  mode_t mask = umask(0);
  umask(mask);
  return (executable ? 0777 : 0666) & ~mask;
}

}  // namespace

InputFile::~InputFile() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool InputFile::Open(const std::string& path, std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open " + Quoted(path) + ": " + SystemError();
    return false;
  }
  struct stat status;
  if (fstat(fd, &status) != 0) {
    *error = "cannot open " + Quoted(path) + ": " + SystemError();
    close(fd);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = Quoted(path) + (S_ISDIR(status.st_mode) ? " is a folder, not a file" : " is not a regular file");
    close(fd);
    return false;
  }
  handle_ = fd;
  size_ = static_cast<uint64_t>(status.st_size);
  return true;
}

bool InputFile::ReadAt(uint64_t offset, void* out, size_t count) {
  char* target = static_cast<char*>(out);
  while (count > 0) {
    ssize_t got = pread(static_cast<int>(handle_), target, count, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    target += got;
    offset += static_cast<uint64_t>(got);
    count -= static_cast<size_t>(got);
  }
  return true;
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
  if (!tempPath_.empty()) unlink(tempPath_.c_str());
  tempPath_.clear();
}

bool OutputFile::Create(const std::string& finalPath, std::string* error) {
  Discard();
  std::string pattern = finalPath + ".packtool-XXXXXX";
  int fd = mkstemp(&pattern[0]);
  if (fd < 0) {
    *error = "cannot create " + Quoted(finalPath) + ": " + SystemError();
    return false;
  }
  handle_ = fd;
  finalPath_ = finalPath;
  tempPath_ = pattern;
  return true;
}

bool OutputFile::Write(const void* data, size_t count, std::string* error) {
  const char* source = static_cast<const char*>(data);
  while (count > 0) {
    ssize_t put = write(static_cast<int>(handle_), source, count);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      *error = "cannot write " + Quoted(finalPath_) + ": " + SystemError();
      Discard();
      return false;
    }
    source += put;
    count -= static_cast<size_t>(put);
  }
  return true;
}

bool OutputFile::Commit(bool executable, std::string* error) {
  int fd = static_cast<int>(handle_);
  handle_ = -1;
  bool written = fchmod(fd, CreationMode(executable)) == 0;
  written = close(fd) == 0 && written;
  if (!written || rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
    *error = "cannot write " + Quoted(finalPath_) + ": " + SystemError();
    Discard();
    return false;
  }
  tempPath_.clear();
  return true;
}

bool MakeFolder(const std::string& path, bool* created, std::string* error) {
  *created = mkdir(path.c_str(), 0777) == 0;
  if (*created) return true;
  std::string reason = SystemError();
  if (errno == EEXIST) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return true;
    reason = "a file of that name exists";
  }
  *error = "cannot create the folder " + Quoted(path) + ": " + reason;
  return false;
}

void RemoveEmptyFolder(const std::string& path) { rmdir(path.c_str()); }

bool PathExists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void WriteToConsole(const std::string& text, bool toErrorStream) {
  FILE* stream = toErrorStream ? stderr : stdout;
  fwrite(text.data(), 1, text.size(), stream);
  fflush(stream);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

}  // namespace packtool
