#pragma once
// Scripted mouse and keyboard. Tests press and release keys between ticks; queries follow the
// platform's rule: nonzero while down, or once after a press that was released before the query.

#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/input.h"
#include "testkit/call_log.h"

namespace pel::fake {

class FakeInput : public Input {
 public:
  explicit FakeInput(CallLog* log = nullptr) : log_(log) {}

  // --- script ---
  // Scripted presses are the user's: a button press also counts for UserButtonPresses.
  void Press(int vk) {
    keys_[vk].down = true;
    keys_[vk].latched = true;
    if (vk == vk::kLButton || vk == vk::kMButton || vk == vk::kRButton) ++user_button_presses_;
  }
  void Release(int vk) { keys_[vk].down = false; }
  // Press and release between two queries.
  void Tap(int vk) {
    Press(vk);
    Release(vk);
  }
  // A move of the pointer by another program; the user's own counts for UserPointerMoves.
  void MoveTo(Point p, bool by_user = false) {
    pos_ = p;
    if (by_user) ++user_pointer_moves_;
  }
  bool IsDown(int vk) const {
    auto it = keys_.find(vk);
    return it != keys_.end() && it->second.down;
  }
  Point Pos() const { return pos_; }
  // Makes the next cursor queries fail.
  void FailCursorQueries(bool fail) { fail_cursor_ = fail; }
  // Makes the next placements fail, the cursor staying where it is.
  void RefusePlacement(bool refuse) { refuse_placement_ = refuse; }
  // Another desktop has the input: placements fail meanwhile.
  void SetInputElsewhere(bool elsewhere) { elsewhere_ = elsewhere; }
  // What CannotRecord answers (empty: recording is possible).
  std::string cannot_record;
  int cursor_queries = 0;

  // --- Input ---
  int16_t KeyState(int vk) override {
    auto& k = keys_[vk];
    int16_t r = 0;
    if (k.down) r = static_cast<int16_t>(0x8000);
    if (k.latched) r = static_cast<int16_t>(r | 1);
    k.latched = false;
    return r;
  }
  bool CursorPos(Point& pos) override {
    ++cursor_queries;
    if (fail_cursor_) return false;
    pos = pos_;
    return true;
  }
  bool SetCursorPos(Point pos) override {
    if (log_) log_->Add("SetCursorPos " + std::to_string(pos.x) + "," + std::to_string(pos.y));
    if (refuse_placement_ || elsewhere_) return false;
    pos_ = pos;
    return true;
  }
  // "Button X1 down", "Wheel Vertical -120", ...; refused injections are logged too, with
  // " refused".
  bool InjectButton(MouseButton button, bool down) override {
    static const char* names[] = {"Left", "Middle", "Right", "X1", "X2"};
    return Injected(std::string("Button ") + names[static_cast<int>(button)] +
                    (down ? " down" : " up"));
  }
  bool InjectWheel(WheelAxis axis, int32_t delta) override {
    return Injected(std::string("Wheel ") +
                    (axis == WheelAxis::Vertical ? "Vertical " : "Horizontal ") +
                    std::to_string(delta));
  }
  // Makes the next `n` button and wheel injections fail.
  void RefuseInjections(int n) { refuse_ = n; }
  uint32_t UserButtonPresses() override {
    const uint32_t n = user_button_presses_;
    user_button_presses_ = 0;
    return n;
  }
  uint32_t UserPointerMoves() override { return std::exchange(user_pointer_moves_, 0); }
  bool InputElsewhere() override { return elsewhere_; }
  std::string_view CannotRecord() const override { return cannot_record; }

 private:
  struct Key {
    bool down = false;
    bool latched = false;
  };
  bool Injected(std::string line) {
    const bool refused = refuse_ > 0;
    if (refused) --refuse_;
    if (log_) log_->Add(refused ? line + " refused" : line);
    return !refused;
  }

  CallLog* log_;
  int refuse_ = 0;
  std::map<int, Key> keys_;
  Point pos_;
  bool fail_cursor_ = false;
  bool refuse_placement_ = false;
  bool elsewhere_ = false;
  uint32_t user_button_presses_ = 0;
  uint32_t user_pointer_moves_ = 0;
};

}  // namespace pel::fake
