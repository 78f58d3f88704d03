#pragma once
// A scripted event stream. Tests add events while it runs; Take hands them out in the order
// added, as the window system would have delivered them.

#include <string>
#include <vector>

#include "platform/input_events.h"
#include "testkit/call_log.h"

namespace pel::fake {

class FakeInputEvents : public InputEvents {
 public:
  explicit FakeInputEvents(CallLog* log = nullptr) : log_(log) {}

  // --- script ---
  // Delivered only while started, as a real stream collects nothing before Start. Moves are
  // delivered only when Start asked for them.
  void Add(const InputEvent& e) {
    if (started_ && (moves_ || e.kind != InputEvent::Kind::Move)) queued_.push_back(e);
  }
  // Makes the next Start fail with `why`.
  void FailStart(std::string why) { fail_ = std::move(why); }
  bool Started() const { return started_; }

  // --- InputEvents ---
  bool Start(bool moves, std::string& error) override {
    if (log_) log_->Add(std::string("Events start") + (moves ? " with moves" : ""));
    if (!fail_.empty()) {
      error = fail_;
      return false;
    }
    started_ = true;
    moves_ = moves;
    return true;
  }
  void Stop() override {
    if (log_ && started_) log_->Add("Events stop");
    started_ = false;
    queued_.clear();
  }
  void Take(std::vector<InputEvent>& out) override {
    out.insert(out.end(), queued_.begin(), queued_.end());
    queued_.clear();
  }

 private:
  CallLog* log_;
  bool started_ = false;
  bool moves_ = false;
  std::string fail_;
  std::vector<InputEvent> queued_;
};

}  // namespace pel::fake
