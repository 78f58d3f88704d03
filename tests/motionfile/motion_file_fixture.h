#pragma once
// The engine wired to scripted dialogs and in-memory files (or the real disk), for saving and
// loading mouse motion files.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/fake_files.h"
#include "tests/common/engine_rig.h"

namespace pel::test {

inline const std::string kHeaderLine = "[MouseMotionFile]\r\n";

class MotionFileTest : public ::testing::Test, public EngineRig {
 protected:
  explicit MotionFileTest(FileSystem* disk = nullptr) : EngineRig(disk ? *disk : mem) {}

  fake::FakeFileSystem mem{&log};

  // A recording as the recording step makes it: the list cleared, entries appended and
  // marked unsaved.
  void Record(const std::vector<std::string>& entries) {
    engine.MotionList.Clear();
    for (const auto& e : entries) engine.MotionList.Add(e);
    engine.UnsavedChanges = true;
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
