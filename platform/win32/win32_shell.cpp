#include "platform/win32/win32_shell.h"

#include <sddl.h>
#include <shellapi.h>

#include <cstdio>
#include <exception>
#include <vector>

#include "platform/error.h"
#include "platform/win32/win32_text.h"

namespace pel {

namespace {

// How often a later start asks the running instance again to take its file.
constexpr DWORD kHandRetryMs = 100;

std::wstring UserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buf(size ? size : 1);
  std::wstring out;
  if (size != 0 && GetTokenInformation(token, TokenUser, buf.data(), size, &size)) {
    wchar_t* text = nullptr;
    if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid, &text)) {
      out = text;
      LocalFree(text);
    }
  }
  CloseHandle(token);
  return out;
}

std::wstring UserName() {
  wchar_t name[257];
  DWORD size = 257;
  if (!GetUserNameW(name, &size)) return L"unknown";
  std::wstring out(name);
  for (wchar_t& c : out)
    if (c == L'\\') c = L'_';  // a backslash would name a namespace
  return out;
}

}  // namespace

std::wstring InstanceMutexName() {
  // Local\: one namespace per logon session, so another user on the same machine (fast user
  // switching, remote desktop) runs an instance of their own.
  std::wstring who = UserSid();
  if (who.empty()) who = UserName();
  return L"Local\\Pelmira.Instance." + who;
}

Win32Shell::~Win32Shell() {
  if (mutex_ != nullptr) CloseHandle(mutex_);
}

HANDLE CreateInstanceMutex(const std::wstring& name, DWORD& error) {
  HANDLE h = CreateMutexW(nullptr, FALSE, name.c_str());
  error = GetLastError();
  return h;
}

bool Win32Shell::PreviousInstance() {
  if (tried_) return other_;
  tried_ = true;
  // A mutex rather than a window search: it exists from the first instance's start-up, before
  // any window, and the system removes it when its last holder ends, however it ends.
  DWORD code = ERROR_SUCCESS;
  HANDLE h = open_mutex_(InstanceMutexName(), code);
  if (h == nullptr) {
    // A first instance run as administrator made the mutex with a default DACL that does not
    // let this unelevated one open it: it exists, so another instance runs. Any other failure
    // cannot tell, and must never refuse to start.
    other_ = code == ERROR_ACCESS_DENIED;
    return other_;
  }
  if (code == ERROR_ALREADY_EXISTS) {
    CloseHandle(h);
    other_ = true;
    return true;
  }
  mutex_ = h;
  return false;
}

bool HandFileToRunningInstance(const wchar_t* window_class, const std::string& file,
                               UINT timeout_ms) {
  std::wstring path;
  try {
    path = Widen(file);
  } catch (const std::exception&) {
    return false;
  }
  COPYDATASTRUCT data{kHandFileTag, static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)),
                      path.data()};
  // The running instance may still be starting (no window yet, or one that takes no file yet):
  // two files opened together start two copies at once. Asked again until the time is up.
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    const ULONGLONG spent = GetTickCount64() - start;
    if (spent >= timeout_ms) return false;
    const auto left = static_cast<UINT>(timeout_ms - spent);
    // Every window of the class is asked: a later start that is showing its running-instance
    // message has one too, and refuses.
    for (HWND w = FindWindowExW(nullptr, nullptr, window_class, nullptr); w != nullptr;
         w = FindWindowExW(nullptr, w, window_class, nullptr)) {
      DWORD_PTR taken = FALSE;
      // SMTO_ABORTIFHUNG: a hung instance is not waited for. An instance run as administrator
      // never gets the message (the system keeps it from lower integrity levels).
      if (SendMessageTimeoutW(w, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                              SMTO_ABORTIFHUNG | SMTO_BLOCK, left, &taken) &&
          taken == TRUE)
        return true;
    }
    Sleep(kHandRetryMs);
  }
}

std::optional<std::string> HandedFile(const COPYDATASTRUCT& data) {
  const size_t units = data.cbData / sizeof(wchar_t);
  if (data.dwData != kHandFileTag || data.lpData == nullptr || data.cbData % sizeof(wchar_t) != 0 ||
      units < 2 || units > 32768)
    return std::nullopt;
  const auto* text = static_cast<const wchar_t*>(data.lpData);
  // One terminator, at the end: a NUL inside would make the system open a shorter name.
  if (wcsnlen(text, units) != units - 1) return std::nullopt;
  // Narrow would turn an unpaired surrogate into U+FFFD, the name of some other file.
  const int in = static_cast<int>(units - 1);
  const int n =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, in, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::nullopt;
  std::string path(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, in, path.data(), n, nullptr, nullptr);
  return path;
}

namespace {

// The handle for `which`, or INVALID_HANDLE_VALUE.
HANDLE StdHandle(DWORD which) {
  const HANDLE given = GetStdHandle(which);
  if (given != nullptr && given != INVALID_HANDLE_VALUE && GetFileType(given) != FILE_TYPE_UNKNOWN)
    return given;
  // A GUI program gets no console; the one of the command prompt that started it is borrowed.
  static const HANDLE console = [] {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return INVALID_HANDLE_VALUE;
    return CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
  }();
  return console;
}

}  // namespace

void WriteStd(DWORD which, std::string_view text) {
  const HANDLE out = StdHandle(which);
  if (out == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(out, &mode)) {
    std::string lines;
    for (char c : text) {
      if (c == '\n') lines += '\r';
      lines += c;
    }
    std::wstring converted;
    try {
      converted = Widen(lines);
    } catch (const std::exception&) {
      converted.assign(lines.begin(), lines.end());
    }
    WriteConsoleW(out, converted.data(), static_cast<DWORD>(converted.size()), &written, nullptr);
    return;
  }
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Win32Shell::OpenUrl(const std::string& url) {
  const std::wstring target = Widen(url);
  // Minimised with the focus, as the start-up sequence asks for.
  const auto rc = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWMINIMIZED));
  if (rc <= 32) {
    throw Error(err::kFileNotFound, "File not found: no web browser could be started for " + url +
                                        " (ShellExecuteW " + std::to_string(rc) + ")");
  }
}

void Win32Shell::EndProgram() {
  std::fflush(nullptr);
  // Ending here, in the middle of a handler, must not run destructors under the handler's feet.
  // The system closes every window, stops the tick thread and releases the instance mutex.
  ExitProcess(0);
}

}  // namespace pel
