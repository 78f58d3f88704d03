#pragma once
// The window entry: which top-level window the positions after it belong to, until the next
// window entry.
//   window,<left>,<top>,<width>x<height>,<class>,<title>     positions over that window
//   window,none                                               positions over no window
// Class and title are escaped (EscapeWindowText) so that every byte survives and no comma or
// line end is left in them. Readers that know only the motion kinds skip these entries as
// entries of another kind; the positions then play where they were recorded.

#include <optional>
#include <string>
#include <string_view>

#include "platform/windows_on_screen.h"

namespace pel {

// The entry kind of window entries.
inline constexpr std::string_view kWindowKind = "window";

// The entry for positions over `window` (its id is not stored); nullopt: over no window.
std::string WindowEntry(const std::optional<TopWindow>& window);
// True when the entry's kind (first field, blanks trimmed, any case) is the window kind.
bool IsWindowEntry(std::string_view entry);

// What a window entry says.
struct WindowNote {
  // nullopt: the positions after it are over no window.
  std::optional<TopWindow> window;
};
// nullopt for another kind or a malformed entry. Lenient as playback is: the kind and "none" in
// any case, blanks around fields ignored.
std::optional<WindowNote> ReadWindowEntry(std::string_view entry);

// `text` as an entry field holds it: bytes below 0x20, 0x7F, "%", "," and the C1 controls
// (U+0080 to U+009F) as %XX, bytes that are no UTF-8 as %XX each, a blank at either end as %20;
// the rest of UTF-8 as it is.
std::string EscapeWindowText(std::string_view text);
// The inverse; a "%" not followed by two hex digits stays as it is.
std::string UnescapeWindowText(std::string_view field);
// `text` for a terminal or the status line: escaped as above, but commas and blanks kept.
std::string ShownWindowText(std::string_view text);

}  // namespace pel
