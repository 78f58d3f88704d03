// Everything the mouse does, through the real program on a private X server: a click, a drag, a
// long hold, wheel notches on both axes and the side buttons, made with XTest while --record
// runs (sampling every tick, and with --every-event), then played with --play into a window of
// another client that logs what reaches it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "engine/motionfile/motion_entry.h"
#include "tests/e2e/program_on_x.h"

// Last: its macros (None, Bool, Status) would clash with names of the headers above.
#include <X11/Xlib.h>

namespace pel::e2e {
namespace {

// A window of another client that logs the presses, releases and moves that reach it, with the
// buttons held at each and the server's time.
class PointerLog {
 public:
  struct Event {
    int type;         // ButtonPress, ButtonRelease or MotionNotify
    unsigned button;  // of a press or release
    int x, y;         // in the window
    unsigned state;   // the buttons held before the event
    unsigned long time;
  };

  PointerLog(const std::string& display, int x, int y, unsigned width, unsigned height) {
    display_ = XOpenDisplay(display.c_str());
    if (!display_) throw std::runtime_error("PointerLog: cannot open " + display);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.event_mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | StructureNotifyMask;
    const Window root = DefaultRootWindow(display_);
    window_ = XCreateWindow(display_, root, x, y, width, height, 0, CopyFromParent, InputOutput,
                            CopyFromParent, CWOverrideRedirect | CWEventMask, &a);
    XMapRaised(display_, window_);
    if (!x11test::WaitUntil([&] {
          Read();
          return mapped_;
        }))
      throw std::runtime_error("PointerLog: the window was not mapped");
  }
  ~PointerLog() { XCloseDisplay(display_); }
  PointerLog(const PointerLog&) = delete;
  PointerLog& operator=(const PointerLog&) = delete;

  const std::vector<Event>& Events() {
    Read();
    return events_;
  }

 private:
  void Read() {
    XSync(display_, False);
    while (XPending(display_) > 0) {
      XEvent e;
      XNextEvent(display_, &e);
      if (e.type == MapNotify) mapped_ = true;
      if (e.type == ButtonPress || e.type == ButtonRelease)
        events_.push_back(
            {e.type, e.xbutton.button, e.xbutton.x, e.xbutton.y, e.xbutton.state, e.xbutton.time});
      if (e.type == MotionNotify)
        events_.push_back({e.type, 0, e.xmotion.x, e.xmotion.y, e.xmotion.state, e.xmotion.time});
    }
  }
  Display* display_;
  Window window_ = 0;
  bool mapped_ = false;
  std::vector<Event> events_;
};

// What the user does, at root pixels, while recording: a click at (150, 150), a drag from
// (200, 200) to (280, 240), the right button held 0.6 s at (300, 250), a notch each way on both
// wheels and a click of each side button there.
constexpr const char* kActions =
    "mousemove --sync 150 150 sleep 0.1 mousedown 1 sleep 0.05 mouseup 1 sleep 0.1 "
    "mousemove --sync 200 200 sleep 0.1 mousedown 1 sleep 0.05 "
    "mousemove --sync 220 210 sleep 0.03 mousemove --sync 240 220 sleep 0.03 "
    "mousemove --sync 260 230 sleep 0.03 mousemove --sync 280 240 sleep 0.05 mouseup 1 sleep 0.1 "
    "mousemove --sync 300 250 sleep 0.1 mousedown 3 sleep 0.6 mouseup 3 sleep 0.1 "
    "click 4 click 5 click 6 click 7 click 8 click 9 sleep 0.1";

// Buttons as they reach the window in playback: the click, the drag, the hold, the wheel (X11's
// buttons 4 to 7) and the side buttons (8 and 9), each pressed and released.
constexpr unsigned kButtonsPlayed[] = {1, 1, 3, 4, 5, 6, 7, 8, 9};

class MouseE2E : public testing::TestWithParam<bool>, protected ProgramOnX {
 protected:
  MouseE2E() : ProgramOnX("1024x768x24") {}

  // Records kActions into `path`; the file's entries without the layout and the moves.
  std::vector<std::string> Record(const std::string& path, bool every_event) {
    ProgramOnX::Record(
        path, every_event ? std::vector<std::string>{"--every-event"} : std::vector<std::string>{},
        {kActions, "key Pause"});
    // Each entry's kind, and a wheel step's size; not the layout, the moves or the header.
    std::vector<std::string> kinds;
    std::istringstream lines(ReadWholeFile(path));
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty()) line.pop_back();  // the CR
      const std::string kind = EntryField(line, 1), delta = EntryField(line, 5);
      if (kind != "move" && kind != "screen" && kind.find('[') == kind.npos)
        kinds.push_back(kind + (delta.empty() ? "" : "," + delta));
    }
    return kinds;
  }
};

TEST_P(MouseE2E, RecordedDragsHoldsWheelAndSideButtonsPlayAsMade) {
  const bool every_event = GetParam();
  const std::string path = app_.Root() + "/mouse.mmf";
  const std::vector<std::string> recorded = Record(path, every_event);
  const std::vector<std::string> rest = {"Wheel,120", "Wheel,-120", "HWheel,-120", "HWheel,120",
                                         "X1Down",    "X1Up",       "X2Down",      "X2Up"};
  std::vector<std::string> want =
      every_event ? std::vector<std::string>{"pauses", "LeftDown",  "LeftUp", "LeftDown",
                                             "LeftUp", "RightDown", "RightUp"}
                  : std::vector<std::string>{"pauses", "Left", "LeftDown", "LeftUp", "Right"};
  want.insert(want.end(), rest.begin(), rest.end());
  EXPECT_EQ(recorded, want) << ReadWholeFile(path);

  ASSERT_TRUE(app_.Xdo("mousemove --sync 10 700"));
  PointerLog log(x_.Display(), 100, 100, 400, 300);
  const pid_t pid = app_.Start({"--play", path});
  EXPECT_EQ(app_.WaitExit(pid, 20s), exit_status::kOk) << app_.Output();
  const std::vector<PointerLog::Event> events = log.Events();

  std::vector<unsigned> buttons;
  std::vector<const PointerLog::Event*> presses, releases;
  for (const PointerLog::Event& e : events) {
    if (e.type == MotionNotify) continue;
    (e.type == ButtonPress ? presses : releases).push_back(&e);
    if (e.type == ButtonPress) buttons.push_back(e.button);
    // Every press is released before the next button is pressed.
    EXPECT_EQ(releases.size() + (e.type == ButtonPress ? 1 : 0), presses.size());
  }
  ASSERT_EQ(buttons, std::vector<unsigned>(std::begin(kButtonsPlayed), std::end(kButtonsPlayed)));
  EXPECT_EQ((std::pair{presses[0]->x, presses[0]->y}), (std::pair{50, 50}));

  // The drag: pressed at its start, the path with the button held, released at its end.
  EXPECT_EQ((std::pair{presses[1]->x, presses[1]->y}), (std::pair{100, 100}));
  EXPECT_EQ((std::pair{releases[1]->x, releases[1]->y}), (std::pair{180, 140}));
  std::vector<std::pair<int, int>> path_held;
  for (const PointerLog::Event* e = presses[1] + 1; e < releases[1]; ++e)
    if (e->type == MotionNotify && (e->state & Button1Mask)) path_held.emplace_back(e->x, e->y);
  EXPECT_GE(path_held.size(), 3u);
  if (!path_held.empty()) {
    EXPECT_EQ(path_held.back(), (std::pair{180, 140}));
  }

  // The hold lasts as made when every event was recorded; sampled, it is a click.
  const double held_ms = static_cast<double>(releases[2]->time - presses[2]->time);
  if (every_event) {
    EXPECT_NEAR(held_ms, 600, 60);
  } else {
    EXPECT_LT(held_ms, 20);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, MouseE2E, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& param_info) {
                           return param_info.param ? "EveryEvent" : "Sampled";
                         });

}  // namespace
}  // namespace pel::e2e
