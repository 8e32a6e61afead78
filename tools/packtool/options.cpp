#include "options.h"

#include <errno.h>
#include <stdlib.h>

#include <map>

#include "codepage.h"

namespace packtool {

const char kUsage[] =
    "usage: packtool COMMAND [OPTIONS]\n"
    "\n"
    "Makes and inspects packaged presentations: a launcher image with a package\n"
    "(header, projector, and optionally a MIDI song and its player) appended.\n"
    "\n"
    "commands:\n"
    "  build    write a packaged executable\n"
    "  show     print a packaged executable's header, segments and validity\n"
    "  extract  write the files the launcher would unpack, without running anything\n"
    "\n"
    "packtool COMMAND --help describes each command.\n";

const char kBuildHelp[] =
    "usage: packtool build --projector FILE [--song FILE --play once|loop]\n"
    "                      [--title TEXT] [--center | --at X,Y | --keep-position]\n"
    "                      [--maximize] [--variant six|nine] [--launcher FILE]\n"
    "                      [--player FILE] [--codepage N] -o OUT\n"
    "\n"
    "Writes OUT: the launcher image of the variant with a package appended.\n"
    "\n"
    "  --projector FILE  the presentation program (1 byte to 2 GiB - 1)\n"
    "  --song FILE       a MIDI song to play beside it; needs --play\n"
    "  --play once|loop  play the song once (music mode 1) or in a loop (mode 2)\n"
    "  --title TEXT      the window title, UTF-8; stored in the code page, at most\n"
    "                    255 bytes there (default: empty)\n"
    "  --center          centre the window on the desktop (the default)\n"
    "  --at X,Y          move the window's top-left corner to X,Y\n"
    "  --keep-position   leave the window where the projector puts it\n"
    "  --maximize        show the window maximised\n"
    "  --variant six|nine  the launcher variant (default: six, or the one whose\n"
    "                    length the --launcher file has)\n"
    "  --launcher FILE   use this launcher image instead of the built-in one; its\n"
    "                    length must be the variant's package offset (62464 or 82944)\n"
    "  --player FILE     use this player image instead of the built-in one; it must\n"
    "                    be exactly 17408 bytes\n"
    "  --codepage N      the ANSI code page of the title: 1250, 1251 or 1252 (default)\n"
    "  -o OUT            the file to write; it appears only when complete\n";

const char kShowHelp[] =
    "usage: packtool show FILE [--json] [--variant six|nine] [--launcher FILE]\n"
    "                     [--codepage N]\n"
    "\n"
    "Prints the launcher variant, every header field (the reserved ones too), each\n"
    "segment's offset and length, and whether FILE is a valid package, naming each\n"
    "rule it breaks. The variant is found by comparing FILE's start with the\n"
    "built-in launcher images and the --launcher file; when none matches, FILE is\n"
    "read at both package offsets unless --variant names one.\n"
    "\n"
    "  --json            print JSON instead of text\n"
    "  --variant six|nine  read the package at this variant's offset\n"
    "  --launcher FILE   also recognise this launcher image\n"
    "  --codepage N      show the title decoded from this code page (default 1252)\n"
    "\n"
    "exit status: 0 valid package, 2 not a valid package, 1 error\n";

const char kExtractHelp[] =
    "usage: packtool extract FILE -d DIR [--variant six|nine] [--launcher FILE]\n"
    "\n"
    "Writes into DIR (created when missing) the files the launcher would unpack:\n"
    "projector.exe and, in the music modes, Midi.mid, Midi.exe and ml.dat. Runs\n"
    "nothing. FILE must be a valid package; when its launcher image is not known,\n"
    "--variant says where the package starts. Nothing is written on failure.\n"
    "\n"
    "  -d DIR            the folder to write into\n"
    "  --variant six|nine  read the package at this variant's offset\n"
    "  --launcher FILE   also recognise this launcher image\n";

namespace {

struct OptionRule {
  const char* name;
  bool takesValue;
};

struct ParsedArgs {
  std::map<std::string, std::string> values;
  std::vector<std::string> positional;

  bool Has(const char* name) const { return values.count(name) != 0; }
  std::string Get(const char* name) const {
    auto found = values.find(name);
    return found == values.end() ? std::string() : found->second;
  }
};

const OptionRule* FindRule(const std::vector<OptionRule>& rules, const std::string& name) {
  for (const OptionRule& rule : rules) {
    if (name == rule.name) return &rule;
  }
  return nullptr;
}

bool ParseArgs(const char* command, const std::vector<std::string>& args, const std::vector<OptionRule>& rules,
               ParsedArgs* parsed, std::string* error) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed->positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    size_t equals = arg.find('=');
    std::string name = arg.substr(0, equals);
    const OptionRule* rule = FindRule(rules, name);
    if (rule == nullptr) {
      *error = "unknown option " + name + " for " + command + "; see packtool " + command + " --help";
      return false;
    }
    if (parsed->Has(rule->name)) {
      *error = name + " is given twice";
      return false;
    }
    std::string value;
    if (!rule->takesValue) {
      if (equals != std::string::npos) {
        *error = name + " takes no value";
        return false;
      }
    } else if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      *error = name + " needs a value";
      return false;
    }
    parsed->values[rule->name] = value;
  }
  return true;
}

bool OneFile(const char* command, const ParsedArgs& parsed, std::string* file, std::string* error) {
  if (parsed.positional.empty()) {
    *error = std::string(command) + " needs a FILE; see packtool " + command + " --help";
    return false;
  }
  if (parsed.positional.size() > 1) {
    *error = std::string(command) + " takes one FILE, not also '" + parsed.positional[1] + "'";
    return false;
  }
  *file = parsed.positional[0];
  return true;
}

// File names must not be empty; an empty title is fine.
bool NonEmpty(const ParsedArgs& parsed, const char* name, std::string* value, std::string* error) {
  if (!parsed.Has(name)) return true;
  *value = parsed.Get(name);
  if (value->empty()) *error = std::string(name) + " needs a file name";
  return !value->empty();
}

bool ParseInt32(const std::string& text, int32_t* value) {
  if (text.empty() || text.size() > 11) return false;
  size_t start = text[0] == '-' || text[0] == '+' ? 1 : 0;
  if (start == text.size()) return false;
  for (size_t i = start; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  long long parsed = strtoll(text.c_str(), nullptr, 10);
  if (parsed < INT32_MIN || parsed > INT32_MAX) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

bool ParsePosition(const std::string& text, int32_t* x, int32_t* y) {
  size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  return ParseInt32(text.substr(0, comma), x) && ParseInt32(text.substr(comma + 1), y);
}

bool ParseVariantOption(const ParsedArgs& parsed, bool* given, Variant* variant, std::string* error) {
  *given = parsed.Has("--variant");
  if (*given && !ParseVariant(parsed.Get("--variant"), variant)) {
    *error = "--variant must be six or nine, not '" + parsed.Get("--variant") + "'";
    return false;
  }
  return true;
}

bool ParseCodePage(const ParsedArgs& parsed, int* codePage, std::string* error) {
  if (!parsed.Has("--codepage")) return true;
  int32_t number = 0;
  if (!ParseInt32(parsed.Get("--codepage"), &number) || !IsSupportedCodePage(number)) {
    *error = "code page '" + parsed.Get("--codepage") + "' is not supported; use one of " +
             SupportedCodePageList();
    return false;
  }
  *codePage = number;
  return true;
}

bool ParsePlacement(const ParsedArgs& parsed, BuildOptions* options, std::string* error) {
  int given = parsed.Has("--center") + parsed.Has("--at") + parsed.Has("--keep-position");
  if (given > 1) {
    *error = "give only one of --center, --at and --keep-position";
    return false;
  }
  if (parsed.Has("--keep-position")) options->placementMode = 1;
  if (parsed.Has("--at")) {
    options->placementMode = 2;
    if (!ParsePosition(parsed.Get("--at"), &options->x, &options->y)) {
      *error = "--at needs X,Y as two whole numbers, as in --at 100,-20, not '" + parsed.Get("--at") + "'";
      return false;
    }
  }
  return true;
}

bool ParseMusic(const ParsedArgs& parsed, BuildOptions* options, std::string* error) {
  if (!NonEmpty(parsed, "--song", &options->song, error)) return false;
  if (!NonEmpty(parsed, "--player", &options->player, error)) return false;
  if (options->song.empty()) {
    if (parsed.Has("--play")) *error = "--play needs a --song";
    if (parsed.Has("--player")) *error = "--player is used only with a --song";
    return error->empty();
  }
  std::string play = parsed.Get("--play");
  if (!parsed.Has("--play")) *error = "--song needs --play once or --play loop";
  else if (play == "once") options->musicMode = 1;
  else if (play == "loop") options->musicMode = 2;
  else *error = "--play must be once or loop, not '" + play + "'";
  return error->empty();
}

}  // namespace

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") return false;
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

bool ParseBuildOptions(const std::vector<std::string>& args, BuildOptions* options, std::string* error) {
  static const std::vector<OptionRule> kRules = {
      {"--projector", true}, {"--song", true},    {"--play", true},      {"--title", true},
      {"--center", false},   {"--at", true},      {"--keep-position", false}, {"--maximize", false},
      {"--variant", true},   {"--launcher", true}, {"--player", true},   {"--codepage", true},
      {"-o", true}};
  ParsedArgs parsed;
  error->clear();
  if (!ParseArgs("build", args, kRules, &parsed, error)) return false;
  if (!parsed.positional.empty()) {
    *error = "build takes no file without an option: '" + parsed.positional[0] + "'";
    return false;
  }
  if (!parsed.Has("--projector")) {
    *error = "build needs --projector FILE";
    return false;
  }
  if (!parsed.Has("-o")) {
    *error = "build needs -o OUT";
    return false;
  }
  if (!NonEmpty(parsed, "--projector", &options->projector, error)) return false;
  if (!NonEmpty(parsed, "-o", &options->output, error)) return false;
  if (!NonEmpty(parsed, "--launcher", &options->launcher, error)) return false;
  if (!ParseMusic(parsed, options, error)) return false;
  if (!ParsePlacement(parsed, options, error)) return false;
  if (!ParseVariantOption(parsed, &options->variantGiven, &options->variant, error)) return false;
  if (!ParseCodePage(parsed, &options->codePage, error)) return false;
  options->title = parsed.Get("--title");
  options->maximize = parsed.Has("--maximize");
  return true;
}

bool ParseShowOptions(const std::vector<std::string>& args, ShowOptions* options, std::string* error) {
  static const std::vector<OptionRule> kRules = {
      {"--json", false}, {"--variant", true}, {"--launcher", true}, {"--codepage", true}};
  ParsedArgs parsed;
  if (!ParseArgs("show", args, kRules, &parsed, error)) return false;
  if (!OneFile("show", parsed, &options->file, error)) return false;
  if (!NonEmpty(parsed, "--launcher", &options->launcher, error)) return false;
  if (!ParseVariantOption(parsed, &options->variantGiven, &options->variant, error)) return false;
  if (!ParseCodePage(parsed, &options->codePage, error)) return false;
  options->json = parsed.Has("--json");
  return true;
}

bool ParseExtractOptions(const std::vector<std::string>& args, ExtractOptions* options, std::string* error) {
  static const std::vector<OptionRule> kRules = {{"-d", true}, {"--variant", true}, {"--launcher", true}};
  ParsedArgs parsed;
  if (!ParseArgs("extract", args, kRules, &parsed, error)) return false;
  if (!OneFile("extract", parsed, &options->file, error)) return false;
  if (!parsed.Has("-d")) {
    *error = "extract needs -d DIR";
    return false;
  }
  if (!NonEmpty(parsed, "-d", &options->folder, error)) return false;
  if (!NonEmpty(parsed, "--launcher", &options->launcher, error)) return false;
  return ParseVariantOption(parsed, &options->variantGiven, &options->variant, error);
}

}  // namespace packtool
