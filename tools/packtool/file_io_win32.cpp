#include <windows.h>
#include <shellapi.h>

#include "file_io.h"

namespace packtool {
namespace {

std::wstring Wide(const std::string& utf8) {
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  if (length > 0) {
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
  }
  return wide;
}

std::string Utf8(const wchar_t* wide, int length) {
  int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, wide, length, &utf8[0], size, nullptr, nullptr);
  return utf8;
}

std::string SystemError(DWORD code) {
  wchar_t text[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, 512, nullptr);
  // The system's texts end in a full stop and a line break; ours are one line.
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' ||
                        text[length - 1] == L'.' || text[length - 1] == L' ')) {
    --length;
  }
  if (length == 0) return "system error " + std::to_string(code);
  return Utf8(text, static_cast<int>(length));
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

InputFile::~InputFile() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
}

bool InputFile::Open(const std::string& path, std::string* error) {
  if (IsFolder(path)) {
    *error = Quoted(path) + " is a folder, not a file";
    return false;
  }
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = "cannot open " + Quoted(path) + ": " + SystemError(GetLastError());
    return false;
  }
  LARGE_INTEGER size;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
    *error = Quoted(path) + " is not a regular file";
    CloseHandle(file);
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  size_ = static_cast<uint64_t>(size.QuadPart);
  return true;
}

bool InputFile::ReadAt(uint64_t offset, void* out, size_t count) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(AsHandle(handle_), position, nullptr, FILE_BEGIN)) return false;
  char* target = static_cast<char*>(out);
  while (count > 0) {
    DWORD chunk = count > (1u << 30) ? (1u << 30) : static_cast<DWORD>(count);
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), target, chunk, &got, nullptr) || got == 0) return false;
    target += got;
    count -= got;
  }
  return true;
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
  handle_ = -1;
  if (!tempPath_.empty()) DeleteFileW(Wide(tempPath_).c_str());
  tempPath_.clear();
}

bool OutputFile::Create(const std::string& finalPath, std::string* error) {
  Discard();
  DWORD lastError = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < 100 && lastError == ERROR_FILE_EXISTS; ++attempt) {
    std::string candidate = finalPath + ".packtool-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(attempt);
    HANDLE file = CreateFileW(Wide(candidate).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<intptr_t>(file);
      finalPath_ = finalPath;
      tempPath_ = candidate;
      return true;
    }
    lastError = GetLastError();
  }
  *error = "cannot create " + Quoted(finalPath) + ": " + SystemError(lastError);
  return false;
}

bool OutputFile::Write(const void* data, size_t count, std::string* error) {
  const char* source = static_cast<const char*>(data);
  while (count > 0) {
    DWORD chunk = count > (1u << 30) ? (1u << 30) : static_cast<DWORD>(count);
    DWORD put = 0;
    if (!WriteFile(AsHandle(handle_), source, chunk, &put, nullptr) || put == 0) {
      *error = "cannot write " + Quoted(finalPath_) + ": " + SystemError(GetLastError());
      Discard();
      return false;
    }
    source += put;
    count -= put;
  }
  return true;
}

// Windows decides by the file name whether a file is a program, so
// `executable` needs nothing here.
bool OutputFile::Commit(bool /*executable*/, std::string* error) {
  bool closed = CloseHandle(AsHandle(handle_)) != 0;
  handle_ = -1;
  if (!closed || !MoveFileExW(Wide(tempPath_).c_str(), Wide(finalPath_).c_str(),
                              MOVEFILE_REPLACE_EXISTING)) {
    *error = "cannot write " + Quoted(finalPath_) + ": " + SystemError(GetLastError());
    Discard();
    return false;
  }
  tempPath_.clear();
  return true;
}

bool MakeFolder(const std::string& path, bool* created, std::string* error) {
  *created = CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
  if (*created) return true;
  DWORD code = GetLastError();
  if (code == ERROR_ALREADY_EXISTS && IsFolder(path)) return true;
  *error = "cannot create the folder " + Quoted(path) + ": " +
           (code == ERROR_ALREADY_EXISTS ? std::string("a file of that name exists") : SystemError(code));
  return false;
}

void RemoveEmptyFolder(const std::string& path) { RemoveDirectoryW(Wide(path).c_str()); }

bool PathExists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide != nullptr && i < count; ++i) args.push_back(Utf8(wide[i], lstrlenW(wide[i])));
  LocalFree(wide);
  return args;
}

// A console shows UTF-8 only when told to; redirected output stays UTF-8 bytes.
void WriteToConsole(const std::string& text, bool toErrorStream) {
  SetConsoleOutputCP(CP_UTF8);
  HANDLE stream = GetStdHandle(toErrorStream ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD written = 0;
  WriteFile(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + name;
  return folder + "\\" + name;
}

}  // namespace packtool
