#pragma once
// The engine wired to scripted substitutes: a test presses keys, moves the cursor, advances the
// clock and calls Tick(), then reads what the engine did.

#include <gtest/gtest.h>

#include "engine/error_report.h"
#include "engine/poll_cycle.h"
#include "engine/recorder.h"
#include "platform/error.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_input.h"
#include "platform/fake/fake_misc.h"
#include "platform/fake/fake_windows.h"

namespace pel::test {

// No file is touched by these tests; any attempt is a failure.
class NoFiles : public FileSystem {
 public:
  bool IsNormalFile(const std::string&) override { return false; }
  bool CanReadTimestamp(const std::string&) override { return false; }
  std::unique_ptr<ReadFile> OpenRead(const std::string& p) override {
    throw Error(err::kFileNotFound, "no files here: " + p);
  }
  std::unique_ptr<ReplaceFile> BeginReplace(const std::string& p) override {
    throw Error(err::kPermissionDenied, "no files here: " + p);
  }
};

class EngineTest : public ::testing::Test {
 protected:
  // A real 10 ms timer never fires early and is a little late; ticks of 10.1 ms keep the
  // comparisons of clock readings away from exact ties.
  static constexpr double kTick = 0.0101;

  fake::CallLog log;
  fake::FakeInput input{&log};
  fake::FakeClock clock{5000.0};
  fake::FakeDialogs dialogs{&log};
  fake::FakeEvents events;
  NoFiles files;
  fake::FakeEnvironment env;
  ErrorReporter reporter{dialogs};
  CommonDialog dialog{dialogs};
  mVazazEzerev engine{{input, clock, dialogs, events, files, env, reporter, dialog}};
  Globals globals{"Start Playing"};
  fake::FakeMainWindow form{&log};
  fake::FakeIndicators indicators{&log};
  PollCycle poll{{engine, globals, form, indicators, dialogs}};

  // One timer period passes, then the tick runs.
  void Tick() {
    clock.Advance(kTick);
    poll.Timer1_Timer();
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) Tick();
  }
  // Press and release a key between two ticks; its release is seen at the second tick.
  void TapKey(int vk) {
    input.Tap(vk);
    Ticks(2);
  }
  // Start-up done: the first tick has made the state "Idle".
  void StartIdle() {
    Tick();
    ASSERT_EQ(engine.RecorderState, kIdle);
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> v;
    for (int i = 1; i <= engine.MotionList.Count(); ++i) v.emplace_back(engine.MotionList.Item(i));
    return v;
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
