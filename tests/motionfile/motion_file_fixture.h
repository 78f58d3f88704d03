#pragma once
// The engine wired to scripted dialogs and in-memory files (or the real disk), for saving and
// loading mouse motion files.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/error_report.h"
#include "engine/poll_cycle.h"
#include "engine/recorder.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_files.h"
#include "platform/fake/fake_input.h"
#include "platform/fake/fake_misc.h"
#include "platform/fake/fake_windows.h"

namespace pel::test {

inline const std::string kHeaderLine = "[MouseMotionFile]\r\n";

class MotionFileTest : public ::testing::Test {
 protected:
  explicit MotionFileTest(FileSystem* disk = nullptr) : files(disk ? *disk : mem) {}

  fake::CallLog log;
  fake::FakeInput input{&log};
  fake::FakeClock clock{5000.0};
  fake::FakeDialogs dialogs{&log};
  fake::FakeEvents events;
  fake::FakeFileSystem mem{&log};
  FileSystem& files;
  fake::FakeEnvironment env;
  ErrorReporter reporter{dialogs};
  CommonDialog dialog{dialogs};
  mVazazEzerev engine{{input, clock, dialogs, events, files, env, reporter, dialog}};
  Globals globals{"Start Playing"};
  fake::FakeMainWindow form{&log};
  fake::FakeIndicators indicators{&log};
  PollCycle poll{{engine, globals, form, indicators, dialogs}};

  // A recording as the recording step makes it: the list cleared, entries appended and
  // marked unsaved.
  void Record(const std::vector<std::string>& entries) {
    engine.MotionList.Clear();
    for (const auto& e : entries) engine.MotionList.Add(e);
    engine.UnsavedChanges = true;
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> v;
    for (int i = 1; i <= engine.MotionList.Count(); ++i) v.emplace_back(engine.MotionList.Item(i));
    return v;
  }
  // Saves to `path` as picked in the save dialog; `answers` reply to message boxes.
  void SaveTo(const std::string& path, std::vector<MsgResult> answers = {}) {
    dialogs.choices.push_back(path);
    for (auto a : answers) dialogs.answers.push_back(a);
    engine.SaveDataToFile();
  }
  int Boxes() const { return static_cast<int>(dialogs.boxes.size()); }
  int SaveDialogs() const { return log.Count("ShowSave"); }
  // The file text for a list of entries.
  static std::string FileOf(const std::vector<std::string>& entries) {
    std::string s = kHeaderLine;
    for (const auto& e : entries) s += e + "\r\n";
    return s;
  }
};

}  // namespace pel::test
