#pragma once
// The engine wired to scripted substitutes: a test presses keys, moves the cursor, advances the
// clock and calls Tick(), then reads what the engine did.

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/common/engine_rig.h"

namespace pel::test {

class EngineTest : public ::testing::Test, public EngineRig {
 protected:
  EngineTest() : EngineRig(no_files) {}

  NoFiles no_files;

  // Press and release a key between two ticks; its release is seen at the second tick.
  void TapKey(int vk) {
    input.Tap(vk);
    Ticks(2);
  }
  // Start-up done: the first tick has made the state "Idle".
  void StartIdle() {
    Tick();
    ASSERT_EQ(engine.RecorderState, Mode::Idle);
  }
  fake::FakeControl& Ctl(ControlId id) { return form.Ctl(id); }
  std::vector<std::string> Calls(const std::string& prefix) const {
    std::vector<std::string> v;
    for (const auto& c : log.calls)
      if (c.rfind(prefix, 0) == 0) v.push_back(c);
    return v;
  }
};

}  // namespace pel::test
