#pragma once
// The process the Windows program starts in: its arguments, DPI awareness, the common controls
// and COM on the user-interface thread.

#include <string>
#include <vector>

namespace pel {

// The arguments after the program name, in UTF-8.
std::vector<std::string> CommandLineArguments();

// While it lives, the calling thread is ready for the windows: the process is DPI aware (also
// when started without its manifest), the common controls are registered and COM is set up
// for the picture decoder and the file dialogs.
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
