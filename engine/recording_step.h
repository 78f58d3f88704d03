#pragma once
// The recording step of the poll tick: at every tick while recording, a moved cursor and each
// button released become motion entries, as far as the recording options allow, each with the
// milliseconds since the event handled before it; a press notes the window it is made in
// (WindowMap) before the tick's entries. The first tick of a recording empties the list, after
// keeping a take no save has kept through KeepTake.

#include <functional>
#include <string>

#include "engine/error_report.h"
#include "engine/motion_entry.h"
#include "engine/poll_tick.h"
#include "engine/screen_layout.h"
#include "engine/window_mapping.h"

namespace pel {

// Keeps a take that a new recording is about to clear, where the user can find it, and returns
// where (a path); throws when it cannot.
using KeepTake = std::function<std::string()>;

class RecordingStep {
 public:
  RecordingStep(PollHost host, ScreenMap& screens, WindowMap& windows, const KeepTake& keep_take)
      : host_(host), screens_(screens), windows_(windows), keep_take_(keep_take) {}

  // One tick while recording; `last_state` is the mode at the end of the previous tick.
  void Run(Procedure& p, Mode last_state, const TickSample& tick);
  // No recording runs (the idle step): the next one starts without an event to measure from.
  void ForgetLastEvent() { last_event_time_ = 0; }
  // Clock reading at the last event the recording handled; 0 when it has handled none.
  double LastEventTime() const { return last_event_time_; }
  // What the status line adds while this recording runs: where the take before it was kept.
  const std::string& Note() const { return note_; }

  // Where the cursor stood at the previous tick. The tick keeps it at every tick, so that the
  // first tick of a recording compares with the tick before it.
  Point last_position;

 private:
  // The step numbers of one recorded event, in the order they run.
  struct EventSteps {
    int test;   // is there an event before it to measure from
    int delay;  // the milliseconds since that event
    int clamp;  // a negative delay (the clock went back) made 0
    int add;    // the entry appended
    int clock;  // the recording's clock moved on
  };
  void RecordEvent(Procedure& p, const EventSteps& n, Point at, MotionKind kind);
  // Keeps the take in the list, if it is unsaved work, before a new recording clears it; false
  // when it could not be kept (the recording then does not start).
  bool KeepPreviousTake();

  PollHost host_;
  ScreenMap& screens_;
  WindowMap& windows_;
  const KeepTake& keep_take_;
  std::string note_;
  double last_event_time_ = 0;
};

}  // namespace pel
