// Saving and loading on the real disk, in a fresh folder per test: what only a real disk shows
// (links, owners and modes, another user, a full file system, leftovers of killed saves). The
// file rules are in motion_file_test.cpp, the POSIX calls in tests/posix.

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/posix/posix_files.h"
#include "testkit/engine_test.h"
#include "testkit/other_user.h"
#include "testkit/real_disk.h"

namespace pel::test {
namespace {

namespace fs = std::filesystem;

PosixFileSystem disk;

class DiskTest : public MotionFileTest {
 protected:
  DiskTest() : MotionFileTest(&disk) {}
  void TearDown() override {
    if (!mounted.empty()) ::umount2(mounted.c_str(), MNT_DETACH);
  }
  TempFolder tmp{"motionfile"};
  const std::string dir = tmp.Path();
  std::string mounted;
  const std::vector<std::string> three = {"move,512,384,10", "move,515,380,16", "Left,515,380,234"};
};

TEST_F(DiskTest, SavedFileIsByteExactAndNothingElseIsLeft) {
  Record(three);
  SaveTo(dir + "/a.mmf");
  EXPECT_EQ(ReadWholeFile(dir + "/a.mmf"), FileOf(three));
  EXPECT_EQ(FolderNames(dir), std::vector<std::string>{"a.mmf"});
  EXPECT_FALSE(recorder.unsaved);
  EXPECT_EQ(Boxes(), 0);

  recorder.entries.Clear();
  recorder.LoadDataFromFile(dir + "/a.mmf");
  EXPECT_EQ(Entries(), three);
}

TEST_F(DiskTest, HiddenFileIsAskedAboutAndALinkKeepsNamingTheSavedFile) {
  WriteWholeFile(dir + "/.hidden.mmf", "old");
  Record(three);
  SaveTo(dir + "/.hidden.mmf", {MsgResult::No});
  EXPECT_EQ(Boxes(), 1);
  EXPECT_EQ(ReadWholeFile(dir + "/.hidden.mmf"), "old");
  EXPECT_TRUE(recorder.unsaved);

  // A relative link into another folder: the file it names is replaced there and keeps its
  // owner, group and mode; the link stays a link.
  const std::string real = dir + "/sub/real.mmf";
  fs::create_directory(dir + "/sub");
  WriteWholeFile(real, "old");
  ::chmod(real.c_str(), 0640);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(real.c_str(), kNobody, kNogroup), 0);
  }
  ASSERT_EQ(::symlink("sub/real.mmf", (dir + "/link.mmf").c_str()), 0);
  SaveTo(dir + "/link.mmf", {MsgResult::Yes});
  EXPECT_EQ(Boxes(), 2);
  EXPECT_TRUE(fs::is_symlink(dir + "/link.mmf"));
  EXPECT_EQ(ReadWholeFile(real), FileOf(three));
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_uid, root ? kNobody : ::getuid());
  EXPECT_EQ(FolderNames(dir + "/sub"), std::vector<std::string>{"real.mmf"});
  EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{".hidden.mmf", "link.mmf", "sub"}));
  EXPECT_FALSE(recorder.unsaved);
}

TEST_F(DiskTest, UnwritablePlacesFailWithAMessageAndLeaveNoTrace) {
  Record(three);
  // A folder as the target.
  fs::create_directory(dir + "/folder.mmf");
  SaveTo(dir + "/folder.mmf");
  // A folder that does not exist (a file where a folder should be is the same to the file
  // system: tests/posix).
  SaveTo(dir + "/missing/a.mmf");
  ASSERT_EQ(Boxes(), 2);
  EXPECT_NE(dialogs.boxes[0].text.find("Error: 75\r\n  Path/File access error ("),
            std::string::npos)
      << dialogs.boxes[0].text;
  EXPECT_NE(dialogs.boxes[1].text.find("Error: 76\r\n  Path not found ("), std::string::npos)
      << dialogs.boxes[1].text;
  EXPECT_NE(dialogs.boxes[1].text.find(dir + "/missing/a.mmf"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(dir + "/folder.mmf"));
  EXPECT_EQ(FolderNames(dir), std::vector<std::string>{"folder.mmf"});
  EXPECT_TRUE(recorder.unsaved);
}

TEST_F(DiskTest, ReadOnlyFileOrFolderIsPermissionDeniedAndKept) {
  // The user's own folder with a read-only file, and a read-only folder.
  WriteWholeFile(dir + "/a.mmf", "precious");
  ::chmod((dir + "/a.mmf").c_str(), 0444);
  fs::create_directory(dir + "/ro");
  ::chmod((dir + "/ro").c_str(), 0555);
  for (const char* p : {"", "/a.mmf", "/ro"})
    ASSERT_EQ(::chown((dir + p).c_str(), kNobody, kNogroup) == 0 || ::geteuid() != 0, true);
  Record(three);
  // Checked in the child; the number says which check failed.
  const int failed = RunAsOtherUser([&] {
    SaveTo(dir + "/a.mmf", {MsgResult::Yes});
    SaveTo(dir + "/ro/a.mmf");
    if (Boxes() != 3) return 1;
    for (size_t i : {1u, 2u})
      if (dialogs.boxes[i].text.rfind("RodazIrerevuv has failed to save Data!\r\nError: 70", 0) !=
          0)
        return 2;
    return recorder.unsaved ? 0 : 3;
  });
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(ReadWholeFile(dir + "/a.mmf"), "precious");
  EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"a.mmf", "ro"}));
  EXPECT_TRUE(FolderNames(dir + "/ro").empty());
  ::chmod((dir + "/ro").c_str(), 0755);
}

TEST_F(DiskTest, StaleTemporaryFilesOfOursGoAtTheNextSave) {
  auto plant = [&](const std::string& name, int age_seconds) {
    const std::string path = dir + "/" + name;
    WriteWholeFile(path, "half a recording");
    const struct timespec when[2] = {{::time(nullptr) - age_seconds, 0},
                                     {::time(nullptr) - age_seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), when, 0);
    return path;
  };
  plant(".pelmira-0badc0de.tmp", 3600);      // a save killed an hour ago: goes
  plant(".a.mmf.pelmira.Ab12Cd.tmp", 3600);  // the same, named as earlier versions did: goes
  plant(".pelmira-1234abcd.tmp", 10);        // a save still writing: stays
  plant(".c.mmf.backup.tmp", 3600);          // not our naming: stays
  const std::string foreign = plant(".pelmira-feedf00d.tmp", 3600);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(foreign.c_str(), kNobody, kNogroup), 0);  // another user's: stays
  }
  Record(three);
  SaveTo(dir + "/new.mmf");
  std::vector<std::string> left = {".c.mmf.backup.tmp", ".pelmira-1234abcd.tmp", "new.mmf"};
  if (root) left.insert(left.begin() + 2, ".pelmira-feedf00d.tmp");
  EXPECT_EQ(FolderNames(dir), left);
}

TEST_F(DiskTest, FullDiskKeepsTheOldFile) {
  const std::string small = dir + "/small";
  fs::create_directory(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  mounted = small;
  WriteWholeFile(small + "/a.mmf", "old recording\r\n");
  Record(std::vector<std::string>(10000, "move,1000,1000,16.25"));
  SaveTo(small + "/a.mmf", {MsgResult::Yes});
  ASSERT_EQ(Boxes(), 2);
  EXPECT_NE(dialogs.boxes[1].text.find("\r\nError: 61\r\n  Disk full ("), std::string::npos)
      << dialogs.boxes[1].text;
  EXPECT_EQ(ReadWholeFile(small + "/a.mmf"), "old recording\r\n");
  EXPECT_EQ(FolderNames(small), std::vector<std::string>{"a.mmf"});
  EXPECT_TRUE(recorder.unsaved);
}

}  // namespace
}  // namespace pel::test
