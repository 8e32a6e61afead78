#include "smf_writer.h"

#include <algorithm>

namespace midiwrite {

namespace {

const uint8_t kNoteOff = 0x80;
const uint8_t kNoteOn = 0x90;
const uint8_t kProgramChange = 0xC0;
const uint8_t kMetaEvent = 0xFF;
const uint8_t kMetaTrackName = 0x03;
const uint8_t kMetaTempo = 0x51;
const uint8_t kMetaEndOfTrack = 0x2F;

struct TimedEvent {
  uint32_t tick;
  int order;  // at one tick: meta first, then program changes, note ends, note starts
  std::vector<uint8_t> bytes;
};

enum EventOrder { kOrderMeta, kOrderProgram, kOrderNoteOff, kOrderNoteOn };

void AppendBigEndian(std::vector<uint8_t>* out, uint32_t value, int byteCount) {
  for (int shift = (byteCount - 1) * 8; shift >= 0; shift -= 8) {
    out->push_back(static_cast<uint8_t>(value >> shift));
  }
}

TimedEvent MetaEvent(uint8_t type, const std::vector<uint8_t>& data) {
  TimedEvent event{0, kOrderMeta, {kMetaEvent, type}};
  AppendVariableLength(&event.bytes, static_cast<uint32_t>(data.size()));
  event.bytes.insert(event.bytes.end(), data.begin(), data.end());
  return event;
}

TimedEvent TempoEvent(uint32_t microsecondsPerQuarter) {
  std::vector<uint8_t> data;
  AppendBigEndian(&data, microsecondsPerQuarter, 3);
  return MetaEvent(kMetaTempo, data);
}

TimedEvent NameEvent(const std::string& name) {
  return MetaEvent(kMetaTrackName, std::vector<uint8_t>(name.begin(), name.end()));
}

void AddPartEvents(const Part& part, std::vector<TimedEvent>* events) {
  uint8_t channel = part.channel & 0x0F;
  events->push_back({0, kOrderProgram, {static_cast<uint8_t>(kProgramChange | channel), part.program}});
  for (const Note& note : part.notes) {
    events->push_back({note.startTick, kOrderNoteOn,
                       {static_cast<uint8_t>(kNoteOn | channel), note.key, note.velocity}});
    events->push_back({note.startTick + note.lengthTicks, kOrderNoteOff,
                       {static_cast<uint8_t>(kNoteOff | channel), note.key, 0}});
  }
}

void AppendTrackChunk(std::vector<TimedEvent> events, std::vector<uint8_t>* out) {
  std::stable_sort(events.begin(), events.end(), [](const TimedEvent& a, const TimedEvent& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });
  std::vector<uint8_t> body;
  uint32_t now = 0;
  for (const TimedEvent& event : events) {
    AppendVariableLength(&body, event.tick - now);
    body.insert(body.end(), event.bytes.begin(), event.bytes.end());
    now = event.tick;
  }
  const uint8_t endOfTrack[] = {0x00, kMetaEvent, kMetaEndOfTrack, 0x00};
  body.insert(body.end(), endOfTrack, endOfTrack + sizeof endOfTrack);
  out->insert(out->end(), {'M', 'T', 'r', 'k'});
  AppendBigEndian(out, static_cast<uint32_t>(body.size()), 4);
  out->insert(out->end(), body.begin(), body.end());
}

void AppendHeaderChunk(uint16_t format, uint16_t trackCount, uint16_t division,
                       std::vector<uint8_t>* out) {
  out->insert(out->end(), {'M', 'T', 'h', 'd'});
  AppendBigEndian(out, 6, 4);
  AppendBigEndian(out, format, 2);
  AppendBigEndian(out, trackCount, 2);
  AppendBigEndian(out, division, 2);
}

}  // namespace

void AppendVariableLength(std::vector<uint8_t>* out, uint32_t value) {
  value &= 0x0FFFFFFF;
  uint8_t groups[4];
  int count = 0;
  do {
    groups[count++] = value & 0x7F;
    value >>= 7;
  } while (value != 0);
  while (count > 1) out->push_back(static_cast<uint8_t>(groups[--count] | 0x80));
  out->push_back(groups[0]);
}

std::vector<uint8_t> WriteSong(const Song& song) {
  std::vector<uint8_t> file;
  std::vector<TimedEvent> conductor;
  if (!song.title.empty()) conductor.push_back(NameEvent(song.title));
  conductor.push_back(TempoEvent(song.microsecondsPerQuarter));
  if (song.format == 0) {
    AppendHeaderChunk(0, 1, song.ticksPerQuarter, &file);
    for (const Part& part : song.parts) AddPartEvents(part, &conductor);
    AppendTrackChunk(conductor, &file);
    return file;
  }
  AppendHeaderChunk(1, static_cast<uint16_t>(song.parts.size() + 1), song.ticksPerQuarter, &file);
  AppendTrackChunk(conductor, &file);
  for (const Part& part : song.parts) {
    std::vector<TimedEvent> events;
    if (!part.name.empty()) events.push_back(NameEvent(part.name));
    AddPartEvents(part, &events);
    AppendTrackChunk(events, &file);
  }
  return file;
}

double SongSeconds(const Song& song) {
  uint32_t lastTick = 0;
  for (const Part& part : song.parts) {
    for (const Note& note : part.notes) lastTick = std::max(lastTick, note.startTick + note.lengthTicks);
  }
  return static_cast<double>(lastTick) / song.ticksPerQuarter * song.microsecondsPerQuarter / 1e6;
}

}  // namespace midiwrite
