// The window title: typed in UTF-8, stored in an ANSI code page, at most 255
// bytes there, refused whole when a character has no place in the code page.
#include <gtest/gtest.h>

#include "codepage.h"
#include "packtool_test_support.h"

namespace {

using packtool::Variant;
using namespace packtool_test;

struct TitleCase {
  const char* name;
  std::string utf8;
  int codePage;
  std::string stored;   // the bytes in the title field, when accepted
  const char* refusal;  // a part of the message, when refused
};

const TitleCase kTitles[] = {
    {"Empty", "", 1252, "", nullptr},
    {"Ascii", "My show 2024", 1252, "My show 2024", nullptr},
    {"EAcute", "Caf\xC3\xA9", 1252, "Caf\xE9", nullptr},
    {"Euro", "\xE2\x82\xAC 5", 1252, "\x80 5", nullptr},
    {"TradeMarkAndQuotes", "\xE2\x84\xA2\xE2\x80\x9Cx\xE2\x80\x9D", 1252, "\x99\x93x\x94", nullptr},
    {"Bytes255", std::string(255, 'a'), 1252, std::string(255, 'a'), nullptr},
    // 256 bytes of UTF-8 but 255 in the code page: the code page counts.
    {"Bytes255AfterEncoding", std::string(254, 'a') + "\xC3\xA9", 1252, std::string(254, 'a') + "\xE9", nullptr},
    {"Bytes256", std::string(256, 'a'), 1252, "", "the title takes 256 bytes in code page 1252; at most 255 fit"},
    {"GreekOmegaNotIn1252", "A\xCE\xA9", 1252, "", "the title's character '\xCE\xA9' cannot be written in code page 1252"},
    {"EmojiNotIn1252", "\xF0\x9F\x8E\xB5", 1252, "", "cannot be written in code page 1252"},
    {"C1ControlRefused", "\xC2\x81", 1252, "", "cannot be written"},
    {"CyrillicIn1251", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", 1251, "\xCF\xF0\xE8\xE2\xE5\xF2", nullptr},
    {"PolishIn1250", "\xC5\x81\xC3\xB3\x64\xC5\xBA", 1250, "\xA3\xF3\x64\x9F", nullptr},
    {"EAcuteIn1251Refused", "\xC3\xA9", 1251, "", "cannot be written in code page 1251"},
    {"TruncatedSequence", "Caf\xC3", 1252, "", "the title is not valid UTF-8"},
    {"LoneContinuationByte", "\x80", 1252, "", "the title is not valid UTF-8"},
    {"OverlongSlash", "\xC0\xAF", 1252, "", "the title is not valid UTF-8"},
    {"Surrogate", "\xED\xA0\x80", 1252, "", "the title is not valid UTF-8"},
    {"PastUnicode", "\xF4\x90\x80\x80", 1252, "", "the title is not valid UTF-8"},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.name; }

class PacktoolTitle : public testing::TestWithParam<TitleCase> {};

TEST_P(PacktoolTitle, IsStoredInTheCodePageOrRefused) {
  const TitleCase& c = GetParam();
  ScratchFolder scratch;
  WriteFile(scratch / "projector.exe", Pattern(10, 1));
  WriteFile(scratch / "six.bin", StandInLauncher(Variant::kSix));
  Outcome build = Packtool({"build", "--projector", scratch / "projector.exe", "--launcher", scratch / "six.bin",
                        "--title", c.utf8, "--codepage", std::to_string(c.codePage), "-o", scratch / "out.exe"});
  if (c.refusal != nullptr) {
    EXPECT_EQ(build.code, packtool::kExitError);
    EXPECT_EQ(build.err.rfind("packtool: ", 0), 0u) << build.err;
    EXPECT_NE(build.err.find(c.refusal), std::string::npos) << build.err;
    EXPECT_EQ(build.err.find('\n'), build.err.size() - 1) << build.err;
    EXPECT_FALSE(FileExists(scratch / "out.exe"));
    return;
  }
  ASSERT_EQ(build.code, 0) << build.err;
  Bytes out = ReadFile(scratch / "out.exe");
  const size_t field = packtool::PackageOffset(Variant::kSix) + 32;
  Bytes expected(c.stored.begin(), c.stored.end());
  expected.resize(256, 0);  // the rest of the field is NUL
  EXPECT_EQ(Bytes(out.begin() + field, out.begin() + field + 256), expected);
}

INSTANTIATE_TEST_SUITE_P(Packtool, PacktoolTitle, testing::ValuesIn(kTitles),
                         [](const testing::TestParamInfo<TitleCase>& info) { return info.param.name; });

// show decodes the stored bytes with the same tables the build encoded them
// with, so every character of each code page survives the way back.
TEST(PacktoolTitle, EveryDefinedByteDecodesAndEncodesBackToItself) {
  for (int codePage : {1250, 1251, 1252}) {
    int defined = 0;
    for (int byte = 0x20; byte <= 0xFF; ++byte) {
      std::string ansi(1, static_cast<char>(byte));
      std::string utf8 = packtool::DecodeAnsi(ansi, codePage);
      if (utf8 == "\xEF\xBF\xBD") continue;  // undefined in this code page
      std::string back, offending;
      ASSERT_EQ(packtool::EncodeAnsi(utf8, codePage, &back, &offending), packtool::EncodeResult::kOk)
          << codePage << " byte " << byte;
      EXPECT_EQ(back, ansi) << codePage << " byte " << byte;
      ++defined;
    }
    EXPECT_GE(defined, 0xFF - 0x20 + 1 - 5) << "code page " << codePage << " lost its table";
  }
}

TEST(PacktoolTitle, ShowPrintsTheTitleDecoded) {
  ScratchFolder scratch;
  WriteFile(scratch / "projector.exe", Pattern(10, 1));
  WriteFile(scratch / "six.bin", StandInLauncher(Variant::kSix));
  ASSERT_EQ(Packtool({"build", "--projector", scratch / "projector.exe", "--launcher", scratch / "six.bin",
                      "--title", "\"Caf\xC3\xA9\" \xE2\x82\xAC", "-o", scratch / "out.exe"})
                .code,
            0);
  Outcome show = Packtool({"show", scratch / "out.exe", "--json", "--launcher", scratch / "six.bin"});
  EXPECT_NE(show.out.find("\"title\": \"\\\"Caf\xC3\xA9\\\" \xE2\x82\xAC\""), std::string::npos) << show.out;
  EXPECT_NE(show.out.find("\"title_bytes\": \"22436166e9222080\""), std::string::npos) << show.out;
}

}  // namespace
