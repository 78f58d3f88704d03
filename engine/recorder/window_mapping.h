#pragma once
// Clicks that find their window: recording notes the window under the pointer at presses as
// window entries (window_entry.h); playback finds each window again (same class and title, else
// the only window of its class and program) and plays its positions at the same offset from the
// window's corner wherever it stands now. Positions of no window, or of one not found, follow the
// monitor layout (ScreenMap). Design notes: docs/design-notes.md, "Windows that clicks follow".

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/motionfile/entry_list.h"
#include "engine/motionfile/screen_layout.h"
#include "platform/windows_on_screen.h"

namespace pel {

// The recorded window `recorded` among the windows open now (`open`, topmost first, their texts
// kept as KeepWindowTexts keeps them). Same: the same class and title, the topmost of several.
// SameClass: else the only window of that class whose program is the recorded one; a window
// recorded without its program (a file written before programs were noted) takes the only window
// of its class.
struct WindowMatch {
  enum class How { Same, SameClass, Missing };
  How how = How::Missing;
  TopWindow window;  // the window found, unless Missing
};
WindowMatch FindRecordedWindow(const TopWindow& recorded, const std::vector<TopWindow>& open);

// Positions recorded over `recorded` placed in the same window standing at `now`. Per axis, a
// position inside keeps its offset from the top-left corner, kept inside a window now smaller;
// one before the near edge or past the far edge (on the frame) keeps its distance from that edge.
class WindowMapping {
 public:
  WindowMapping(const TopWindow& recorded, const TopWindow& now);
  Point Map(Point p) const;
  // The window the positions go into, and its place taken again.
  const TopWindow& Now() const { return now_; }
  void MoveTo(const TopWindow& now) { now_ = now; }

 private:
  TopWindow recorded_, now_;
};

// The line that says a window was not found, e.g.
//   window not found: "Untitled - Editor" (Editor), played where it was recorded
std::string MissingWindowText(const TopWindow& window);

// The poll cycle's use of the above: window entries while recording, and where the positions
// of a playback go.
class WindowMap {
 public:
  // The windows of the window system; without them (nullptr, the default) recordings get no
  // window entries and playback follows no window.
  void Attach(WindowsOnScreen* windows) { windows_ = windows; }
  // Off (--screen-positions), playback ignores window entries.
  bool following = true;
  // Seconds a playback waits for a recorded window that is not open (--wait-for-window).
  double wait_seconds = 0;
  // The program's own main window (its id as the window system gives it): a press on it is a
  // command (Stop), so like a pop-up it never takes the positions of a recording.
  uint64_t own_window = 0;
  // Called once per playback for each window it could not find, with MissingWindowText.
  std::function<void(const std::string& text)> on_missing;

  // A recording starts: its positions belong to no window until a press.
  void RecordingStarts();
  // A tick of the recording, before the tick's entries are added, with the pointer at `at`:
  // `pressed` when a button went down at this tick, `held` while one is down. At a press the
  // positions from here on belong to the window under the pointer (none over the desktop); a
  // window entry is added when that is another window than the one noted, or the same one moved,
  // resized or renamed. While a button is held, a drag that reaches another window notes that
  // one; a drag out onto no window, and pop-ups (menus), stay with the window noted.
  void Note(EntryList& list, Point at, bool pressed, bool held);

  // A playback starts: no window followed, none told missing.
  void PlaybackStarts();
  enum class Reached { Go, Wait };
  // Playback has reached window entry `entry` at clock reading `now` (seconds). Go: the entries
  // after it may play. Wait: its window is not open and the wait for it has not run out, or it
  // has just appeared and may still be moving; ask again at a later tick, when WindowsChanged()
  // or at NextLook(). A window missing when the wait runs out (or at once without one) is told
  // through on_missing and its positions play as recorded; it is not waited for again in this
  // playback. A window found only after a wait is followed once it holds still: the same place
  // at two looks kSettleLook apart, or after kSettleFor at most (a window manager may still be
  // moving a window it has just shown or restored). A program note (ProgramNote) names the
  // program of the window entry after it.
  Reached Reach(std::string_view entry, double now);
  // While waiting: the clock reading at which to ask again even if no change was reported (some
  // window systems report none): a second after the last look, or when the wait runs out; while
  // a window found settles, its next look.
  double NextLook() const { return settling_ ? next_look_ : std::min(next_look_, wait_ends_); }
  bool Waiting() const { return waiting_; }
  // Seconds between looks while waiting with no change reported.
  static constexpr double kLookAgain = 1.0;
  // Seconds between the looks at a window found after a wait, and at most spent on them.
  static constexpr double kSettleLook = 0.04;
  static constexpr double kSettleFor = 0.5;
  // True when the window system has reported a change since the window was last looked for.
  bool WindowsChanged();
  // Where the pointer goes for recorded position `p`: by its window when that was found, else by
  // the monitor layout. A `press` (a click or a button going down) goes where the window stands
  // at that moment; other positions, those of a drag too, where it stood at its last press or
  // when it was found.
  Point Map(Point p, ScreenMap& screens, bool press = false);
  // MissingWindowText of the window whose positions play as recorded now; empty otherwise.
  const std::string& MissingNote() const { return missing_note_; }

 private:
  std::vector<TopWindow> ListWindows();
  Reached Follow(const TopWindow& recorded, const TopWindow& now);
  WindowsOnScreen* windows_ = nullptr;
  // Recording: the window the positions belong to, and where the pointer was last looked at.
  std::optional<TopWindow> noted_;
  std::optional<Point> looked_at_;
  // Playback.
  std::optional<WindowMapping> current_;
  std::string missing_note_;
  std::string program_;  // from the program note just reached
  bool waiting_ = false;
  bool settling_ = false;  // a window found after a wait: where it was seen last, until when
  TopWindow settle_seen_;
  double settle_ends_ = 0;
  double wait_ends_ = 0;
  double next_look_ = 0;
  uint64_t generation_ = 0;  // of the last list
  // Class, title and program of the windows told missing.
  std::set<std::tuple<std::string, std::string, std::string>> given_up_;
};

}  // namespace pel
