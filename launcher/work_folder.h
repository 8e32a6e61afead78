// The work root in the Windows directory, this run's numbered instance
// folder in it, the "fscommand" copy and the removal at the end of a run,
// on the Windows folder and shell services.
#pragma once
#include <windows.h>

bool FolderExists(const char* path);
bool ShellCopy(const char* source, const char* target, UINT operation);
bool ShellDelete(const char* path);

// Step 1: reads the Windows directory and creates the work root when missing.
bool CreateWorkRoot();
// Step 2: claims and creates the first free instance folder.
bool CreateInstanceFolder();
// Step 3: copies "fscommand" from the current directory, when it is a folder.
void CopyFsCommand();
// Step 7: removes this run's folder and those of runs no longer in progress,
// then the work root once it is empty.
void RemoveWorkRoot();
