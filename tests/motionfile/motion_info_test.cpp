// What --info tells about a motion file: read with the loader's line rules, judged with
// playback's entry rules.

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/motionfile/motion_info.h"
#include "testkit/fake_files.h"

namespace pel::test {
namespace {

TEST(MotionInfo, CountsWhatPlaybackPlaysAndListsWhatItSkips) {
  fake::FakeFileSystem files;
  // Lines end in CR LF, a lone CR or a lone LF. Playback reads kinds in any case and blanks
  // around fields, and skips the rest.
  files.Put("/d/a.mmf",
            "[MouseMotionFile]\r\n"
            "screen,0,0,1280x1024,primary,DUMMY0\r\n"  // the layout: no entry, no skip
            "screen,1280,0,1920x1080,other,DUMMY1\r\n"
            "move,10,20,100\r\n"        // 6
            "\r\n"                      // 5 blank
            " LEFT , 30 , 5 ,250.25\r"  // 4
            "Jump,1,1,1\r\n"            // 7 unknown kind
            "Right,1e300,0,10\r\n"      // 8 out of range
            "   \r\n"                   // 9 blank
            "middle,-4,40,0\r\n"        // 10
            "move,0,0,1\nmove,9,9,9");  // 11 and 12, a lone LF between them
  std::vector<MotionEntry> seen;
  const MotionFileInfo info =
      AnalyzeMotionFile(files, "/d/a.mmf", [&](const MotionEntry& e) { seen.push_back(e); });
  ASSERT_TRUE(info.Playable()) << info.problem;
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[1].kind, MotionKind::Left);
  EXPECT_EQ(seen[1].x, 30);
  EXPECT_DOUBLE_EQ(seen[1].delay_ms, 250.25);
  EXPECT_EQ(FormatMotionFileInfo("a.mmf", info),
            "File: a.mmf\n"
            "Entries: 5 (move 3, Left 1, Middle 1, Right 0)\n"
            "Duration: 0.360 s\n"
            "Pointer area: (-4, 0) to (30, 40), 35 x 41 pixels\n"
            "Screen layout: 2 monitors\n"
            "  DUMMY0: 1280 x 1024 at (0, 0), primary\n"
            "  DUMMY1: 1920 x 1080 at (1280, 0)\n"
            "Lines skipped: 4 (blank 2, unknown kind 1, numbers out of range 1)\n"
            "  line 5: blank\n"
            "  line 7: unknown kind\n"
            "  line 8: numbers out of range\n"
            "  line 9: blank\n"
            "Playable: yes\n");
  // The same bytes already in memory read the same.
  files.Put("/d/b.mmf", files.Bytes("/d/a.mmf"));
  EXPECT_EQ(FormatMotionFileInfo("a.mmf", AnalyzeMotionBytes(files.Bytes("/d/b.mmf"))),
            FormatMotionFileInfo("a.mmf", info));
}

// Monitor names come from the file as they stand: nothing in one may reach the terminal as a
// control sequence or as a line of its own.
TEST(MotionInfo, MonitorNamesAreShownEscaped) {
  const struct {
    std::string name, shown;
  } cases[] = {
      {"HDMI-1", "HDMI-1"},
      {"\x1b]0;owned\x07\x1b[2J", "\\x1b]0;owned\\x07\\x1b[2J"},
      {"A\vPlayable: yes", "A\\x0bPlayable: yes"},  // no forged line on the terminal
      {"C:\\x1b", "C:\\\\x1b"},                     // a backslash cannot pass for an escape
      {"\xc2\x9b[1m\xe2\x80\x8f", "\\xc2\\x9b[1m\\xe2\\x80\\x8f"},  // C1 CSI, then a mark
  };
  for (const auto& c : cases) {
    const std::string report = FormatMotionFileInfo(
        "a.mmf", AnalyzeMotionBytes("[MouseMotionFile]\r\nscreen,0,0,10x20,other," + c.name +
                                    "\r\nmove,1,2,3\r\n"));
    EXPECT_NE(report.find("\n  " + c.shown + ": 10 x 20 at (0, 0)\n"), std::string::npos) << report;
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 8) << report;
  }
}

TEST(MotionInfo, ListsEachWindowOnceAndCountsAMalformedOneAsSkipped) {
  const MotionFileInfo info = AnalyzeMotionBytes(
      "[MouseMotionFile]\r\n"
      "window,100,50,800x600,Editor,notes%2C draft - Editor\r\n"
      "move,1,2,3\r\n"
      "window,none\r\n"
      "window,-900,0,640x480,Term,%1B]0;x%07\r\n"
      "window,300,50,800x600,Editor,notes%2C draft - Editor\r\n"  // moved since: listed once
      "window,1,2\r\n");                                          // line 7
  const std::string report = FormatMotionFileInfo("w.mmf", info);
  const size_t from = report.find("Windows:"), to = report.find("Lines skipped:");
  ASSERT_NE(from, std::string::npos) << report;
  EXPECT_EQ(report.substr(from, to - from),
            "Windows: 2\n"
            "  \"notes, draft - Editor\" (Editor): 800 x 600 at (100, 50)\n"
            "  \"%1B]0;x%07\" (Term): 640 x 480 at (-900, 0)\n");
  EXPECT_NE(report.find("  line 7: unknown kind\n"), std::string::npos) << report;
}

TEST(MotionInfo, ListsTheKindsBeyondTheFirstFourOnlyWhenTheFileHoldsThem) {
  const std::string bytes =
      "[MouseMotionFile]\r\n"
      "pauses,before\r\n"  // a note: neither an entry nor a skipped line
      "LeftDown,10,20,0\r\n"
      "move,30,20,0.5\r\n"
      "LeftUp,30,20,1.5\r\n"
      "Wheel,30,-5,8,-120\r\n"
      "X1Down,30,20,0\r\n"
      "X1Up,30,20,0\r\n"
      "HWheel,30,20,0,1e20\r\n";  // out of range
  const MotionFileInfo info = AnalyzeMotionBytes(bytes);
  const std::string report = FormatMotionFileInfo("b.mmf", info);
  EXPECT_NE(report.find("Entries: 6 (move 1, Left 0, Middle 0, Right 0, LeftDown 1, LeftUp 1, "
                        "X1Down 1, X1Up 1, Wheel 1)\nDuration: 0.010 s\n"
                        "Timing: each pause before its event\n"
                        "Pointer area: (10, -5) to (30, 20)"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("Lines skipped: 1 (blank 0, unknown kind 0, numbers out of range 1)"),
            std::string::npos)
      << report;
}

// The layout as playback uses it: the one the recording starts on, and how often it changed.
TEST(MotionInfo, ShowsTheStartingLayoutAndHowOftenItChanged) {
  const std::string a = "screen,0,0,10x20,primary,A\r\n", b = "screen,10,0,10x20,other,B\r\n",
                    move = "move,1,2,3\r\n";
  const struct {
    const char* name;
    std::string entries, shown;
  } cases[] = {
      {"changed twice", a + move + b + move + a + b + move,
       "Screen layout: 1 monitor\n  A: 10 x 20 at (0, 0), primary\n"
       "  then changed 2 times during the recording\nLines"},
      {"an entry playback cannot read", a + "screen,1,2,3x4,main,C\r\n" + move,
       "Screen layout: unreadable, positions play as recorded\nLines"},
      {"none at the start", move + b + move,
       "Screen layout: none at the start\n  then changed 1 time during the recording\nLines"},
  };
  for (const auto& c : cases) {
    const std::string report =
        FormatMotionFileInfo("a.mmf", AnalyzeMotionBytes("[MouseMotionFile]\r\n" + c.entries));
    EXPECT_NE(report.find("pixels\n" + c.shown), std::string::npos) << c.name << "\n" << report;
  }
}

TEST(MotionInfo, SaysWhyAFileIsNotPlayable) {
  fake::FakeFileSystem files;
  files.Put("/d/header-only.mmf", "[MouseMotionFile]\r\n");
  files.Put("/d/skips-all.mmf", "[MouseMotionFile]\r\n\r\nfoo,1,2,3\r\n");
  files.Put("/d/other.txt", "[MouseMotionFile] \r\nmove,1,2,3\r\n");
  files.Put("/d/cut.mmf", "[MouseMotionFile]\r\nmove,1,2,3\r\nmove,4,5,6\r\n");
  files.Put("/d/long.mmf", "[MouseMotionFile]\r\nmove,1,2,3\r\n" + std::string(1 << 20, 'm'));
  auto verdict = [&](const std::string& path) {
    const std::string report = FormatMotionFileInfo(path, AnalyzeMotionFile(files, path));
    return report.substr(report.find("Playable: "));
  };
  EXPECT_EQ(verdict("/d/header-only.mmf"), "Playable: no (no entry to play)\n");
  EXPECT_EQ(verdict("/d/skips-all.mmf"), "Playable: no (no entry to play)\n");
  EXPECT_EQ(verdict("/d/other.txt"),
            "Playable: no (\"/d/other.txt\" is not a mouse motion file (its first line is not "
            "\"[MouseMotionFile]\"))\n");
  EXPECT_EQ(verdict("/d/long.mmf"),
            "Playable: no (reading stopped: line 3 is longer than any entry (more than 4096 "
            "bytes))\n");
  EXPECT_EQ(verdict("/d/missing.mmf").rfind("Playable: no (cannot read \"/d/missing.mmf\": ", 0),
            0u);
  files.fail_read_at = 35;  // inside the second entry
  const MotionFileInfo cut = AnalyzeMotionFile(files, "/d/cut.mmf");
  EXPECT_FALSE(cut.Playable());
  EXPECT_EQ(cut.problem.rfind("reading stopped after line 2: ", 0), 0u) << cut.problem;
  EXPECT_NE(cut.problem.find("(Error 57)"), std::string::npos) << cut.problem;
}

}  // namespace
}  // namespace pel::test
