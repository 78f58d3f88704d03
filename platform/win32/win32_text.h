#pragma once
// UTF-8 <-> UTF-16 conversion of the texts and names that pass to and from the system.

#include <string>
#include <string_view>

namespace pel {

// Strict conversion of a UTF-8 path or name; throws pel::Error 52 (bad file name) on bytes that
// are not UTF-8, so a mangled name never reaches the file system as some other name.
std::wstring Widen(std::string_view utf8);
// Converts UTF-16 from the system; unpaired surrogates become U+FFFD.
std::string Narrow(std::wstring_view utf16);

}  // namespace pel
