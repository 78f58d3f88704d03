#pragma once
// Shell, random numbers and skin engine held in memory; every call is logged.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/shell.h"
#include "platform/skin.h"
#include "testkit/call_log.h"

namespace pel::fake {

class FakeShell : public Shell {
 public:
  explicit FakeShell(CallLog* log = nullptr) : log_(log) {}

  bool PreviousInstance() override {
    Log("Shell.PreviousInstance");
    return other_instance;
  }
  void OpenUrl(const std::string& url) override {
    Log("Shell.OpenUrl " + url);
    if (fail_open) throw Error(err::kFileNotFound, "File not found: browser");
    opened.push_back(url);
  }
  void EndProgram() override {
    Log("Shell.EndProgram");
    ++ended;
  }

  bool other_instance = false;
  bool fail_open = false;
  std::vector<std::string> opened;
  int ended = 0;

 private:
  void Log(const std::string& line) {
    if (log_) log_->Add(line);
  }
  CallLog* log_;
};

// Returns scripted values, then `fallback`.
class FakeRandom : public RandomSource {
 public:
  void Randomize() override { ++seeds; }
  double Rnd() override {
    ++draws;
    if (values.empty()) return fallback;
    double v = values.front();
    values.pop_front();
    return v;
  }
  std::deque<double> values;
  double fallback = 0.5;
  int seeds = 0;
  int draws = 0;
};

class FakeSkin : public SkinEngine {
 public:
  explicit FakeSkin(CallLog* log = nullptr) : log_(log) {}

  void LoadSkin(const std::string& path, const std::string& options) override {
    Log("Skin.LoadSkin " + path + "|" + options);
  }
  int32_t Flags() override {
    Log("Skin.Flags");
    return flags;
  }
  void SetFlags(int32_t f) override {
    Log("Skin.SetFlags " + std::to_string(f));
    flags = f;
  }
  void SetApplyToDialogs(bool on) override { Log(std::string("Skin.ApplyToDialogs ") + B(on)); }
  void SetApplyToChildren(bool on) override { Log(std::string("Skin.ApplyToChildren ") + B(on)); }
  void ApplyToWindow(uintptr_t window) override {
    Log("Skin.ApplyToWindow " + std::to_string(window));
  }

  int32_t flags = 0;
  std::vector<std::string> calls;
  // A call whose name ("Skin.LoadSkin", ...) equals this throws.
  std::string failing;

 private:
  static const char* B(bool b) { return b ? "true" : "false"; }
  void Log(const std::string& line) {
    calls.push_back(line);
    if (log_) log_->Add(line);
    if (!failing.empty() && line.rfind(failing, 0) == 0)
      throw Error(err::kInvalidProcedureCall, "Fake failure in " + failing);
  }
  CallLog* log_;
};

}  // namespace pel::fake
