#pragma once
// The program shell held in memory: instances, browser and the end of the program, every
// call logged.

#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/shell.h"
#include "testkit/call_log.h"

namespace pel::fake {

class FakeShell : public Shell {
 public:
  explicit FakeShell(CallLog* log = nullptr) : log_(log) {}

  bool PreviousInstance() override {
    Log("Shell.PreviousInstance");
    return other_instance;
  }
  void OpenUrl(const std::string& url) override {
    Log("Shell.OpenUrl " + url);
    if (fail_open) throw Error(err::kFileNotFound, "File not found: browser");
    opened.push_back(url);
  }
  void EndProgram() override {
    Log("Shell.EndProgram");
    ++ended;
  }

  bool other_instance = false;
  bool fail_open = false;
  std::vector<std::string> opened;
  int ended = 0;

 private:
  void Log(const std::string& line) {
    if (log_) log_->Add(line);
  }
  CallLog* log_;
};

}  // namespace pel::fake
