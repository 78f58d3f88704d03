#pragma once

namespace pel {

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Runs the window events already queued (input, timer ticks, clicks), then returns.
  virtual void DoEvents() = 0;
};

}  // namespace pel
