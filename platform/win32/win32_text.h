#pragma once
// UTF-8 <-> UTF-16 conversion and the system's text for an error code.

#include <windows.h>

#include <string>
#include <string_view>

namespace pel {

// Names travel through the program as WTF-8: UTF-8 in which an unpaired surrogate, which an
// NTFS name may hold, keeps its own three-byte form (ED A0..BF xx). So every name the system
// gives (a dialog, the command line) opens the same file when it goes back.
// Strict conversion of a UTF-8 (WTF-8) path or name; throws pel::Error 52 (bad file name) on
// bytes that are not, so a mangled name never reaches the file system as some other name.
std::wstring Widen(std::string_view utf8);
// Converts UTF-16 from the system; an unpaired surrogate keeps its value (see above).
std::string Narrow(std::wstring_view utf16);
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
