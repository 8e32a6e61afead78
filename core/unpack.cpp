#include "unpack.h"

#include "text.h"

namespace core {
namespace {

__attribute__((noinline)) void Raise(UnpackFailure* failure, FailureKind kind, const char* path,
                                     uint32_t errorCode) {
  // The caller's address tells the failing check apart from every other.
  failure->address = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  failure->kind = kind;
  failure->errorCode = errorCode;
  CopyText(failure->path, sizeof failure->path, path != nullptr ? path : "");
}

bool JoinInFolder(const char* folder, const char* name, char (&out)[kPathBufferSize]) {
  TextBuffer text = MakeText(out, sizeof out);
  Append(&text, folder);
  Append(&text, "\\");
  Append(&text, name);
  return text.ok;
}

struct Unpacking {
  UnpackFiles& files;
  const char* folder;
  uint64_t imageSize;
  UnpackFailure* failure;
  uint8_t* buffer;
  uint32_t bufferSize;
};

void ReadPackageHeader(Unpacking& run, uint32_t packageOffset, PackageHeader* header) {
  uint8_t bytes[kPackageHeaderSize] = {};
  uint32_t got = packageOffset < run.imageSize ? run.files.ReadImage(packageOffset, bytes, sizeof bytes) : 0;
  DecodePackageHeader(bytes, got, header);
}

bool CopySegment(Unpacking& run, const Segment& segment, const char* path) {
  uint64_t offset = segment.offset;
  uint32_t left = segment.length;
  while (left > 0) {
    uint32_t chunk = left < run.bufferSize ? left : run.bufferSize;
    if (run.files.ReadImage(offset, run.buffer, chunk) != chunk) {
      Raise(run.failure, EReadError, nullptr, 0);
      return false;
    }
    if (run.files.WriteSegmentFile(run.buffer, chunk) != chunk) {
      Raise(run.failure, EWriteError, path, 0);
      return false;
    }
    offset += chunk;
    left -= chunk;
  }
  return true;
}

bool ExtractSegment(Unpacking& run, const Segment& segment) {
  char path[kPathBufferSize];
  if (!JoinInFolder(run.folder, segment.fileName, path)) {
    Raise(run.failure, EFCreateError, segment.fileName, 0);
    return false;
  }
  // A segment that runs past the end fails before its file exists; lengths
  // of 2 GiB and more always count as running past it.
  if (segment.length >= 0x80000000u || segment.offset > run.imageSize ||
      run.imageSize - segment.offset < segment.length) {
    Raise(run.failure, EReadError, nullptr, 0);
    return false;
  }
  if (!run.files.CreateSegmentFile(path)) {
    Raise(run.failure, EFCreateError, path, 0);
    return false;
  }
  bool copied = CopySegment(run, segment, path);
  run.files.CloseSegmentFile();
  return copied;
}

// Disk full, as the text-file services report a write that took nothing.
constexpr uint32_t kDiskFull = 101;

bool WriteLoopFlagFile(Unpacking& run, uint8_t musicMode) {
  char path[kPathBufferSize];
  if (!JoinInFolder(run.folder, kLoopFlagFileName, path)) {
    Raise(run.failure, EInOutError, nullptr, 3);
    return false;
  }
  if (uint32_t error = run.files.CreateFlagFile(path)) {
    Raise(run.failure, EInOutError, nullptr, error);
    return false;
  }
  bool tookIt = false;
  uint32_t error = run.files.WriteFlagFile(LoopFlagCharacter(musicMode), &tookIt);
  if (error != 0 || !tookIt) {
    run.files.CloseFlagFile();
    Raise(run.failure, EInOutError, nullptr, error != 0 ? error : kDiskFull);
    return false;
  }
  if (uint32_t closeError = run.files.CloseFlagFile()) {
    Raise(run.failure, EInOutError, nullptr, closeError);
    return false;
  }
  return true;
}

UnpackOutcome ExtractAll(Unpacking& run, uint32_t packageOffset, PackageHeader* header) {
  ReadPackageHeader(run, packageOffset, header);
  // A zero length would take the whole image: the launcher would start a
  // copy of itself as the projector, again and again.
  if (!HasUsableLengths(*header)) return kRefused;
  Segment segments[3];
  int count = PlanSegments(*header, packageOffset, segments);
  for (int i = 0; i < count; ++i) {
    if (!ExtractSegment(run, segments[i])) return kRaised;
  }
  return kUnpacked;
}

}  // namespace

UnpackOutcome UnpackImage(UnpackFiles& files, const char* instanceFolder, uint32_t packageOffset,
                          PackageHeader* header, UnpackFailure* failure, void* buffer,
                          uint32_t bufferSize) {
  char imagePath[kPathBufferSize];
  if (!JoinInFolder(instanceFolder, kImageCopyName, imagePath)) return kRefused;
  Unpacking run = {files, instanceFolder, 0, failure, static_cast<uint8_t*>(buffer), bufferSize};
  if (!files.OpenImage(imagePath, &run.imageSize)) {
    Raise(failure, EFOpenError, imagePath, 0);
    return kRaised;
  }
  files.DeleteImage(imagePath);
  UnpackOutcome outcome = ExtractAll(run, packageOffset, header);
  files.CloseImage();
  if (outcome != kUnpacked || !HasMusic(*header)) return outcome;
  return WriteLoopFlagFile(run, header->musicMode) ? kUnpacked : kRaised;
}

}  // namespace core
