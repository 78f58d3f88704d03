// A mouse motion file may hold anything. The first input byte picks how the reads come back
// (their size, and whether one fails part-way); the rest is the file. The load is checked
// against a plain model of the line rules, and what it loaded must survive a save and a load.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "testkit/engine_rig.h"

namespace {

using namespace pel;

using pel::fuzz::Check;

// CR LF, a lone CR or a lone LF ends a line; nothing after the last line end is no line.
std::vector<std::string> ModelLines(std::string_view b) {
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < b.size()) {
    size_t j = b.find_first_of("\r\n", i);
    if (j == std::string_view::npos) j = b.size();
    lines.emplace_back(b.substr(i, j - i));
    if (j < b.size() && b[j] == '\r' && j + 1 < b.size() && b[j + 1] == '\n') ++j;
    i = j + 1;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  test::EngineRig rig;
  fake::FakeFileSystem& files = rig.mem;
  fake::FakeDialogs& dialogs = rig.dialogs;
  Recorder& recorder = rig.recorder;

  files.read_limit = mode & 0x0F;
  const bool fail = (mode & 0x80) != 0;
  if (fail) files.fail_read_at = bytes.empty() ? 0 : (mode * 7919u) % bytes.size();
  files.Put("/in.mmf", bytes);
  recorder.entries.Add("kept");
  recorder.LoadDataFromFile("/in.mmf");
  Check(!recorder.LoadInProgress(), "load ended");

  const std::vector<std::string> lines = ModelLines(bytes);
  const std::vector<std::string> got = rig.Entries();
  const bool header = !lines.empty() && lines[0] == "[MouseMotionFile]";
  if (!header && !fail) {
    Check(got == std::vector<std::string>{"kept"}, "refused file keeps the list");
    Check(dialogs.boxes.size() == 1, "refusal is told once");
    return 0;
  }
  if (got == std::vector<std::string>{"kept"} && dialogs.boxes.size() == 1) return 0;  // refused
  const std::vector<std::string> want(lines.begin() + (header ? 1 : 0), lines.end());
  if (fail) {
    Check(got.size() <= want.size(), "failed read: no more entries than lines");
    for (size_t i = 0; i < got.size(); ++i) Check(got[i] == want[i], "failed read: a prefix");
  } else {
    Check(got == want, "entries follow the line rules");
    Check(dialogs.boxes.empty(), "no message for a good file");
  }
  size_t held = 0;
  for (const auto& e : got) held += e.size();
  Check(held <= bytes.size(), "entries hold no more than the file");
  Check(recorder.entries.CapacityBytes() <= 2 * bytes.size() + 16 * got.size() + 4096,
        "memory bounded by the file");

  // What was loaded comes back unchanged through a save and a load.
  if (got.empty()) return 0;
  files.fail_read_at = std::string::npos;
  recorder.unsaved = true;
  dialogs.choices.push_back("/out.mmf");
  recorder.SaveDataToFile();
  Check(!recorder.unsaved, "saved");
  const size_t boxes = dialogs.boxes.size();
  recorder.LoadDataFromFile("/out.mmf");
  Check(dialogs.boxes.size() == boxes, "saved file loads without a message");
  Check(rig.Entries() == got, "save then load gives the same list");
  return 0;
}
