#pragma once
// The skin engine of the Windows program, which only keeps the colours the program sets itself.

#include <cstdint>
#include <string>

#include "platform/skin.h"

namespace pel {

// Dresses nothing: the program's colour changes are all there is.
class Win32SkinEngine : public SkinEngine {
 public:
  void LoadSkin(const std::string& path, const std::string&) override { path_ = path; }
  int32_t Flags() override { return flags_; }
  void SetFlags(int32_t flags) override { flags_ = flags; }
  void SetApplyToDialogs(bool) override {}
  void SetApplyToChildren(bool) override {}
  void ApplyToWindow(uintptr_t) override {}

 private:
  std::string path_;
  int32_t flags_ = 0;
};

}  // namespace pel
