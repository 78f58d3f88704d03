#include "platform/win32/win32_environment.h"

#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include "platform/error.h"
#include "platform/win32/win32_diagnostics.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"

namespace pel {

namespace {

std::optional<std::wstring> GetVar(const std::wstring& name) {
  std::wstring value(256, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD n =
        GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (n == 0) {
      // An empty value also returns 0, but leaves no error.
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::wstring();
    }
    if (n < value.size()) {
      value.resize(n);
      return value;
    }
    value.resize(n);  // n counts the terminating null when the buffer was too small
  }
}

bool IsBareRoot(const std::wstring& folder) {
  // "C:\", "\" or "\\server\share\" are roots; a folder below them has another separator.
  if (folder.size() <= 1) return true;
  if (folder.size() == 3 && folder[1] == L':') return true;
  if (folder.rfind(L"\\\\", 0) == 0) {
    size_t seps = 0;
    for (size_t i = 2; i < folder.size(); ++i)
      if (folder[i] == L'\\') ++seps;
    return seps <= 1;
  }
  return false;
}

// The user's local application data folder without a trailing separator; empty when unknown.
std::wstring LocalAppData() {
  auto local = GetVar(L"LOCALAPPDATA");
  if (local && local->size() > 3 && (*local)[1] == L':') {
    while (local->back() == L'\\') local->pop_back();
    return *local;
  }
  PWSTR known = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known))) folder = known;
  CoTaskMemFree(known);
  return folder;
}

// Why `folder` cannot hold what the program keeps for itself; nullptr when it can. `own`: the
// folder itself, which must not be a link either (the one above it may be: AppData moved
// elsewhere by a junction is still the user's).
const char* Unfit(const std::wstring& folder, bool own) {
  HANDLE h =
      CreateFileW(LongPath(folder).c_str(), READ_CONTROL,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | (own ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
  if (h == INVALID_HANDLE_VALUE) return "cannot be opened";
  BY_HANDLE_FILE_INFORMATION info;
  const char* why = nullptr;
  if (!GetFileInformationByHandle(h, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    why = "is not a folder";
  else if (own && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    why = "is a link";
  else if (!OwnedByThisUser(h))
    why = "is not this user's";
  CloseHandle(h);
  return why;
}

}  // namespace

std::string Win32Environment::StateFolder() {
  const std::wstring base = LocalAppData();
  if (base.empty())
    throw Error(err::kPathNotFound,
                DescribeError(err::kPathNotFound) + " (no local application data folder)",
                "Win32Environment");
  auto check = [](const std::wstring& folder, bool own) {
    if (const char* why = Unfit(folder, own))
      throw Error(
          err::kPermissionDenied,
          DescribeError(err::kPermissionDenied) + " (\"" + Narrow(folder) + "\" " + why + ")",
          "Win32Environment");
  };
  check(base, false);
  const std::wstring folder = base + L"\\Pelmira";
  CreateDirectoryW(LongPath(folder).c_str(), nullptr);  // an existing one is checked below
  check(folder, true);
  return Narrow(folder) + "\\";
}

std::optional<std::string> Win32Environment::Get(const std::string& name) {
  std::wstring w;
  try {
    w = Widen(name);
  } catch (const Error&) {
    return std::nullopt;
  }
  if (w.empty() || w.find(L'=') != std::wstring::npos) return std::nullopt;
  auto value = GetVar(w);
  if (!value) return std::nullopt;
  return Narrow(*value);
}

void Win32Environment::Notice(std::string_view line) {
  DiagnosticLine(line);
}

std::string Win32Environment::UserTempFolder() {
  wchar_t buf[MAX_PATH + 2] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, buf);
  std::wstring folder = (n > 0 && n <= MAX_PATH + 1) ? std::wstring(buf, n) : std::wstring();
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  if (IsBareRoot(folder)) {
    // GetTempPathW falls back to the Windows folder or a root when TMP and TEMP are unusable.
    auto local = GetVar(L"LOCALAPPDATA");
    if (local && !local->empty()) {
      folder = *local;
      if (folder.back() != L'\\') folder += L'\\';
      folder += L"Temp\\";
    }
  }
  return Narrow(folder);
}

std::wstring Win32Environment::ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);  // truncated: try again with more room
    if (path.size() > 32768 * 2) return {};
  }
}

std::string Win32Environment::ProgramFolder() {
  const std::wstring path = ModulePath();
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  return Narrow(path.substr(0, slash));
}

std::string Win32Environment::ExecutableBaseName() {
  std::wstring path = ModulePath();
  const size_t slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos) path.erase(0, slash + 1);
  const size_t dot = path.find_last_of(L'.');
  if (dot != std::wstring::npos && dot > 0) path.erase(dot);
  return Narrow(path);
}

}  // namespace pel
