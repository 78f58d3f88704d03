#pragma once
// The single instance held in memory: scripted answers to the claim and the hand-over, and the
// hand-over and delayed call of the running instance driven by the test.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/instance.h"

namespace pel::fake {

class FakeInstance : public Instance {
 public:
  // Answers in turn; the last one stays.
  std::deque<Claimed> claims{Claimed::Taken};
  std::deque<Handed> hands{Handed::Taken};
  std::deque<Commanded> answers{Commanded::Done};
  std::string claim_detail = "bind: Address in use";
  // Runs at every Hand (the test may advance its clock there).
  std::function<void(int timeout_ms)> on_hand;
  bool listen_fails = false;

  int claimed = 0;
  std::vector<std::pair<std::string, int>> handed;  // file and timeout of every Hand
  std::function<Handed(const std::string&)> take;   // set by Listen, cleared by StopListening
  std::vector<Command> sent;                        // every Send
  std::function<Commanded(Command)> obey;           // set by Obey, cleared by StopListening
  std::optional<int> due_in_ms;                     // the waiting CallLater

  Claimed Claim(std::string& detail) override {
    ++claimed;
    detail = claim_detail;
    return Next(claims);
  }
  Handed Hand(const std::string& file, int timeout_ms) override {
    handed.emplace_back(file, timeout_ms);
    if (on_hand) on_hand(timeout_ms);
    return Next(hands);
  }
  Commanded Send(Command command, int) override {
    sent.push_back(command);
    return Next(answers);
  }
  void Obey(std::function<Commanded(Command)> o) override { obey = std::move(o); }
  bool Listen(std::function<Handed(const std::string&)> t, std::string& error) override {
    if (listen_fails) {
      error = "epoll_create1: Too many open files";
      return false;
    }
    take = std::move(t);
    return true;
  }
  void CallLater(int delay_ms, std::function<void()> due) override {
    due_in_ms = delay_ms;
    due_ = std::move(due);
  }
  void StopListening() override {
    take = nullptr;
    obey = nullptr;
    due_ = nullptr;
    due_in_ms.reset();
  }

  // A later start hands `file`: the answer it gets (Refused once nobody listens).
  Handed Handing(const std::string& file) { return take ? take(file) : Handed::Refused; }
  // The event loop gets to the waiting call, if any.
  void RunDue() {
    due_in_ms.reset();
    if (due_) std::exchange(due_, {})();
  }

 private:
  template <class T>
  static T Next(std::deque<T>& answers) {
    const T answer = answers.front();
    if (answers.size() > 1) answers.pop_front();
    return answer;
  }
  std::function<void()> due_;
};

}  // namespace pel::fake
