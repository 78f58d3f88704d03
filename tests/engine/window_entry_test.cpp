// Window entries: every class and title survives the entry and a file's line ends, readers that
// know only motion kinds skip them, and a malformed one is refused rather than half read.
#include "engine/motionfile/window_entry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/motionfile/motion_entry.h"

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

}  // namespace
}  // namespace pel::test
