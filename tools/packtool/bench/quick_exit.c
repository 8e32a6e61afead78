/* The projector of the unpacking benchmark: a 32-bit GUI program that ends
   at once, so that a run of the packaged file measures the launcher's own
   work (self-copy, unpacking, clean-up) and Wine's start, nothing else.
   Built by scripts/bench-unpack.sh with i686-w64-mingw32-gcc -mwindows -static. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  return 0;
}
