#include "platform/x11/x11_error_trap.h"

#include <cstdio>

namespace pel {
namespace {

// Xlib's handler takes no user data, so the trap's record is a global. Traps are used on the
// one user-interface thread and are never nested, which keeps this safe.
Display* g_trapped_display = nullptr;
XErrorEvent g_first_error{};
bool g_has_error = false;

int RecordError(Display* display, XErrorEvent* event) {
  // Only errors of the trapped connection are ours; another connection's errors can only be
  // seen here when that connection's events are read inside the trap, which we never do.
  if (display == g_trapped_display && !g_has_error) {
    g_first_error = *event;
    g_has_error = true;
  }
  return 0;
}

}  // namespace

XErrorTrap::XErrorTrap(Display* display) : display_(display) {
  // Errors of requests sent before the trap belong to someone else's story: flush them out
  // under the old handler first.
  XSync(display_, False);
  g_trapped_display = display_;
  g_has_error = false;
  previous_ = XSetErrorHandler(RecordError);
}

XErrorTrap::~XErrorTrap() {
  XSetErrorHandler(previous_);
  g_trapped_display = nullptr;
}

bool XErrorTrap::Check(const char* call) {
  XSync(display_, False);
  if (!g_has_error) return true;
  char text[256] = "";
  XGetErrorText(display_, g_first_error.error_code, text, sizeof text);
  std::fprintf(stderr, "pelmira: %s failed: %s\n", call, text);
  return false;
}

int XErrorTrap::ErrorCode() const {
  return g_has_error ? g_first_error.error_code : 0;
}

}  // namespace pel
