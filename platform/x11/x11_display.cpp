#include "platform/x11/x11_display.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

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

DisplayHold::~DisplayHold() {
  if (display_) ::XCloseDisplay(display_);
}

bool DisplayHold::Open(const char* name, std::string& error) {
  constexpr int kStepMs = 20;
  for (int waited = 0; !display_; waited += kStepMs) {
    display_ = ::XOpenDisplay(name);
    if (display_) break;
    if (waited >= kResetWaitMs) {
      const char* shown = ::XDisplayName(name);
      error = std::string("XOpenDisplay(\"") + (shown ? shown : "") + "\") failed";
      return false;
    }
    const timespec step{0, kStepMs * 1'000'000L};
    ::nanosleep(&step, nullptr);
  }
  return true;
}

void OnDisplayLost(void (*last_words)()) {
  g_last_words = last_words;
  ::XSetIOErrorHandler(DisplayLost);
}

}  // namespace pel
