#pragma once
// Xorg with the dummy video driver, for tests that need several monitors: its RandR outputs
// DUMMY0 to DUMMY15 can be laid out side by side and rearranged while programs run (xrandr),
// which Xvfb cannot do. It runs as root; no input device is needed (XTest injects).

#include <string>

#include "testkit/real_disk.h"
#include "testkit/xvfb_fixture.h"

namespace pel::x11test {

namespace detail {
// The server's configuration, written before it starts and removed after it has stopped.
struct XorgConfig {
  XorgConfig();
  test::TempFolder folder{"xorg"};
};
}  // namespace detail

class XorgDummy : private detail::XorgConfig, public Xvfb {
 public:
  // Starts the server on a free display with one monitor (DUMMY0); modes 1920x1080 and
  // 1280x1024 are known to every output and the desktop may grow to 4096 x 4096. Throws
  // std::runtime_error when it does not come up (not root, packages missing).
  XorgDummy();
  // Runs xrandr with `args`; true when it succeeded.
  bool Xrandr(const std::string& args) const;
};

}  // namespace pel::x11test
