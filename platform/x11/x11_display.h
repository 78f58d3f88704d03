#pragma once
// The X display as a whole: a connection held from before anything is built on it, and what
// happens when it goes away under the running program. Xlib stays out of this header.

#include <string>

struct _XDisplay;

namespace pel {

// A connection to the X display, opened before anything is built on it and held until the
// program ends. An X server started without -noreset resets when its last client leaves, and a
// connection opened during the reset fails: a program started as the server's first client
// (xvfb-run, xinit) that checked the display and closed the connection again found the server
// resetting at its next open. Held, the server always has this client while the others open.
class DisplayHold {
 public:
  DisplayHold() = default;
  ~DisplayHold();
  DisplayHold(const DisplayHold&) = delete;
  DisplayHold& operator=(const DisplayHold&) = delete;

  // Opens the display `name` (nullptr: $DISPLAY), trying again for up to kResetWaitMs while it
  // fails (the server may be resetting after another program's last connection); false, with
  // the reason in `error`, when it still cannot be opened.
  bool Open(const char* name, std::string& error);

  static constexpr int kResetWaitMs = 1000;

 private:
  _XDisplay* display_ = nullptr;
};

// From now on the loss of the connection of any Xlib display in this process (the server ended
// or the link broke) calls `last_words` once, then ends the process with status 1, in place of
// Xlib's own exit. `last_words` must not use the display.
void OnDisplayLost(void (*last_words)());

}  // namespace pel
