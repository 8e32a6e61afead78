#include "packtool.h"

#include <string.h>

#include "codepage.h"
#include "file_io.h"
#include "options.h"
#include "package_reader.h"
#include "package_writer.h"
#include "paths.h"
#include "report_format.h"

namespace packtool {
namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

int Fail(const std::string& message, std::string* err) {
  std::string line = "packtool: ";
  for (char c : message) line += static_cast<uint8_t>(c) < 0x20 ? '?' : c;
  *err += line + "\n";
  return kExitError;
}

bool ReadWhole(const std::string& path, InputFile* file, std::vector<uint8_t>* bytes, std::string* error) {
  bytes->resize(static_cast<size_t>(file->Size()));
  if (file->ReadAt(0, bytes->data(), bytes->size())) return true;
  *error = "cannot read " + Quoted(path);
  return false;
}

// A launcher file names its variant by its length; a given --variant must agree.
bool LoadLauncherFile(const std::string& path, bool variantGiven, Variant* variant, std::vector<uint8_t>* bytes,
                      std::string* error) {
  InputFile file;
  if (!file.Open(path, error)) return false;
  uint64_t size = file.Size();
  if (variantGiven && size != PackageOffset(*variant)) {
    *error = Quoted(path) + " is " + std::to_string(size) + " bytes; a launcher image of the " +
             VariantLongName(*variant) + " is " + std::to_string(PackageOffset(*variant)) + " bytes";
    return false;
  }
  if (!variantGiven && !VariantForLength(size, variant)) {
    *error = Quoted(path) + " is " + std::to_string(size) +
             " bytes; a launcher image is 62464 (six-icon variant) or 82944 (nine-icon variant) bytes";
    return false;
  }
  return ReadWhole(path, &file, bytes, error);
}

bool BuiltInLauncher(const BuiltInImages& images, Variant variant, std::vector<uint8_t>* bytes,
                     std::string* error) {
  const Image& image = variant == Variant::kSix ? images.six : images.nine;
  if (image.size == 0) {
    *error = std::string("this packtool carries no launcher image of the ") + VariantLongName(variant) +
             "; give one with --launcher FILE";
    return false;
  }
  if (image.size != PackageOffset(variant)) {
    *error = std::string("the built-in launcher image of the ") + VariantLongName(variant) + " is " +
             std::to_string(image.size) + " bytes instead of " + std::to_string(PackageOffset(variant)) +
             "; rebuild packtool";
    return false;
  }
  bytes->assign(image.bytes, image.bytes + image.size);
  return true;
}

bool LoadPlayer(const BuildOptions& options, const BuiltInImages& images, std::vector<uint8_t>* bytes,
                std::string* error) {
  if (options.player.empty()) {
    if (images.player.size == 0) {
      *error = "this packtool carries no player image; give one with --player FILE";
      return false;
    }
    bytes->assign(images.player.bytes, images.player.bytes + images.player.size);
    if (bytes->size() == core::kPlayerImageSize) return true;
    *error = "the built-in player image is " + std::to_string(bytes->size()) + " bytes instead of 17408; rebuild packtool";
    return false;
  }
  InputFile file;
  if (!file.Open(options.player, error)) return false;
  if (file.Size() != core::kPlayerImageSize) {
    *error = Quoted(options.player) + " is " + std::to_string(file.Size()) +
             " bytes; a player image is exactly 17408 bytes";
    return false;
  }
  return ReadWhole(options.player, &file, bytes, error);
}

bool OpenSegmentFile(const std::string& path, const char* what, InputFile* file, std::string* error) {
  if (!file->Open(path, error)) return false;
  if (file->Size() == 0) {
    *error = Quoted(path) + " is empty; a " + what + " needs at least 1 byte";
    return false;
  }
  if (file->Size() > kLargestSegment) {
    *error = Quoted(path) + " is " + std::to_string(file->Size()) + " bytes; the launcher reads a " + what +
             " of at most " + std::to_string(kLargestSegment) + " bytes";
    return false;
  }
  return true;
}

bool EncodeTitle(const std::string& utf8, int codePage, core::PackageHeader* header, std::string* error) {
  std::string ansi;
  std::string offending;
  std::string page = "code page " + std::to_string(codePage);
  switch (EncodeAnsi(utf8, codePage, &ansi, &offending)) {
    case EncodeResult::kInvalidUtf8:
      *error = "the title is not valid UTF-8";
      return false;
    case EncodeResult::kNotRepresentable:
      *error = "the title's character '" + offending + "' cannot be written in " + page;
      return false;
    case EncodeResult::kOk:
      break;
  }
  if (ansi.size() >= core::kTitleFieldSize) {
    *error = "the title takes " + std::to_string(ansi.size()) + " bytes in " + page + "; at most 255 fit";
    return false;
  }
  memset(header->title, 0, sizeof header->title);
  memcpy(header->title, ansi.data(), ansi.size());
  return true;
}

int Build(const std::vector<std::string>& args, const BuiltInImages& images, std::string* out, std::string* err) {
  BuildOptions options;
  std::string error;
  if (!ParseBuildOptions(args, &options, &error)) return Fail(error, err);

  core::PackageHeader header = {};
  header.musicMode = options.musicMode;
  header.placementMode = options.placementMode;
  header.x = options.x;
  header.y = options.y;
  header.maximizeFlag = options.maximize ? 1 : 0;
  if (!EncodeTitle(options.title, options.codePage, &header, &error)) return Fail(error, err);

  Variant variant = options.variant;
  std::vector<uint8_t> launcher;
  bool loaded = options.launcher.empty()
                    ? BuiltInLauncher(images, variant, &launcher, &error)
                    : LoadLauncherFile(options.launcher, options.variantGiven, &variant, &launcher, &error);
  if (!loaded) return Fail(error, err);

  InputFile projector;
  if (!OpenSegmentFile(options.projector, "projector", &projector, &error)) return Fail(error, err);
  InputFile song;
  std::vector<uint8_t> player;
  if (!options.song.empty()) {
    if (!OpenSegmentFile(options.song, "song", &song, &error)) return Fail(error, err);
    if (!LoadPlayer(options, images, &player, &error)) return Fail(error, err);
  }

  PackageInputs inputs = {variant, launcher.data(), &projector, options.projector,
                          options.song.empty() ? nullptr : &song, options.song,
                          player.data(), header};
  if (!WritePackage(inputs, options.output, &error)) return Fail(error, err);
  *out += "wrote " + options.output + " (" + VariantLongName(variant) + ", music mode " +
          std::to_string(options.musicMode) + ")\n";
  return kExitOk;
}

// The built-in launcher images and a --launcher file, as `show` and
// `extract` recognise a packaged file's variant by them.
bool KnownLaunchers(const BuiltInImages& images, const std::string& launcherPath, std::vector<uint8_t>* fileBytes,
                    std::vector<LauncherImage>* launchers, std::string* error) {
  if (images.six.size == PackageOffset(Variant::kSix)) {
    launchers->push_back({Variant::kSix, images.six.bytes, "built-in image"});
  }
  if (images.nine.size == PackageOffset(Variant::kNine)) {
    launchers->push_back({Variant::kNine, images.nine.bytes, "built-in image"});
  }
  if (launcherPath.empty()) return true;
  Variant variant = Variant::kSix;
  if (!LoadLauncherFile(launcherPath, false, &variant, fileBytes, error)) return false;
  launchers->push_back({variant, fileBytes->data(), launcherPath});
  return true;
}

bool ReadReport(const std::string& path, const BuiltInImages& images, const std::string& launcherPath,
                bool variantGiven, Variant variant, InputFile* file, PackageReport* report, std::string* error) {
  std::vector<uint8_t> launcherBytes;
  std::vector<LauncherImage> launchers;
  if (!KnownLaunchers(images, launcherPath, &launcherBytes, &launchers, error)) return false;
  if (!file->Open(path, error)) return false;
  if (ReadPackage(file, launchers, variantGiven ? &variant : nullptr, report, error)) return true;
  *error = "cannot read " + Quoted(path) + ": " + *error;
  return false;
}

int Show(const std::vector<std::string>& args, const BuiltInImages& images, std::string* out, std::string* err) {
  ShowOptions options;
  std::string error;
  if (!ParseShowOptions(args, &options, &error)) return Fail(error, err);
  InputFile file;
  PackageReport report;
  if (!ReadReport(options.file, images, options.launcher, options.variantGiven, options.variant, &file, &report,
                  &error)) {
    return Fail(error, err);
  }
  *out += options.json ? FormatReportJson(options.file, report, options.codePage)
                       : FormatReportText(options.file, report, options.codePage);
  return report.Valid() ? kExitOk : kExitInvalidPackage;
}

int Extract(const std::vector<std::string>& args, const BuiltInImages& images, std::string* out,
            std::string* err) {
  ExtractOptions options;
  std::string error;
  if (!ParseExtractOptions(args, &options, &error)) return Fail(error, err);
  InputFile file;
  PackageReport report;
  if (!ReadReport(options.file, images, options.launcher, options.variantGiven, options.variant, &file, &report,
                  &error)) {
    return Fail(error, err);
  }
  if (report.readings.size() != 1) {
    return Fail(Quoted(options.file) + " starts with no known launcher image; give --variant six|nine or "
                "--launcher FILE", err);
  }
  const PackageReading& reading = report.readings[0];
  if (!ExtractPackage(&file, options.file, reading, options.folder, &error)) return Fail(error, err);
  for (int i = 0; i < reading.segmentCount; ++i) {
    *out += "wrote " + JoinPath(options.folder, reading.segments[i].fileName) + " (" +
            std::to_string(reading.segments[i].length) + " bytes)\n";
  }
  if (core::HasMusic(reading.header)) *out += "wrote " + JoinPath(options.folder, core::kLoopFlagFileName) + " (1 byte)\n";
  return kExitOk;
}

}  // namespace

int RunPacktool(const std::vector<std::string>& args, const BuiltInImages& images, std::string* out,
                std::string* err) {
  if (args.empty()) return Fail("no command; see packtool --help", err);
  const std::string& command = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "--help" || command == "-h" || command == "help") {
    *out += kUsage;
    return kExitOk;
  }
  struct Command {
    const char* name;
    const char* help;
    int (*run)(const std::vector<std::string>&, const BuiltInImages&, std::string*, std::string*);
  };
  static const Command kCommands[] = {
      {"build", kBuildHelp, Build}, {"show", kShowHelp, Show}, {"extract", kExtractHelp, Extract}};
  for (const Command& known : kCommands) {
    if (command != known.name) continue;
    if (WantsHelp(rest)) {
      *out += known.help;
      return kExitOk;
    }
    return known.run(rest, images, out, err);
  }
  return Fail("unknown command '" + command + "'; see packtool --help", err);
}

}  // namespace packtool
