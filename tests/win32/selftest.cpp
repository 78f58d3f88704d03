// Checks the Win32 backends against the real system (run under Wine by wine_e2e_test.cpp);
// the checks themselves are in selftest_*.cpp, by backend.
// Prints one PASS or FAIL line per check and INFO lines with measurements; exit code 1 when
// any check failed.

#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <string>

#include "platform/error.h"
#include "platform/win32/win32_environment.h"
#include "platform/win32/win32_text.h"
#include "tests/win32/check.h"
#include "tests/win32/selftest.h"

using namespace pel;
using namespace pel::wintest;

// argv[1], when given: a folder holding a symbolic link "link.mmf" to "real.mmf" (with its
// separator), for a system where the test cannot make one itself.
int main(int argc, char** argv) {
  const std::string links = argc > 1 ? argv[1] : "";
  Win32Environment env;
  const std::string dir =
      env.UserTempFolder() + "pel_selftest_" + std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryW(Widen(dir).c_str(), nullptr);
  try {
    TestFiles(dir);
  } catch (const Error& e) {
    Check(false, "files: unexpected error", std::to_string(e.Number()) + " " + e.Description());
  }
  try {
    TestLongPathsLinksAndAcls(dir, links);
  } catch (const Error& e) {
    Check(false, "files: unexpected error", std::to_string(e.Number()) + " " + e.Description());
  }
  try {
    TestReplaceHeldFiles(dir);
  } catch (const Error& e) {
    Check(false, "files: unexpected error", std::to_string(e.Number()) + " " + e.Description());
  }
  try {
    TestNamesWithLoneSurrogates(dir);
    TestKeptReplacement(dir);
    TestStateFolderAndOwnFiles(dir);
  } catch (const Error& e) {
    Check(false, "files: unexpected error", std::to_string(e.Number()) + " " + e.Description());
  }
  RemoveTree(dir);
  TestInstanceMutex();
  TestHandedFiles();
  TestHandOverWhileStarting();
  try {
    TestEnvironment();
  } catch (const Error& e) {
    Check(false, "environment: unexpected error", e.Description());
  }
  TestDpiAwarenessInForce();
  TestClock();
  TestInput();
  TestRawInputLatch();
  TestRawInputWakes();
  TestInputEvents();
  TestHeldBackCursor();
  {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    try {
      TestIndicatorIconAcrossDpiChanges();
    } catch (const Error& e) {
      Check(false, "indicator: unexpected error", e.Description());
    }
    if (SUCCEEDED(com)) CoUninitialize();
  }
  TestTicks();
  TestTickRestarts();
  TestTickOnce();
  TestTickThreadEnding();
  TestWindowsOnScreen();
  std::printf("SUMMARY %d passed, %d failed\n", wintest::passed, wintest::failed);
  return wintest::failed == 0 ? 0 : 1;
}
