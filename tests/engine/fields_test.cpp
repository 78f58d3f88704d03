// Text helpers of the engine: the field splitter, delays as entries write them, numbers as
// playback reads them, and the temporary folder.
#include "testkit/comma_locale.h"
#include "testkit/engine_test.h"

namespace pel::test {
namespace {

TEST(GetField, SplitsAtTheDelimiterWithoutTrimming) {
  EXPECT_EQ(GetField("a,b,c,d", 1, ","), "a");
  EXPECT_EQ(GetField("a,b,c,d", 4, ","), "d");
  EXPECT_EQ(GetField("a,b,c,d", 5, ","), "");
  EXPECT_EQ(GetField("a,,c", 2, ","), "");
  EXPECT_EQ(GetField("abc", 3, ","), "abc");  // no delimiter: the whole text for every field
  EXPECT_EQ(GetField("", 1, ","), "");
  EXPECT_EQ(GetField("a,b", 0, ","), "");
  EXPECT_EQ(GetField("a,b", -1, ","), "");
  EXPECT_EQ(GetField("a,b", 1, ""), "");
  EXPECT_EQ(GetField(" a , b ", 2, ","), " b ");
  EXPECT_EQ(GetField("a::b::c", 2, "::"), "b");  // longer delimiters search past the last one
  EXPECT_EQ(GetField("a:::b", 2, "::"), ":b");
  EXPECT_EQ(GetField("a,b,", 3, ","), "");
}

TEST(FormatDelay, ShortestPlainDecimalWithAPoint) {
  EXPECT_EQ(FormatDelay(0), "0");
  EXPECT_EQ(FormatDelay(16), "16");
  EXPECT_EQ(FormatDelay(1500), "1500");
  EXPECT_EQ(FormatDelay(0.5), "0.5");
  EXPECT_EQ(FormatDelay(0.001), "0.001");
  EXPECT_EQ(FormatDelay(12.25), "12.25");
  EXPECT_EQ(FormatDelay(1e15), "1000000000000000");
  EXPECT_EQ(FormatDelay(1e20), "100000000000000000000");  // no exponent, however large
  EXPECT_EQ(FormatDelay(1.5e-7), "0.00000015");
  EXPECT_EQ(FormatDelay(-3), "-3");
  // Binary noise beyond 15 significant digits is not written.
  EXPECT_EQ(FormatDelay(0.016 * 1000), "16");
  EXPECT_EQ(FormatDelay(0.1 + 0.2), "0.3");
  EXPECT_EQ(FormatDelay(1.0 / 3), "0.333333333333333");
  EXPECT_THROW(FormatDelay(std::numeric_limits<double>::infinity()), Error);
}

TEST(CommaLocaleTest, DelaysKeepTheirPointAndNumbersReadWithIt) {
  CommaLocale comma;
  ASSERT_TRUE(comma.Active()) << CommaLocale::kMissing;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.1f", 0.5);
  ASSERT_STREQ(buf, "0,5") << "locale did not take effect";
  EXPECT_EQ(FormatDelay(0.5), "0.5");
  EXPECT_EQ(FormatDelay(1234.5), "1234.5");
  EXPECT_DOUBLE_EQ(LeadingNumber("1500.5"), 1500.5);
  EXPECT_DOUBLE_EQ(LeadingNumber("2,5"), 2);
}

TEST(LeadingNumber, ReadsTheNumberAtTheStartOrZero) {
  EXPECT_DOUBLE_EQ(LeadingNumber("512"), 512);
  EXPECT_DOUBLE_EQ(LeadingNumber("-5"), -5);
  EXPECT_DOUBLE_EQ(LeadingNumber("+7"), 7);
  EXPECT_DOUBLE_EQ(LeadingNumber("16.5ms"), 16.5);
  EXPECT_DOUBLE_EQ(LeadingNumber(".5"), 0.5);
  EXPECT_DOUBLE_EQ(LeadingNumber("5."), 5);
  EXPECT_DOUBLE_EQ(LeadingNumber("1e3"), 1000);
  EXPECT_DOUBLE_EQ(LeadingNumber("1e"), 1);
  EXPECT_DOUBLE_EQ(LeadingNumber("2E-1x"), 0.2);
  EXPECT_DOUBLE_EQ(LeadingNumber("abc"), 0);
  EXPECT_DOUBLE_EQ(LeadingNumber(""), 0);
  EXPECT_DOUBLE_EQ(LeadingNumber("-"), 0);
  EXPECT_DOUBLE_EQ(LeadingNumber("."), 0);
  EXPECT_DOUBLE_EQ(LeadingNumber("1e-400"), 0);
  EXPECT_DOUBLE_EQ(LeadingNumber("0.000e999999999999"), 0);
  EXPECT_THROW(LeadingNumber("1e400"), Error);
  EXPECT_THROW(LeadingNumber(std::string(400, '9')), Error);
}

class TempFolder : public EngineTest {};

TEST_F(TempFolder, AppendsTheSeparatorOnceAndNeverGivesTheRoot) {
  env.separator = '\\';
  env.vars["TEMP"] = "C:\\Temp";
  EXPECT_EQ(recorder.GetTempFolder(), "C:\\Temp\\");
  env.vars["TEMP"] = "C:\\Temp\\";
  EXPECT_EQ(recorder.GetTempFolder(), "C:\\Temp\\");
  env.separator = '/';
  env.vars["TEMP"] = "/var/tmp";
  EXPECT_EQ(recorder.GetTempFolder(), "/var/tmp/");
  // Unset or empty: the user's own temporary folder rather than a lone separator.
  env.user_temp = "/home/u/.cache/tmp/";
  env.vars["TEMP"] = "";
  EXPECT_EQ(recorder.GetTempFolder(), "/home/u/.cache/tmp/");
  env.vars.erase("TEMP");
  env.user_temp = "/run/user/1000";
  EXPECT_EQ(recorder.GetTempFolder(), "/run/user/1000/");
}

TEST_F(TempFolder, AddMotionWritesEntriesAndMarksThemUnsaved) {
  recorder.AddMotion(-5, 1080, 16, "move");
  EXPECT_TRUE(recorder.unsaved);
  recorder.AddMotion(-5, 1080, 1500, "Left");
  recorder.AddMotion(2147483647, -2147483647 - 1, 0.5, "Right");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"move,-5,1080,16", "Left,-5,1080,1500",
                                                 "Right,2147483647,-2147483648,0.5"}));
}

TEST_F(TempFolder, AddMotionReportsAFailureAndStillMarksUnsaved) {
  recorder.AddMotion(1, 2, std::numeric_limits<double>::quiet_NaN(), "move");
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_NE(dialogs.boxes[0].text.find("mVazazEzerev.AddMotion at line 100\r\r"),
            std::string::npos);
  EXPECT_EQ(recorder.entries.Count(), 0);
  EXPECT_TRUE(recorder.unsaved);
}

TEST(EntryList, OneBasedReadsAppendCountAndRemoveFirst) {
  EntryList list;
  EXPECT_THROW(list.Item(1), Error);
  EXPECT_THROW(list.RemoveFirst(), Error);
  list.Add("a");
  list.Add("");
  list.Add(std::string("x\0y", 3));
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Item(1), "a");
  EXPECT_EQ(list.Item(2), "");
  EXPECT_EQ(list.Item(3), std::string("x\0y", 3));
  EXPECT_THROW(list.Item(0), Error);
  EXPECT_THROW(list.Item(4), Error);
  list.RemoveFirst();
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Item(1), "");
  list.Add("b");
  EXPECT_EQ(list.Item(3), "b");
  list.Clear();
  EXPECT_TRUE(list.Empty());
  list.Add("c");
  EXPECT_EQ(list.Item(1), "c");
}

}  // namespace
}  // namespace pel::test
