#include "byte_source.h"

#include <string.h>

namespace packtool {

bool MemorySource::ReadAt(uint64_t offset, void* out, size_t count) {
  if (offset > size_ || count > size_ - offset) return false;
  if (count != 0) memcpy(out, data_ + offset, count);
  return true;
}

size_t ReadAvailable(ByteSource* source, uint64_t offset, void* out, size_t count) {
  uint64_t size = source->Size();
  if (offset >= size) return 0;
  uint64_t left = size - offset;
  size_t wanted = left < count ? static_cast<size_t>(left) : count;
  return source->ReadAt(offset, out, wanted) ? wanted : 0;
}

}  // namespace packtool
