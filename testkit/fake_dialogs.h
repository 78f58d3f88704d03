#pragma once
// Modal boxes and file dialogs answered from a script. Each box is logged with its resolved
// title; unanswered boxes return Ok (or No for Yes/No boxes), unanswered file dialogs cancel.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "testkit/call_log.h"

namespace pel::fake {

struct ShownBox {
  std::string text;
  std::string title;
  MsgButtons buttons;
  MsgIcon icon;
};

class FakeDialogs : public Dialogs {
 public:
  explicit FakeDialogs(CallLog* log = nullptr) : log_(log) {}

  void SetApplicationTitle(std::string_view title) override { app_title = std::string(title); }
  MsgResult MessageBox(std::string_view text, std::string_view title, MsgButtons buttons,
                       MsgIcon icon) override {
    boxes.push_back(
        {std::string(text), title.empty() ? app_title : std::string(title), buttons, icon});
    if (log_) log_->Add("MessageBox " + boxes.back().title + ": " + boxes.back().text);
    if (while_open) while_open();
    if (!answers.empty()) {
      MsgResult r = answers.front();
      answers.pop_front();
      return r;
    }
    return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
  }
  std::string ShowSave(std::string_view initial, std::string_view filter) override {
    return File("ShowSave", initial, filter);
  }
  std::string ShowOpen(std::string_view initial, std::string_view filter) override {
    return File("ShowOpen", initial, filter);
  }

  std::string app_title = "pelmira";
  std::vector<ShownBox> boxes;
  std::deque<MsgResult> answers;      // answers to the next message boxes
  std::deque<std::string> choices;    // paths chosen in the next file dialogs ("" cancels)
  std::vector<std::string> proposed;  // what each file dialog proposed
  std::vector<std::string> filters;
  // Runs while a message box or file dialog is "open" (a test may tick the engine there).
  std::function<void()> while_open;

 private:
  std::string File(const char* what, std::string_view initial, std::string_view filter) {
    proposed.emplace_back(initial);
    filters.emplace_back(filter);
    if (while_open) while_open();
    std::string r;
    if (!choices.empty()) {
      r = choices.front();
      choices.pop_front();
    }
    if (log_) log_->Add(std::string(what) + " " + r);
    return r;
  }
  CallLog* log_;
};

}  // namespace pel::fake
