#pragma once
// How a playback runs, as the command line asks for it (tick_bound: the environment). Every
// option is off by default: the defaults play exactly as the window always has.

namespace pel {

struct PlaybackOptions {
  // Passes over the list; 0 plays until Pause (the window's own behaviour).
  int repeat = 0;
  // True when --repeat was given: --play alone plays one pass, --play --repeat 0 until Pause.
  bool repeat_given = false;
  // Every wait is divided by this (0.1 to 100).
  double speed = 1.0;
  // Playback stops, as Pause would, when the user moves the pointer away from where playback
  // last put it (or clicks with a real device, where the backend can tell).
  bool stop_on_move = false;
  // Each entry's delay is waited before the entry instead of after it, so pauses are replayed
  // where they happened.
  bool wait_before = false;
  // Each entry waits for the next 10 ms poll tick instead of playing at its own moment, as the
  // first versions played: the baseline of the bench's comparisons (PEL_TICK_BOUND_PLAYBACK).
  bool tick_bound = false;

  // Positions that belong to a window play in that window wherever it stands now (window
  // entries); these two change how.
  // Seconds a playback waits for a recorded window that is not open; 0 plays at once.
  double wait_for_window = 0;
  // Every position plays at its place on the screen; window entries are ignored.
  bool screen_positions = false;
};

}  // namespace pel
