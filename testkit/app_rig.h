#pragma once
// The main window wired to substitutes of every backend, for scenario tests of the program.

#include "app/main_form.h"
#include "testkit/call_log.h"
#include "testkit/fake_clock.h"
#include "testkit/fake_dialogs.h"
#include "testkit/fake_environment.h"
#include "testkit/fake_events.h"
#include "testkit/fake_files.h"
#include "testkit/fake_input.h"
#include "testkit/fake_main_window.h"
#include "testkit/fake_random.h"
#include "testkit/fake_shaped_window.h"
#include "testkit/fake_shell.h"
#include "testkit/fake_skin.h"

namespace pel::test {

struct AppRig {
  fake::CallLog log;
  fake::FakeMainWindow window{&log};
  fake::FakeInput input{&log};
  fake::FakeClock clock;
  fake::FakeDialogs dialogs{&log};
  fake::FakeEvents events;
  fake::FakeFileSystem files{&log};
  fake::FakeEnvironment env;
  fake::FakeShell shell{&log};
  fake::FakeRandom random;
  fake::FakeSkin skin{&log};
  fake::FakeIndicatorFactory factory{&log};
  MainForm form;

  // `disk`: another file system in place of `files` (the real one, for cases on disk).
  explicit AppRig(FileSystem* disk = nullptr)
      : form(MainFormHost{{input, clock, dialogs, events, disk ? *disk : files, env},
                          window,
                          shell,
                          random,
                          skin,
                          factory}) {}

  // Index of the first logged call starting with `prefix`, or -1.
  int At(const std::string& prefix) const {
    for (size_t i = 0; i < log.calls.size(); ++i)
      if (log.calls[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
  }
  // Message boxes titled "Application Error".
  std::vector<fake::ShownBox> Reports() const {
    std::vector<fake::ShownBox> r;
    for (const auto& b : dialogs.boxes)
      if (b.title == "Application Error") r.push_back(b);
    return r;
  }
};

// True when `text` names `location` and `step` as the error report writes them.
inline bool Names(const std::string& text, const std::string& location, int step) {
  return text.find("\r\nin Torvane2021/08/31." + location + " at line " + std::to_string(step) +
                   "\r\r") != std::string::npos;
}

}  // namespace pel::test
