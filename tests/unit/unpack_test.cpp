// The unpacking on a scripted file system: every outcome, every failure of
// the file services in turn, what stays behind, and that the image copy is
// always closed and deleted once it was opened.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "unpack.h"

namespace {

const char kFolder[] = "C:\\W\\DERizi\\1";
const uint32_t kOffset = core::kSixIconPackageOffset;

std::string Path(const std::string& name) { return std::string(kFolder) + "\\" + name; }

std::string Filler(size_t count, char seed) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(seed + i * 7);
  return bytes;
}

struct PackageSpec {
  uint8_t musicMode = 1;
  uint32_t projectorLength = 1000;
  uint32_t songLength = 500;
  size_t cutAt = SIZE_MAX;  // length of the packaged file, when shorter than whole
  std::string trailing;
};

struct Built {
  std::string image, projector, song, player;
};

Built BuildImage(const PackageSpec& spec) {
  Built built;
  built.projector = Filler(spec.projectorLength < 100000 ? spec.projectorLength : 0, 'p');
  built.song = Filler(spec.songLength < 100000 ? spec.songLength : 0, 's');
  built.player = Filler(core::kPlayerImageSize, 'm');
  core::PackageHeader header = {};
  header.musicMode = spec.musicMode;
  header.projectorLength = spec.projectorLength;
  header.songLength = spec.songLength;
  uint8_t bytes[core::kPackageHeaderSize];
  core::EncodePackageHeader(header, bytes);
  built.image = std::string(kOffset, 'L') + std::string(reinterpret_cast<char*>(bytes), sizeof bytes) +
                built.projector;
  if (spec.musicMode != 0) built.image += built.song + built.player;
  built.image += spec.trailing;
  if (spec.cutAt < built.image.size()) built.image.resize(spec.cutAt);
  return built;
}

// An in-memory file system whose calls can be made to fail one by one.
class ScriptedFiles final : public core::UnpackFiles {
 public:
  explicit ScriptedFiles(std::string image) : image_(std::move(image)) {}

  bool failOpen = false;
  std::string failCreate;      // segment file name whose creation fails
  std::string shortWrite;      // segment file name that takes fewer bytes
  size_t shortReadAfter = SIZE_MAX;  // image reads give up after this many bytes in all
  uint32_t flagCreateError = 0, flagWriteError = 0, flagCloseError = 0;
  bool flagTakesNothing = false;

  std::map<std::string, std::string> files;
  bool imageOpen = false, imageDeleted = false, imageClosed = false;

  bool OpenImage(const char* path, uint64_t* size) override {
    EXPECT_EQ(path, Path("Temp.dat"));
    if (failOpen) return false;
    imageOpen = true;
    *size = image_.size();
    return true;
  }
  void DeleteImage(const char* path) override {
    EXPECT_EQ(path, Path("Temp.dat"));
    imageDeleted = true;
  }
  uint32_t ReadImage(uint64_t offset, void* out, uint32_t count) override {
    EXPECT_TRUE(imageOpen && !imageClosed);
    if (offset >= image_.size()) return 0;
    size_t n = std::min<size_t>(count, image_.size() - offset);
    n = std::min(n, shortReadAfter - std::min(shortReadAfter, readSoFar_));
    image_.copy(static_cast<char*>(out), n, offset);
    readSoFar_ += n;
    return static_cast<uint32_t>(n);
  }
  void CloseImage() override { imageClosed = true; }

  bool CreateSegmentFile(const char* path) override {
    EXPECT_TRUE(current_.empty()) << "two segment files open at once";
    if (path == Path(failCreate)) return false;
    current_ = path;
    files[current_].clear();
    return true;
  }
  uint32_t WriteSegmentFile(const void* bytes, uint32_t count) override {
    uint32_t took = current_ == Path(shortWrite) ? count / 2 : count;
    files[current_].append(static_cast<const char*>(bytes), took);
    return took;
  }
  void CloseSegmentFile() override { current_.clear(); }

  uint32_t CreateFlagFile(const char* path) override {
    if (flagCreateError) return flagCreateError;
    flagPath_ = path;
    files[flagPath_].clear();
    return 0;
  }
  uint32_t WriteFlagFile(char flag, bool* tookIt) override {
    *tookIt = !flagTakesNothing && flagWriteError == 0;
    if (*tookIt) pendingFlag_ = std::string(1, flag);
    return flagWriteError;
  }
  uint32_t CloseFlagFile() override {
    if (flagCloseError) return flagCloseError;
    files[flagPath_] = pendingFlag_;  // a text file takes its character at the close
    return 0;
  }

 private:
  std::string image_;
  std::string current_, flagPath_, pendingFlag_;
  size_t readSoFar_ = 0;
};

struct Outcome {
  core::UnpackOutcome outcome;
  core::UnpackFailure failure;
  core::PackageHeader header;
};

Outcome Unpack(ScriptedFiles& files, uint32_t bufferSize = 4096) {
  Outcome result = {};
  std::vector<char> buffer(bufferSize);
  result.outcome = core::UnpackImage(files, kFolder, kOffset, &result.header, &result.failure, buffer.data(),
                                     bufferSize);
  return result;
}

std::vector<std::string> Names(const ScriptedFiles& files) {
  std::vector<std::string> names;
  for (const auto& file : files.files) names.push_back(file.first.substr(std::string(kFolder).size() + 1));
  return names;
}

void ExpectImageGone(const ScriptedFiles& files) {
  EXPECT_TRUE(files.imageDeleted);
  EXPECT_TRUE(files.imageClosed);
}

TEST(Unpack, WritesEachSegmentAndTheLoopFlagByMusicMode) {
  struct Case {
    uint8_t mode;
    const char* flag;
  } cases[] = {{1, "0"}, {2, "1"}, {255, "1"}};
  for (const Case& c : cases) {
    PackageSpec spec;
    spec.musicMode = c.mode;
    spec.trailing = "trailing bytes are ignored";
    Built built = BuildImage(spec);
    for (uint32_t bufferSize : {7u, 4096u, 65536u}) {
      ScriptedFiles files(built.image);
      Outcome result = Unpack(files, bufferSize);
      ASSERT_EQ(result.outcome, core::kUnpacked);
      EXPECT_EQ(Names(files), (std::vector<std::string>{"Midi.exe", "Midi.mid", "ml.dat", "projector.exe"}));
      EXPECT_EQ(files.files[Path("projector.exe")], built.projector);
      EXPECT_EQ(files.files[Path("Midi.mid")], built.song);
      EXPECT_EQ(files.files[Path("Midi.exe")], built.player);
      EXPECT_EQ(files.files[Path("ml.dat")], c.flag);
      EXPECT_EQ(result.header.musicMode, c.mode);
      ExpectImageGone(files);
    }
  }
}

TEST(Unpack, MusicModeZeroReadsNothingAfterTheProjector) {
  PackageSpec spec;
  spec.musicMode = 0;
  Built built = BuildImage(spec);
  built.image += Filler(300, 'x');
  ScriptedFiles files(built.image);
  ASSERT_EQ(Unpack(files).outcome, core::kUnpacked);
  EXPECT_EQ(Names(files), std::vector<std::string>{"projector.exe"});
  ExpectImageGone(files);
}

TEST(Unpack, ZeroLengthsAndHeadersOfZerosAreRefusedBeforeAnyFile) {
  struct Case {
    const char* name;
    PackageSpec spec;
  };
  PackageSpec zeroProjector;
  zeroProjector.projectorLength = 0;
  PackageSpec zeroSong;
  zeroSong.songLength = 0;
  PackageSpec zeroSongNoMusic;  // a song length of 0 is fine without music...
  zeroSongNoMusic.musicMode = 0;
  zeroSongNoMusic.projectorLength = 0;  // ...but not a projector length of 0
  PackageSpec nothingAppended;
  nothingAppended.cutAt = kOffset;
  PackageSpec headerCut;
  headerCut.cutAt = kOffset + 3;  // the projector length is cut: its high bytes read as 0
  headerCut.projectorLength = 0x01000000;
  for (const Case& c : {Case{"projector 0", zeroProjector}, Case{"song 0", zeroSong},
                        Case{"projector 0 without music", zeroSongNoMusic},
                        Case{"nothing appended", nothingAppended}, Case{"header cut", headerCut}}) {
    SCOPED_TRACE(c.name);
    ScriptedFiles files(BuildImage(c.spec).image);
    EXPECT_EQ(Unpack(files).outcome, core::kRefused);
    EXPECT_TRUE(files.files.empty());
    ExpectImageGone(files);
  }
}

TEST(Unpack, SegmentsRunningPastTheEndRaiseReadErrorBeforeTheirFile) {
  const size_t P = kOffset, H = core::kPackageHeaderSize;
  struct Case {
    const char* name;
    PackageSpec spec;
    std::vector<std::string> written;
  };
  auto cut = [](size_t at) {
    PackageSpec spec;
    spec.cutAt = at;
    return spec;
  };
  auto lengths = [](uint8_t mode, uint32_t projector, uint32_t song) {
    PackageSpec spec;
    spec.musicMode = mode;
    spec.projectorLength = projector;
    spec.songLength = song;
    return spec;
  };
  std::vector<Case> cases = {
      {"header only", cut(P + H), {}},
      {"projector cut by one", cut(P + H + 999), {}},
      {"song missing", cut(P + H + 1000), {"projector.exe"}},
      {"song cut by one", cut(P + H + 1499), {"projector.exe"}},
      {"player missing", cut(P + H + 1500), {"Midi.mid", "projector.exe"}},
      {"player cut by one", cut(P + H + 1500 + 17407), {"Midi.mid", "projector.exe"}},
      {"projector 0x7FFFFFFF", lengths(1, 0x7FFFFFFF, 10), {}},
      {"projector 0x80000000", lengths(1, 0x80000000u, 10), {}},
      {"projector 0xFFFFFFFF", lengths(0, 0xFFFFFFFFu, 10), {}},
      {"song 0xFFFFFFFF", lengths(2, 10, 0xFFFFFFFFu), {"projector.exe"}},
      {"song 0x80000000", lengths(2, 10, 0x80000000u), {"projector.exe"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedFiles files(BuildImage(c.spec).image);
    Outcome result = Unpack(files);
    ASSERT_EQ(result.outcome, core::kRaised);
    EXPECT_EQ(result.failure.kind, core::EReadError);
    EXPECT_EQ(Names(files), c.written);
    ExpectImageGone(files);
  }
}

TEST(Unpack, EachFileServiceFailureRaisesItsKindAndKeepsWhatCameBefore) {
  struct Case {
    const char* name;
    void (*script)(ScriptedFiles&);
    core::FailureKind kind;
    std::string path;
    uint32_t errorCode;
    std::vector<std::string> left;
  };
  std::vector<Case> cases = {
      {"image copy held open elsewhere", [](ScriptedFiles& f) { f.failOpen = true; }, core::EFOpenError,
       Path("Temp.dat"), 0, {}},
      {"projector cannot be created", [](ScriptedFiles& f) { f.failCreate = "projector.exe"; },
       core::EFCreateError, Path("projector.exe"), 0, {}},
      {"song cannot be created", [](ScriptedFiles& f) { f.failCreate = "Midi.mid"; }, core::EFCreateError,
       Path("Midi.mid"), 0, {"projector.exe"}},
      {"player cannot be created", [](ScriptedFiles& f) { f.failCreate = "Midi.exe"; }, core::EFCreateError,
       Path("Midi.exe"), 0, {"Midi.mid", "projector.exe"}},
      {"disk full in the song", [](ScriptedFiles& f) { f.shortWrite = "Midi.mid"; }, core::EWriteError, "", 0,
       {"Midi.mid", "projector.exe"}},
      {"image copy reads short", [](ScriptedFiles& f) { f.shortReadAfter = core::kPackageHeaderSize + 1200; },
       core::EReadError, "", 0, {"Midi.mid", "projector.exe"}},
      {"loop flag cannot be created", [](ScriptedFiles& f) { f.flagCreateError = 5; }, core::EInOutError, "", 5,
       {"Midi.exe", "Midi.mid", "projector.exe"}},
      {"loop flag write fails", [](ScriptedFiles& f) { f.flagWriteError = 112; }, core::EInOutError, "", 112,
       {"Midi.exe", "Midi.mid", "ml.dat", "projector.exe"}},
      {"loop flag write takes nothing", [](ScriptedFiles& f) { f.flagTakesNothing = true; }, core::EInOutError,
       "", 101, {"Midi.exe", "Midi.mid", "ml.dat", "projector.exe"}},
      {"loop flag close fails", [](ScriptedFiles& f) { f.flagCloseError = 39; }, core::EInOutError, "", 39,
       {"Midi.exe", "Midi.mid", "ml.dat", "projector.exe"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedFiles files(BuildImage(PackageSpec()).image);
    c.script(files);
    Outcome result = Unpack(files);
    ASSERT_EQ(result.outcome, core::kRaised);
    EXPECT_EQ(result.failure.kind, c.kind);
    if (c.kind == core::EFOpenError || c.kind == core::EFCreateError) {
      EXPECT_EQ(result.failure.path, c.path);
    }
    if (c.kind == core::EInOutError) {
      EXPECT_EQ(result.failure.errorCode, c.errorCode);
    }
    EXPECT_EQ(Names(files), c.left);
    if (!files.failOpen) ExpectImageGone(files);
    EXPECT_NE(result.failure.address, 0u);
  }
}

TEST(Unpack, AFlagFileThatFailsToCloseStaysEmpty) {
  ScriptedFiles files(BuildImage(PackageSpec()).image);
  files.flagCloseError = 39;
  Unpack(files);
  EXPECT_EQ(files.files[Path("ml.dat")], "");
}

TEST(Unpack, FailuresAtDifferentChecksGiveDifferentPlaces) {
  ScriptedFiles cutShort(BuildImage([] { PackageSpec s; s.cutAt = kOffset + 400; return s; }()).image);
  ScriptedFiles noCreate(BuildImage(PackageSpec()).image);
  noCreate.failCreate = "projector.exe";
  EXPECT_NE(Unpack(cutShort).failure.address, Unpack(noCreate).failure.address);
}

}  // namespace
