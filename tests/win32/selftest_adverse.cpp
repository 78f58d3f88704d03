// Checks of the backends where the system gets in the way: names only UTF-16 can hold, a
// replacement the system half did, the state folder and our own files reached through links, a
// cursor held back by another program, the tick's helper thread ending, a DPI awareness other
// than the manifest's.

#include "tests/win32/selftest_adverse.h"

#include <windows.h>

#include <tlhelp32.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_environment.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_tick.h"
#include "testkit/raised.h"
#include "tests/win32/check.h"

namespace pel::wintest {
namespace {

using test::ErrorNumberOf;

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD put = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
  CloseHandle(h);
}

// Unpaired surrogates, which NTFS names may hold, go through the conversion and back; bytes that
// are no UTF-8 of any kind, and a pair spelt as two lone surrogates, are refused.
void TestNamesWithLoneSurrogates(const std::string& dir) {
  const struct {
    std::wstring units;
    std::string bytes;
  } kept[] = {{L"a\u00e9\U0001F600", "a\xc3\xa9\xf0\x9f\x98\x80"},
              {std::wstring(L"x") + wchar_t(0xD83D) + L"y", "x\xed\xa0\xbdy"},
              {std::wstring(1, wchar_t(0xDE00)) + wchar_t(0xD83D), "\xed\xb8\x80\xed\xa0\xbd"}};
  int wrong = 0;
  for (const auto& k : kept) wrong += Narrow(k.units) != k.bytes || Widen(k.bytes) != k.units;
  for (const char* bad : {"\xed\xa0\xbd\xed\xb8\x80", "\xc0\xaf", "\xe2\x82", "\xf4\x90\x80\x80"})
    wrong += ErrorNumberOf([&] { Widen(bad); }) != err::kBadFileName;
  Check(wrong == 0, "text: unpaired surrogates kept both ways, malformed bytes refused",
        std::to_string(wrong) + " wrong");

  // A file whose name holds one, as the system lists it.
  const std::wstring name = Widen(dir) + L"lone" + wchar_t(0xD800) + L".mmf";
  WriteFileBytes(Narrow(name), "ok");
  WIN32_FIND_DATAW d;
  HANDLE find = FindFirstFileW((Widen(dir) + L"lone*.mmf").c_str(), &d);
  if (find == INVALID_HANDLE_VALUE) {
    Info("the file system takes no unpaired surrogate in a name here");
    return;
  }
  FindClose(find);
  Win32FileSystem fs;
  Check(fs.OpenRead(dir + Narrow(d.cFileName), FileUse::User)->Size() == 2,
        "files: a name with an unpaired surrogate opens as listed");
  DeleteFileW(name.c_str());
}

// ReplaceFileW's 1176 and 1177 leave the new bytes under their temporary name: when the target
// cannot take them either, they are kept, named in the message, and spared by the sweep.
void TestKeptReplacement(const std::string& dir) {
  const std::wstring temp = LongPath(Widen(dir)) + L"~pel0badc0d1.tmp";
  const std::wstring taken = LongPath(Widen(dir)) + L"kept.mmf";
  HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  FILETIME ft;  // an hour old: a stale temporary file to the sweep
  GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER u{{ft.dwLowDateTime, ft.dwHighDateTime}};
  u.QuadPart -= 3600ull * 10000000;
  ft = {u.LowPart, u.HighPart};
  SetFileTime(h, nullptr, nullptr, &ft);
  CloseHandle(h);
  CreateDirectoryW(taken.c_str(), nullptr);
  std::string said;
  const int32_t n = ErrorNumberOf(
      [&] { KeepReplacement(temp, taken, dir + "kept.mmf", ERROR_UNABLE_TO_MOVE_REPLACEMENT_2); },
      &said);
  Win32FileSystem().BeginReplace(dir + "sweep.mmf", FileUse::User);  // sweeps the folder
  Check(n != 0 && said.find("~pel0badc0d1.tmp") != std::string::npos &&
            GetFileAttributesW(temp.c_str()) != INVALID_FILE_ATTRIBUTES,
        "files: a half-done replacement keeps the new file, named and past the sweep", said);
  SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(temp.c_str());
  RemoveDirectoryW(taken.c_str());
}

// The state folder is %LOCALAPPDATA%\Pelmira and never a link; our own files are not read
// through one. The links are made where the system lets us (administrator, developer mode).
void TestStateFolderAndOwnFiles(const std::string& dir) {
  Win32Environment env;
  wchar_t local[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
  std::string folder;
  const int32_t error = ErrorNumberOf([&] { folder = env.StateFolder(); });
  Check(error == 0 && n > 0 && folder == Narrow(std::wstring(local, n)) + "\\Pelmira\\" &&
            (GetFileAttributesW(Widen(folder).c_str()) & FILE_ATTRIBUTE_DIRECTORY),
        "environment: the state folder is %LOCALAPPDATA%\\Pelmira", folder);

  CreateDirectoryW(Widen(dir + "elsewhere").c_str(), nullptr);
  WriteFileBytes(dir + "real.mmf", "x");
  const DWORD unprivileged = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  CreateSymbolicLinkW(Widen(dir + "own.mmf").c_str(), Widen(dir + "real.mmf").c_str(),
                      unprivileged);
  CreateSymbolicLinkW(Widen(dir + "Pelmira").c_str(), Widen(dir + "elsewhere").c_str(),
                      unprivileged | SYMBOLIC_LINK_FLAG_DIRECTORY);
  const DWORD link = GetFileAttributesW(Widen(dir + "own.mmf").c_str());
  if (link == INVALID_FILE_ATTRIBUTES || !(link & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !(GetFileAttributesW(Widen(dir + "Pelmira").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)) {
    Info("no symbolic links here: the state folder and own files are not checked against them");
    return;
  }
  SetEnvironmentVariableW(L"LOCALAPPDATA", Widen(dir.substr(0, dir.size() - 1)).c_str());
  std::string said;
  Check(ErrorNumberOf([&] { env.StateFolder(); }, &said) == err::kPermissionDenied,
        "environment: a state folder that is a link is refused", said);
  SetEnvironmentVariableW(L"LOCALAPPDATA", std::wstring(local, n).c_str());
  Win32FileSystem fs;
  Check(ErrorNumberOf([&] { fs.OpenRead(dir + "own.mmf", FileUse::Own); }, &said) ==
                err::kPermissionDenied &&
            ErrorNumberOf([&] { fs.OpenRead(dir + "own.mmf", FileUse::User); }) == 0,
        "files: a file of our own is not read through a link, the user's is", said);
}

// The events each SendInput call carried.
std::vector<UINT> g_sent;
UINT WINAPI RecordingSendInput(UINT count, LPINPUT events, int size) {
  g_sent.push_back(count);
  return SendInput(count, events, size);
}

// A cursor that another program confines is not clicked where it was held back; one moved
// away since its placement is moved back in the same SendInput as the click.
void TestHeldBackCursor() {
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  Win32Input input;
  input.SetSendInput(&RecordingSendInput);
  const RECT confined = {left, top, left + 100, top + 100};
  RECT clip{};
  if (!ClipCursor(&confined) || !GetClipCursor(&clip) || clip.right != left + 100) {
    Info("the cursor cannot be confined here");
  } else {
    g_sent.clear();
    const bool placed = input.SetCursorPos({left + 300, top + 300});
    const bool clicked = input.Click(MouseButton::Left);
    Check(!placed && !clicked && g_sent.empty(),
          "input: a cursor held back by ClipCursor is not placed, and no click is sent",
          input.LastDiagnostic());
  }
  ClipCursor(nullptr);

  // On the desktop's right edge, where the absolute move's rounding must land on the last
  // column; middle clicks, which do nothing there.
  g_sent.clear();
  const Point target{left + GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1,
                     top + GetSystemMetrics(SM_CYVIRTUALSCREEN) / 2 + 1};
  const bool placed = input.SetCursorPos(target);
  const bool in_place = input.Click(MouseButton::Middle);
  ::SetCursorPos(left + 20, top + 20);  // the user's hand
  const bool moved_back = input.Click(MouseButton::Middle);
  POINT at{};
  GetCursorPos(&at);
  Check(placed && in_place && moved_back && g_sent == std::vector<UINT>{2, 3} && at.x == target.x &&
            at.y == target.y,
        "input: a click where the cursor was placed, moved back in the same SendInput",
        std::to_string(at.x) + "," + std::to_string(at.y) + " " + input.LastDiagnostic());
}

// The tick source's helper thread, by the name it gives itself.
HANDLE OpenTickThread() {
  using GetDescriptionFn = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  const auto get_description = reinterpret_cast<GetDescriptionFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
  if (get_description == nullptr) return nullptr;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE found = nullptr;
  THREADENTRY32 t = {};
  t.dwSize = sizeof(t);
  for (BOOL ok = Thread32First(snap, &t); ok && found == nullptr; ok = Thread32Next(snap, &t)) {
    if (t.th32OwnerProcessID != GetCurrentProcessId()) continue;
    HANDLE thread =
        OpenThread(THREAD_QUERY_LIMITED_INFORMATION | THREAD_TERMINATE, FALSE, t.th32ThreadID);
    if (thread == nullptr) continue;
    PWSTR name = nullptr;
    if (SUCCEEDED(get_description(thread, &name)) && name != nullptr &&
        std::wstring(name) == kTickThreadName)
      found = thread;
    else
      CloseHandle(thread);
    LocalFree(name);
  }
  CloseHandle(snap);
  return found;
}

// Ticks until `count` came or `seconds` passed; how many came.
int PumpTicks(int& ticks, int count, double seconds) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  while (ticks < count && GetTickCount64() < end) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  return ticks;
}

// A recording never starts the tick again: when its helper thread ends, ticks go on from
// SetTimer.
void TestTickThreadEnding() {
  int ticks = 0;
  Win32TickSource source([&ticks] { ++ticks; });
  if (source.Start() != TickMode::HighResolutionWaitable) {
    Info("no high-resolution waitable timer here: no helper thread to end");
    return;
  }
  PumpTicks(ticks, 3, 2);
  HANDLE thread = OpenTickThread();
  if (thread == nullptr) {
    Info("the tick thread cannot be found by its name here");
    return;
  }
  TerminateThread(thread, 1);
  WaitForSingleObject(thread, 2000);
  CloseHandle(thread);
  ticks = 0;
  const bool ticking = PumpTicks(ticks, 10, 3) >= 10;
  Check(ticking && source.Mode() == TickMode::RaisedResolutionTimer,
        "ticks: go on from SetTimer when the helper thread ends", source.Describe());
}

// The awareness in force, not the manifest's, decides: a thread made system aware is told.
void TestDpiAwarenessInForce() {
  const auto set_context = reinterpret_cast<HANDLE(WINAPI*)(INT_PTR)>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
  if (set_context == nullptr) return Info("no per-thread DPI awareness here");
  HANDLE was = set_context(-2);  // system aware
  const std::string system = DpiAwarenessProblem();
  if (set_context(-4) == nullptr) set_context(-3);  // per monitor (v2; Wine knows only v1)
  const std::string per_monitor = DpiAwarenessProblem();
  set_context(reinterpret_cast<INT_PTR>(was));
  Check(system.find("system") != std::string::npos && per_monitor.empty(),
        "dpi: an awareness other than per monitor is told", system + " | " + per_monitor);
}

}  // namespace

void TestAdverse(const std::string& dir) {
  try {
    TestNamesWithLoneSurrogates(dir);
    TestKeptReplacement(dir);
    TestStateFolderAndOwnFiles(dir);
  } catch (const Error& e) {
    Check(false, "files: unexpected error", std::to_string(e.Number()) + " " + e.Description());
  }
  TestHeldBackCursor();
  TestTickThreadEnding();
  TestDpiAwarenessInForce();
}

}  // namespace pel::wintest
