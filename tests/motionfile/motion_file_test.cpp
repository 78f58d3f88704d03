// Saving and loading mouse motion files against in-memory files with failures on demand.

#include <clocale>

#include "engine/motionfile/motion_file.h"
#include "platform/error.h"
#include "testkit/comma_locale.h"
#include "testkit/engine_test.h"

namespace pel::test {
namespace {

const std::vector<std::string> kThree = {"move,512,384,10", "move,515,380,16", "Left,515,380,234"};

// ---- saving

TEST_F(MotionFileTest, SaveWritesHeaderAndEveryEntryEndedByCrLf) {
  dialog.file_name = "/old/choice.mmf";
  Record(kThree);
  SaveTo("/d/a.mmf");
  EXPECT_EQ(mem.Bytes("/d/a.mmf"),
            "[MouseMotionFile]\r\nmove,512,384,10\r\nmove,515,380,16\r\nLeft,515,380,234\r\n");
  EXPECT_FALSE(recorder.unsaved);
  EXPECT_EQ(Boxes(), 0);
  ASSERT_EQ(dialogs.proposed.size(), 1u);
  EXPECT_EQ(dialogs.proposed[0], "");  // the dialog proposes no name
  EXPECT_EQ(dialogs.filters[0], "Mouse Motion File (*.mmf)|*.mmf");
  EXPECT_EQ(dialog.file_name, "/d/a.mmf");
}

TEST_F(MotionFileTest, SaveWritesEntriesByteForByteAsHeld) {
  const std::vector<std::string> odd = {"", "caf\xE9,1,2,3", "a\nb", std::string("x\0y", 3),
                                        std::string(100000, 'z')};
  Record(odd);
  SaveTo("/d/a.mmf");
  EXPECT_EQ(mem.Bytes("/d/a.mmf"), FileOf(odd));
}

TEST_F(MotionFileTest, NothingUnsavedMeansNoDialogAndNoFile) {
  // Empty list, though marked unsaved.
  recorder.unsaved = true;
  recorder.SaveDataToFile();
  // Entries that are not marked unsaved (a load with nothing unsaved before it).
  recorder.entries.Add("move,1,1,1");
  recorder.unsaved = false;
  recorder.SaveDataToFile();
  EXPECT_EQ(SaveDialogs(), 0);
  EXPECT_TRUE(mem.files.empty());

  // Recording, Save, Save again: the second does nothing.
  Record(kThree);
  SaveTo("/d/a.mmf");
  SaveTo("/d/b.mmf");
  EXPECT_EQ(SaveDialogs(), 1);
  EXPECT_FALSE(mem.Exists("/d/b.mmf"));
}

TEST_F(MotionFileTest, CancelledDialogWritesNothingAndKeepsUnsaved) {
  Record(kThree);
  SaveTo("");
  EXPECT_TRUE(mem.files.empty());
  EXPECT_EQ(log.Count("BeginReplace"), 0);
  EXPECT_TRUE(recorder.unsaved);
  EXPECT_EQ(Boxes(), 0);
}

TEST_F(MotionFileTest, ExistingFileIsOverwrittenOnlyOnYes) {
  mem.Put("/d/a.mmf", "old bytes\n");
  Record(kThree);
  SaveTo("/d/a.mmf", {MsgResult::No});
  ASSERT_EQ(Boxes(), 1);
  EXPECT_EQ(dialogs.boxes[0].text, "File already exists. Do you want to overwrite old File?");
  EXPECT_EQ(dialogs.boxes[0].title, "Save anyway?");
  EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::None);
  EXPECT_EQ(mem.Bytes("/d/a.mmf"), "old bytes\n");
  EXPECT_TRUE(recorder.unsaved);

  SaveTo("/d/a.mmf", {MsgResult::Yes});
  EXPECT_EQ(mem.Bytes("/d/a.mmf"), FileOf(kThree));
  EXPECT_FALSE(recorder.unsaved);
}

TEST_F(MotionFileTest, HiddenSystemAndReadOnlyFilesAreAskedAboutLikeAnyOther) {
  mem.Put("/d/.dot.mmf", "old");
  mem.Put("/d/hidden.mmf", "old");
  mem.files["/d/hidden.mmf"].hidden = true;
  mem.Put("/d/system.mmf", "old");
  mem.files["/d/system.mmf"].system = true;
  Record(kThree);
  for (const char* path : {"/d/.dot.mmf", "/d/hidden.mmf", "/d/system.mmf"}) {
    SaveTo(path, {MsgResult::No});
    EXPECT_EQ(mem.Bytes(path), "old") << path;
    SaveTo(path, {MsgResult::Yes});
    EXPECT_EQ(mem.Bytes(path), FileOf(kThree)) << path;
    Record(kThree);
  }
  EXPECT_EQ(Boxes(), 6);

  // A file we may not write: asked about, then refused with the save error.
  mem.Put("/d/ro.mmf", "old");
  mem.files["/d/ro.mmf"].read_only = true;
  SaveTo("/d/ro.mmf", {MsgResult::Yes});
  ASSERT_EQ(Boxes(), 8);
  EXPECT_EQ(dialogs.boxes[7].text.rfind("RodazIrerevuv has failed to save Data!\r\nError: 70", 0),
            0u);
  EXPECT_EQ(mem.Bytes("/d/ro.mmf"), "old");
  EXPECT_TRUE(recorder.unsaved);
}

TEST_F(MotionFileTest, DecimalCommaLocaleStillWritesPoints) {
  {
    CommaLocale comma;
    ASSERT_TRUE(comma.Active()) << CommaLocale::kMissing;
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    recorder.AddMotion(-5, 1080, 0.5, "move");
    recorder.AddMotion(7, 8, 1234.25, "Left");
    SaveTo("/d/a.mmf");
  }
  EXPECT_EQ(mem.Bytes("/d/a.mmf"), kHeaderLine + "move,-5,1080,0.5\r\nLeft,7,8,1234.25\r\n");
}

// ---- save failures: the old file stays, the temporary goes, the user is told

TEST_F(MotionFileTest, DiskFullLeavesOldFileAndReportsNumberAndText) {
  mem.Put("/d/a.mmf", "good old file\r\n");
  std::vector<std::string> big(20000, "move,1000,1000,16.5");
  Record(big);
  mem.fail_write_at = 2;  // the second chunk finds the disk full
  SaveTo("/d/a.mmf", {MsgResult::Yes});
  EXPECT_EQ(mem.Bytes("/d/a.mmf"), "good old file\r\n");
  EXPECT_EQ(mem.open_writers, 0);  // the temporary file was dropped
  EXPECT_EQ(mem.writes, 2);        // nothing more was attempted
  EXPECT_TRUE(recorder.unsaved);
  EXPECT_EQ(recorder.entries.Count(), 20000);
  ASSERT_EQ(Boxes(), 2);
  const fake::ShownBox& box = dialogs.boxes[1];
  EXPECT_EQ(box.text,
            "RodazIrerevuv has failed to save Data!\r\nError: 61\r\n  Disk full (/d/a.mmf)");
  EXPECT_EQ(box.title, dialogs.app_title);
  EXPECT_EQ(box.buttons, MsgButtons::Ok);
  EXPECT_EQ(box.icon, MsgIcon::None);
}

TEST_F(MotionFileTest, FailedOpenAndFailedCommitAreReportedAndKeepUnsaved) {
  Record(kThree);
  mem.fail_open = err::kPermissionDenied;
  SaveTo("/ro/a.mmf");
  mem.fail_open = 0;
  mem.fail_commit = err::kDeviceIoError;
  SaveTo("/d/a.mmf");
  ASSERT_EQ(Boxes(), 2);
  EXPECT_NE(dialogs.boxes[0].text.find("\r\nError: 70\r\n  Permission denied"), std::string::npos);
  EXPECT_NE(dialogs.boxes[1].text.find("\r\nError: 57\r\n  Device I/O error"), std::string::npos);
  EXPECT_TRUE(mem.files.empty());
  EXPECT_TRUE(recorder.unsaved);
  // The next save offers the dialog again and succeeds.
  mem.fail_commit = 0;
  SaveTo("/d/a.mmf");
  EXPECT_EQ(mem.Bytes("/d/a.mmf"), FileOf(kThree));
  EXPECT_FALSE(recorder.unsaved);
}

TEST_F(MotionFileTest, FolderAsTargetIsAFailureNotAnOverwriteQuestion) {
  mem.MakeFolder("/d/dir.mmf");
  Record(kThree);
  SaveTo("/d/dir.mmf");
  ASSERT_EQ(Boxes(), 1);
  EXPECT_NE(dialogs.boxes[0].text.find("Error: 75"), std::string::npos);
  EXPECT_TRUE(mem.files.at("/d/dir.mmf").folder);
  EXPECT_TRUE(recorder.unsaved);
}

// ---- loading: the line rules, whatever size the reads come back in

class LoadLines : public MotionFileTest, public ::testing::WithParamInterface<size_t> {
 protected:
  void SetUp() override { mem.read_limit = GetParam(); }
  std::vector<std::string> Load(std::string bytes) {
    mem.Put("/d/f.mmf", std::move(bytes));
    recorder.LoadDataFromFile("/d/f.mmf");
    return Entries();
  }
  using V = std::vector<std::string>;
};

TEST_P(LoadLines, LineEndsAndEndOfFile) {
  EXPECT_EQ(Load(FileOf(kThree)), kThree);  // no extra empty entry after the last CR LF
  EXPECT_EQ(Load(kHeaderLine + "a\r\nlast"), (V{"a", "last"}));         // unterminated last line
  EXPECT_EQ(Load(kHeaderLine + "a\rb\r"), (V{"a", "b"}));               // lone CRs end lines
  EXPECT_EQ(Load(kHeaderLine + "a\nb\r\nc\n"), (V{"a", "b", "c"}));     // lone LFs end lines
  EXPECT_EQ(Load("[MouseMotionFile]\nmove,1,1,1\n"), V{"move,1,1,1"});  // LF only, as on Linux
  EXPECT_EQ(Load(kHeaderLine + "a\r\n\r\n\rb\r\n"), (V{"a", "", "", "b"}));  // blank entries
  EXPECT_EQ(Load(kHeaderLine + "\r\n\n"), (V{"", ""}));
  EXPECT_EQ(Load("[MouseMotionFile]\r"), V{});  // header alone, lone CR
  EXPECT_EQ(Load("[MouseMotionFile]"), V{});    // header alone, no line end
  EXPECT_EQ(Load(kHeaderLine + "x,1\r\r\n"), (V{"x,1", ""}));
  EXPECT_EQ(Boxes(), 0);
}

TEST_P(LoadLines, LinesLongerThanAReadChunk) {
  const std::string longer(kLongestLine, 'q');
  EXPECT_EQ(Load(kHeaderLine + longer + "\nshort\r\n" + longer), (V{longer, "short", longer}));
}

INSTANTIATE_TEST_SUITE_P(ReadSizes, LoadLines, ::testing::Values(0, 1, 2, 7));

// ---- loading: what it does to the list and the flag

TEST_F(MotionFileTest, LoadReplacesListAndLeavesUnsavedFlagAlone) {
  mem.Put("/d/one.mmf", FileOf({"move,1,1,1"}));
  mem.Put("/d/two.mmf", FileOf(kThree));
  recorder.LoadDataFromFile("/d/one.mmf");
  EXPECT_FALSE(recorder.unsaved);
  recorder.LoadDataFromFile("/d/two.mmf");  // load after load: no mixing
  EXPECT_EQ(Entries(), kThree);
  EXPECT_FALSE(recorder.unsaved);
  EXPECT_EQ(SaveDialogs(), 0);

  // An unsaved recording: the save dialog comes first; cancelled, the load still goes on and
  // the list stays marked unsaved.
  Record({"Right,5,5,5"});
  log.Clear();
  dialogs.choices.push_back("");
  recorder.LoadDataFromFile("/d/one.mmf");
  EXPECT_EQ(SaveDialogs(), 1);
  EXPECT_EQ(Entries(), std::vector<std::string>{"move,1,1,1"});
  EXPECT_TRUE(recorder.unsaved);
  // The save offer came before the file was opened.
  auto save = std::find(log.calls.begin(), log.calls.end(), "ShowSave ");
  auto open = std::find(log.calls.begin(), log.calls.end(), "OpenRead /d/one.mmf");
  EXPECT_LT(save, open);
}

TEST_F(MotionFileTest, SaveThenLoadGivesTheSameList) {
  std::vector<std::string> entries;
  for (int i = 0; i < 5000; ++i)
    entries.push_back((i % 3 ? "move," : "Left,") + std::to_string(i - 2500) + "," +
                      std::to_string(i * 7) + "," + FormatDelay(i * 0.37));
  entries.push_back("");
  entries.push_back("odd\tline\x01\xff");
  Record(entries);
  SaveTo("/d/a.mmf");
  recorder.entries.Clear();
  recorder.LoadDataFromFile("/d/a.mmf");
  EXPECT_EQ(Entries(), entries);
}

// Files that are refused keep the recording in memory and say why in one message.
TEST_F(MotionFileTest, RefusedFilesKeepTheListAndSayWhy) {
  struct Case {
    const char* name;
    std::string bytes;
    bool present;
  } cases[] = {
      {"lowercase", "[mousemotionfile]\r\nmove,1,1,1\r\n", true},
      {"header plus blank", "[MouseMotionFile] \r\nmove,1,1,1\r\n", true},
      {"blank before header", " [MouseMotionFile]\r\nmove,1,1,1\r\n", true},
      {"empty", "", true},
      {"no header, long line", std::string(300000, 'a'), true},
      {"missing", "", false},
  };
  Record(kThree);
  recorder.unsaved = false;
  for (const Case& c : cases) {
    mem.files.clear();
    if (c.present) mem.Put("/d/f.mmf", c.bytes);
    dialogs.boxes.clear();
    recorder.LoadDataFromFile("/d/f.mmf");
    EXPECT_EQ(Entries(), kThree) << c.name;
    ASSERT_EQ(Boxes(), 1) << c.name;
    EXPECT_EQ(dialogs.boxes[0].text.rfind("Nothing was loaded", 0), 0u) << c.name;
    EXPECT_NE(dialogs.boxes[0].text.find("The recording in memory has been kept."),
              std::string::npos);
    EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::Ok);
  }
  EXPECT_NE(dialogs.boxes[0].text.find("Error: 53"), std::string::npos);  // the missing file
}

TEST_F(MotionFileTest, FolderOrUnopenableFileKeepsTheList) {
  Record(kThree);
  recorder.unsaved = false;
  mem.MakeFolder("/d");
  recorder.LoadDataFromFile("/d");
  mem.Put("/d/f.mmf", FileOf({"x"}));
  mem.fail_open = err::kPermissionDenied;
  recorder.LoadDataFromFile("/d/f.mmf");
  EXPECT_EQ(Entries(), kThree);
  ASSERT_EQ(Boxes(), 2);
  EXPECT_NE(dialogs.boxes[0].text.find("Error: 75"), std::string::npos);
  EXPECT_NE(dialogs.boxes[1].text.find("Error: 70"), std::string::npos);
}

TEST_F(MotionFileTest, ReadFailurePartWayKeepsWhatWasReadAndEnds) {
  std::string bytes = kHeaderLine;
  for (int i = 0; i < 10000; ++i) bytes += "move," + std::to_string(i) + ",0,10\r\n";
  mem.Put("/d/f.mmf", bytes);
  const size_t cut = bytes.find("move,5000,");
  mem.fail_read_at = cut + 3;  // inside entry 5001
  recorder.LoadDataFromFile("/d/f.mmf");
  ASSERT_EQ(recorder.entries.Count(), 5000);
  EXPECT_EQ(recorder.entries.Item(5000), "move,4999,0,10");
  ASSERT_EQ(Boxes(), 1);
  EXPECT_EQ(dialogs.boxes[0].text.rfind("Loading stopped before the end of the file; 5000 entries "
                                        "were loaded.\r\nError: 57\r\n  Device I/O error",
                                        0),
            0u);
  EXPECT_FALSE(recorder.LoadInProgress());
}

// A line longer than any entry (a file of gigabytes without a line end) is not taken in: the load
// stops there, keeps what came before, names the line, and memory stays near the entries' size.
TEST_F(MotionFileTest, LineLongerThanAnyEntryStopsTheLoadAndIsNamed) {
  const size_t size = 8 << 20;
  mem.Put("/d/f.mmf", kHeaderLine + "move,1,1,1\r\n" + std::string(kLongestLine, 'x') + "\r\n" +
                          std::string(size, 'h') + "\r\nmove,2,2,2\r\n");
  recorder.LoadDataFromFile("/d/f.mmf");
  ASSERT_EQ(recorder.entries.Count(), 2);  // the longest line an entry may be still loads
  EXPECT_LT(recorder.entries.CapacityBytes(), size / 4);
  ASSERT_EQ(Boxes(), 1);
  EXPECT_EQ(dialogs.boxes[0].text,
            "Loading stopped: line 4 is longer than any entry (more than 4096 bytes); 2 entries "
            "were loaded.");
  EXPECT_FALSE(recorder.LoadInProgress());
}

TEST_F(MotionFileTest, TypicalEntriesTakeLittleMemory) {
  std::string bytes = kHeaderLine;
  for (int i = 0; i < 100000; ++i) bytes += "move,1024,768,16\r\n";
  mem.Put("/d/f.mmf", bytes);
  recorder.LoadDataFromFile("/d/f.mmf");
  ASSERT_EQ(recorder.entries.Count(), 100000);
  EXPECT_LE(recorder.entries.CapacityBytes() / 100000, 48u);
}

}  // namespace
}  // namespace pel::test
