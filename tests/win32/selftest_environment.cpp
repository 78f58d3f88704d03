// The environment backend: variables, the temporary and program folders; the DPI awareness in
// force.

#include <windows.h>

#include <string>

#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_environment.h"
#include "platform/win32/win32_text.h"
#include "tests/win32/check.h"
#include "tests/win32/selftest.h"

namespace pel::wintest {

void TestEnvironment() {
  Win32Environment env;
  wchar_t buf[4096];
  const DWORD n = GetEnvironmentVariableW(L"TEMP", buf, 4096);
  auto temp = env.Get("TEMP");
  Check(n > 0 && temp && *temp == Narrow(std::wstring(buf, n)), "environment: TEMP read",
        temp ? *temp : "unset");
  SetEnvironmentVariableW(L"PEL_SELFTEST_EMPTY", L"");
  auto empty = env.Get("PEL_SELFTEST_EMPTY");
  Check(empty.has_value() && empty->empty(), "environment: empty value is set, not missing");
  Check(!env.Get("PEL_SELFTEST_UNSET").has_value(), "environment: unset variable is missing");
  const std::wstring long_value(1000, L'x');
  SetEnvironmentVariableW(L"PEL_SELFTEST_LONG", (long_value + L"\u00e9").c_str());
  auto lv = env.Get("PEL_SELFTEST_LONG");
  Check(lv && *lv == std::string(1000, 'x') + "\xc3\xa9", "environment: long non-ASCII value");
  Check(!env.Get("").has_value() && !env.Get("A=B").has_value(),
        "environment: malformed names are missing");

  const std::string user_temp = env.UserTempFolder();
  const DWORD attrs = GetFileAttributesW(Widen(user_temp).c_str());
  Check(!user_temp.empty() && user_temp.back() == '\\' && user_temp.size() > 3 &&
            attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY),
        "environment: user temp folder exists and ends in a backslash", user_temp);
  Info("user temp folder: " + user_temp);

  const std::string folder = env.ProgramFolder();
  const std::string base = env.ExecutableBaseName();
  Check(!folder.empty() && folder.back() != '\\', "environment: program folder without separator",
        folder);
  Check(base == "pel_win32_selftest", "environment: executable base name", base);
  Check(GetFileAttributesW(Widen(folder + "\\" + base + ".exe").c_str()) != INVALID_FILE_ATTRIBUTES,
        "environment: program file is found in the program folder");
  Check(env.Separator() == '\\', "environment: separator");
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

}  // namespace pel::wintest
