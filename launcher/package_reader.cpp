#include "package_reader.h"

#include <windows.h>

#include "run_state.h"
#include "text.h"

namespace {

// Segments are streamed through this buffer, so the memory a run needs does
// not grow with the package.
constexpr uint32_t kCopyChunk = 64 * 1024;
char CopyBuffer[kCopyChunk];

class WindowsUnpackFiles final : public core::UnpackFiles {
 public:
  bool OpenImage(const char* path, uint64_t* size) override {
    // Shared for deletion only: the copy is deleted at once and vanishes when
    // this handle closes, also when the unpacking fails.
    image_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (image_ == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER length;
    if (!GetFileSizeEx(image_, &length)) length.QuadPart = 0;
    *size = static_cast<uint64_t>(length.QuadPart);
    return true;
  }
  void DeleteImage(const char* path) override { DeleteFileA(path); }
  uint32_t ReadImage(uint64_t offset, void* out, uint32_t count) override {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(image_, out, count, &got, &at)) return 0;
    return got;
  }
  void CloseImage() override { Close(&image_); }

  bool CreateSegmentFile(const char* path) override {
    segment_ = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return segment_ != INVALID_HANDLE_VALUE;
  }
  uint32_t WriteSegmentFile(const void* bytes, uint32_t count) override {
    DWORD written = 0;
    if (!WriteFile(segment_, bytes, count, &written, nullptr)) return 0;
    return written;
  }
  void CloseSegmentFile() override { Close(&segment_); }

  uint32_t CreateFlagFile(const char* path) override {
    flag_ = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    return flag_ == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  }
  uint32_t WriteFlagFile(char flag, bool* tookIt) override {
    DWORD written = 0;
    BOOL ok = WriteFile(flag_, &flag, 1, &written, nullptr);
    *tookIt = written == 1;
    return ok ? 0 : GetLastError();
  }
  uint32_t CloseFlagFile() override {
    HANDLE flag = flag_;
    flag_ = INVALID_HANDLE_VALUE;
    return CloseHandle(flag) ? 0 : GetLastError();
  }

 private:
  static void Close(HANDLE* handle) {
    if (*handle != INVALID_HANDLE_VALUE) CloseHandle(*handle);
    *handle = INVALID_HANDLE_VALUE;
  }
  HANDLE image_ = INVALID_HANDLE_VALUE;
  HANDLE segment_ = INVALID_HANDLE_VALUE;
  HANDLE flag_ = INVALID_HANDLE_VALUE;
};

}  // namespace

bool MakeImageCopy() {
  DWORD length = GetModuleFileNameA(nullptr, Run.ownPath, sizeof Run.ownPath);
  // A cut own path would copy another file than the running one.
  if (length == 0 || length >= sizeof Run.ownPath) return false;
  char copy[core::kPathBufferSize];
  if (!InstancePath(core::kImageCopyName, copy)) return false;
  return CopyFileA(Run.ownPath, copy, FALSE) != FALSE;
}

core::UnpackOutcome UnpackPackage(Failure* failure) {
  char folder[core::kPathBufferSize];
  if (!InstanceFolderPath(folder)) return core::kRefused;
  WindowsUnpackFiles files;
  core::UnpackFailure unpackFailure;
  core::UnpackOutcome outcome = core::UnpackImage(files, folder, kPackageOffset, &Run.header,
                                                  &unpackFailure, CopyBuffer, kCopyChunk);
  if (outcome == core::kRaised) {
    uintptr_t base = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
    failure->kind = unpackFailure.kind;
    failure->place = static_cast<uint32_t>(unpackFailure.address - base);
    failure->errorCode = unpackFailure.errorCode;
    core::CopyText(failure->path, sizeof failure->path, unpackFailure.path);
  }
  return outcome;
}
