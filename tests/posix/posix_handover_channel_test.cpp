// The instance side of the hand-over channel: what a sender hands is taken whole or refused,
// and senders that stall, break off or belong to another user are let go.
#include "platform/posix/posix_handover_channel.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <optional>
#include <thread>

#include "platform/posix/posix_instance_lock.h"
#include "testkit/other_user.h"

namespace pel {
namespace {

using namespace std::chrono_literals;
using Clock = HandoverChannel::Clock;

class HandoverChannelTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_EQ(lock_.Take(error), InstanceLock::State::Held) << error;
    ASSERT_TRUE(channel_.Open(lock_.Fd(), error)) << error;
  }

  // A connection of this process's user that has written `bytes`, and ended its writing when
  // `end` is set.
  int Send(const std::string& bytes, bool end = true) {
    const InstanceConnection c = ConnectToInstance(lock_.Name(), 1000);
    EXPECT_EQ(c.result, InstanceConnection::Result::Connected) << c.error;
    EXPECT_EQ(::send(c.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
    if (end) ::shutdown(c.fd, SHUT_WR);
    return c.fd;
  }
  // Serves the channel as an event loop would, until it has a request or `limit` has passed.
  std::vector<HandoverChannel::Request> Serve(std::chrono::milliseconds limit = 200ms) {
    const auto end = Clock::now() + limit;
    std::vector<HandoverChannel::Request> got;
    while (got.empty() && Clock::now() < end) {
      pollfd p{channel_.Fd(), POLLIN, 0};
      ::poll(&p, 1, 10);
      got = channel_.Service();
    }
    return got;
  }
  // What the instance answered on `fd`: '1', '0', or 'x' when it closed without an answer.
  static char AnswerOn(int fd) {
    pollfd p{fd, POLLIN, 0};
    char reply = 'x';
    if (::poll(&p, 1, 1000) != 1 || ::read(fd, &reply, 1) != 1) reply = 'x';
    ::close(fd);
    return reply;
  }

  InstanceLock lock_{"pelmira-test-" + std::to_string(::getpid()) + "-channel"};
  HandoverChannel channel_;
};

TEST_F(HandoverChannelTest, APathIsTakenWholeAndAnythingElseIsRefused) {
  const std::string longest(HandoverChannel::kMaxPath, 'a');
  const struct {
    std::string sent;
    bool taken;
    char answer;  // when not taken
  } cases[] = {
      {"/home/u/a b.mmf", true, 0},
      {"/" + longest.substr(1), true, 0},
      {longest + "a", false, '0'},
      {std::string("/tmp/a\0b.mmf", 12), false, '0'},
      {"", false, '0'},
  };
  for (const auto& c : cases) {
    const int fd = Send(c.sent);
    std::vector<HandoverChannel::Request> got = Serve();
    EXPECT_EQ(got.size(), c.taken ? 1u : 0u) << c.sent.size();
    if (c.taken && got.size() == 1) {
      EXPECT_EQ(got[0].file, c.sent);
      HandoverChannel::Answer(got[0], Instance::Handed::Taken);
      EXPECT_EQ(AnswerOn(fd), '1');
    } else {
      EXPECT_EQ(AnswerOn(fd), c.answer) << c.sent.size();
    }
    EXPECT_EQ(channel_.Connections(), 0u);
  }
  const auto started = Clock::now();
  EXPECT_EQ(HandoverChannel::Hand("pelmira-test-nobody-listens", "/a.mmf", 5000),
            Instance::Handed::NoAnswer);
  EXPECT_LT(Clock::now() - started, 1s) << "an instance that has ended is not waited for";
}

// A command is a NUL and its word: told apart from a path, and its answer reaches the sender as
// given. An instance that takes no commands refuses the NUL as it refuses any: not understood.
TEST_F(HandoverChannelTest, CommandsAreToldApartFromFilesAndAnsweredAsGiven) {
  using Commanded = Instance::Commanded;
  const int unknown = Send(std::string("\0pause", 6));
  EXPECT_TRUE(Serve(100ms).empty());
  EXPECT_EQ(AnswerOn(unknown), '?');
  struct Case {
    Instance::Command command;
    std::optional<Commanded> answer;  // none: answered as a refused file
    Commanded got;
  };
  const Case cases[] = {
      {Instance::Command::Record, Commanded::Done, Commanded::Done},
      {Instance::Command::Play, Commanded::Recording, Commanded::Recording},
      {Instance::Command::Record, Commanded::Playing, Commanded::Playing},
      {Instance::Command::Stop, Commanded::Idle, Commanded::Idle},
      {Instance::Command::Play, Commanded::Empty, Commanded::Empty},
      {Instance::Command::ToggleWindow, Commanded::Hidden, Commanded::Hidden},
      {Instance::Command::Record, Commanded::Unavailable, Commanded::Unavailable},
      {Instance::Command::Stop, std::nullopt, Commanded::NotUnderstood},
      {Instance::Command::Stop, Commanded::NoAnswer, Commanded::NoAnswer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.got));
    Commanded got = Commanded::Blocked;
    std::thread sender(
        [&] { got = HandoverChannel::Send(lock_.Name(), c.command, c.answer ? 2000 : 300); });
    std::vector<HandoverChannel::Request> requests = Serve(1s);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].command, c.command);
    EXPECT_EQ(requests[0].file, "");
    if (c.answer)
      HandoverChannel::Answer(requests[0], *c.answer);
    else
      HandoverChannel::Answer(requests[0], Instance::Handed::Refused);
    sender.join();
    EXPECT_EQ(got, c.got);
  }
}

TEST_F(HandoverChannelTest, StalledSendersAreLetGoAtTheirDeadlineAndExtraOnesAtOnce) {
  std::vector<int> stalled;
  stalled.push_back(Send("/tmp/half", false));
  for (size_t i = 1; i < HandoverChannel::kMaxConnections; ++i) stalled.push_back(Send("", false));
  const int extra = Send("/tmp/x.mmf");
  EXPECT_TRUE(Serve(100ms).empty());
  EXPECT_EQ(channel_.Connections(), HandoverChannel::kMaxConnections);
  EXPECT_EQ(AnswerOn(extra), 'x') << "closed unanswered: its sender may try again";
  const auto next = channel_.NextDeadline();
  ASSERT_TRUE(next);
  EXPECT_LE(*next, HandoverChannel::kDeadline);

  EXPECT_TRUE(channel_.Service(Clock::now() + HandoverChannel::kDeadline).empty());
  EXPECT_EQ(channel_.Connections(), 0u);
  EXPECT_FALSE(channel_.NextDeadline());
  for (int fd : stalled) EXPECT_EQ(AnswerOn(fd), '0');
}

// As root, a real other user: it cannot hand this user's instance a file, not even by writing
// to the socket without looking whose it is.
TEST_F(HandoverChannelTest, AnotherUsersConnectionIsDropped) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const std::string name = lock_.Name();
  const int other = test::RunAsOtherUser([&] {
    if (HandoverChannel::Hand(name, "/tmp/theirs.mmf", 300) != Instance::Handed::NoAnswer) return 1;
    // Written blind; the answer is not awaited, since this test serves the channel only after.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), size) != 0) return 2;
    return ::send(fd, "/tmp/theirs.mmf", 15, MSG_NOSIGNAL) == 15 ? 0 : 3;
  });
  EXPECT_EQ(other, 0);
  EXPECT_TRUE(Serve(200ms).empty());
  EXPECT_EQ(channel_.Connections(), 0u);
}

}  // namespace
}  // namespace pel
