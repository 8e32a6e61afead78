// The self-copy of the packaged executable and the unpacking of its package
// into the instance folder, on the Windows file services.
#pragma once
#include "failure.h"
#include "unpack.h"

// Step 4: copies the launcher's own file to "Temp.dat" in the instance folder.
bool MakeImageCopy();

// Step 5: reads the header at the package offset into the run state and
// writes the segment files and, in the music modes, the loop flag file.
core::UnpackOutcome UnpackPackage(Failure* failure);
