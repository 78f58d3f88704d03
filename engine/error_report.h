#pragma once
// The program-wide report of unexpected failures. A procedure that carries it numbers its steps
// 100, 102, 104, ...; when a step fails it shows one modal "Application Error" box naming the
// procedure and the step, then goes on with the next step. Procedures without the report let
// failures travel to their caller as exceptions.

#include <exception>
#include <string>
#include <string_view>

#include "engine/report_locations.h"
#include "platform/dialogs.h"

namespace pel {

// Where the report asks the user to send a screenshot.
inline constexpr std::string_view kSupportAddress = "support@pelmira.example";

class ErrorReporter {
 public:
  explicit ErrorReporter(Dialogs& dialogs) : dialogs_(dialogs) {}

  // The text of the box for a failure described by `description` at step `step` of `location`
  // (one of engine/report_locations.h, e.g. where::kTick, "Form1.Timer1_Timer").
  static std::string Text(std::string_view description, std::string_view location, int step);
  // Shows the modal box and returns when the user has closed it.
  void Report(std::string_view description, std::string_view location, int step);
  // The description of whatever `failure` holds (a pel::Error's own, or the exception's text).
  static std::string Describe(const std::exception_ptr& failure);

 private:
  Dialogs& dialogs_;
};

// One run of a procedure with the report. Usage:
//   Procedure p(reporter, where::kRecordClicked);  // "Form1.PushButton1_Click"
//   p.Step(100, [&] { SaveDataToFile(); });
//   if (p.Test(102, [&] { return x != 0; })) ...
class Procedure {
 public:
  Procedure(ErrorReporter& reporter, std::string_view location)
      : reporter_(reporter), location_(location) {}

  // Runs `action` as step `number`. A failure is reported once and the run goes on.
  template <class F>
  void Step(int number, F&& action) {
    last_step_ = number;
    try {
      action();
    } catch (...) {
      Fail(std::current_exception());
    }
  }

  // Evaluates the condition of step `number`. A failing condition is reported and counts as
  // false, so the guarded statements are skipped rather than run on a value never read.
  template <class F>
  bool Test(int number, F&& condition) {
    last_step_ = number;
    try {
      return static_cast<bool>(condition());
    } catch (...) {
      Fail(std::current_exception());
      return false;
    }
  }

  // Number of the last step reached (0 before the first).
  int LastStep() const { return last_step_; }
  // How many failures this run has reported.
  int Failures() const { return failures_; }

 private:
  void Fail(const std::exception_ptr& failure);

  ErrorReporter& reporter_;
  std::string location_;
  int last_step_ = 0;
  int failures_ = 0;
};

}  // namespace pel
