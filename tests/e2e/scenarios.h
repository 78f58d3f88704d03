#pragma once
// End-to-end scenarios written once for both programs: the Linux program on its own Xvfb and
// Pelmira.exe under Wine (tests/win32/wine_program.h). A Program says how a user's action is
// done on its platform; the scenarios say what the user does and what must be seen.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/program_on_x.h"

namespace pel::e2e {

// A window of another program at a known place that logs the button events it receives.
class ClickTarget {
 public:
  virtual ~ClickTarget() = default;
  // Every press and release so far, in window pixels.
  virtual std::vector<x11test::ObserverWindow::ButtonEvent> Events() = 0;
};

class Program {
 public:
  virtual ~Program() = default;
  virtual const std::string& Display() const = 0;
  virtual XLook& Look() = 0;
  // Starts one more instance; its process id.
  virtual pid_t Start() = 0;
  virtual bool Running(pid_t pid) = 0;
  // Runs xdotool with `args` on the test's display; true on success.
  virtual bool Xdo(const std::string& args) = 0;
  // Presses one of the program's global keys (F9, F10, Pause, F12) the way its platform sees it.
  virtual bool Key(const std::string& key) = 0;
  // A folder for the test's own files (a Linux path).
  virtual std::string Root() = 0;
  // `path` (a Linux path) as a user types it into the program's file dialogs.
  virtual std::string DialogPath(const std::string& path) = 0;
  // The outline file `name` (recfrm.shp, playfrm.shp) where the program stores it.
  virtual std::string OutlinePath(const std::string& name) = 0;
  // Opens a click target window at screen pixels (x, y) of w x h.
  virtual std::unique_ptr<ClickTarget> Target(int x, int y, int w, int h) = 0;
  // What the instances wrote, for failure messages.
  virtual std::string Output() = 0;
  // Extra allowance for the recorded delays, in milliseconds, above one tick of the poll.
  virtual double DelaySlackMs() const { return 0; }

  // Starts the first instance and waits for its main window.
  TopWindow StartMain();
  bool ClickControl(const TopWindow& main, ControlId id);
  // Presses the Save or Load button and answers the file dialog `title` with `path`.
  void UseFileDialog(const TopWindow& main, ControlId button, const std::string& title,
                     const std::string& path);
  pid_t main_pid = 0;
};

// The Linux program on its own Xvfb (one per test).
class LinuxProgram : public Program, private ProgramOnX {
 public:
  const std::string& Display() const override { return x_.Display(); }
  XLook& Look() override { return look_; }
  pid_t Start() override { return app_.Start(); }
  bool Running(pid_t pid) override { return app_.Running(pid); }
  bool Xdo(const std::string& args) override { return app_.Xdo(args); }
  bool Key(const std::string& key) override { return app_.Xdo("key " + key); }
  std::string Root() override { return app_.Root(); }
  std::string DialogPath(const std::string& path) override { return path; }
  std::string OutlinePath(const std::string& name) override { return app_.Temp() + name; }
  std::unique_ptr<ClickTarget> Target(int x, int y, int w, int h) override;
  std::string Output() override { return app_.Output(); }
  const x11test::Xvfb& Server() const { return x_; }
  Pelmira& App() { return app_; }
};

namespace scenario {
// F10, moves and clicks of the three buttons with known gaps, Pause, Save As: the file has the
// header, one entry per move and click at its place with the gap as made, CR LF lines.
void RecordsAPathWithClicksAndSavesIt(Program& p);
// A file loaded through the Open dialog plays in a loop on F9: the pointer visits every place
// and nothing else, every click reaches another program's window at its place in order, the
// shaped playing indicator stands at the top right; Pause stops all of it.
void LoadsAFileAndPlaysItInALoopUntilPause(Program& p);
// F10, a drag, a notch each way on both wheels and a click of each side button over another
// program's window, Pause, F9: the drag reaches the window as a press at its start and a release
// at its end, then the wheel steps and the side buttons in order, at their places.
void RecordsADragTheWheelAndTheSideButtonsAndPlaysThem(Program& p);
}  // namespace scenario

}  // namespace pel::e2e
