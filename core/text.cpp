#include "text.h"

namespace core {

TextBuffer MakeText(char* data, size_t capacity) {
  TextBuffer text = {data, capacity, 0, capacity > 0};
  if (capacity > 0) data[0] = '\0';
  return text;
}

static void Fail(TextBuffer* text) {
  text->ok = false;
  text->length = 0;
  if (text->capacity > 0) text->data[0] = '\0';
}

void AppendBytes(TextBuffer* text, const char* piece, size_t count) {
  if (!text->ok) return;
  if (count >= text->capacity - text->length) {
    Fail(text);
    return;
  }
  for (size_t i = 0; i < count; ++i) text->data[text->length + i] = piece[i];
  text->length += count;
  text->data[text->length] = '\0';
}

void Append(TextBuffer* text, const char* piece) {
  AppendBytes(text, piece, TextLength(piece));
}

void AppendDecimal(TextBuffer* text, int64_t value) {
  char digits[24];
  size_t count = 0;
  // Work on the magnitude as unsigned so that the most negative value is safe.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[sizeof digits - 1 - count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[sizeof digits - 1 - count++] = '-';
  AppendBytes(text, digits + sizeof digits - count, count);
}

void AppendHex8(TextBuffer* text, uint32_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  char hex[8];
  for (int i = 7; i >= 0; --i) {
    hex[i] = kDigits[value & 0xF];
    value >>= 4;
  }
  AppendBytes(text, hex, 8);
}

size_t TextLength(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

bool TextEquals(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

bool CopyText(char* target, size_t capacity, const char* source) {
  if (capacity == 0) return false;
  size_t i = 0;
  for (; i + 1 < capacity && source[i] != '\0'; ++i) target[i] = source[i];
  target[i] = '\0';
  return source[i] == '\0';
}

}  // namespace core
