// The flush that never leaves a request behind: a socket the compositor's end reads late fills
// up, and every request still arrives, without the writer spinning while it waits; one that is
// never read ends the wait at the limit instead of holding the program for good.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/wayland/wayland_flush.h"

namespace pel {
namespace {

double ThreadCpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TEST(WaylandFlush, WaitsForRoomWithoutSpinningAndGivesUpOnlyAtTheLimit) {
  struct Case {
    int reader_delay_ms;  // -1: the other end never reads
    int limit_ms;
    bool all_sent;
  };
  for (const Case c : {Case{300, 5000, true}, Case{-1, 300, false}}) {
    SCOPED_TRACE(c.reader_delay_ms);
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    const int small = 4096;
    ::setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ::setsockopt(ends[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    std::atomic<size_t> received{0};
    std::thread reader([&] {
      if (c.reader_delay_ms < 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(c.reader_delay_ms));
      char buf[65536];
      for (ssize_t n; (n = ::read(ends[1], buf, sizeof buf)) > 0;)
        received += static_cast<size_t>(n);
    });
    wl_display* display = wl_display_connect_to_fd(ends[0]);
    ASSERT_NE(display, nullptr);

    // wl_display.sync: 12 bytes each, flushed in batches as the backend flushes its requests.
    constexpr int kRequests = 50000, kBatch = 40;
    const auto started = std::chrono::steady_clock::now();
    const double cpu_before = ThreadCpuSeconds();
    bool sent = true;
    for (int i = 0; i < kRequests && sent; ++i) {
      wl_callback_destroy(wl_display_sync(display));
      if ((i + 1) % kBatch == 0) sent = FlushAll(display, c.limit_ms);
    }
    const double cpu = ThreadCpuSeconds() - cpu_before;
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(sent, c.all_sent);
    // Most of the time went waiting: a busy loop would have burnt nearly all of it (the margin
    // is for the sanitizers, which slow the writing itself several times over).
    EXPECT_GE(waited, 0.2);
    EXPECT_LT(cpu, waited / 2) << "cpu " << cpu << " s of " << waited << " s";
    if (!c.all_sent) ::shutdown(ends[1], SHUT_RDWR);
    wl_display_disconnect(display);  // closes ends[0]: the reader sees the end
    reader.join();
    ::close(ends[1]);
    if (c.all_sent) {
      EXPECT_EQ(received.load(), size_t{kRequests} * 12);
    } else {
      EXPECT_LT(waited, 2.0);
    }
  }
}

}  // namespace
}  // namespace pel
