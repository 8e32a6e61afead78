#include "package_reader.h"

#include <windows.h>

#include "package_layout.h"
#include "run_state.h"

namespace {

// Segments are streamed through this buffer, so the memory a run needs does
// not grow with the package.
constexpr DWORD kCopyChunk = 64 * 1024;
char CopyBuffer[kCopyChunk];

// Closes a handle when it goes out of scope.
struct ScopedHandle {
  HANDLE handle;
  ~ScopedHandle() {
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) CloseHandle(handle);
  }
};

bool SeekTo(HANDLE file, uint64_t offset) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE;
}

// Reads up to `count` bytes at `offset`; bytes beyond the end stay as they are.
void ReadAt(HANDLE file, uint64_t offset, void* out, DWORD count, DWORD* got) {
  *got = 0;
  if (SeekTo(file, offset)) ReadFile(file, out, count, got, nullptr);
}

void ReadPackageHeader(HANDLE image) {
  uint8_t bytes[core::kPackageHeaderSize] = {};
  DWORD got = 0;
  ReadAt(image, kPackageOffset, bytes, sizeof bytes, &got);
  core::DecodePackageHeader(bytes, got, &Run.header);
}

bool CopyRange(HANDLE image, HANDLE target, uint32_t length, const char* path, Failure* failure) {
  uint32_t left = length;
  while (left > 0) {
    DWORD chunk = left < kCopyChunk ? left : kCopyChunk;
    DWORD got = 0;
    if (!ReadFile(image, CopyBuffer, chunk, &got, nullptr) || got != chunk) {
      RaiseFailure(failure, core::EReadError, nullptr, 0);
      return false;
    }
    DWORD written = 0;
    if (!WriteFile(target, CopyBuffer, chunk, &written, nullptr) || written != chunk) {
      RaiseFailure(failure, core::EWriteError, path, 0);
      return false;
    }
    left -= chunk;
  }
  return true;
}

bool ExtractSegment(HANDLE image, uint64_t imageSize, const core::Segment& segment, Failure* failure) {
  char path[core::kPathBufferSize];
  if (!InstancePath(segment.fileName, path)) {
    RaiseFailure(failure, core::EFCreateError, segment.fileName, 0);
    return false;
  }
  // A segment that runs past the end is refused before its file exists;
  // lengths of 2 GiB and more always count as running past it.
  if (segment.length >= 0x80000000u || segment.offset > imageSize ||
      imageSize - segment.offset < segment.length || !SeekTo(image, segment.offset)) {
    RaiseFailure(failure, core::EReadError, nullptr, 0);
    return false;
  }
  ScopedHandle target = {CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (target.handle == INVALID_HANDLE_VALUE) {
    RaiseFailure(failure, core::EFCreateError, path, 0);
    return false;
  }
  return CopyRange(image, target.handle, segment.length, path, failure);
}

bool WriteLoopFlagFile(uint8_t musicMode, Failure* failure) {
  char path[core::kPathBufferSize];
  if (!InstancePath(core::kLoopFlagFileName, path)) {
    RaiseFailure(failure, core::EInOutError, nullptr, ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    RaiseFailure(failure, core::EInOutError, nullptr, GetLastError());
    return false;
  }
  char flag = core::LoopFlagCharacter(musicMode);
  DWORD written = 0;
  if (!WriteFile(file, &flag, 1, &written, nullptr) || written != 1) {
    // A write that takes nothing without an error code means the disk is full.
    DWORD error = GetLastError();
    CloseHandle(file);
    RaiseFailure(failure, core::EInOutError, nullptr, written == 1 || error == 0 ? 101 : error);
    return false;
  }
  if (!CloseHandle(file)) {
    RaiseFailure(failure, core::EInOutError, nullptr, GetLastError());
    return false;
  }
  return true;
}

}  // namespace

bool MakeImageCopy() {
  DWORD length = GetModuleFileNameA(nullptr, Run.ownPath, sizeof Run.ownPath);
  // A cut own path would copy another file than the running one.
  if (length == 0 || length >= sizeof Run.ownPath) return false;
  char copy[core::kPathBufferSize];
  if (!InstancePath(core::kImageCopyName, copy)) return false;
  return CopyFileA(Run.ownPath, copy, FALSE) != FALSE;
}

UnpackOutcome UnpackPackage(Failure* failure) {
  char copyPath[core::kPathBufferSize];
  if (!InstancePath(core::kImageCopyName, copyPath)) return kRefused;
  // Shared for deletion only, so that the copy can be deleted at once and
  // vanishes when this handle closes, also when the unpacking fails.
  ScopedHandle image = {CreateFileA(copyPath, GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
  if (image.handle == INVALID_HANDLE_VALUE) {
    RaiseFailure(failure, core::EFOpenError, copyPath, 0);
    return kRaised;
  }
  DeleteFileA(copyPath);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(image.handle, &size)) {
    RaiseFailure(failure, core::EReadError, nullptr, 0);
    return kRaised;
  }
  ReadPackageHeader(image.handle);
  if (!core::HasUsableLengths(Run.header)) return kRefused;

  core::Segment segments[3];
  int count = core::PlanSegments(Run.header, kPackageOffset, segments);
  for (int i = 0; i < count; ++i) {
    if (!ExtractSegment(image.handle, static_cast<uint64_t>(size.QuadPart), segments[i], failure))
      return kRaised;
  }
  CloseHandle(image.handle);
  image.handle = INVALID_HANDLE_VALUE;
  if (core::HasMusic(Run.header) && !WriteLoopFlagFile(Run.header.musicMode, failure)) return kRaised;
  return kUnpacked;
}
