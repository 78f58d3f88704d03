// Clicks that find their window: the real program records two clicks and a drag in a window of a
// test client, which is then moved, joined by another of its class, opened late, minimised and
// restored during the wait (openbox animates it into place), closed, or replaced by another
// program's window of its class before --play; alone on Xvfb and under openbox, which frames every
// window. The window itself
// says where the buttons reached it, in its own pixels.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "tests/e2e/program_on_x.h"

namespace pel::e2e {
namespace {

using x11test::ClientWindow;
using Place = std::pair<int, int>;

constexpr unsigned kWidth = 400, kHeight = 300;
// Where the recording releases the left button, in the window: two clicks, then a drag from
// (100, 100).
const std::vector<Place> kReleases = {{50, 40}, {300, 200}, {150, 160}};

// The releases `w` has received since its first `from` button events.
std::vector<Place> Releases(ClientWindow& w, size_t from = 0) {
  std::vector<Place> out;
  const auto& events = w.Events();
  for (size_t i = from; i < events.size(); ++i)
    if (!events[i].press) out.emplace_back(events[i].x, events[i].y);
  return out;
}

class WindowsE2E : public testing::TestWithParam<bool>, protected ProgramOnX {
 protected:
  void SetUp() override {
    if (!GetParam()) return;
    ASSERT_TRUE(StartOpenbox()) << "openbox did not start (scripts/install-deps.sh)";
  }
  // A window of the test's class at root pixels (x, y), once it is shown.
  std::unique_ptr<ClientWindow> Open(int x, int y, const std::string& title) {
    auto w =
        std::make_unique<ClientWindow>(x_.Display(), x, y, kWidth, kHeight, "PelTarget", title);
    EXPECT_TRUE(Wait([&] { return w->Shown(openbox_.has_value()); })) << title;
    return w;
  }
  // xdotool's steps to pixel (x, y) of `w`.
  static std::string To(const ClientWindow& w, int x, int y) {
    int left = 0, top = 0;
    w.Origin(left, top);
    return "mousemove --sync " + std::to_string(left + x) + " " + std::to_string(top + y) +
           " sleep 0.05 ";
  }
  std::string Record(ClientWindow& w) {
    const std::string file = app_.Root() + "/clicks.mmf";
    ProgramOnX::Record(file, {},
                       {To(w, 20, 20),  // the first move starts the clock
                        To(w, 50, 40) + "click 1 sleep 0.05 " + To(w, 300, 200) +
                            "click 1 sleep 0.05 " + To(w, 100, 100) + "mousedown 1 sleep 0.05 " +
                            To(w, 150, 160) + "mouseup 1 sleep 0.05 key Pause"});
    return file;
  }
  // Plays `file` once with `args`; `meanwhile` runs once the playback shows. What it said on
  // standard error goes to `said`.
  int Play(const std::string& file, std::vector<std::string> args, std::string& said,
           const std::function<void()>& meanwhile = {}) {
    const size_t before = app_.Output().size();
    args.insert(args.begin(), {"--play", file});
    const pid_t pid = app_.Start(args);
    if (meanwhile) {
      EXPECT_TRUE(look_.WaitFor("frmPlay", 10s, pid));
      meanwhile();
    }
    const std::optional<int> code = app_.WaitExit(pid, 30s);
    said = app_.Output().substr(before);
    return code.value_or(-1);
  }
};

TEST_P(WindowsE2E, ClicksLandAtTheirPlaceInTheirWindowWhereverItStandsNow) {
  std::unique_ptr<ClientWindow> notes = Open(200, 150, "notes"), other;
  const std::string file = Record(*notes);
  ASSERT_EQ(Releases(*notes), kReleases) << "the recording's clicks reached the window";
  int left = 0, top = 0;
  notes->Origin(left, top);
  const std::string text = ReadWholeFile(file);
  EXPECT_NE(text.find("\r\nwindow,program,peltest\r\nwindow," + std::to_string(left) + "," +
                      std::to_string(top) + ",400x300,PelTarget,notes\r\n"),
            std::string::npos)
      << text;

  const std::string missing =
      "window not found: \"notes\" (PelTarget), played where it was recorded";
  struct Case {
    const char* what;
    std::function<void()> before;  // arranges the windows
    std::vector<std::string> args;
    std::function<void()> meanwhile;  // while the playback runs
    bool found;                       // else: played where recorded, and said so
  };
  const Case cases[] = {
      {"unmoved: the very same places", [] {}, {}, {}, true},
      {"moved",
       [&] {
         notes->MoveTo(left + 500, top + 400);  // clear of the place it was recorded at
         EXPECT_TRUE(Wait([&] {
           int x = 0, y = 0;
           notes->Origin(x, y);
           return x != left && y != top;
         }));
       },
       {},
       {},
       true},
      {"another of its class where it was: the title wins",
       [&] { other = Open(left, top, "other"); },
       {},
       {},
       true},
      {"opened late, waited for",
       [&] {
         notes.reset();
         other.reset();
       },
       {"--wait-for-window", "20"},
       [&] {
         // Nothing outside tells that the playback waits: it reaches the window entry a few
         // tens of milliseconds in.
         std::this_thread::sleep_for(500ms);
         notes = Open(left + 100, top + 50, "notes");
       },
       true},
      {"minimised, restored while waited for: followed once the window manager has put it back",
       [&] {
         if (!openbox_) return;  // nothing to restore it
         ASSERT_TRUE(app_.Xdo("windowminimize " + std::to_string(notes->Id())));
         ASSERT_TRUE(Wait([&] { return !notes->Shown(true); }));
       },
       {"--wait-for-window", "20"},
       [&] {
         std::this_thread::sleep_for(500ms);
         if (openbox_) {
           EXPECT_TRUE(app_.Xdo("windowactivate " + std::to_string(notes->Id())));
         }
       },
       true},
      {"closed", [&] { notes.reset(); }, {}, {}, false},
      {"only another program's window of its class, titled otherwise",
       [&] {
         other = Open(left + 500, top + 400, "other");
         ASSERT_TRUE(
             app_.Xdo("set_window --classname otherprogram " + std::to_string(other->Id())));
       },
       {},
       {},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.before();
    const size_t seen = notes ? notes->Events().size() : 0;
    std::string said;
    ASSERT_EQ(Play(file, c.args, said, c.meanwhile), exit_status::kOk) << said;
    EXPECT_EQ(said.find(missing) != std::string::npos, !c.found) << said;
    if (c.found) {
      EXPECT_EQ(Releases(*notes, seen), kReleases);
    } else {
      int x = 0, y = 0;
      ASSERT_TRUE(x11test::QueryPointer(x_.Display(), x, y));
      EXPECT_EQ(Place(x, y), Place(left + 150, top + 160));
    }
    if (other) {
      EXPECT_TRUE(other->Events().empty());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Xvfb, WindowsE2E, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& param_info) {
                           return param_info.param ? "UnderOpenbox" : "Alone";
                         });

}  // namespace
}  // namespace pel::e2e
