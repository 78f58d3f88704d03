#pragma once
// The windows of sway (and other compositors with the i3-style IPC) from its tree: each
// window's content area in layout pixels, its app_id (an X11 window's class under XWayland) and
// its title, read over the socket named by $SWAYSOCK. Changes come as window events on a second
// connection, subscribed once.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows_on_screen.h"

namespace pel {

// The windows shown in a GET_TREE answer: floating ones first (they are above the tiled), the
// focused one first among its kind; nothing for a text that is not such a tree.
std::vector<TopWindow> WindowsInTree(std::string_view json);

class SwayWindows : public WindowsOnScreen {
 public:
  // nullptr, with the reason in `error`, when $SWAYSOCK (else $I3SOCK) is not set or its socket
  // does not answer.
  static std::unique_ptr<SwayWindows> Open(std::string& error);
  ~SwayWindows() override;
  SwayWindows(const SwayWindows&) = delete;
  SwayWindows& operator=(const SwayWindows&) = delete;

  // The first window of List() whose area holds `at`.
  std::optional<TopWindow> WindowAt(Point at) override;
  // The tree asked for now; empty when the compositor did not answer.
  std::vector<TopWindow> List() override;
  // Window `id` of the tree asked for now.
  std::optional<TopWindow> Find(uint64_t id) override;
  // Counts the window events read so far (opened, closed, moved, renamed, ...).
  uint64_t Generation() override;

  // The event connection's descriptor, for a socket notifier; TakeChanges reads what came,
  // without waiting, and says whether a window event was among it.
  int ConnectionFd() const { return events_; }
  bool TakeChanges();

 private:
  SwayWindows(int query, int events) : query_(query), events_(events) {}
  // The answer to message `type` with `payload`; nullopt when the socket failed.
  std::optional<std::string> Ask(uint32_t type, std::string_view payload);

  int query_;
  int events_;
  std::string pending_;  // event bytes read and not yet a whole message
  uint64_t generation_ = 0;
};

}  // namespace pel
