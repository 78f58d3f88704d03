#pragma once
// Process-level services of the Windows program: the answer of the instance claim, the web
// browser (ShellExecuteW) and the end of the program.

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/shell.h"

namespace pel {

// Text on standard output or error (`which`: STD_OUTPUT_HANDLE, STD_ERROR_HANDLE) for a program
// with no console of its own: the handle it was started with when it has one (a pipe, a file),
// else the console of the process that started it, attached on first use. Nothing is written
// when neither exists (started from Explorer). Line ends become CR LF on a console.
void WriteStd(DWORD which, std::string_view text);

// Ctrl+C, Ctrl+Break and closing the console (once the program has attached to one: WriteStd)
// end the program as another program's close does: `window` is sent WM_CLOSE, which lets go of
// held buttons and keeps the work, and the system's own handling (which ends the process at
// once) waits for that, up to kConsoleEndWaitMs. Call it once the window can take the close.
void EndOnConsoleControl(HWND window);
inline constexpr DWORD kConsoleEndWaitMs = 10000;

class Win32Shell : public ClaimedShell {
 public:
  using ClaimedShell::ClaimedShell;
  void OpenUrl(const std::string& url) override;
  void EndProgram() override;
};

}  // namespace pel
