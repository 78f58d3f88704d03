#include "platform/win32/win32_shell.h"

#include <sddl.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "platform/error.h"
#include "platform/win32/win32_text.h"

namespace pel::win32 {

namespace {

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

}  // namespace pel::win32
