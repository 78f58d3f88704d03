#pragma once
// What the poll cycle (engine/cycle/poll_cycle.h) shares with the steps it runs each tick: the
// objects they work on, what a tick sampled, and why a recording or playback ended.

#include "engine/cycle/panel.h"
#include "engine/recorder/designed_captions.h"
#include "engine/recorder/indicator_windows.h"
#include "engine/recorder/recorder.h"
#include "platform/dialogs.h"
#include "platform/input.h"
#include "platform/main_window.h"

namespace pel {

struct PollHost {
  Recorder& recorder;
  DesignedCaptions& captions;
  MainWindow& window;
  Panel& panel;  // the window's controls
  IndicatorWindows& indicators;
  Dialogs& dialogs;
};

// The seven inputs a tick reads: each down, or released, or not.
struct PollInputs {
  bool left = false, right = false, middle = false, f12 = false, f10 = false, f9 = false,
       pause = false;
};

// What one tick sampled.
struct TickSample {
  Point cursor;               // the previous tick's position when it could not be read
  bool cursor_known = false;  // the cursor was read at this tick
  PollInputs released;        // down at the previous tick, up at this one
  PollInputs pressed;         // up at the previous tick, down at this one
  PollInputs down;            // as this tick read them
};

// Why a recording or playback ended.
enum class StopCause {
  Command,      // Pause, the Stop button, a load
  Passes,       // the passes asked for are done
  UserMoved,    // the user moved the pointer away from where playback put it (stop on move)
  UserClicked,  // the user pressed a mouse button (stop on move)
  NoData,       // the list was empty
};

}  // namespace pel
