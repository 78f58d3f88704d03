#pragma once
// UTF-8 <-> UTF-16 conversion of the texts and names that pass to and from the system.

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

}  // namespace pel
