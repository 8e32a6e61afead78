// Window titles travel as ANSI text in one of the Windows single-byte code
// pages; users type them in UTF-8. This converts between the two without any
// platform call, so the native and the Windows tool store the same bytes.
#pragma once
#include <stdint.h>

#include <string>

namespace packtool {

// The code pages packtool can write: 1250 (Central European), 1251
// (Cyrillic) and 1252 (Western, the default).
bool IsSupportedCodePage(int codePage);
const char* SupportedCodePageList();  // "1250, 1251, 1252"

enum class EncodeResult { kOk, kInvalidUtf8, kNotRepresentable };

// On kNotRepresentable, `offending` holds the first character that the code
// page lacks, as UTF-8, so the message can name it.
EncodeResult EncodeAnsi(const std::string& utf8, int codePage, std::string* ansi,
                        std::string* offending);

// Bytes the code page leaves undefined come back as U+FFFD.
std::string DecodeAnsi(const std::string& ansi, int codePage);

}  // namespace packtool
