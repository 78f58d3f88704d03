#pragma once
// The motion entry: one line of a recording, "kind,x,y,delay". The recorder writes it, playback
// and the file report read it; this is the one place that knows its text.
//
// Writing: the kind's text, the two coordinates as whole numbers, the delay in milliseconds as
// FormatDelay lays it out, separated by commas and nothing else.
// Reading is lenient, because a loaded file may hold anything: fields are split at commas and
// trimmed of blanks, the kind is compared without case, and a number is whatever number starts
// its field (0 when none does).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pel {

enum class MotionKind { Move, Left, Middle, Right };
inline constexpr int kMotionKinds = 4;

// The kind as entries hold it: "move", "Left", "Middle", "Right".
std::string_view KindText(MotionKind kind);

// "Kind,X,Y,Delay" with the delay laid out by FormatDelay (which may throw).
std::string FormatEntry(std::string_view kind, int32_t x, int32_t y, double delay_ms);

// The kind of an entry (first field, blanks trimmed, any case), or nullopt when it names none:
// such an entry is no motion and playback skips it.
std::optional<MotionKind> EntryKind(std::string_view entry);
// Field `n` (from 1) of an entry as playback reads it: split at commas, blanks trimmed.
std::string EntryField(std::string_view entry, int n);
// Coordinate field `n` (2 for x, 3 for y): its leading number rounded half to even. Throws
// pel::Error 6 (Overflow) when that falls outside signed 32 bits.
int32_t EntryCoordinate(std::string_view entry, int n);
// The delay after the entry in milliseconds (field 4's leading number). Throws pel::Error 6
// when the number is too large for a double.
double EntryDelayMs(std::string_view entry);
// The same delay in seconds, as playback waits it.
double EntryWaitSeconds(std::string_view entry);

// An entry read whole, for those who look at a recording rather than play it.
struct MotionEntry {
  MotionKind kind = MotionKind::Move;
  int32_t x = 0, y = 0;
  double delay_ms = 0;
};
// The entry as playback would play it: nullopt for another kind; throws pel::Error 6 as above
// when a number is out of range.
std::optional<MotionEntry> ReadEntry(std::string_view entry);

// Field `n` (from 1) of `text` split at `delimiter`, untrimmed. A text without the delimiter is
// its own every field; an empty text or delimiter, n < 1 or n past the last field give "".
std::string GetField(std::string_view text, int n, std::string_view delimiter);
// A delay in milliseconds as an entry holds it: "." as decimal point whatever the locale, at
// most 15 significant digits, no exponent, no trailing zeros, "0." before values below 1.
// Throws pel::Error 6 for infinity or NaN.
std::string FormatDelay(double ms);
// The number at the start of `text` ("." decimal point, optional sign and exponent), or 0.
// Throws pel::Error 6 when it is too large for a double; a number too small reads as 0.
double LeadingNumber(std::string_view text);

}  // namespace pel
