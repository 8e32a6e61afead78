// The unpacking of a package from the image copy into the instance folder,
// written against a small file interface so that every failure of the
// platform can be scripted in tests; the launcher supplies the Win32 one.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "messages.h"
#include "package_layout.h"
#include "paths.h"

namespace core {

// One image copy open for reading and at most one output file at a time.
class UnpackFiles {
 public:
  // Opens the image copy for reading, shared with nobody but a deleter.
  virtual bool OpenImage(const char* path, uint64_t* size) = 0;
  virtual void DeleteImage(const char* path) = 0;  // the result is not used
  // Reads up to `count` bytes at `offset`; returns how many it read.
  virtual uint32_t ReadImage(uint64_t offset, void* out, uint32_t count) = 0;
  virtual void CloseImage() = 0;

  virtual bool CreateSegmentFile(const char* path) = 0;
  // Returns how many bytes the file took.
  virtual uint32_t WriteSegmentFile(const void* bytes, uint32_t count) = 0;
  virtual void CloseSegmentFile() = 0;

  // The loop flag file; each returns 0 or the system error code of the call.
  virtual uint32_t CreateFlagFile(const char* path) = 0;
  virtual uint32_t WriteFlagFile(char flag, bool* tookIt) = 0;
  virtual uint32_t CloseFlagFile() = 0;

 protected:
  ~UnpackFiles() = default;
};

struct UnpackFailure {
  FailureKind kind;
  char path[kPathBufferSize];  // for the file kinds
  uint32_t errorCode;          // for EInOutError
  uintptr_t address;           // code address of the failing check
};

enum UnpackOutcome {
  kUnpacked,
  kRefused,  // a zero length, or a path that would not fit: nothing written
  kRaised,   // a service failed; the failure says how
};

// Reads the header at `packageOffset` of the image copy "Temp.dat" in
// `instanceFolder` into `header`, writes the segments, then the loop flag
// file. The image copy is deleted right after it is opened and closed before
// this returns, whatever the outcome. `buffer` carries each segment through
// in pieces, so memory does not grow with the package.
UnpackOutcome UnpackImage(UnpackFiles& files, const char* instanceFolder, uint32_t packageOffset,
                          PackageHeader* header, UnpackFailure* failure, void* buffer,
                          uint32_t bufferSize);

}  // namespace core
