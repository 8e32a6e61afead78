// The songs midiwrite knows: the demo waltz and a tiny test song.
#include <initializer_list>

#include "smf_writer.h"

namespace midiwrite {

namespace {

const uint16_t kTicksPerQuarter = 480;
const uint32_t kBar = 3 * kTicksPerQuarter;  // three-four time
const uint8_t kFlute = 73;
const uint8_t kAcousticGrandPiano = 0;

// "C4" is middle C (60); a sharp follows the letter ("F#3"), a flat is "b" ("Bb2").
uint8_t Key(const char* name) {
  static const int kSemitones[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  int semitone = kSemitones[name[0] - 'A'];
  ++name;
  if (*name == '#') ++semitone, ++name;
  if (*name == 'b') --semitone, ++name;
  int octave = *name - '0';
  return static_cast<uint8_t>(12 * (octave + 1) + semitone);
}

struct Step {
  const char* key;
  double beats;
};

// Notes one after another, each held for its beats, slightly detached.
void AddLine(Part* part, uint32_t start, std::initializer_list<Step> steps, uint8_t velocity) {
  uint32_t tick = start;
  for (const Step& step : steps) {
    uint32_t length = static_cast<uint32_t>(step.beats * kTicksPerQuarter);
    part->notes.push_back({tick, length - length / 10, Key(step.key), velocity});
    tick += length;
  }
}

void AddChord(Part* part, uint32_t start, double beats, std::initializer_list<const char*> keys,
              uint8_t velocity) {
  uint32_t length = static_cast<uint32_t>(beats * kTicksPerQuarter);
  for (const char* key : keys) part->notes.push_back({start, length, Key(key), velocity});
}

// Bass on the downbeat, the chord on beats two and three.
void AddWaltzBar(Part* part, int bar, const char* bass, std::initializer_list<const char*> chord) {
  uint32_t start = static_cast<uint32_t>(bar) * kBar;
  AddChord(part, start, 3, {bass}, 84);
  AddChord(part, start + kTicksPerQuarter, 0.9, chord, 58);
  AddChord(part, start + 2 * kTicksPerQuarter, 0.9, chord, 54);
}

Part Melody() {
  Part flute{"Flute", 0, kFlute, {}};
  AddLine(&flute, 0,
          {{"G4", 1}, {"C5", 1}, {"E5", 1},                  // C
           {"A5", 2}, {"G5", 1},                             // A minor
           {"F5", 2}, {"C5", 1},                             // F
           {"D5", 1}, {"E5", 0.5}, {"D5", 0.5}, {"B4", 1},   // G
           {"C5", 1}, {"E5", 1}, {"G5", 1},                  // C
           {"A5", 2}, {"C6", 1},                             // A minor
           {"F5", 1}, {"E5", 0.5}, {"D5", 0.5}, {"B4", 1},   // D minor, G
           {"C5", 3}},                                       // C
          96);
  return flute;
}

Part Accompaniment() {
  Part piano{"Piano", 1, kAcousticGrandPiano, {}};
  AddWaltzBar(&piano, 0, "C3", {"E3", "G3", "C4"});
  AddWaltzBar(&piano, 1, "A2", {"E3", "A3", "C4"});
  AddWaltzBar(&piano, 2, "F2", {"F3", "A3", "C4"});
  AddWaltzBar(&piano, 3, "G2", {"D3", "G3", "B3"});
  AddWaltzBar(&piano, 4, "C3", {"E3", "G3", "C4"});
  AddWaltzBar(&piano, 5, "A2", {"E3", "A3", "C4"});
  // Two chords in the second-to-last bar lead home.
  uint32_t turn = 6 * kBar;
  AddChord(&piano, turn, 2, {"D3"}, 84);
  AddChord(&piano, turn + kTicksPerQuarter, 0.9, {"F3", "A3", "D4"}, 58);
  AddChord(&piano, turn + 2 * kTicksPerQuarter, 0.9, {"G2", "B3", "D4"}, 64);
  AddChord(&piano, 7 * kBar, 3, {"C2", "C3", "E3", "G3", "C4"}, 70);
  return piano;
}

}  // namespace

Song DemoSong() {
  // 120 quarter notes a minute: eight bars of three-four last twelve seconds.
  return Song{1, kTicksPerQuarter, 500000, "Little Waltz", {Melody(), Accompaniment()}};
}

Song TestSong() {
  Part piano{"", 0, kAcousticGrandPiano, {}};
  AddLine(&piano, 0, {{"C4", 1}, {"G4", 1}}, 90);
  return Song{0, kTicksPerQuarter, 500000, "", {piano}};
}

}  // namespace midiwrite
