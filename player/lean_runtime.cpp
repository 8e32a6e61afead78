// The few C library routines that the compiler calls on its own (for loops it
// recognises as string length, fill or copy). The player links no C runtime,
// so it brings them itself. Compiled so that these loops stay loops.
#include <stddef.h>

extern "C" {

size_t strlen(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

void* memset(void* target, int value, size_t count) {
  unsigned char* bytes = static_cast<unsigned char*>(target);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(value);
  return target;
}

void* memcpy(void* target, const void* source, size_t count) {
  unsigned char* to = static_cast<unsigned char*>(target);
  const unsigned char* from = static_cast<const unsigned char*>(source);
  for (size_t i = 0; i < count; ++i) to[i] = from[i];
  return target;
}

}  // extern "C"
