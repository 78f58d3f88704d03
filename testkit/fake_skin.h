#pragma once
// The skin engine as a log of what it was asked; a call named in `failing` throws.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/skin.h"
#include "testkit/call_log.h"

namespace pel::fake {

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
