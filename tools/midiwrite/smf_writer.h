// Writes standard MIDI files (format 0 or 1) from notes laid out in ticks.
// Portable C++, used by the midiwrite tool and by tests that need a song.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

namespace midiwrite {

struct Note {
  uint32_t startTick;
  uint32_t lengthTicks;
  uint8_t key;       // 60 is middle C
  uint8_t velocity;  // 1..127
};

// One instrument part on one channel.
struct Part {
  std::string name;
  uint8_t channel;  // 0..15
  uint8_t program;  // General MIDI program number, 0-based
  std::vector<Note> notes;
};

struct Song {
  uint16_t format;  // 0: every part merged into one track; 1: a tempo track, then one per part
  uint16_t ticksPerQuarter;
  uint32_t microsecondsPerQuarter;
  std::string title;
  std::vector<Part> parts;
};

// Appends `value` (at most 0x0FFFFFFF) as a variable-length quantity: seven
// bits a byte, most significant first, the high bit set on all but the last.
void AppendVariableLength(std::vector<uint8_t>* out, uint32_t value);

// The whole file. A note's end comes before another note's start at the
// same tick, so that a repeated key sounds twice instead of being cut.
std::vector<uint8_t> WriteSong(const Song& song);

// Seconds from the start to the last event, at the song's one tempo.
double SongSeconds(const Song& song);

// The demo song: a short waltz for flute and piano, about twelve seconds.
Song DemoSong();
// A tiny song of two notes, for tests that need a valid file.
Song TestSong();

}  // namespace midiwrite
