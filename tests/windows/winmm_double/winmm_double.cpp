// A stand-in for the system's winmm.dll, for tests only: the test machines
// have no MIDI output, so the real sequencer never finishes a song and never
// sends a completion notification. Placed beside the program under test and
// enabled per process with WINEDLLOVERRIDES=winmm=n, it records every
// mciSendCommandA call and answers each play request that asks for
// notification with MM_MCINOTIFY after a short delay.
//
// Both files live in the double's own folder:
//   mci-log.txt     written: one line per event (see the Log* functions)
//   mci-notify.txt  read once, optional; lines of key=value:
//     codes=aborted,failed,successful  code of each notification, in turn;
//                                      the last one repeats (names or numbers)
//     limit=3        notifications in all, so a looping player cannot spin
//     delay=100      milliseconds from the play request to its notification
//     device-id=1    the identifier the open request hands out
#define _WINMM_
#include <windows.h>
#include <mmsystem.h>

namespace {

const DWORD kPathCapacity = 300;
const int kMaxCodes = 16;

struct Settings {
  WPARAM codes[kMaxCodes];
  int codeCount;
  int limit;
  DWORD delayMs;
  MCIDEVICEID deviceId;
};

char LogPath[kPathCapacity];
char ControlPath[kPathCapacity];
CRITICAL_SECTION LogLock;
Settings Control;
MCIDEVICEID OpenedDevice;  // 0 until a song has been opened
int NotificationsSent;

struct PendingNotification {
  HWND window;
  WPARAM code;
  MCIDEVICEID device;
};

void CopyFolderOf(HMODULE module, char* out, const char* name) {
  DWORD length = GetModuleFileNameA(module, out, kPathCapacity);
  while (length > 0 && out[length - 1] != '\\' && out[length - 1] != '/') --length;
  out[length] = '\0';
  lstrcatA(out, name);
}

// One write per line, so that a reader never sees half a line.
void WriteLogLine(const char* text) {
  char line[1100];
  lstrcpynA(line, text, sizeof line - 2);
  lstrcatA(line, "\r\n");
  HANDLE file = CreateFileA(LogPath, FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, lstrlenA(line), &written, nullptr);
  CloseHandle(file);
}

bool StartsWith(const char* text, const char* prefix) {
  while (*prefix != '\0') {
    if (*text++ != *prefix++) return false;
  }
  return true;
}

// Reads an unsigned decimal number and moves past it.
DWORD ReadNumber(const char** cursor) {
  DWORD value = 0;
  while (**cursor >= '0' && **cursor <= '9') value = value * 10 + static_cast<DWORD>(*(*cursor)++ - '0');
  return value;
}

WPARAM ReadCode(const char** cursor) {
  static const struct {
    const char* name;
    WPARAM code;
  } kNames[] = {{"successful", MCI_NOTIFY_SUCCESSFUL},
                {"superseded", MCI_NOTIFY_SUPERSEDED},
                {"aborted", MCI_NOTIFY_ABORTED},
                {"failed", MCI_NOTIFY_FAILURE}};
  for (const auto& entry : kNames) {
    if (StartsWith(*cursor, entry.name)) {
      *cursor += lstrlenA(entry.name);
      return entry.code;
    }
  }
  return ReadNumber(cursor);
}

void ParseControlLine(const char* line) {
  if (StartsWith(line, "codes=")) {
    const char* cursor = line + 6;
    Control.codeCount = 0;
    while (*cursor != '\0' && Control.codeCount < kMaxCodes) {
      Control.codes[Control.codeCount++] = ReadCode(&cursor);
      if (*cursor != ',') break;
      ++cursor;
    }
  } else if (StartsWith(line, "limit=")) {
    line += 6;
    Control.limit = static_cast<int>(ReadNumber(&line));
  } else if (StartsWith(line, "delay=")) {
    line += 6;
    Control.delayMs = ReadNumber(&line);
  } else if (StartsWith(line, "device-id=")) {
    line += 10;
    Control.deviceId = ReadNumber(&line);
  }
}

void LoadSettings() {
  Control.codes[0] = MCI_NOTIFY_SUCCESSFUL;
  Control.codeCount = 1;
  Control.limit = 3;
  Control.delayMs = 100;
  Control.deviceId = 1;
  HANDLE file = CreateFileA(ControlPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  static char text[1024];
  DWORD size = 0;
  ReadFile(file, text, sizeof text - 1, &size, nullptr);
  CloseHandle(file);
  text[size] = '\0';
  char* line = text;
  while (*line != '\0') {
    char* end = line;
    while (*end != '\0' && *end != '\r' && *end != '\n') ++end;
    bool last = *end == '\0';
    *end = '\0';
    ParseControlLine(line);
    if (last) break;
    line = end + 1;
  }
}

WPARAM CodeOfNotification(int index) {
  return Control.codes[index < Control.codeCount ? index : Control.codeCount - 1];
}

const char* TextOrDash(LPCSTR text) { return text != nullptr ? text : "-"; }

DWORD WINAPI NotifyLater(void* parameter) {
  PendingNotification pending = *static_cast<PendingNotification*>(parameter);
  HeapFree(GetProcessHeap(), 0, parameter);
  Sleep(Control.delayMs);
  // The line goes to the log after the post and under the lock, so whatever
  // the player does in answer is logged after it.
  EnterCriticalSection(&LogLock);
  PostMessageA(pending.window, MM_MCINOTIFY, pending.code, static_cast<LPARAM>(pending.device));
  char line[128];
  wsprintfA(line, "notify window=%08X code=%u device=%u",
            static_cast<unsigned>(reinterpret_cast<UINT_PTR>(pending.window)),
            static_cast<unsigned>(pending.code), pending.device);
  WriteLogLine(line);
  LeaveCriticalSection(&LogLock);
  return 0;
}

void NotifyAfterDelay(HWND window, MCIDEVICEID device) {
  if (NotificationsSent >= Control.limit) return;
  auto* pending = static_cast<PendingNotification*>(
      HeapAlloc(GetProcessHeap(), 0, sizeof(PendingNotification)));
  if (pending == nullptr) return;
  *pending = {window, CodeOfNotification(NotificationsSent), device};
  ++NotificationsSent;
  HANDLE thread = CreateThread(nullptr, 0, NotifyLater, pending, 0, nullptr);
  if (thread != nullptr) CloseHandle(thread);
}

bool IsOpenDevice(MCIDEVICEID device) { return OpenedDevice != 0 && device == OpenedDevice; }

// Answers as the system does for the song: a missing file cannot be opened,
// and the identifier field is then left as it was.
MCIERROR AnswerOpen(DWORD flags, MCI_OPEN_PARMSA* params, char* line) {
  if (params == nullptr) {
    lstrcatA(line, " params=null");
    return MCIERR_NULL_PARAMETER_BLOCK;
  }
  bool typeIsText = (flags & MCI_OPEN_TYPE) != 0 && (flags & MCI_OPEN_TYPE_ID) == 0;
  bool elementIsText = (flags & MCI_OPEN_ELEMENT) != 0 && (flags & MCI_OPEN_ELEMENT_ID) == 0;
  LPCSTR type = typeIsText ? params->lpstrDeviceType : nullptr;
  LPCSTR element = elementIsText ? params->lpstrElementName : nullptr;
  MCIERROR result = 0;
  if (element == nullptr || GetFileAttributesA(element) == INVALID_FILE_ATTRIBUTES) {
    result = MCIERR_FILE_NOT_FOUND;
  } else {
    OpenedDevice = Control.deviceId;
    params->wDeviceID = OpenedDevice;
  }
  // The element goes last: it may hold blanks, so it runs to the line's end.
  wsprintfA(line + lstrlenA(line), " callback=%08X id=%u result=%u type=%s alias=%s element=%s",
            static_cast<unsigned>(params->dwCallback), params->wDeviceID, result,
            TextOrDash(type), TextOrDash(params->lpstrAlias), TextOrDash(element));
  return result;
}

MCIERROR AnswerPlay(MCIDEVICEID device, DWORD flags, MCI_PLAY_PARMS* params, char* line) {
  if (params == nullptr) {
    lstrcatA(line, " params=null");
  } else {
    wsprintfA(line + lstrlenA(line), " callback=%08X from=%u to=%u",
              static_cast<unsigned>(params->dwCallback), params->dwFrom, params->dwTo);
  }
  if (!IsOpenDevice(device)) return MCIERR_INVALID_DEVICE_ID;
  if ((flags & MCI_NOTIFY) != 0 && params != nullptr) {
    NotifyAfterDelay(reinterpret_cast<HWND>(params->dwCallback), device);
  }
  return 0;
}

MCIERROR AnswerOther(MCIDEVICEID device, DWORD_PTR params, char* line) {
  if (params == 0) {
    lstrcatA(line, " params=null");
  } else {
    wsprintfA(line + lstrlenA(line), " params=%08X", static_cast<unsigned>(params));
  }
  return IsOpenDevice(device) ? 0 : MCIERR_INVALID_DEVICE_ID;
}

}  // namespace

extern "C" MCIERROR WINAPI mciSendCommandA(MCIDEVICEID device, UINT command, DWORD_PTR flags,
                                           DWORD_PTR params) {
  EnterCriticalSection(&LogLock);
  char line[1024];
  wsprintfA(line, "call device=%u command=%04X flags=%08X", device, command,
            static_cast<unsigned>(flags));
  MCIERROR result;
  switch (command) {
    case MCI_OPEN:
      result = AnswerOpen(static_cast<DWORD>(flags), reinterpret_cast<MCI_OPEN_PARMSA*>(params), line);
      break;
    case MCI_PLAY:
      result = AnswerPlay(device, static_cast<DWORD>(flags), reinterpret_cast<MCI_PLAY_PARMS*>(params),
                          line);
      break;
    default:
      result = AnswerOther(device, params, line);
      break;
  }
  if (command != MCI_OPEN) wsprintfA(line + lstrlenA(line), " result=%u", result);
  WriteLogLine(line);
  LeaveCriticalSection(&LogLock);
  return result;
}

extern "C" BOOL WINAPI DoubleEntry(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    InitializeCriticalSection(&LogLock);
    CopyFolderOf(instance, LogPath, "mci-log.txt");
    CopyFolderOf(instance, ControlPath, "mci-notify.txt");
    LoadSettings();
    char line[64];
    wsprintfA(line, "attach process=%u", static_cast<unsigned>(GetCurrentProcessId()));
    WriteLogLine(line);
  }
  return TRUE;
}
