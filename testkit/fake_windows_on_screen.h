#pragma once
// Scripted top-level windows: tests open, move and close them between ticks; the window at a
// point is the topmost one whose area holds it, pop-ups included, as a click would find it.

#include <functional>
#include <optional>
#include <vector>

#include "platform/windows_on_screen.h"

namespace pel::fake {

class FakeWindowsOnScreen : public WindowsOnScreen {
 public:
  // --- script --- (topmost first; Open puts a window on top and counts as a change)
  std::vector<TopWindow> windows;
  uint64_t generation = 0;
  void Open(TopWindow w) {
    windows.insert(windows.begin(), std::move(w));
    ++generation;
  }
  int lists = 0;  // List() calls
  int finds = 0;  // Find() calls
  // Runs after each List() has taken its copy: a window system changing meanwhile.
  std::function<void()> after_list;

  // --- WindowsOnScreen ---
  std::optional<TopWindow> WindowAt(Point at) override {
    for (const TopWindow& w : windows)
      if (at.x >= w.left && at.y >= w.top && at.x - w.left < w.width && at.y - w.top < w.height)
        return w;
    return std::nullopt;
  }
  std::vector<TopWindow> List() override {
    ++lists;
    std::vector<TopWindow> out;
    for (const TopWindow& w : windows)
      if (!w.popup) out.push_back(w);
    if (after_list) after_list();
    return out;
  }
  std::optional<TopWindow> Find(uint64_t id) override {
    ++finds;
    for (const TopWindow& w : windows)
      if (w.id == id && !w.popup) return w;
    return std::nullopt;
  }
  uint64_t Generation() override { return generation; }
};

}  // namespace pel::fake
