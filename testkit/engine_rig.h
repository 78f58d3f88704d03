#pragma once
// The engine and the poll cycle wired to scripted substitutes: a test (or benchmark) presses
// keys, moves the cursor, advances the clock and ticks, then reads what the engine did. Files
// are held in memory unless the caller hands in another (the real disk).

#include <string>
#include <vector>

#include "app/form_panel.h"
#include "app/layout.h"
#include "engine/cycle/poll_cycle.h"
#include "engine/error_report.h"
#include "engine/recorder/file_dialog.h"
#include "engine/recorder/recorder.h"
#include "testkit/fake_clock.h"
#include "testkit/fake_dialogs.h"
#include "testkit/fake_environment.h"
#include "testkit/fake_events.h"
#include "testkit/fake_files.h"
#include "testkit/fake_indicator_windows.h"
#include "testkit/fake_input.h"
#include "testkit/fake_main_window.h"

namespace pel::test {

struct EngineRig {
  explicit EngineRig(FileSystem* disk = nullptr) : files(disk ? *disk : mem) {}

  // A real 10 ms timer never fires early and is a little late; ticks of 10.1 ms keep the
  // comparisons of clock readings away from exact ties.
  static constexpr double kTick = 0.0101;

  fake::CallLog log;
  fake::FakeInput input{&log};
  fake::FakeClock clock{5000.0};
  fake::FakeDialogs dialogs{&log};
  fake::FakeEvents events;
  fake::FakeFileSystem mem{&log};
  FileSystem& files;
  fake::FakeEnvironment env;
  ErrorReporter reporter{dialogs};
  FileDialog dialog{dialogs, layout::MotionFileDialog().filter};
  Recorder recorder{{{input, clock, dialogs, events, files, env}, reporter, dialog}};
  DesignedCaptions captions{"Start Playing"};
  fake::FakeMainWindow window{&log};
  fake::FakeIndicators indicators{&log};
  FormPanel panel{window};
  PollCycle poll{{recorder, captions, window, panel, indicators, dialogs}};

  // One timer period passes, then the tick runs.
  void Tick() {
    clock.Advance(kTick);
    poll.OnTimer();
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) Tick();
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> v;
    for (int i = 1; i <= recorder.entries.Count(); ++i) v.emplace_back(recorder.entries.Item(i));
    return v;
  }
};

}  // namespace pel::test
