#include "report_format.h"

#include <stdio.h>

#include "codepage.h"

namespace packtool {
namespace {

const char* MusicModeMeaning(uint8_t mode) {
  if (mode == 0) return "no music";
  return mode == 1 ? "music, played once" : "music, played in a loop";
}

const char* PlacementMeaning(uint8_t mode) {
  if (mode == 0) return "centred on the desktop";
  return mode == 2 ? "moved to X, Y" : "left where the projector puts it";
}

std::string Hex(const uint8_t* bytes, size_t count, const char* separator) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (i != 0) text += separator;
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  return text;
}

// Control characters would break the one-field-per-line layout.
std::string Printable(const std::string& utf8) {
  std::string text;
  for (char c : utf8) {
    uint8_t byte = static_cast<uint8_t>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      text += escaped;
    } else {
      text += c;
    }
  }
  return text;
}

std::string JsonString(const std::string& utf8) {
  std::string text = "\"";
  for (char c : utf8) {
    uint8_t byte = static_cast<uint8_t>(c);
    if (c == '"' || c == '\\') {
      text += '\\';
      text += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      text += escaped;
    } else {
      text += c;
    }
  }
  return text + "\"";
}

std::string Number(uint64_t value) { return std::to_string(value); }

std::string JsonByteArray(const uint8_t* bytes, size_t count) {
  std::string text = "[";
  for (size_t i = 0; i < count; ++i) text += (i ? ", " : "") + Number(bytes[i]);
  return text + "]";
}

std::string Title(const core::PackageHeader& header) { return std::string(header.title); }

uint64_t TrailingBytes(const PackageReport& report, const PackageReading& reading) {
  uint64_t end = reading.End();
  return report.fileSize > end ? report.fileSize - end : 0;
}

void AppendLine(std::string* text, const char* label, const std::string& value) {
  char padded[32];
  snprintf(padded, sizeof padded, "  %-20s", label);
  *text += padded + value + "\n";
}

void AppendReadingText(const PackageReport& report, const PackageReading& reading, int codePage,
                       std::string* text) {
  const core::PackageHeader& h = reading.header;
  *text += "package at offset " + Number(reading.packageOffset) + " (" + VariantLongName(reading.variant) +
           "), " + Number(reading.headerAvailable) + " of 288 header bytes present\n";
  AppendLine(text, "music mode", Number(h.musicMode) + " (" + MusicModeMeaning(h.musicMode) + ")");
  AppendLine(text, "projector length", Number(h.projectorLength));
  AppendLine(text, "song length", Number(h.songLength) + (h.musicMode == 0 ? " (not used)" : ""));
  AppendLine(text, "reserved 9", Number(h.reserved9));
  AppendLine(text, "reserved 10", Number(h.reserved10));
  AppendLine(text, "placement mode", Number(h.placementMode) + " (" + PlacementMeaning(h.placementMode) + ")");
  AppendLine(text, "x", std::to_string(h.x));
  AppendLine(text, "y", std::to_string(h.y));
  AppendLine(text, "maximise flag", Number(h.maximizeFlag) + (h.maximizeFlag ? " (maximised)" : " (normal)"));
  AppendLine(text, "reserved 21..24", Hex(h.reserved21, 4, " "));
  AppendLine(text, "reserved 25..28", Hex(h.reserved25, 4, " "));
  AppendLine(text, "reserved 29", Number(h.reserved29));
  AppendLine(text, "reserved 30..31", Hex(h.skipped30, 2, " "));
  std::string title = Title(h);
  AppendLine(text, "window title", "\"" + Printable(DecodeAnsi(title, codePage)) + "\" (" +
                                       Number(title.size()) + " bytes, code page " + std::to_string(codePage) + ")");
  *text += "  segments\n";
  AppendLine(text, "  header", "offset " + Number(reading.packageOffset) + ", length 288");
  for (int i = 0; i < reading.segmentCount; ++i) {
    const core::Segment& segment = reading.segments[i];
    AppendLine(text, (std::string("  ") + segment.fileName).c_str(),
               "offset " + Number(segment.offset) + ", length " + Number(segment.length));
  }
  if (core::HasMusic(h)) {
    AppendLine(text, "  ml.dat", std::string("\"") + core::LoopFlagCharacter(h.musicMode) +
                                     "\" (written by the launcher, not stored)");
  }
  AppendLine(text, "after the segments", Number(TrailingBytes(report, reading)) + " bytes (ignored)");
  if (reading.Valid()) {
    *text += "  valid package at this offset\n";
    return;
  }
  *text += "  breaches\n";
  for (uint32_t bit : BreachBits(reading.breaches)) *text += std::string("    - ") + BreachText(bit) + "\n";
}

std::string ReadingJson(const PackageReport& report, const PackageReading& reading, int codePage) {
  const core::PackageHeader& h = reading.header;
  std::string title = Title(h);
  std::string json = "    {\n";
  json += "      \"variant\": \"" + std::string(VariantName(reading.variant)) + "\",\n";
  json += "      \"package_offset\": " + Number(reading.packageOffset) + ",\n";
  json += "      \"launcher_known\": " + std::string(reading.launcherKnown ? "true" : "false") + ",\n";
  json += "      \"header_bytes_present\": " + Number(reading.headerAvailable) + ",\n";
  json += "      \"header\": {\n";
  json += "        \"music_mode\": " + Number(h.musicMode) + ",\n";
  json += "        \"projector_length\": " + Number(h.projectorLength) + ",\n";
  json += "        \"song_length\": " + Number(h.songLength) + ",\n";
  json += "        \"reserved_9\": " + Number(h.reserved9) + ",\n";
  json += "        \"reserved_10\": " + Number(h.reserved10) + ",\n";
  json += "        \"placement_mode\": " + Number(h.placementMode) + ",\n";
  json += "        \"x\": " + std::to_string(h.x) + ",\n";
  json += "        \"y\": " + std::to_string(h.y) + ",\n";
  json += "        \"maximize_flag\": " + Number(h.maximizeFlag) + ",\n";
  json += "        \"reserved_21\": " + JsonByteArray(h.reserved21, 4) + ",\n";
  json += "        \"reserved_25\": " + JsonByteArray(h.reserved25, 4) + ",\n";
  json += "        \"reserved_29\": " + Number(h.reserved29) + ",\n";
  json += "        \"reserved_30\": " + JsonByteArray(h.skipped30, 2) + ",\n";
  json += "        \"title\": " + JsonString(DecodeAnsi(title, codePage)) + ",\n";
  json += "        \"title_bytes\": \"" +
          Hex(reinterpret_cast<const uint8_t*>(title.data()), title.size(), "") + "\",\n";
  json += "        \"title_code_page\": " + std::to_string(codePage) + "\n";
  json += "      },\n";
  json += "      \"segments\": [";
  for (int i = 0; i < reading.segmentCount; ++i) {
    const core::Segment& segment = reading.segments[i];
    json += std::string(i ? ", " : "") + "{\"name\": \"" + segment.fileName + "\", \"offset\": " +
            Number(segment.offset) + ", \"length\": " + Number(segment.length) + "}";
  }
  json += "],\n";
  json += "      \"loop_flag\": " +
          (core::HasMusic(h) ? std::string("\"") + core::LoopFlagCharacter(h.musicMode) + "\"" : "null") + ",\n";
  json += "      \"trailing_bytes\": " + Number(TrailingBytes(report, reading)) + ",\n";
  json += "      \"valid\": " + std::string(reading.Valid() ? "true" : "false") + ",\n";
  json += "      \"breaches\": [";
  bool first = true;
  for (uint32_t bit : BreachBits(reading.breaches)) {
    json += std::string(first ? "" : ", ") + "{\"id\": \"" + BreachId(bit) + "\", \"text\": " +
            JsonString(BreachText(bit)) + "}";
    first = false;
  }
  json += "]\n    }";
  return json;
}

}  // namespace

std::string FormatReportText(const std::string& path, const PackageReport& report, int codePage) {
  std::string text = "file: " + Printable(path) + " (" + Number(report.fileSize) + " bytes)\n";
  if (report.launcherRecognised) {
    text += std::string("launcher: ") + VariantLongName(report.recognisedVariant) + " (" +
            Printable(report.launcherOrigin) + ")\n";
  } else {
    text += "launcher: unknown image";
    text += report.readings.size() > 1 ? ", read at both package offsets\n" : "\n";
  }
  for (const PackageReading& reading : report.readings) AppendReadingText(report, reading, codePage, &text);
  text += report.Valid() ? "valid: yes\n" : "valid: no\n";
  return text;
}

std::string FormatReportJson(const std::string& path, const PackageReport& report, int codePage) {
  std::string json = "{\n";
  json += "  \"file\": " + JsonString(path) + ",\n";
  json += "  \"size\": " + Number(report.fileSize) + ",\n";
  json += "  \"launcher\": ";
  if (report.launcherRecognised) {
    json += "{\"known\": true, \"variant\": \"" + std::string(VariantName(report.recognisedVariant)) +
            "\", \"origin\": " + JsonString(report.launcherOrigin) + "},\n";
  } else {
    json += "{\"known\": false},\n";
  }
  json += "  \"readings\": [\n";
  for (size_t i = 0; i < report.readings.size(); ++i) {
    json += ReadingJson(report, report.readings[i], codePage);
    json += i + 1 < report.readings.size() ? ",\n" : "\n";
  }
  json += "  ],\n";
  json += "  \"valid\": " + std::string(report.Valid() ? "true" : "false") + "\n}\n";
  return json;
}

}  // namespace packtool
