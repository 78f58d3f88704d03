#pragma once
// Process-level services of the Windows program: the single-instance rule (a named mutex per
// user session), the web browser (ShellExecuteW) and the end of the program; and the skin
// engine, which on Windows only keeps the colours the program sets itself.

#include <windows.h>

#include <string>

#include "platform/shell.h"
#include "platform/skin.h"

namespace pel::win32 {

// The single-instance mutex name for the current user: "Local\Pelmira.Instance.<user SID>", or
// the user name when the SID cannot be read.
std::wstring InstanceMutexName();

class Win32Shell : public Shell {
 public:
  ~Win32Shell() override;
  bool PreviousInstance() override;
  void OpenUrl(const std::string& url) override;
  void EndProgram() override;

 private:
  bool tried_ = false;
  bool other_ = false;
  HANDLE mutex_ = nullptr;  // held until the process ends; the system releases it after a crash
};

// The Windows skin engine dresses nothing: the program's colour changes are all there is.
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

}  // namespace pel::win32
