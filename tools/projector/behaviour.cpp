#include "behaviour.h"

#include "text.h"

namespace standin {
namespace {

struct Slice {
  const char* begin;
  const char* end;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

Slice Trim(Slice s) {
  while (s.begin < s.end && IsBlank(*s.begin)) ++s.begin;
  while (s.end > s.begin && IsBlank(s.end[-1])) --s.end;
  return s;
}

bool Equals(Slice s, const char* word) {
  for (const char* p = s.begin; p < s.end; ++p, ++word)
    if (*word == '\0' || *p != *word) return false;
  return *word == '\0';
}

// Decimal with an optional minus sign, within the signed 32-bit range.
bool ParseNumber(Slice s, int32_t* out) {
  const char* p = s.begin;
  bool negative = p < s.end && *p == '-';
  if (negative) ++p;
  if (p == s.end) return false;
  int64_t value = 0;
  for (; p < s.end; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + (*p - '0');
    if (value > 2147483648LL) return false;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) return false;
  *out = static_cast<int32_t>(value);
  return true;
}

bool ParseFlag(Slice s, bool* out) {
  int32_t value;
  if (!ParseNumber(s, &value) || (value != 0 && value != 1)) return false;
  *out = value == 1;
  return true;
}

bool ApplySetting(Behaviour* b, Slice key, Slice value) {
  struct NumberKey {
    const char* name;
    int32_t Behaviour::*field;
  };
  static const NumberKey kNumbers[] = {
      {"close_after_ms", &Behaviour::closeAfterMs},
      {"window_delay_ms", &Behaviour::windowDelayMs},
      {"width", &Behaviour::width},
      {"height", &Behaviour::height},
      {"x", &Behaviour::x},
      {"y", &Behaviour::y},
      {"watch_ms", &Behaviour::watchMs},
      {"exit_code", &Behaviour::exitCode},
  };
  struct FlagKey {
    const char* name;
    bool Behaviour::*field;
  };
  static const FlagKey kFlags[] = {
      {"never_close", &Behaviour::neverClose},
      {"no_window", &Behaviour::noWindow},
      {"window_thread", &Behaviour::windowThread},
  };
  for (const NumberKey& k : kNumbers)
    if (Equals(key, k.name)) return ParseNumber(value, &(b->*k.field));
  for (const FlagKey& k : kFlags)
    if (Equals(key, k.name)) return ParseFlag(value, &(b->*k.field));
  return false;
}

void NoteIgnored(Behaviour* b, Slice line) {
  core::TextBuffer text = {b->ignored, sizeof b->ignored, core::TextLength(b->ignored), true};
  if (text.length > 0) core::Append(&text, ";");
  core::AppendBytes(&text, line.begin, static_cast<size_t>(line.end - line.begin));
  // A list that no longer fits still has to say that something was wrong.
  if (!text.ok) core::CopyText(b->ignored, sizeof b->ignored, "(too many ignored lines)");
}

void ApplyLine(Behaviour* b, Slice line) {
  line = Trim(line);
  if (line.begin == line.end || *line.begin == '#') return;
  const char* equals = line.begin;
  while (equals < line.end && *equals != '=') ++equals;
  bool understood = equals < line.end &&
                    ApplySetting(b, Trim({line.begin, equals}), Trim({equals + 1, line.end}));
  if (!understood) NoteIgnored(b, line);
}

}  // namespace

Behaviour DefaultBehaviour() {
  Behaviour b = {};
  b.closeAfterMs = kNever;
  b.windowDelayMs = 0;
  b.x = kDefaultPosition;
  b.y = kDefaultPosition;
  b.width = 640;
  b.height = 480;
  b.watchMs = 0;
  b.exitCode = 0;
  return b;
}

Behaviour ParseBehaviour(const char* text, size_t length) {
  Behaviour b = DefaultBehaviour();
  const char* end = text + length;
  const char* lineStart = text;
  for (const char* p = text; p <= end; ++p) {
    if (p == end || *p == '\n') {
      ApplyLine(&b, {lineStart, p});
      lineStart = p + 1;
    }
  }
  return b;
}

}  // namespace standin
