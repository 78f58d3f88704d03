#pragma once
// The engine and the poll cycle wired to scripted substitutes: a test (or benchmark) presses
// keys, moves the cursor, advances the clock and ticks, then reads what the engine did. The
// file system is the caller's: in-memory, the real disk, or none.

#include <string>
#include <vector>

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

// For rigs that touch no file: opening or writing one fails.
class NoFiles : public FileSystem {
 public:
  bool IsNormalFile(const std::string&) override { return false; }
  bool CanReadTimestamp(const std::string&) override { return false; }
  PathKind KindOf(const std::string&) override { return PathKind::None; }
  std::unique_ptr<ReadFile> OpenRead(const std::string& p, FileUse) override {
    throw Error(err::kFileNotFound, "no files here: " + p);
  }
  std::unique_ptr<ReplaceFile> BeginReplace(const std::string& p, FileUse) override {
    throw Error(err::kPermissionDenied, "no files here: " + p);
  }
};

struct EngineRig {
  explicit EngineRig(FileSystem& file_system) : files(file_system) {}

  // A real 10 ms timer never fires early and is a little late; ticks of 10.1 ms keep the
  // comparisons of clock readings away from exact ties.
  static constexpr double kTick = 0.0101;

  fake::CallLog log;
  fake::FakeInput input{&log};
  fake::FakeClock clock{5000.0};
  fake::FakeDialogs dialogs{&log};
  fake::FakeEvents events;
  FileSystem& files;
  fake::FakeEnvironment env;
  ErrorReporter reporter{dialogs};
  CommonDialog dialog{dialogs};
  Recorder engine{{input, clock, dialogs, events, files, env, reporter, dialog}};
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
  std::vector<std::string> Entries() const {
    std::vector<std::string> v;
    for (int i = 1; i <= engine.MotionList.Count(); ++i) v.emplace_back(engine.MotionList.Item(i));
    return v;
  }
};

}  // namespace pel::test
