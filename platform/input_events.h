#pragma once
// The mouse as a stream of events, for recording event by event: each press, release, wheel step
// and pointer move of the whole desktop, one by one, with where and when it happened. Polling
// sees only where things stand at each tick; the stream sees what happened between ticks.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/input.h"

namespace pel {

struct InputEvent {
  enum class Kind { Move, Press, Release, Wheel };
  Kind kind = Kind::Move;
  MouseButton button = MouseButton::Left;  // Press, Release
  WheelAxis axis = WheelAxis::Vertical;    // Wheel
  int32_t delta = 0;                       // Wheel: 1/120 notches, signed as WheelAxis says
  Point pos;                               // where the pointer was, in screen pixels
  double time = 0;                         // when it happened, in pel::Clock seconds
  friend bool operator==(const InputEvent&, const InputEvent&) = default;
};

class InputEvents {
 public:
  virtual ~InputEvents() = default;
  // Starts collecting the events of every device and program, pointer moves only when `moves`;
  // false, with the failing call named in `error`, when the window system cannot deliver them.
  virtual bool Start(bool moves, std::string& error) = 0;
  // Stops collecting; events not taken yet are dropped. Does nothing when not started.
  virtual void Stop() = 0;
  // Appends to `out`, oldest first, the events delivered since the previous call. Those made
  // before this call are among them, except that one made in the last millisecond or so may
  // come with the next call instead (its time still says when it happened).
  virtual void Take(std::vector<InputEvent>& out) = 0;
};

}  // namespace pel
