// Recordings kept when the program ends without the user's word: each in a file of its own in
// the state folder, and the next start told where, once.

#include "app/recovery.h"

#include <gtest/gtest.h>

#include "testkit/engine_rig.h"

namespace pel::test {
namespace {

TEST(Recovery, EachKeptInANewFileAndToldOnceAtTheNextStart) {
  EngineRig rig;
  RecoveryStore store(rig.files, rig.env);
  EXPECT_TRUE(store.TakeNote().empty()) << "nothing kept, nothing said";

  rig.recorder.entries.Add("move,1,2,0.1");
  rig.recorder.entries.Add("Left,3,4,0.2");
  const std::string first = store.Keep(rig.recorder);
  const std::string second = store.Keep(rig.recorder);
  EXPECT_EQ(first, rig.env.state_folder + "unsaved-1.mmf");
  EXPECT_EQ(second, rig.env.state_folder + "unsaved-2.mmf") << "an earlier file is never replaced";
  const std::string written = "[MouseMotionFile]\r\nmove,1,2,0.1\r\nLeft,3,4,0.2\r\n";
  EXPECT_EQ(rig.mem.Bytes(first), written);

  store.Note(first);
  store.Note(second);
  EXPECT_EQ(store.TakeNote(), (std::vector<std::string>{first, second}));
  EXPECT_TRUE(store.TakeNote().empty()) << "told once";
  EXPECT_EQ(rig.mem.Bytes(first), written) << "the recording itself stays";
}

}  // namespace
}  // namespace pel::test
