#pragma once
// The X display as a whole: whether it can be reached before anything is built on it, and what
// happens when it goes away under the running program. Xlib stays out of this header.

#include <string>

namespace pel {

// True when the X display `name` (nullptr: $DISPLAY) can be opened now; otherwise false with
// the reason in `error`.
bool DisplayReachable(const char* name, std::string& error);

// From now on the loss of the connection of any Xlib display in this process (the server ended
// or the link broke) calls `last_words` once, then ends the process with status 1, in place of
// Xlib's own exit. `last_words` must not use the display.
void OnDisplayLost(void (*last_words)());

}  // namespace pel
