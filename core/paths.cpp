#include "paths.h"

#include "text.h"

namespace core {

const char kWorkRootName[] = "\\DERizi";
const char kFsCommandName[] = "fscommand";
const char kImageCopyName[] = "Temp.dat";
const char kLoopFlagFileName[] = "ml.dat";
const char kProjectorStartName[] = "Projector.exe";
const char kPlayerName[] = "Midi.exe";
const char kPlayerSongName[] = "midi.mid";

bool BuildWorkRoot(const char* windowsDir, char* out, size_t capacity) {
  TextBuffer text = MakeText(out, capacity);
  Append(&text, windowsDir);
  Append(&text, kWorkRootName);
  return text.ok;
}

static void AppendInstanceFolder(TextBuffer* text, const char* windowsDir, int32_t instance) {
  Append(text, windowsDir);
  Append(text, kWorkRootName);
  Append(text, "\\");
  AppendDecimal(text, instance);
}

bool BuildInstanceFolder(const char* windowsDir, int32_t instance, char* out, size_t capacity) {
  TextBuffer text = MakeText(out, capacity);
  AppendInstanceFolder(&text, windowsDir, instance);
  return text.ok;
}

bool BuildInstanceFile(const char* windowsDir, int32_t instance, const char* name, char* out,
                       size_t capacity) {
  TextBuffer text = MakeText(out, capacity);
  AppendInstanceFolder(&text, windowsDir, instance);
  Append(&text, "\\");
  Append(&text, name);
  return text.ok;
}

bool WindowsDirectoryFits(const char* windowsDir) {
  // The longest instance number has 10 digits; the longest names are the
  // projector for the path buffers and "fscommand" for the shell's.
  const int32_t kWidestInstance = 2147483647;
  char path[kPathBufferSize];
  if (TextLength(windowsDir) == 0) return false;
  if (!BuildInstanceFile(windowsDir, kWidestInstance, "projector.exe", path, sizeof path)) return false;
  if (!BuildInstanceFile(windowsDir, kWidestInstance, kFsCommandName, path, kMaxShellPathLength + 1))
    return false;
  return true;
}

int32_t ParseInstanceName(const char* name) {
  if (name[0] < '1' || name[0] > '9') return 0;
  int64_t value = 0;
  for (const char* c = name; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return 0;
    value = value * 10 + (*c - '0');
    if (value > 2147483647) return 0;
  }
  return static_cast<int32_t>(value);
}

size_t FolderPrefixLength(const char* path, size_t length) {
  for (size_t i = length; i > 0; --i) {
    if (path[i - 1] == '\\' || path[i - 1] == '/') return i;
  }
  return 0;
}

int32_t FirstFreeInstance(bool (*isTaken)(int32_t instance, void* context), void* context,
                          int32_t from) {
  int32_t instance = from;
  while (isTaken(instance, context) && instance < 2147483647) ++instance;
  return instance;
}

}  // namespace core
