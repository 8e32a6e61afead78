// Random access to the bytes of a file or of memory, so that the package
// reader works the same on a file on disk and on a fuzzer's input.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace packtool {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads exactly `count` bytes at `offset`; false when they are not all
  // there or the read fails.
  virtual bool ReadAt(uint64_t offset, void* out, size_t count) = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* out, size_t count) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// Reads up to `count` bytes at `offset`, fewer when the source ends first;
// returns how many it read (0 also when the read fails).
size_t ReadAvailable(ByteSource* source, uint64_t offset, void* out, size_t count);

}  // namespace packtool
