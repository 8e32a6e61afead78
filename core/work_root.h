// The work root and the numbered instance folders: creation with the probe
// rule, the marks of runs in progress, and the removal at the end of a run.
// Written against a small folder interface so that every failure of the
// platform can be scripted in tests; the launcher supplies the Win32 one.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "paths.h"

namespace core {

class FolderPlatform {
 public:
  virtual bool FolderExists(const char* path) = 0;
  // Returns 0, or the system error code when the folder was not created.
  virtual uint32_t CreateFolder(const char* path) = 0;
  // Marks an instance number as in progress for as long as this process
  // lives; false when another live run holds the mark already.
  virtual bool ClaimInstance(int32_t instance) = 0;
  virtual void ReleaseInstance(int32_t instance) = 0;
  virtual bool InstanceInProgress(int32_t instance) = 0;
  // Calls `visit` for each entry of the folder (not "." and "..").
  virtual void ListFolder(const char* path, void (*visit)(const char* name, bool isFolder, void* context),
                          void* context) = 0;
  virtual void DeleteTree(const char* path) = 0;         // the shell's delete; result not used
  virtual void RemoveEmptyFolder(const char* path) = 0;  // fails while anything is inside

 protected:
  ~FolderPlatform() = default;
};

constexpr uint32_t kErrorPathNotFound = 3;     // ERROR_PATH_NOT_FOUND
constexpr uint32_t kErrorAlreadyExists = 183;  // ERROR_ALREADY_EXISTS

// Creates the work root when it is missing. Fails, before anything is
// created, when the paths of a run would not fit their buffers.
bool CreateWorkRoot(FolderPlatform& platform, const char* windowsDir);

// Finds the lowest number whose folder does not exist, marks it as in
// progress, then creates its folder. A run that loses a number to another
// run at the same moment moves on to the next one.
bool CreateInstanceFolder(FolderPlatform& platform, const char* windowsDir, int32_t* instance);

// Removes this run's folder and every entry of the work root that is not the
// folder of another run in progress, then the work root once it is empty.
void RemoveWorkRoot(FolderPlatform& platform, const char* windowsDir, int32_t ownInstance);

}  // namespace core
