#pragma once
// Process-level services of the Windows program: the single-instance rule (a named mutex per
// user session), the web browser (ShellExecuteW) and the end of the program.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/shell.h"

namespace pel {

// The single-instance mutex name for the current user: "Local\Pelmira.Instance.<user SID>", or
// the user name when the SID cannot be read.
std::wstring InstanceMutexName();

// Creates or opens the named instance mutex: the handle, or nullptr with `error` set; on success
// `error` is ERROR_ALREADY_EXISTS when the mutex was there before (CreateMutexW's rules).
using InstanceMutexOpener = HANDLE (*)(const std::wstring& name, DWORD& error);
HANDLE CreateInstanceMutex(const std::wstring& name, DWORD& error);

// A file handed from a later start to the running instance: WM_COPYDATA to its main window with
// this tag and the path in UTF-16. The tag keeps other senders' data from being taken for a path.
constexpr ULONG_PTR kHandFileTag = 0x504C4D46;  // "PLMF"
// Hands `file` (an absolute path) to the main window `window` class of the running instance,
// asking again while it has no such window or refuses (still starting, a dialog open, busy);
// true when it took the file within `timeout_ms`.
bool HandFileToRunningInstance(const wchar_t* window_class, const std::string& file,
                               UINT timeout_ms);
// The path a WM_COPYDATA carries, when it is a handed file: our tag, UTF-16 that converts
// cleanly (no unpaired surrogate) and one NUL, at its end.
std::optional<std::string> HandedFile(const COPYDATASTRUCT& data);

// Text on standard output or error (`which`: STD_OUTPUT_HANDLE, STD_ERROR_HANDLE) for a program
// with no console of its own: the handle it was started with when it has one (a pipe, a file),
// else the console of the process that started it, attached on first use. Nothing is written
// when neither exists (started from Explorer). Line ends become CR LF on a console.
void WriteStd(DWORD which, std::string_view text);

class Win32Shell : public Shell {
 public:
  // `open_mutex`: replaced by tests to stand in for CreateMutexW's failures.
  explicit Win32Shell(InstanceMutexOpener open_mutex = &CreateInstanceMutex)
      : open_mutex_(open_mutex) {}
  ~Win32Shell() override;
  bool PreviousInstance() override;
  void OpenUrl(const std::string& url) override;
  void EndProgram() override;

 private:
  InstanceMutexOpener open_mutex_;
  bool tried_ = false;
  bool other_ = false;
  HANDLE mutex_ = nullptr;  // held until the process ends; the system releases it after a crash
};

}  // namespace pel
