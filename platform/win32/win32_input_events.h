#pragma once
// The mouse as an event stream on Windows, from the raw input Win32Input receives (WM_INPUT). Raw
// input carries the device's own deltas and no time of its own that is fine enough
// (GetMessageTime counts in the system's 15.6 ms ticks): each event is placed where the cursor
// stood when the system posted its WM_INPUT (GetMessagePos) and timed on the clock when it is
// read. The UI thread waits in its message loop, so that is within a fraction of a millisecond
// unless a tick or a box holds it up; events read in later keep their places and their order.
// Moves that make no raw input (another program's SetCursorPos) are caught when the events are
// taken.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/input_events.h"
#include "platform/win32/win32_input.h"

namespace pel {

class Win32InputEvents : public InputEvents {
 public:
  // `input` must outlive this object and have raw input (RawInputProblem() empty) for Start to
  // succeed.
  Win32InputEvents(Win32Input& input, Clock& clock) : input_(input), clock_(clock) {}
  ~Win32InputEvents() override;
  Win32InputEvents(const Win32InputEvents&) = delete;
  Win32InputEvents& operator=(const Win32InputEvents&) = delete;

  bool Start(bool moves, std::string& error) override;
  void Stop() override;
  void Take(std::vector<InputEvent>& out) override;

 private:
  void Received(const RAWMOUSE& mouse);
  // A move to `pos`, when the cursor stood elsewhere at the last event.
  void MovedTo(Point pos, double time);
  void Add(InputEvent::Kind kind, MouseButton button, double time);

  Win32Input& input_;
  Clock& clock_;
  bool started_ = false;
  bool moves_ = false;
  Point pos_;  // where the cursor stood at the last event
  std::vector<InputEvent> events_;
};

}  // namespace pel
