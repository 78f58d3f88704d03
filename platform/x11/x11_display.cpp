#include "platform/x11/x11_display.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>

namespace pel {

namespace {

void (*g_last_words)() = nullptr;

int DisplayLost(Display*) {
  if (g_last_words) g_last_words();
  std::fflush(stderr);
  // Not exit(): destructors and exit handlers would talk to the display that is gone.
  ::_exit(1);
}

}  // namespace

bool DisplayReachable(const char* name, std::string& error) {
  Display* display = ::XOpenDisplay(name);
  if (!display) {
    const char* shown = ::XDisplayName(name);
    error = std::string("XOpenDisplay(\"") + (shown ? shown : "") + "\") failed";
    return false;
  }
  ::XCloseDisplay(display);
  return true;
}

void OnDisplayLost(void (*last_words)()) {
  g_last_words = last_words;
  ::XSetIOErrorHandler(DisplayLost);
}

}  // namespace pel
