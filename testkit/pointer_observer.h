#pragma once
// A Wayland client of the test's own that sees every pointer event on a compositor: one
// layer-shell surface over the whole of each output (a full-screen toplevel where the compositor
// has no layer-shell, as mutter), and the events that reach them, with positions in the layout's
// pixels. Where the compositor offers a virtual pointer it keeps one of its own (never used), so
// that the seat has a pointer before the program under test makes its own, and none of that
// program's events is missed; elsewhere it takes the seat's pointer when one comes. A thread of
// its own reads and handles the events as soon as they come, and notes when.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace pel::waylandtest {

struct PointerEvent {
  enum class Kind { Enter, Motion, Button, Wheel };
  Kind kind = Kind::Motion;
  int x = 0, y = 0;     // where the pointer was, layout pixels
  uint32_t button = 0;  // Button: BTN_LEFT ...
  bool pressed = false;
  // Motion, Button, Wheel: the event's milliseconds, as the sender stamped them (a virtual
  // pointer's client gives its own).
  uint32_t time = 0;
  // CLOCK_MONOTONIC in nanoseconds when the observer woke to read the event from its socket.
  int64_t received_ns = 0;
  uint32_t axis = 0;  // Wheel: WL_POINTER_AXIS_*
  int32_t discrete = 0;
  double value = 0;
  bool from_wheel = false;  // Wheel: its source was the wheel
};

class PointerObserver {
 public:
  // Connects to `socket` and shows a window on each output, the outputs being of `sizes` side
  // by side from (0, 0); returns once every window is shown and, where the observer made one,
  // the seat has a pointer.
  PointerObserver(const std::string& socket, const std::vector<std::pair<int, int>>& sizes);
  ~PointerObserver();
  PointerObserver(const PointerObserver&) = delete;
  PointerObserver& operator=(const PointerObserver&) = delete;

  // Takes in the events that come within `ms`; PumpUntil returns as soon as `done` is true.
  void Pump(int ms);
  bool PumpUntil(const std::function<bool()>& done, int ms);
  const std::vector<PointerEvent>& Events() const { return events_; }
  // Buttons pressed and not released.
  std::vector<uint32_t> Held() const;

  struct Wayland;  // the connection's objects and listeners

 private:
  // Moves the events handled since the last call to Events().
  void TakeIn();

  std::unique_ptr<Wayland> w_;
  std::vector<PointerEvent> events_;
  std::thread reader_;
  std::atomic<bool> stop_{false};
};

}  // namespace pel::waylandtest
