#pragma once
// The recording step of the poll tick: at every tick while recording, what the mouse did since
// the tick before becomes motion entries through the EventRecorder, as far as the check boxes and
// the recording options allow. The events come from the window system's event stream when the
// program has one; without it, from the tick's samples: the cursor where it stands and the three
// buttons pressed or released. A press notes the window it is made in (WindowMap) before the
// entries of the press. The first tick of a recording empties the list, after keeping a take no
// save has kept through KeepTake.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/cycle/poll_tick.h"
#include "engine/cycle/recording_options.h"
#include "engine/error_report.h"
#include "engine/motionfile/motion_entry.h"
#include "engine/motionfile/screen_layout.h"
#include "engine/recorder/event_recorder.h"
#include "engine/recorder/window_mapping.h"
#include "platform/input_events.h"

namespace pel {

// Keeps a take that a new recording is about to clear, where the user can find it, and returns
// where (a path); throws when it cannot.
using KeepTake = std::function<std::string()>;

class RecordingStep {
 public:
  RecordingStep(PollHost host, ScreenMap& screens, WindowMap& windows, const KeepTake& keep_take)
      : host_(host), screens_(screens), windows_(windows), keep_take_(keep_take) {}

  // One tick while recording; `last_state` is the mode at the end of the previous tick. The
  // recording takes `options` at its first tick and keeps them to its end.
  void Run(Procedure& p, Mode last_state, const TickSample& tick, const RecordingOptions& options);
  // No recording runs (the idle step, at every tick): a recording that ran until now ends at
  // `now`, with the releases of the buttons it stored as held, and the event stream stops. With
  // `use_stream` false the window system is not called (the program ends and its display may be
  // gone): events not taken yet are lost and the stream is left to the next call.
  void End(double now, bool use_stream = true);
  // What the status line adds while this recording runs: where the take before it was kept,
  // and that it samples the ticks when it cannot take the event stream.
  const std::string& Note() const { return note_; }

  // The window system's event stream, or nullptr: recordings then take the tick's samples alone,
  // without the wheel and the side buttons.
  InputEvents* events = nullptr;
  // Told, as a plain note, when a recording begins that cannot take the event stream (it
  // samples the ticks instead): once per recording.
  std::function<void(const std::string&)> on_fallback;
  // Where the cursor stood at the previous tick. The tick keeps it at every tick, so that the
  // first tick of a recording compares with the tick before it.
  Point last_position;

 private:
  // Keeps the take in the list, if it is unsaved work, before a new recording clears it; false
  // when it could not be kept (the recording then does not start).
  bool KeepPreviousTake();
  // The first tick: the stream started and the recorder begun.
  void Begin(Procedure& p);
  RecordGates ReadGates(Procedure& p);
  // The buttons as the tick saw them, without a stream.
  void TakeSamples(Procedure& p, const TickSample& tick, const RecordGates& gates, double now);
  void TakeStream(const RecordGates& gates);
  // The presses of the three buttons the recorder held before this tick's events (`held_before`,
  // by PressedAt) that two earlier ticks read down while held and this one reads up: their
  // release never came (the system withholds input from the stream at times), so it is taken at
  // this tick, rather than by the next release, which would make all that came between a drag.
  void TakeUnseenReleases(const std::array<std::optional<double>, 3>& held_before,
                          const TickSample& tick, const RecordGates& gates, double now);
  // Appends an entry as Recorder::AddMotion does, while the list still holds this recording.
  void Store(const std::string& entry);

  PollHost host_;
  ScreenMap& screens_;
  WindowMap& windows_;
  const KeepTake& keep_take_;
  std::string note_;
  RecordingOptions options_;  // this recording's
  EventRecorder recorder_{[this](const std::string& entry) { Store(entry); }};
  bool recording_ = false;    // begun and not ended
  bool streaming_ = false;    // the stream has been started
  bool every_event_ = false;  // the recording takes every event from the stream
  std::vector<InputEvent> taken_;
  // For each of the three buttons, the ticks that read down the press (PressedAt) the recorder
  // held before them.
  struct SeenDown {
    std::optional<double> press;
    int ticks = 0;
  };
  std::array<SeenDown, 3> seen_down_{};
  // The list's removals when the recording began: once it has lost entries (a load replaced
  // it), it is no longer this recording's and takes no more of its entries.
  uint64_t removed_at_begin_ = 0;
};

}  // namespace pel
