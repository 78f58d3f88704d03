#pragma once
// How the Windows backends name what went wrong: the system's text for an error code, a failed
// call named with it (thrown or shown), and the program's diagnostics line for a debugger.

#include <windows.h>

#include <string>
#include <string_view>

namespace pel {

// The system's message for `code` without the trailing line break, e.g. "Access is denied.";
// "error N" when the system has no text for it.
std::string SystemMessage(DWORD code);
// "GetLastError N: <the system's text>" for a code GetLastError gave ("no reason given" for 0).
std::string LastErrorText(DWORD code);
// "<call> failed (GetLastError N: ...)": how a failed system call is named in the diagnostics
// and the error boxes.
std::string CallFailed(std::string_view call, DWORD code);
// Throws pel::Error 5 (invalid procedure call) with CallFailed(call, GetLastError()).
[[noreturn]] void ThrowCallFailed(std::string_view call);
// One line of the program's diagnostics ("Pelmira: " + text), for a debugger or a debug-output
// viewer (OutputDebugString). For rare events: start-up, a tick source starting.
void DiagnosticLine(std::string_view text);

}  // namespace pel
