#pragma once
// The window entry: which top-level window the positions after it belong to, until the next
// window entry.
//   window,<left>,<top>,<width>x<height>,<class>,<title>     positions over that window
//   window,none                                               positions over no window
//   window,program,<program>        the program of the window in the window entry right after
// Class, title and program are escaped (EscapeWindowText) and kept to a length (KeepWindowTexts);
// earlier readers play such files as before (docs/design-notes.md, "Windows that clicks follow").

#include <optional>
#include <string>
#include <string_view>

#include "platform/windows_on_screen.h"

namespace pel {

class MotionLineReader;

// The entry kind of window entries.
inline constexpr std::string_view kWindowKind = "window";

// The entry for positions over `window` (its id and program are not stored), its texts kept as
// KeepWindowTexts keeps them; nullopt: over no window.
std::string WindowEntry(const std::optional<TopWindow>& window);
// The note of the program of the window whose entry follows it: "window,program,<program>".
std::string ProgramNote(std::string_view program);
// True when the entry's kind (first field, blanks trimmed, any case) is the window kind.
bool IsWindowEntry(std::string_view entry);

// What a window entry says.
struct WindowNote {
  // nullopt: the positions after it are over no window (or, for a program note, unchanged).
  std::optional<TopWindow> window;
  // A program note: the program of the window in the next window entry.
  std::optional<std::string> program;
};
// nullopt for another kind or a malformed entry. Lenient as playback is: the kind, "none" and
// "program" in any case, blanks around fields ignored. Texts come back kept as KeepWindowTexts
// keeps them, so an entry written before they were kept reads as one written now.
std::optional<WindowNote> ReadWindowEntry(std::string_view entry);

// What an entry keeps of a window's texts, in bytes once escaped. With the numbers an entry
// stays well within kLongestLine (motion_file.h).
inline constexpr size_t kKeptClassBytes = 1024;
inline constexpr size_t kKeptTitleBytes = 2048;
inline constexpr size_t kKeptProgramBytes = 1024;
// `text` cut before the first character (a UTF-8 sequence, or a byte escaped alone) at which its
// escaped form would pass `most` bytes; unchanged when it fits. Cutting what it gave changes
// nothing.
std::string ShortenWindowText(std::string_view text, size_t most);
// Shortens the class, title and program of `w` as entries keep them. Recording notes windows
// this way and playback compares the windows open with them: a long title matches when the
// first part that an entry keeps is the same.
void KeepWindowTexts(TopWindow& w);

// Lines up to this length are still read at loading when they are window entries: earlier
// versions kept titles of up to 64 KiB (three bytes each once escaped) and wrote them whole.
inline constexpr size_t kLongestWindowLine = 256 * 1024;
// The next line of a motion file as loading takes it: as reader.Next(line, kLongestLine), except
// that a window entry or program note longer than kLongestLine (but no longer than
// kLongestWindowLine) comes back with its texts kept as KeepWindowTexts keeps them, in `kept`. Any
// other line longer than kLongestLine still comes back longer than that.
bool NextEntryLine(MotionLineReader& reader, std::string_view& line, std::string& kept);

// `text` as an entry field holds it: bytes below 0x20, 0x7F, "%", "," and the C1 controls
// (U+0080 to U+009F) as %XX, bytes that are no UTF-8 as %XX each, a blank at either end as %20;
// the rest of UTF-8 as it is.
std::string EscapeWindowText(std::string_view text);
// The inverse; a "%" not followed by two hex digits stays as it is.
std::string UnescapeWindowText(std::string_view field);
// `text` for a terminal or the status line: escaped as above, but commas and blanks kept.
std::string ShownWindowText(std::string_view text);

}  // namespace pel
