// Window entries: every class and title survives the entry and a file's line ends, readers that
// know only motion kinds skip them, a malformed one is refused rather than half read, and long
// texts are kept short enough for every reader.
#include "engine/motionfile/window_entry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/motionfile/motion_entry.h"
#include "engine/motionfile/motion_file.h"
#include "engine/motionfile/motion_info.h"

namespace pel::test {
namespace {

TEST(WindowEntryTest, HostileTextsRoundTripOnOneLineOfSixFields) {
  const std::string texts[] = {"",
                               "Untitled - Editor",
                               ",a,,b,",
                               "\"quoted\" 'single'",
                               "100% %41 %",
                               "  blanks at both ends  ",
                               std::string("cr\rlf\ntab\tnul\0del\x7f", 18),
                               "Gr\xc3\xbc\xc3\x9f"
                               "e \xe6\x97\xa5 \xf0\x9f\x8e\x89",
                               "bad \xff\xfe \xc3 \xed\xa0\x80 \xf4\x90\x80\x80",
                               "C1 \xc2\x85 \xc2\x9b[31m"};
  for (const std::string& cls : texts) {
    for (const std::string& title : texts) {
      const TopWindow w{0, cls, title, -1920, -56, 800, 600};
      const std::string entry = WindowEntry(w);
      SCOPED_TRACE(entry);
      EXPECT_EQ(std::count(entry.begin(), entry.end(), ','), 5);
      EXPECT_TRUE(std::none_of(entry.begin(), entry.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
      }));
      EXPECT_FALSE(EntryKind(entry).has_value()) << "older readers skip it";
      const std::optional<WindowNote> back = ReadWindowEntry(entry);
      ASSERT_TRUE(back && back->window);
      EXPECT_EQ(*back->window, w);
    }
  }
  EXPECT_EQ(WindowEntry(TopWindow{9, "XTerm", "a, b", 10, 20, 300, 200}),
            "window,10,20,300x200,XTerm,a%2C b");
  EXPECT_EQ(WindowEntry(std::nullopt), "window,none");
  // The program note: a window entry to every reader (no motion), of three fields.
  const std::string note = ProgramNote(" a,b.exe");
  EXPECT_EQ(note, "window,program,%20a%2Cb.exe");
  EXPECT_TRUE(IsWindowEntry(note));
  EXPECT_FALSE(EntryKind(note).has_value());
  const std::optional<WindowNote> program = ReadWindowEntry(" Window , PROGRAM ,%20a%2Cb.exe");
  EXPECT_TRUE(program && !program->window && program->program == " a,b.exe");
  // Shown to a terminal: nothing it would act on, commas and blanks kept.
  EXPECT_EQ(ShownWindowText(" a, \xc2\x9b"
                            "b\x1b "),
            " a, %C2%9Bb%1B ");
}

TEST(WindowEntryTest, ReadingIsLenientButRefusesMalformedEntries) {
  const std::optional<WindowNote> spaced = ReadWindowEntry(" WINDOW , 1 , 2 ,3x4, Cls , T%2C ");
  ASSERT_TRUE(spaced && spaced->window);
  EXPECT_EQ(*spaced->window, (TopWindow{0, "Cls", "T,", 1, 2, 3, 4}));
  const std::optional<WindowNote> none = ReadWindowEntry("Window, NONE");
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->window);
  EXPECT_EQ(UnescapeWindowText("%|%4|%zz|%41|%e9"), "%|%4|%zz|A|\xe9");
  for (const char* bad : {"window", "window,", "window,nothing", "window,1,2,3x4,cls",
                          "window,1,2,3x4,c,t,more", "window,1,2,0x4,c,t", "window,a,2,3x4,c,t",
                          "window,1,2,34,c,t", "windows,none", "move,1,2,3"})
    EXPECT_FALSE(ReadWindowEntry(bad).has_value()) << bad;
}

TEST(WindowEntryTest, LongTextsAreCutAtACharacterSoThatEveryEntryCanBeRead) {
  auto times = [](std::string_view unit, std::string out = {}) {
    while (out.size() < 3000) out.append(unit);
    return out;
  };
  struct Case {
    const char* what;
    std::string title;
    size_t unit;  // bytes of each character
  };
  const Case cases[] = {
      {"1,500 percent signs", std::string(1500, '%'), 1},
      {"three-byte characters", times("\xe2\x82\xac"), 3},
      {"C1 controls", times("\xc2\x85"), 1},
      {"a blank where it is cut", std::string(2045, 'b') + "  tail", 1},
  };
  for (const Case& c : cases) {
    const TopWindow w{0, std::string(3000, ','), c.title, 1, 2, 3, 4, false, "prog"};
    const std::string entry = WindowEntry(w);
    EXPECT_LE(entry.size(), kLongestLine) << c.what;
    const std::optional<WindowNote> back = ReadWindowEntry(entry);
    ASSERT_TRUE(back && back->window) << c.what;
    const std::string& kept = back->window->title;
    const size_t escaped = EscapeWindowText(kept).size();
    EXPECT_TRUE(c.title.starts_with(kept) && kept.size() % c.unit == 0) << c.what;
    EXPECT_TRUE(escaped <= kKeptTitleBytes && escaped + 6 > kKeptTitleBytes) << c.what;
    EXPECT_EQ(ShortenWindowText(kept, kKeptTitleBytes), kept) << c.what;
  }
  EXPECT_EQ(ShortenWindowText("ab cd", 4), "ab");
}

// Window entries of earlier versions, titles whole, load up to kLongestWindowLine (a 64 KiB title
// of controls is 192 KiB escaped); every other line longer than any entry still stops reading.
TEST(WindowEntryTest, OnlyWindowEntriesMayBeLongerThanAnyOtherEntry) {
  const std::string header = std::string(kMotionFileHeader) + "\r\n";
  const std::string title(65536, '\x01');
  const MotionFileInfo info = AnalyzeMotionBytes(header + "window,1,2,3x4,Cls," +
                                                 EscapeWindowText(title) + "\r\nLeft,2,3,0\r\n");
  EXPECT_EQ(info.windows.at(0).title, ShortenWindowText(title, kKeptTitleBytes)) << info.problem;
  for (const std::string& line :
       {"move,1,1," + std::string(5000, '0'), "window,1,2,3x4," + std::string(5000, 'x'),
        "window,1,2,3x4,Cls," + std::string(kLongestWindowLine, 't')}) {
    EXPECT_EQ(AnalyzeMotionBytes(header + line + "\r\n").problem,
              "reading stopped: " + LineTooLongText(2))
        << line.substr(0, 20);
  }
}

}  // namespace
}  // namespace pel::test
