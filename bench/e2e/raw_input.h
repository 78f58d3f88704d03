#pragma once
// The benches' view of the X server's pointer from outside the program: every raw pointer event
// of the server with its time stamp and place, read on a connection and thread of their own, and
// XTest input of the bench's own, injected on absolute deadlines. Xlib stays out of this header.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct _XDisplay;

namespace pel::e2e {

struct Seen {
  enum Kind { Motion, Press, Release } kind = Motion;
  unsigned long server_ms = 0;  // the server's timestamp
  int64_t local_ns = 0;         // CLOCK_MONOTONIC at receipt
  int x = 0, y = 0;             // root position after the event
  int button = 0;               // X11's number: 4 to 7 the wheel, 8 and 9 the side buttons
};

// CLOCK_MONOTONIC in nanoseconds.
int64_t MonoNs();
// Sleeps until CLOCK_MONOTONIC reads `deadline_ns`.
void SleepUntil(int64_t deadline_ns);

// Raw motion and button events of every device and client (XInput 2), collected from the moment
// it is made. Throws std::runtime_error when the display cannot be opened or lacks XInput 2.
class RawWatcher {
 public:
  explicit RawWatcher(const std::string& display);
  ~RawWatcher();
  RawWatcher(const RawWatcher&) = delete;
  RawWatcher& operator=(const RawWatcher&) = delete;

  std::vector<Seen> Events();
  size_t Count();

 private:
  void Run();

  _XDisplay* display_;
  int opcode_ = 0;
  int x_ = 0, y_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Seen> events_;
  std::thread thread_;
};

// XTest input from the bench's own connection, each request flushed at once.
class Injector {
 public:
  explicit Injector(const std::string& display);
  ~Injector();
  Injector(const Injector&) = delete;
  Injector& operator=(const Injector&) = delete;

  void Move(int x, int y);
  // Button `button` (X11's number) pressed or released.
  void Button(int button, bool down);
  // A press and release of the key `keysym`, waited for.
  void Key(unsigned long keysym);

 private:
  _XDisplay* display_;
};

}  // namespace pel::e2e
