#include "app/held_keys.h"

#include <algorithm>

namespace pel {

namespace {
constexpr int16_t kDownNow = static_cast<int16_t>(0x8000);
}  // namespace

void HeldKeys::HoldIfDown(int vk) {
  if ((input_.KeyState(vk) & kDownNow) != 0 && std::ranges::find(held_, vk) == held_.end())
    held_.push_back(vk);
}

int16_t HeldKeys::KeyState(int vk) {
  const int16_t state = input_.KeyState(vk);
  const auto held = std::ranges::find(held_, vk);
  if (held == held_.end()) return state;
  if ((state & kDownNow) != 0) return 0;
  // Up now: what the query says beyond that (a press since the last one) is a new press.
  held_.erase(held);
  return state;
}

}  // namespace pel
