#pragma once
// The Windows self-test: one program, its checks grouped by backend in selftest_*.cpp and run
// in turn by selftest.cpp's main. Each check prints a PASS or FAIL line (check.h), measurements
// print INFO lines.

#include <windows.h>

#include <cstdio>
#include <string>

namespace pel::wintest {

inline void Info(const std::string& text) {
  std::printf("INFO %s\n", text.c_str());
  std::fflush(stdout);
}

// Files, in `dir` (ending with a backslash); `links` as main() takes it.
void TestFiles(const std::string& dir);
void TestLongPathsLinksAndAcls(const std::string& dir, const std::string& links);
void TestReplaceHeldFiles(const std::string& dir);
void TestNamesWithLoneSurrogates(const std::string& dir);
void TestKeptReplacement(const std::string& dir);
void TestStateFolderAndOwnFiles(const std::string& dir);
// Removes `folder` (ending with a backslash) and everything in it.
void RemoveTree(const std::string& folder);

// The single instance and the hand-over of files.
void TestInstanceMutex();
void TestHandedFiles();
void TestHandOverWhileStarting();
// Registers a window class of the test's own.
void RegisterTestClass(const wchar_t* name, WNDPROC proc);

void TestEnvironment();
void TestDpiAwarenessInForce();

// Input.
void TestInput();
void TestRawInputLatch();
void TestRawInputWakes();
void TestInputEvents();
void TestHeldBackCursor();

// Windows. Run with COM initialised on the calling thread.
void TestIndicatorIconAcrossDpiChanges();

// The clock and the tick sources.
void TestClock();
void TestTicks();
void TestTickRestarts();
void TestTickOnce();
void TestTickThreadEnding();

// The windows on screen.
void TestWindowsOnScreen();

}  // namespace pel::wintest
