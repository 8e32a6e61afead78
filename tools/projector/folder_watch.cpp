#include "folder_watch.h"

#include <stdlib.h>
#include <string.h>

namespace standin {
namespace {

bool IsDotEntry(const char* name) {
  return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

bool Contains(const EntryList& list, const char* name) {
  for (int i = 0; i < list.count; ++i)
    if (strcmp(list.names[i], name) == 0) return true;
  return false;
}

void Add(EntryList* list, const char* name) {
  if (list->count == kMaxEntries || strlen(name) >= MAX_PATH) {
    list->overflow = true;
    return;
  }
  strcpy(list->names[list->count++], name);
}

int CompareNames(const void* a, const void* b) {
  return strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
}

void SortEntries(EntryList* list) {
  qsort(list->names, static_cast<size_t>(list->count), MAX_PATH, CompareNames);
}

// `relative` is the path below the root of the folder being listed, "" at the top.
void ListInto(const char* root, const char* relative, EntryList* out) {
  char pattern[MAX_PATH * 2];
  core::TextBuffer text = core::MakeText(pattern, sizeof pattern);
  core::Append(&text, root);
  if (relative[0] != '\0') {
    core::Append(&text, "\\");
    core::Append(&text, relative);
  }
  core::Append(&text, "\\*");
  if (!text.ok) return;

  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (IsDotEntry(found.cFileName)) continue;
    char name[MAX_PATH * 2];
    core::TextBuffer entry = core::MakeText(name, sizeof name);
    if (relative[0] != '\0') {
      core::Append(&entry, relative);
      core::Append(&entry, "\\");
    }
    core::Append(&entry, found.cFileName);
    if (!entry.ok) continue;
    Add(out, name);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ListInto(root, name, out);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

}  // namespace

void ListFolderTree(const char* root, EntryList* out) {
  out->count = 0;
  out->overflow = false;
  ListInto(root, "", out);
  SortEntries(out);
}

void TakeSnapshot(VanishWatch* watch, const EntryList& listing, bool watching) {
  ++watch->snapshots;
  if (!watching) return;
  for (int i = 0; i < watch->seen.count; ++i) {
    const char* name = watch->seen.names[i];
    if (!Contains(listing, name) && !Contains(watch->vanished, name)) Add(&watch->vanished, name);
  }
  for (int i = 0; i < listing.count; ++i)
    if (!Contains(watch->seen, listing.names[i])) Add(&watch->seen, listing.names[i]);
  SortEntries(&watch->vanished);
}

void AppendEntries(core::TextBuffer* text, const EntryList& list) {
  for (int i = 0; i < list.count; ++i) {
    if (i > 0) core::Append(text, ";");
    core::Append(text, list.names[i]);
  }
  if (list.overflow) core::Append(text, list.count > 0 ? ";..." : "...");
}

}  // namespace standin
