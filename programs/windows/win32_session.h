#pragma once
// The process the Windows program starts in: its arguments, DPI awareness, the common controls
// and COM on the user-interface thread, and its message loop.

#include <windows.h>
#undef MessageBox  // the seam has its own

#include <string>
#include <vector>

namespace pel {

// The arguments after the program name, in UTF-8.
std::vector<std::string> CommandLineArguments();

// While it lives, the calling thread is ready for the windows: the process is DPI aware (also
// when started without its manifest), the common controls are registered and COM is set up
// for the picture decoder and the file dialogs.
// Runs the thread's message loop until WM_QUIT and returns its exit code (1 when GetMessageW
// fails). Dialog messages go to `window`'s modeless dialogs.
int RunMessageLoop(HWND window);

class Win32Session {
 public:
  Win32Session();
  ~Win32Session();
  Win32Session(const Win32Session&) = delete;
  Win32Session& operator=(const Win32Session&) = delete;

 private:
  bool com_ = false;
};

}  // namespace pel
