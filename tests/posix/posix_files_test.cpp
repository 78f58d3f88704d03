// The POSIX file system against a fresh folder on the real disk.

#include "platform/posix/posix_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "platform/error.h"
#include "testkit/other_user.h"
#include "testkit/raised.h"
#include "testkit/real_disk.h"

namespace pel {
namespace {

namespace fs = std::filesystem;

class PosixFilesTest : public ::testing::Test {
 protected:
  void Write(const std::string& name, const std::string& bytes) {
    test::WriteWholeFile(tmp / name, bytes);
  }
  std::string Read(const std::string& name) { return test::ReadWholeFile(tmp / name); }
  std::vector<std::string> Names() { return test::FolderNames(dir); }

  PosixFileSystem files;
  test::TempFolder tmp{"posix"};
  const std::string dir = tmp.Path();
};

TEST_F(PosixFilesTest, WhatCountsAsANormalFile) {
  Write("plain.mmf", "x");
  Write(".hidden.mmf", "x");
  fs::create_directory(dir + "/folder");
  fs::create_symlink(dir + "/plain.mmf", dir + "/link.mmf");
  fs::create_symlink(dir + "/gone", dir + "/dangling.mmf");
  ::mkfifo((dir + "/fifo").c_str(), 0600);
  EXPECT_TRUE(files.IsNormalFile(dir + "/plain.mmf"));
  EXPECT_TRUE(files.IsNormalFile(dir + "/link.mmf"));
  EXPECT_FALSE(files.IsNormalFile(dir + "/.hidden.mmf"));
  EXPECT_FALSE(files.IsNormalFile(dir + "/folder"));
  EXPECT_FALSE(files.IsNormalFile(dir + "/dangling.mmf"));
  EXPECT_FALSE(files.IsNormalFile(dir + "/fifo"));
  EXPECT_FALSE(files.IsNormalFile(dir + "/missing"));
  EXPECT_FALSE(files.IsNormalFile(dir + "/plain.mmf/x"));
  EXPECT_FALSE(files.IsNormalFile(""));
  EXPECT_TRUE(files.CanReadTimestamp(dir + "/.hidden.mmf"));
  EXPECT_TRUE(files.CanReadTimestamp(dir + "/folder"));
  EXPECT_FALSE(files.CanReadTimestamp(dir + "/missing"));
  // Anything at all counts as being there, however it looks.
  EXPECT_EQ(files.KindOf(dir + "/.hidden.mmf"), PathKind::File);
  EXPECT_EQ(files.KindOf(dir + "/dangling.mmf"), PathKind::File);
  EXPECT_EQ(files.KindOf(dir + "/fifo"), PathKind::File);
  EXPECT_EQ(files.KindOf(dir + "/folder"), PathKind::Folder);
  EXPECT_EQ(files.KindOf(dir + "/missing"), PathKind::None);
  // The program's own files are never read through a link.
  EXPECT_NE(test::ErrorNumberOf([&] { files.OpenRead(dir + "/link.mmf", FileUse::Own); }), 0);
  EXPECT_EQ(test::ErrorNumberOf([&] { files.OpenRead(dir + "/plain.mmf", FileUse::Own); }), 0);
}

TEST_F(PosixFilesTest, OpenReadGivesSizeAndBytesAndRefusesWhatIsNoFile) {
  std::string bytes(200000, 'a');
  bytes[123456] = '\r';
  Write("f", bytes);
  auto in = files.OpenRead(dir + "/f", FileUse::User);
  EXPECT_EQ(in->Size(), bytes.size());
  std::string got;
  char buf[7000];
  while (size_t n = in->Read(buf, sizeof buf)) got.append(buf, n);
  EXPECT_EQ(got, bytes);
  EXPECT_EQ(in->Read(buf, sizeof buf), 0u);

  fs::create_directory(dir + "/folder");
  ::mkfifo((dir + "/fifo").c_str(), 0600);
  std::string why;
  EXPECT_EQ(test::ErrorNumberOf([&] { files.OpenRead(dir + "/missing", FileUse::User); }, &why),
            err::kFileNotFound);
  EXPECT_NE(why.find(dir + "/missing"), std::string::npos) << why;
  EXPECT_NE(why.find("No such file or directory"), std::string::npos) << why;
  EXPECT_EQ(test::ErrorNumberOf([&] { files.OpenRead(dir + "/folder", FileUse::User); }),
            err::kPathFileAccess);
  EXPECT_EQ(test::ErrorNumberOf([&] { files.OpenRead(dir + "/fifo", FileUse::User); }),
            err::kPathFileAccess);  // no hang
  EXPECT_EQ(test::ErrorNumberOf([&] { files.OpenRead(dir + "/f/x", FileUse::User); }),
            err::kPathNotFound);
}

TEST_F(PosixFilesTest, ReplaceIsInvisibleUntilCommitAndKeepsPermissions) {
  Write("t", "old");
  ::chmod((dir + "/t").c_str(), 0640);
  {
    auto out = files.BeginReplace(dir + "/t", FileUse::User);
    out->Write("new ");
    out->Write("bytes");
    EXPECT_EQ(Read("t"), "old");
    ASSERT_EQ(Names().size(), 2u);  // the temporary sits beside the target, hidden
    EXPECT_EQ(Names()[0].rfind(".pelmira-", 0), 0u);
    out->Commit();
  }
  EXPECT_EQ(Read("t"), "new bytes");
  EXPECT_EQ(Names(), std::vector<std::string>{"t"});
  struct stat st {};
  ::stat((dir + "/t").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // Dropped without Commit: target untouched, temporary gone.
  {
    auto out = files.BeginReplace(dir + "/t", FileUse::User);
    out->Write("half");
  }
  EXPECT_EQ(Read("t"), "new bytes");
  EXPECT_EQ(Names(), std::vector<std::string>{"t"});

  // A new file in a folder given relative to the working folder.
  const fs::path cwd = fs::current_path();
  fs::current_path(dir);
  {
    auto out = files.BeginReplace("rel", FileUse::User);
    out->Write("r");
    out->Commit();
  }
  fs::current_path(cwd);
  EXPECT_EQ(Read("rel"), "r");
}

// The temporary's name does not grow with the target's: a name of the longest length the disk
// allows is saved and saved over; one byte more is a bad file name, with nothing left behind.
TEST_F(PosixFilesTest, ReplaceTakesTheLongestNameTheDiskAllows) {
  const long longest = ::pathconf(dir.c_str(), _PC_NAME_MAX);
  ASSERT_GT(longest, 4);
  const std::string name = std::string(static_cast<size_t>(longest) - 4, 'n') + ".mmf";
  for (const char* bytes : {"first", "second"}) {
    EXPECT_EQ(test::ErrorNumberOf([&] {
                auto out = files.BeginReplace(dir + "/" + name, FileUse::User);
                out->Write(bytes);
                out->Commit();
              }),
              0);
    EXPECT_EQ(Read(name), bytes);
  }
  EXPECT_EQ(test::ErrorNumberOf([&] { files.BeginReplace(dir + "/n" + name, FileUse::User); }),
            err::kBadFileName);
  EXPECT_EQ(Names(), std::vector<std::string>{name});
}

TEST_F(PosixFilesTest, ReplaceRefusesFoldersAndMissingFolders) {
  fs::create_directory(dir + "/folder");
  Write("file", "x");
  EXPECT_EQ(test::ErrorNumberOf([&] { files.BeginReplace(dir + "/folder", FileUse::User); }),
            err::kPathFileAccess);
  EXPECT_EQ(test::ErrorNumberOf([&] { files.BeginReplace(dir + "/missing/a", FileUse::User); }),
            err::kPathNotFound);
  EXPECT_EQ(test::ErrorNumberOf([&] { files.BeginReplace(dir + "/file/a", FileUse::User); }),
            err::kPathNotFound);
  EXPECT_EQ(test::ErrorNumberOf([&] { files.BeginReplace(dir + "/", FileUse::User); }),
            err::kBadFileName);
  EXPECT_EQ(test::ErrorNumberOf([&] { files.BeginReplace("", FileUse::User); }), err::kBadFileName);
  EXPECT_EQ(Names(), (std::vector<std::string>{"file", "folder"}));
}

TEST_F(PosixFilesTest, ReplaceOfASymlinkReplacesTheLink) {
  Write("real", "real");
  fs::create_symlink(dir + "/real", dir + "/link");
  auto out = files.BeginReplace(dir + "/link", FileUse::Own);
  out->Write("new");
  out->Commit();
  EXPECT_EQ(Read("real"), "real");
  EXPECT_FALSE(fs::is_symlink(dir + "/link"));
  EXPECT_EQ(Read("link"), "new");
}

TEST_F(PosixFilesTest, ReplaceNeverTakesThePlaceOfADeviceOrAPipe) {
  ::mkfifo((dir + "/fifo").c_str(), 0600);
  fs::create_symlink("/dev/null", dir + "/to-null");
  std::vector<std::string> paths = {dir + "/fifo", dir + "/to-null", "/dev/null"};
  if (::geteuid() == 0) {
    ASSERT_EQ(::mknod((dir + "/chr").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
    paths.push_back(dir + "/chr");
  }
  for (const std::string& path : paths) {
    for (FileUse use : {FileUse::User, FileUse::Own}) {
      if (use == FileUse::Own && path == dir + "/to-null") continue;  // the link itself goes
      std::string said;
      EXPECT_EQ(test::ErrorNumberOf([&] { files.BeginReplace(path, use); }, &said),
                err::kPathFileAccess)
          << path;
      EXPECT_NE(said.find("not an ordinary file"), std::string::npos) << said;
    }
  }
  struct stat st {};
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  ASSERT_EQ(::lstat((dir + "/fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(Names().size(), paths.size() - 1);  // no temporary left beside them
}

// A link in a shared sticky folder such as /tmp is followed only where the kernel would follow
// it: when it is the saver's own or the folder owner's.
TEST_F(PosixFilesTest, ReplaceFollowsAnotherUsersLinkOnlyWhereTheKernelWould) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
  ::chmod(dir.c_str(), 0755);
  struct Case {
    const char* name;
    mode_t folder_mode;
    uid_t folder_owner;
    uid_t link_owner;
    bool followed;
  };
  const Case cases[] = {
      {"another user's link in a shared sticky folder", 01777, 0, test::kNobody, false},
      {"the folder owner's link", 01777, test::kNobody, test::kNobody, true},
      {"the saver's own link", 01777, test::kNobody, 0, true},
      {"another user's link in a folder that is not sticky", 0777, 0, test::kNobody, true},
      {"another user's link in a folder only its owner writes", 01755, 0, test::kNobody, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string shared = dir + "/shared" + std::to_string(++n);
    const std::string victim = dir + "/victim" + std::to_string(n);
    Write("victim" + std::to_string(n), "mine");
    fs::create_directory(shared);
    ASSERT_EQ(::chown(shared.c_str(), c.folder_owner, 0), 0);
    ASSERT_EQ(::chmod(shared.c_str(), c.folder_mode), 0);
    const std::string link = shared + "/save.mmf";
    if (c.link_owner == test::kNobody) {
      // Planted by the other user in person, as in /tmp.
      ::chmod(shared.c_str(), 01777);
      ASSERT_EQ(test::RunAsOtherUser([&] { return ::symlink(victim.c_str(), link.c_str()); }), 0);
      ::chmod(shared.c_str(), c.folder_mode);
    } else {
      fs::create_symlink(victim, link);
    }
    const int32_t error = test::ErrorNumberOf([&] {
      auto out = files.BeginReplace(link, FileUse::User);
      out->Write("saved");
      out->Commit();
    });
    EXPECT_EQ(error, c.followed ? 0 : err::kPermissionDenied) << c.name;
    EXPECT_EQ(test::ReadWholeFile(victim), c.followed ? "saved" : "mine") << c.name;
    EXPECT_TRUE(fs::is_symlink(link)) << c.name;
  }
}

TEST(FileErrorNumberTest, SystemErrorsMapToTheRuntimeNumbers) {
  EXPECT_EQ(FileErrorNumber(ENOENT, false), err::kFileNotFound);
  EXPECT_EQ(FileErrorNumber(ENOENT, true), err::kPathNotFound);
  EXPECT_EQ(FileErrorNumber(EACCES, false), err::kPermissionDenied);
  EXPECT_EQ(FileErrorNumber(EROFS, true), err::kPermissionDenied);
  EXPECT_EQ(FileErrorNumber(ENOSPC, true), err::kDiskFull);
  EXPECT_EQ(FileErrorNumber(EDQUOT, true), err::kDiskFull);
  EXPECT_EQ(FileErrorNumber(EIO, false), err::kDeviceIoError);
  EXPECT_EQ(FileErrorNumber(EISDIR, false), err::kPathFileAccess);
}

}  // namespace
}  // namespace pel
