// Unsaved work kept at the end of a session: written to the program's own folder as a motion
// file, and the next start told where, once.

#include "app/recovery.h"

#include <gtest/gtest.h>

#include "testkit/fake_files.h"
#include "testkit/fake_misc.h"

namespace pel::test {
namespace {

using fake::FakeEnvironment;
using fake::FakeFileSystem;

TEST(Recovery, WrittenBesideTheCachesAndToldOnceAtTheNextStart) {
  FakeFileSystem files;
  FakeEnvironment env;
  EXPECT_FALSE(TakeRecoveryNotice(files, env)) << "nothing kept, nothing said";

  EntryList list;
  list.Add("move,1,2,0.1");
  list.Add("Left,3,4,0.2");
  const std::string path = WriteRecovery(list, files, env);
  EXPECT_EQ(path, env.user_temp + "recovered.mmf");
  const std::string written = "[MouseMotionFile]\r\nmove,1,2,0.1\r\nLeft,3,4,0.2\r\n";
  EXPECT_EQ(files.Bytes(path), written);

  const std::optional<std::string> notice = TakeRecoveryNotice(files, env);
  ASSERT_TRUE(notice);
  EXPECT_NE(notice->find(path), std::string::npos) << *notice;
  EXPECT_FALSE(TakeRecoveryNotice(files, env)) << "told once";
  EXPECT_EQ(files.Bytes(path), written) << "the recording itself stays";
}

}  // namespace
}  // namespace pel::test
