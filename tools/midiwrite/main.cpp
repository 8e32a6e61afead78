// midiwrite demo OUT.mid | midiwrite test OUT.mid
#include <stdio.h>
#include <string.h>

#include "smf_writer.h"

namespace {

int Usage() {
  fputs("usage: midiwrite demo OUT.mid   the demo song\n"
        "       midiwrite test OUT.mid   a tiny song for tests\n",
        stderr);
  return 2;
}

bool WriteFile(const char* path, const std::vector<uint8_t>& bytes) {
  FILE* file = fopen(path, "wb");
  if (file == nullptr) return false;
  bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  midiwrite::Song song;
  if (strcmp(argv[1], "demo") == 0) {
    song = midiwrite::DemoSong();
  } else if (strcmp(argv[1], "test") == 0) {
    song = midiwrite::TestSong();
  } else {
    return Usage();
  }
  if (!WriteFile(argv[2], midiwrite::WriteSong(song))) {
    fprintf(stderr, "midiwrite: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
