// Lists the stand-in's instance folder and remembers what vanishes from it,
// so that a test can see what the launcher left in place while it ran.
#pragma once
#include <windows.h>

#include "text.h"

namespace standin {

constexpr int kMaxEntries = 256;

// Relative names ("fscommand", "fscommand\a.txt"), sorted byte-wise.
struct EntryList {
  char names[kMaxEntries][MAX_PATH];
  int count;
  bool overflow;  // more entries than fit; the list then ends with "..."
};

struct VanishWatch {
  EntryList seen;      // everything seen while watching
  EntryList vanished;  // seen once, then missing from a later listing
  int snapshots;       // listings taken
};

// Files and folders below `root`, recursively, without `root` itself.
void ListFolderTree(const char* root, EntryList* out);

// Counts the listing; compares it with what was seen before only while
// `watching`, and then adds it to what was seen.
void TakeSnapshot(VanishWatch* watch, const EntryList& listing, bool watching);

// "a;b;c", or "" for an empty list.
void AppendEntries(core::TextBuffer* text, const EntryList& list);

}  // namespace standin
