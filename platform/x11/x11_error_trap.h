#pragma once
// Catches the X errors of a few requests. Xlib reports errors asynchronously through one
// process-wide handler whose default prints and exits; a trap swaps in a recording handler,
// and Check() forces the round trip (XSync) so that every error of the requests sent so far has
// arrived, then names the failing call.

#include <X11/Xlib.h>

namespace pel {

class XErrorTrap {
 public:
  explicit XErrorTrap(Display* display);
  // Restores the previous handler (also when Check() was never called).
  ~XErrorTrap();
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  // Waits for the server to process everything sent so far. True when no error arrived; false
  // after writing "pelmira: <call> failed: <X error text>" to stderr.
  bool Check(const char* call);
  // The X error code of the first error trapped (0 when none).
  int ErrorCode() const;

 private:
  Display* display_;
  XErrorHandler previous_;
};

}  // namespace pel
