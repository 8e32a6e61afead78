#include "messages.h"

#include "text.h"

namespace core {

const char kErrorCaption[] = "Error";
const char kApplicationCannotRun[] = "Application can not be run.";
const char kMidiCannotRun[] = "Midi file can not be run.";
const char kApplicationErrorCaption[] = "Application Error";

const char* FailureKindName(FailureKind kind) {
  switch (kind) {
    case EFOpenError: return "EFOpenError";
    case EFCreateError: return "EFCreateError";
    case EReadError: return "EReadError";
    case EWriteError: return "EWriteError";
    case EStreamError: return "EStreamError";
    case EOutOfMemory: return "EOutOfMemory";
    case EInOutError: return "EInOutError";
  }
  return "Exception";
}

static const char* InOutErrorText(uint32_t code) {
  switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 100: return "Read beyond end of file";
    case 101: return "Disk full";
    case 106: return "Invalid numeric input";
  }
  return nullptr;
}

bool FormatFailureMessage(FailureKind kind, const char* path, uint32_t errorCode, char* out,
                          size_t capacity) {
  TextBuffer text = MakeText(out, capacity);
  switch (kind) {
    case EFOpenError:
      Append(&text, "Cannot open file ");
      Append(&text, path);
      break;
    case EFCreateError:
      Append(&text, "Cannot create file ");
      Append(&text, path);
      break;
    case EReadError: Append(&text, "Stream read error"); break;
    case EWriteError: Append(&text, "Stream write error"); break;
    case EStreamError: Append(&text, "Out of memory while expanding memory stream"); break;
    case EOutOfMemory: Append(&text, "Out of memory"); break;
    case EInOutError: {
      const char* known = InOutErrorText(errorCode);
      if (known != nullptr) {
        Append(&text, known);
      } else {
        Append(&text, "I/O error ");
        AppendDecimal(&text, errorCode);
      }
      break;
    }
  }
  return text.ok;
}

bool FormatFailureReport(FailureKind kind, const char* moduleName, uint32_t place,
                         const char* message, char* out, size_t capacity) {
  TextBuffer text = MakeText(out, capacity);
  Append(&text, "Exception ");
  Append(&text, FailureKindName(kind));
  Append(&text, " in module ");
  Append(&text, moduleName);
  Append(&text, " at ");
  AppendHex8(&text, place);
  Append(&text, ".\n");
  Append(&text, message);
  size_t length = TextLength(message);
  if (length > 0 && message[length - 1] != '.') Append(&text, ".");
  return text.ok;
}

bool FormatRuntimeError(uint32_t number, uint32_t place, char* out, size_t capacity) {
  // The number is right-aligned in a four-character field after "error";
  // longer numbers simply widen the field.
  char digits[12];
  TextBuffer number_text = MakeText(digits, sizeof digits);
  AppendDecimal(&number_text, number);
  TextBuffer text = MakeText(out, capacity);
  Append(&text, "Runtime error");
  for (size_t pad = number_text.length; pad < 4; ++pad) Append(&text, " ");
  Append(&text, digits);
  Append(&text, " at ");
  AppendHex8(&text, place);
  return text.ok;
}

}  // namespace core
