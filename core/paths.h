// Paths of the work root and the instance folders, built by concatenation
// from the Windows directory. Every builder fails rather than cut a path.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace core {

constexpr size_t kPathBufferSize = 260;       // 259 characters and the NUL
constexpr size_t kShellPathBufferSize = 257;  // 255 characters and two NULs
constexpr size_t kMaxShellPathLength = kShellPathBufferSize - 2;
constexpr size_t kMaxPathLength = kPathBufferSize - 1;

extern const char kWorkRootName[];      // "\DERizi"
extern const char kFsCommandName[];     // "fscommand"
extern const char kImageCopyName[];     // "Temp.dat"
extern const char kLoopFlagFileName[];  // "ml.dat"
extern const char kProjectorStartName[];  // "Projector.exe", the spelling it is started with
extern const char kPlayerName[];        // "Midi.exe"
extern const char kPlayerSongName[];    // "midi.mid", as the player spells it

bool BuildWorkRoot(const char* windowsDir, char* out, size_t capacity);
bool BuildInstanceFolder(const char* windowsDir, int32_t instance, char* out, size_t capacity);
bool BuildInstanceFile(const char* windowsDir, int32_t instance, const char* name, char* out,
                       size_t capacity);

// True when every path a run can build under this Windows directory, for any
// instance number, fits the path buffers and the shell's buffers. A run checks
// this before it creates anything.
bool WindowsDirectoryFits(const char* windowsDir);

// Parses an instance folder name ("1", "27"): decimal, no sign, no leading
// zero, within the 32-bit signed range. Returns 0 for anything else.
int32_t ParseInstanceName(const char* name);

// Length of the folder part of a path, up to and including its last backslash
// or slash; 0 when there is none.
size_t FolderPrefixLength(const char* path, size_t length);

// The instance numbers are probed upwards from 1; `isTaken` says whether a
// number's folder exists. Returns the first number that is not taken.
int32_t FirstFreeInstance(bool (*isTaken)(int32_t instance, void* context), void* context,
                          int32_t from);

}  // namespace core
