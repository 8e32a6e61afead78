// Bounded text building without the C library, so that the Windows programs
// can use it without a C runtime and every overflow is reported, never cut.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace core {

// A NUL-terminated text under construction in a caller's fixed buffer.
// Once an append does not fit, `ok` stays false and the text is left empty,
// so a cut path can never be used by mistake.
struct TextBuffer {
  char* data;
  size_t capacity;  // bytes, including the terminating NUL
  size_t length;
  bool ok;
};

TextBuffer MakeText(char* data, size_t capacity);
void Append(TextBuffer* text, const char* piece);
void AppendBytes(TextBuffer* text, const char* piece, size_t count);
void AppendDecimal(TextBuffer* text, int64_t value);
void AppendHex8(TextBuffer* text, uint32_t value);

size_t TextLength(const char* text);
bool TextEquals(const char* a, const char* b);
// Copies at most capacity-1 bytes and always terminates; returns false when cut.
bool CopyText(char* target, size_t capacity, const char* source);

}  // namespace core
