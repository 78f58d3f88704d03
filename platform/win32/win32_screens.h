#pragma once
// The monitors of the Windows desktop: EnumDisplayMonitors and GetMonitorInfoW, in physical
// pixels (the program is per-monitor DPI aware), each named by its display device
// ("\\.\DISPLAY2"). Layout changes arrive as WM_DISPLAYCHANGE at a hidden top-level window of
// its own, served by the program's message loop.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "platform/screens.h"

namespace pel {

class Win32Screens : public Screens {
 public:
  // Without its window (creation failed, named in the diagnostics), changes are seen only when
  // a playback starts.
  Win32Screens();
  ~Win32Screens() override;
  Win32Screens(const Win32Screens&) = delete;
  Win32Screens& operator=(const Win32Screens&) = delete;

  // Every monitor of the desktop; empty when EnumDisplayMonitors fails.
  std::vector<Monitor> List() override;
  // Counts the WM_DISPLAYCHANGE messages received so far.
  uint64_t Generation() override { return generation_; }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND hwnd_ = nullptr;
  uint64_t generation_ = 0;
};

}  // namespace pel
