#pragma once
// The engine rig as a test fixture: a test presses keys, moves the cursor, advances the clock
// and calls Tick(), saves and loads, then reads what the engine did. Files are held in memory;
// a fixture on the real disk hands its file system to the constructor.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/engine_rig.h"

namespace pel::test {

inline const std::string kHeaderLine = "[MouseMotionFile]\r\n";

class EngineTest : public ::testing::Test, public EngineRig {
 protected:
  explicit EngineTest(FileSystem* disk = nullptr) : EngineRig(disk) {}

  // Press and release a key between two ticks; its release is seen at the second tick.
  void TapKey(int vk) {
    input.Tap(vk);
    Ticks(2);
  }
  // Start-up done: the first tick has made the state "Idle".
  void StartIdle() {
    Tick();
    ASSERT_EQ(recorder.mode, Mode::Idle);
  }
  fake::FakeControl& Ctl(ControlId id) { return window.Ctl(id); }
  std::vector<std::string> Calls(const std::string& prefix) const {
    std::vector<std::string> v;
    for (const auto& c : log.calls)
      if (c.rfind(prefix, 0) == 0) v.push_back(c);
    return v;
  }

  // A recording as the recording step makes it: the list cleared, entries appended and
  // marked unsaved.
  void Record(const std::vector<std::string>& entries) {
    recorder.entries.Clear();
    for (const auto& e : entries) recorder.entries.Add(e);
    recorder.unsaved = true;
  }
  // Plays `entries` from F9 for `ticks` ticks, then Pause: the cursor placements made.
  std::vector<std::string> Play(const std::vector<std::string>& entries, int ticks) {
    Record(entries);
    StartIdle();
    input.Tap(vk::kF9);
    Tick();
    log.Clear();
    Ticks(ticks);
    input.Tap(vk::kPause);
    Ticks(2);
    return Calls("SetCursorPos");
  }
  // Saves to `path` as picked in the save dialog; `answers` reply to message boxes.
  void SaveTo(const std::string& path, std::vector<MsgResult> answers = {}) {
    dialogs.choices.push_back(path);
    for (auto a : answers) dialogs.answers.push_back(a);
    recorder.SaveDataToFile();
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

// Saving and loading mouse motion files.
using MotionFileTest = EngineTest;

}  // namespace pel::test
