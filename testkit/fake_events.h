#pragma once
// The window event pump as a counter, with a hook that stands for what the real loop would run.

#include <functional>

#include "platform/events.h"

namespace pel::fake {

class FakeEvents : public EventPump {
 public:
  void DoEvents() override {
    ++calls;
    if (on_events) on_events();
  }
  int calls = 0;
  // Runs at every DoEvents: stands for the ticks and clicks that the real loop would run.
  std::function<void()> on_events;
};

}  // namespace pel::fake
