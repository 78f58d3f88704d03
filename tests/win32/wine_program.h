#pragma once
// Pelmira.exe under Wine, for the shared end-to-end scenarios and the Windows-only ones, on one
// Xvfb for the whole run. scripts/wine-tests.sh starts Wine (prefix, server) and hands over
// through the environment: WINEPREFIX, PEL_WINE (the wine program), PEL_MINGW_BUILD (the MinGW
// build folder) and PEL_WINE_WORK (a folder for logs and files).
//
// Wine reads keys only while one of its windows has the X focus, and its injected clicks reach
// only its own windows: keys go to the main window (or the click target), and the click target
// is a window of the probe (tests/win32/win_probe.cpp), which logs what it receives.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/scenarios.h"

namespace pel::e2e {

class WineProgram : public Program {
 public:
  // False (and the tests skip) when the script did not start Wine.
  static bool Available();
  WineProgram();
  // Closes every window of the programs it started and waits for them to end.
  ~WineProgram() override;

  const std::string& Display() const override { return display_; }
  XLook& Look() override { return look_; }
  pid_t Start() override { return Launch(Pelmira(), {}); }
  bool Running(pid_t pid) override { return children_.Running(pid); }
  bool Xdo(const std::string& args) override;
  bool Key(const std::string& key) override;
  std::string Root() override { return root_; }
  std::string DialogPath(const std::string& path) override { return WinPath(path); }
  std::string OutlinePath(const std::string& name) override;
  std::unique_ptr<ClickTarget> Target(int x, int y, int w, int h) override;
  std::string Output() override;
  double DelaySlackMs() const override { return 10; }

  // Paths of the Windows programs and of the test's files.
  std::string Pelmira() const { return build_ + "/programs/windows/Pelmira.exe"; }
  std::string TestProgram(const std::string& name) const {
    return build_ + "/tests/win32/" + name + ".exe";
  }
  static std::string WinPath(const std::string& path);  // Z:\... for a Linux path

  // Starts a Windows program (`exe`, a Linux path); output in Root()/<n>.log.
  pid_t Launch(const std::string& exe, const std::vector<std::string>& args);
  // Runs a Windows program, or a command of wine itself (reg, ...), to its end: its exit status
  // (-1 on timeout) and its output without CRs in `out`.
  int Run(const std::string& exe, const std::vector<std::string>& args, std::string* out = nullptr,
          std::chrono::seconds timeout = std::chrono::seconds(60));
  // Runs the probe and returns its output.
  std::string Probe(const std::vector<std::string>& args);
  std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds timeout = 30s) {
    return children_.WaitExit(pid, timeout);
  }
  // Closes the window of class `cls` as its close button does.
  void Close(const std::string& cls) { Probe({"close", cls}); }
  // Removes the stored outlines, so that the next indicator scans its picture again.
  void ForgetOutlines();
  // Presses `key` with the X focus on the window `id`.
  bool KeyTo(unsigned long id, const std::string& key);

 private:
  static const std::string& RunDisplay();
  std::string display_, wine_, build_, root_;
  XLook look_;
  Children children_;
};

}  // namespace pel::e2e
