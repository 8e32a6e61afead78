// Every text the programs show, and the layout of their two failure reports.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace core {

extern const char kErrorCaption[];            // "Error"
extern const char kApplicationCannotRun[];    // "Application can not be run."
extern const char kMidiCannotRun[];           // "Midi file can not be run."
extern const char kApplicationErrorCaption[]; // "Application Error"

// The failures of the file, stream, text-file and memory services.
enum FailureKind {
  EFOpenError,
  EFCreateError,
  EReadError,
  EWriteError,
  EStreamError,
  EOutOfMemory,
  EInOutError,
};

const char* FailureKindName(FailureKind kind);

// The failure's own message: `path` for the two file kinds, `errorCode` (the
// system error code) for EInOutError. Returns false when it does not fit.
bool FormatFailureMessage(FailureKind kind, const char* path, uint32_t errorCode, char* out,
                          size_t capacity);

// "Exception <kind> in module <module> at <place>.\n<message>[.]"
bool FormatFailureReport(FailureKind kind, const char* moduleName, uint32_t place,
                         const char* message, char* out, size_t capacity);

// "Runtime error     at 00000000" with the number's last digit in the fourth
// blank after "error" and the place as eight upper-case hex digits.
bool FormatRuntimeError(uint32_t number, uint32_t place, char* out, size_t capacity);

}  // namespace core
