// The standard MIDI file writer: exact bytes of small files, and a reading
// of the demo song back from its bytes.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <utility>

#include "smf_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes VariableLength(uint32_t value) {
  Bytes out;
  midiwrite::AppendVariableLength(&out, value);
  return out;
}

TEST(VariableLengthQuantity, EncodesSevenBitsPerByteMostSignificantFirst) {
  const struct {
    uint32_t value;
    Bytes expected;
  } kCases[] = {
      {0x00000000, {0x00}},
      {0x00000040, {0x40}},
      {0x0000007F, {0x7F}},
      {0x00000080, {0x81, 0x00}},
      {0x00002000, {0xC0, 0x00}},
      {0x00003FFF, {0xFF, 0x7F}},
      {0x00004000, {0x81, 0x80, 0x00}},
      {0x00100000, {0xC0, 0x80, 0x00}},
      {0x001FFFFF, {0xFF, 0xFF, 0x7F}},
      {0x00200000, {0x81, 0x80, 0x80, 0x00}},
      {0x08000000, {0xC0, 0x80, 0x80, 0x00}},
      {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
  };
  for (const auto& c : kCases) EXPECT_EQ(VariableLength(c.value), c.expected) << std::hex << c.value;
}

midiwrite::Song OneNoteSong(uint16_t format) {
  midiwrite::Part part{"", 0, 0, {{0, 96, 60, 100}}};
  return midiwrite::Song{format, 96, 500000, "", {part}};
}

TEST(WriteSong, TinyFormatZeroFileIsExact) {
  const Bytes expected = {
      'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,  // format 0, one track, 96 per quarter
      'M', 'T', 'r', 'k', 0, 0, 0, 22,
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // tempo 500000
      0x00, 0xC0, 0x00,                          // program 0 on channel 0
      0x00, 0x90, 60, 100,                       // note on
      0x60, 0x80, 60, 0,                         // note off 96 ticks later
      0x00, 0xFF, 0x2F, 0x00,                    // end of track
  };
  EXPECT_EQ(midiwrite::WriteSong(OneNoteSong(0)), expected);
}

TEST(WriteSong, FormatOnePutsTheTempoInATrackOfItsOwn) {
  const Bytes expected = {
      'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 96,
      'M', 'T', 'r', 'k', 0, 0, 0, 11,
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
      0x00, 0xFF, 0x2F, 0x00,
      'M', 'T', 'r', 'k', 0, 0, 0, 15,
      0x00, 0xC0, 0x00,
      0x00, 0x90, 60, 100,
      0x60, 0x80, 60, 0,
      0x00, 0xFF, 0x2F, 0x00,
  };
  EXPECT_EQ(midiwrite::WriteSong(OneNoteSong(1)), expected);
}

// A repeated key must be released before it is struck again, or the second
// note would be cut off the moment it starts.
TEST(WriteSong, EndsANoteBeforeTheSameKeyStartsAgainAtTheSameTick) {
  midiwrite::Part part{"", 2, 0, {{96, 96, 64, 90}, {0, 96, 64, 80}}};
  Bytes file = midiwrite::WriteSong(midiwrite::Song{0, 96, 500000, "", {part}});
  const Bytes expectedEvents = {
      0x00, 0xC2, 0x00,
      0x00, 0x92, 64, 80,
      0x60, 0x82, 64, 0,
      0x00, 0x92, 64, 90,
      0x60, 0x82, 64, 0,
      0x00, 0xFF, 0x2F, 0x00,
  };
  const size_t kEventsStart = 14 + 8 + 7;  // header chunk, track chunk header, tempo
  ASSERT_EQ(file.size(), kEventsStart + expectedEvents.size());
  EXPECT_EQ(Bytes(file.begin() + kEventsStart, file.end()), expectedEvents);
}

// --- Reading a file back, to check the demo song as a player would see it.

struct ReadTrack {
  uint32_t endTick = 0;
  uint32_t tempo = 0;  // 0: none in this track
  int notesStarted = 0;
  int notesEnded = 0;
  std::map<std::pair<int, int>, int> sounding;  // (channel, key) -> count
  bool endOfTrackLast = false;
};

struct ReadFile {
  bool valid = false;
  uint16_t format = 0;
  uint16_t division = 0;
  std::vector<ReadTrack> tracks;
};

uint32_t BigEndian(const Bytes& bytes, size_t at, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[at + i];
  return value;
}

bool ReadVariableLength(const Bytes& bytes, size_t* at, size_t end, uint32_t* value) {
  *value = 0;
  for (int i = 0; i < 4 && *at < end; ++i) {
    uint8_t byte = bytes[(*at)++];
    *value = *value << 7 | (byte & 0x7F);
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

// Events without running status, which is all the writer emits.
bool ReadTrackEvents(const Bytes& bytes, size_t at, size_t end, ReadTrack* track) {
  while (at < end) {
    uint32_t delta = 0;
    if (!ReadVariableLength(bytes, &at, end, &delta) || at >= end) return false;
    track->endTick += delta;
    uint8_t status = bytes[at++];
    if (status == 0xFF) {
      if (at >= end) return false;
      uint8_t type = bytes[at++];
      uint32_t length = 0;
      if (!ReadVariableLength(bytes, &at, end, &length) || at + length > end) return false;
      if (type == 0x51 && length == 3) track->tempo = BigEndian(bytes, at, 3);
      at += length;
      track->endOfTrackLast = type == 0x2F;
      continue;
    }
    track->endOfTrackLast = false;
    int size = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
    if ((status & 0x80) == 0 || at + size > end) return false;
    auto voice = std::make_pair(status & 0x0F, static_cast<int>(bytes[at]));
    bool noteOn = (status & 0xF0) == 0x90 && bytes[at + 1] != 0;
    bool noteOff = (status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && bytes[at + 1] == 0);
    if (noteOn) ++track->notesStarted, ++track->sounding[voice];
    if (noteOff) ++track->notesEnded, --track->sounding[voice];
    at += size;
  }
  return true;
}

ReadFile ReadBack(const Bytes& bytes) {
  ReadFile file;
  if (bytes.size() < 14 || std::string(bytes.begin(), bytes.begin() + 4) != "MThd") return file;
  if (BigEndian(bytes, 4, 4) != 6) return file;
  file.format = static_cast<uint16_t>(BigEndian(bytes, 8, 2));
  uint32_t trackCount = BigEndian(bytes, 10, 2);
  file.division = static_cast<uint16_t>(BigEndian(bytes, 12, 2));
  size_t at = 14;
  for (uint32_t i = 0; i < trackCount; ++i) {
    if (at + 8 > bytes.size() || std::string(bytes.begin() + at, bytes.begin() + at + 4) != "MTrk")
      return file;
    size_t end = at + 8 + BigEndian(bytes, at + 4, 4);
    if (end > bytes.size()) return file;
    ReadTrack track;
    if (!ReadTrackEvents(bytes, at + 8, end, &track)) return file;
    file.tracks.push_back(track);
    at = end;
  }
  file.valid = at == bytes.size();
  return file;
}

TEST(DemoSong, IsAWellFormedFileOfSomeSecondsWithEveryNoteReleased) {
  ReadFile file = ReadBack(midiwrite::WriteSong(midiwrite::DemoSong()));
  ASSERT_TRUE(file.valid);
  EXPECT_EQ(file.format, 1);
  ASSERT_GE(file.tracks.size(), 2u);
  ASSERT_NE(file.tracks[0].tempo, 0u);

  uint32_t lastTick = 0;
  for (const ReadTrack& track : file.tracks) {
    EXPECT_TRUE(track.endOfTrackLast);
    EXPECT_EQ(track.notesStarted, track.notesEnded);
    for (const auto& voice : track.sounding) EXPECT_EQ(voice.second, 0) << "channel " << voice.first.first
                                                                        << " key " << voice.first.second;
    lastTick = std::max(lastTick, track.endTick);
  }
  for (size_t part = 1; part < file.tracks.size(); ++part) EXPECT_GT(file.tracks[part].notesStarted, 0);
  double seconds = static_cast<double>(lastTick) / file.division * file.tracks[0].tempo / 1e6;
  EXPECT_GE(seconds, 8.0);
  EXPECT_LE(seconds, 15.0);
  EXPECT_NEAR(seconds, midiwrite::SongSeconds(midiwrite::DemoSong()), 1e-9);
}

TEST(TestSong, IsAWellFormedFormatZeroFile) {
  ReadFile file = ReadBack(midiwrite::WriteSong(midiwrite::TestSong()));
  ASSERT_TRUE(file.valid);
  EXPECT_EQ(file.format, 0);
  ASSERT_EQ(file.tracks.size(), 1u);
  EXPECT_GT(file.tracks[0].notesStarted, 0);
  EXPECT_EQ(file.tracks[0].notesStarted, file.tracks[0].notesEnded);
}

// --- The command-line tool.

int RunTool(const std::string& arguments) {
  int status = std::system((std::string(MIDIWRITE_TOOL) + " " + arguments + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(MidiwriteTool, WritesTheNamedSongAndRejectsAnythingElse) {
  std::string path = testing::TempDir() + "midiwrite_tool_test.mid";
  const struct {
    const char* song;
    midiwrite::Song (*make)();
  } kSongs[] = {{"demo", midiwrite::DemoSong}, {"test", midiwrite::TestSong}};
  for (const auto& c : kSongs) {
    remove(path.c_str());
    ASSERT_EQ(RunTool(std::string(c.song) + " " + path), 0) << c.song;
    EXPECT_EQ(ReadWholeFile(path), midiwrite::WriteSong(c.make())) << c.song;
  }
  EXPECT_EQ(RunTool(""), 2);
  EXPECT_EQ(RunTool("demo"), 2);
  EXPECT_EQ(RunTool("tune " + path), 2);
  EXPECT_EQ(RunTool("demo /nonexistent-folder/song.mid"), 1);
  remove(path.c_str());
}

}  // namespace
