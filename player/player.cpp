// The MIDI player: plays the song beside its own executable through the
// system's sequencer device, once or over and over, behind one window that is
// never shown and exists only to receive the completion notifications.
#include <windows.h>
#include <mmsystem.h>

#include "messages.h"
#include "paths.h"
#include "text.h"

namespace {

const char kClassName[] = "WinMin : Main";
const char kWindowTitle[] = "Win Min";
const char kDeviceType[] = "sequencer";
const char kLoopCharacter = '1';
// What a text-file read yields at the end of the file; it means "play once".
const char kEndOfFileCharacter = 0x1A;
const DWORD kOwnPathCapacity = 261;
const DWORD kOpenTypeAndElement = MCI_OPEN_TYPE | MCI_OPEN_ELEMENT;  // 0x2200

// Process-wide state: zero at start, written during start-up, afterwards only
// read by the window procedure.
WNDCLASSEXA WindowClass;
HWND NotifyWindow;
MSG MessageRecord;
MCI_OPEN_PARMSA OpenParams;
MCI_PLAY_PARMS PlayParams;
DWORD OpenFlags;
MCIDEVICEID DeviceId;
int32_t CutPosition;  // 1-based position where the file name starts
char LoopFlag;
HANDLE LoopFlagFile;
char PlayerFolder[kOwnPathCapacity];
int32_t WindowWidth;
int32_t WindowHeight;

// Room for the folder and the longer of the two file names.
char LoopFlagPath[kOwnPathCapacity + 16];
char SongPath[kOwnPathCapacity + 16];

[[noreturn]] void ReportRuntimeError(DWORD number, uint32_t place) {
  char text[64];
  core::FormatRuntimeError(number, place, text, sizeof text);
  MessageBoxA(nullptr, text, core::kErrorCaption, MB_OK);
  ExitProcess(number);
}

// Kept out of line so that its return address names the failed check: the
// report shows that place as an offset within the loaded image, which stays
// the same wherever the system loads the player.
__attribute__((noinline, noclone)) void CheckIo(bool succeeded) {
  if (succeeded) return;
  DWORD number = GetLastError();
  uintptr_t returnAddress = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  uintptr_t imageBase = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
  ReportRuntimeError(number, static_cast<uint32_t>(returnAddress - imageBase));
}

void FindPlayerFolder() {
  char ownPath[kOwnPathCapacity];
  DWORD length = GetModuleFileNameA(nullptr, ownPath, kOwnPathCapacity);
  if (length >= kOwnPathCapacity) length = kOwnPathCapacity - 1;
  // Cut at the last separator, so the player may be stored under any name.
  CutPosition = static_cast<int32_t>(core::FolderPrefixLength(ownPath, length)) + 1;
  core::TextBuffer folder = core::MakeText(PlayerFolder, sizeof PlayerFolder);
  core::AppendBytes(&folder, ownPath, static_cast<size_t>(CutPosition - 1));
}

void BuildPlayerFile(const char* name, char* out, size_t capacity) {
  core::TextBuffer path = core::MakeText(out, capacity);
  core::Append(&path, PlayerFolder);
  core::Append(&path, name);
}

void ReadLoopFlag() {
  BuildPlayerFile(core::kLoopFlagFileName, LoopFlagPath, sizeof LoopFlagPath);
  LoopFlagFile = CreateFileA(LoopFlagPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  CheckIo(LoopFlagFile != INVALID_HANDLE_VALUE);
  DWORD bytesRead = 0;
  CheckIo(ReadFile(LoopFlagFile, &LoopFlag, 1, &bytesRead, nullptr) != FALSE);
  if (bytesRead == 0) LoopFlag = kEndOfFileCharacter;
  CheckIo(CloseHandle(LoopFlagFile) != FALSE);
}

void OpenSong() {
  BuildPlayerFile(core::kPlayerSongName, SongPath, sizeof SongPath);
  OpenParams.dwCallback = 0;
  OpenParams.wDeviceID = 0;
  OpenParams.lpstrDeviceType = kDeviceType;
  OpenParams.lpstrElementName = SongPath;
  OpenParams.lpstrAlias = nullptr;
  OpenFlags = kOpenTypeAndElement;
  // A song that cannot be opened goes unnoticed: the play request then fails
  // as well and no notification ever comes.
  mciSendCommandA(0, MCI_OPEN, OpenFlags, reinterpret_cast<DWORD_PTR>(&OpenParams));
  DeviceId = OpenParams.wDeviceID;
}

void PlayWithNotification() {
  mciSendCommandA(DeviceId, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&PlayParams));
}

void StartSong() {
  FindPlayerFolder();
  ReadLoopFlag();
  OpenSong();
  PlayParams.dwCallback = reinterpret_cast<DWORD_PTR>(NotifyWindow);
  PlayWithNotification();
}

LRESULT CALLBACK PlayerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case MM_MCINOTIFY:
      // Whatever ended the play (success, abort, failure), a loop goes on.
      if (LoopFlag == kLoopCharacter) {
        mciSendCommandA(DeviceId, MCI_SEEK, MCI_SEEK_TO_START, 0);
        PlayWithNotification();
      }
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void RegisterPlayerClass(HINSTANCE instance) {
  WindowClass.cbSize = sizeof WindowClass;
  WindowClass.style = CS_HREDRAW | CS_VREDRAW;
  WindowClass.lpfnWndProc = PlayerWindowProc;
  WindowClass.cbClsExtra = 0;
  WindowClass.cbWndExtra = 0;
  WindowClass.hInstance = instance;
  WindowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  WindowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  WindowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  WindowClass.lpszMenuName = nullptr;
  WindowClass.lpszClassName = kClassName;
  RegisterClassExA(&WindowClass);
}

// The window is never shown, so the show state that the starting process
// asks for is never applied to it.
void CreateNotifyWindow(HINSTANCE instance) {
  WindowWidth = 400;
  WindowHeight = 250;
  NotifyWindow = CreateWindowExA(0, kClassName, kWindowTitle, WS_OVERLAPPEDWINDOW, 100, 150,
                                 WindowWidth, WindowHeight, nullptr, nullptr, instance, nullptr);
}

UINT PlayerMain() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterPlayerClass(instance);
  CreateNotifyWindow(instance);
  StartSong();
  while (GetMessageA(&MessageRecord, nullptr, 0, 0) != 0) {
    TranslateMessage(&MessageRecord);
    DispatchMessageA(&MessageRecord);
  }
  return 0;
}

}  // namespace

// The entry point the linker is told about: the player needs no C runtime.
extern "C" void __stdcall PlayerEntry() { ExitProcess(PlayerMain()); }
