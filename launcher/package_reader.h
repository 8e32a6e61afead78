// The self-copy of the packaged executable and the unpacking of its package
// into the instance folder.
#pragma once
#include "failure.h"

// Step 4: copies the launcher's own file to "Temp.dat" in the instance folder.
bool MakeImageCopy();

enum UnpackOutcome {
  kUnpacked,
  kRefused,  // a zero length: refused before any file is written
  kRaised,   // a service failed; `failure` says how
};

// Step 5: reads the header at the package offset and writes the segment files
// and, in the music modes, the loop flag file.
UnpackOutcome UnpackPackage(Failure* failure);
