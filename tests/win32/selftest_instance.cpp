// The single-instance rule and the hand-over of a file to the running instance.

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <optional>
#include <string>

#include "platform/win32/win32_instance.h"
#include "tests/win32/check.h"
#include "tests/win32/selftest.h"

namespace pel::wintest {
namespace {

DWORD g_injected = 0;
HANDLE FailingMutex(const std::wstring&, DWORD& error) {
  error = g_injected;
  return nullptr;
}

// The running instance is still starting when a later start hands it a file: its window comes
// late, or takes no file at first. The later start keeps asking until its time is up.
ULONGLONG g_window_at = 0, g_takes_from = 0;  // GetTickCount64 moments
LRESULT CALLBACK LateProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COPYDATA)
    return GetTickCount64() >= g_takes_from &&
                   HandedFile(*reinterpret_cast<const COPYDATASTRUCT*>(lp))
               ? TRUE
               : FALSE;
  return DefWindowProcW(h, msg, wp, lp);
}
DWORD WINAPI LateWindow(void*) {
  while (GetTickCount64() < g_window_at) Sleep(10);
  HWND h = CreateWindowExW(0, L"PelSelftestLate", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  for (const ULONGLONG end = GetTickCount64() + 2000; GetTickCount64() < end;) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  DestroyWindow(h);
  return 0;
}

}  // namespace

// A first instance run as administrator leaves a mutex an unelevated one may not open, and
// WM_COPYDATA cannot reach it: a file is not handed to it, without waiting for an answer.
void TestInstanceMutex() {
  g_injected = ERROR_ACCESS_DENIED;
  std::string detail;
  Win32Instance elevated(&FailingMutex);
  Check(elevated.Claim(detail) == Instance::Claimed::Running,
        "instance: mutex access denied means another instance runs");
  const ULONGLONG asked = GetTickCount64();
  const bool blocked = elevated.Hand("C:\\a.mmf", 5000) == Instance::Handed::Blocked;
  const ULONGLONG took = GetTickCount64() - asked;
  Check(blocked && took < 1000, "instance: a file for an elevated instance is blocked at once",
        std::to_string(took) + " ms");
  g_injected = ERROR_INVALID_NAME;
  Check(Win32Instance(&FailingMutex).Claim(detail) == Instance::Claimed::Taken,
        "instance: any other failure lets the program start");
  // The same through the system: a mutex of that name whose DACL grants only SYNCHRONIZE.
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x00100000;;;WD)", 1,
                                                            &sa.lpSecurityDescriptor, nullptr))
    return;
  HANDLE guarded = CreateMutexW(&sa, FALSE, InstanceMutexName().c_str());
  LocalFree(sa.lpSecurityDescriptor);
  HANDLE again = CreateMutexW(nullptr, FALSE, InstanceMutexName().c_str());
  const DWORD code = GetLastError();
  Info("CreateMutexW on a mutex that grants only SYNCHRONIZE: " +
       std::string(again ? "opened" : "failed") + ", GetLastError " + std::to_string(code));
  if (again != nullptr) CloseHandle(again);
  if (guarded != nullptr) {
    Check(Win32Instance().Claim(detail) == Instance::Claimed::Running,
          "instance: mutex held by another instance found");
    CloseHandle(guarded);
  }
}

// What a later start (or any other program) may send as WM_COPYDATA: only a clean path is taken.
void TestHandedFiles() {
  const struct {
    std::wstring units;  // The data, terminator included where there is one
    ULONG_PTR tag;
    const char* want;  // nullptr: refused
    const char* what;
  } cases[] = {
      {std::wstring(L"C:\\a\\b.mmf") + L'\0', kHandFileTag, "C:\\a\\b.mmf", "a plain path"},
      {std::wstring(L"C:\\\u00e9\U0001F600.mmf") + L'\0', kHandFileTag,
       "C:\\\xc3\xa9\xf0\x9f\x98\x80.mmf", "a paired surrogate"},
      {std::wstring(L"C:\\a.mmf") + L'\0', 0x1234, nullptr, "another sender's tag"},
      {std::wstring(L"C:\\a.mmf", 8), kHandFileTag, nullptr, "no terminator"},
      {std::wstring(L"C:\\a\0b.mmf", 10) + L'\0', kHandFileTag, nullptr, "an embedded NUL"},
      {std::wstring(L"C:\\a.mmf") + L'\0' + L'\0', kHandFileTag, nullptr, "two terminators"},
      {std::wstring(L"C:\\a") + wchar_t(0xD83D) + L".mmf" + L'\0', kHandFileTag,
       "C:\\a\xed\xa0\xbd.mmf", "an unpaired high surrogate (as WTF-8)"},
      {std::wstring(L"C:\\a") + wchar_t(0xDE00) + L'\0', kHandFileTag, "C:\\a\xed\xb8\x80",
       "an unpaired low surrogate at the end"},
  };
  for (const auto& c : cases) {
    std::wstring data = c.units;
    COPYDATASTRUCT cds{c.tag, static_cast<DWORD>(data.size() * sizeof(wchar_t)), data.data()};
    const std::optional<std::string> got = HandedFile(cds);
    const bool ok = c.want == nullptr ? !got.has_value() : got && *got == c.want;
    Check(ok, std::string("hand-over: ") + (c.want ? "takes " : "refuses ") + c.what,
          got ? *got : "refused");
  }
}

void RegisterTestClass(const wchar_t* name, WNDPROC proc) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = name;
  RegisterClassExW(&wc);
}

void TestHandOverWhileStarting() {
  RegisterTestClass(L"PelSelftestLate", &LateProc);
  const struct {
    int window_ms, takes_ms;
    const char* what;
  } cases[] = {{300, 300, "no window yet"}, {0, 300, "a window that takes no file yet"}};
  for (const auto& c : cases) {
    const ULONGLONG now = GetTickCount64();
    g_window_at = now + static_cast<ULONGLONG>(c.window_ms);
    g_takes_from = now + static_cast<ULONGLONG>(c.takes_ms);
    HANDLE thread = CreateThread(nullptr, 0, &LateWindow, nullptr, 0, nullptr);
    const bool taken =
        HandFileToRunningInstance(L"PelSelftestLate", "C:\\a.mmf", 1500) == Instance::Handed::Taken;
    const ULONGLONG took = GetTickCount64() - now;
    if (thread != nullptr) {
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
    }
    // Retried every 100 ms: taken soon after the window can take it, well inside the timeout.
    const ULONGLONG ready = static_cast<ULONGLONG>(std::max(c.window_ms, c.takes_ms) + 700);
    Check(taken && took < ready, std::string("hand-over: taken by an instance with ") + c.what,
          std::to_string(took) + " ms");
  }
}

}  // namespace pel::wintest
