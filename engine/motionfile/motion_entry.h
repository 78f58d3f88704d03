#pragma once
// The motion entry: one line of a recording, "kind,x,y,delay", and for wheel steps a fifth
// field, their size. The one place that knows its text: the recorder writes it, playback and
// --info read it through ReadMotionEntry. Reading is lenient (docs/design-notes.md, "The motion
// entry"); older versions read the first four kinds and skip the others.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/input.h"

namespace pel {

enum class MotionKind {
  // A move, and a click (press and release) of a button where the pointer is.
  Move,
  Left,
  Middle,
  Right,
  // A press and a release of their own, for drags and holds.
  LeftDown,
  LeftUp,
  MiddleDown,
  MiddleUp,
  RightDown,
  RightUp,
  X1Down,
  X1Up,
  X2Down,
  X2Up,
  // Wheel steps, vertical and horizontal.
  Wheel,
  HWheel,
};
inline constexpr int kClassicKinds = 4;
inline constexpr int kMotionKinds = 16;

// The kind as entries hold it: "move", "Left", "Middle", "Right", "LeftDown", "LeftUp", ...,
// "X2Up", "Wheel", "HWheel".
std::string_view KindText(MotionKind kind);

// What an entry of a kind does where it puts the pointer.
enum class KindAction { Move, Click, Press, Release, Wheel };
KindAction ActionOf(MotionKind kind);
// The button a Click, Press or Release kind works; Left for the others.
MouseButton ButtonOf(MotionKind kind);
// The axis of a Wheel kind; Vertical for the others.
WheelAxis AxisOf(MotionKind kind);
// The kinds of a button's press and release, and of its click (none for the side buttons,
// which have no click kind: they are stored as a press and a release).
MotionKind PressKind(MouseButton button);
MotionKind ReleaseKind(MouseButton button);
std::optional<MotionKind> ClickKind(MouseButton button);
MotionKind WheelKind(WheelAxis axis);

// "Kind,X,Y,Delay" with the delay laid out by FormatDelay (which may throw).
std::string FormatEntry(std::string_view kind, int32_t x, int32_t y, double delay_ms);

// The kind of an entry (first field, blanks trimmed, any case), or nullopt when it names none:
// such an entry is no motion and playback skips it.
std::optional<MotionKind> EntryKind(std::string_view entry);
// Field `n` (from 1) of an entry as playback reads it: split at commas, blanks trimmed.
std::string EntryField(std::string_view entry, int n);

// An entry read whole.
struct MotionEntry {
  MotionKind kind = MotionKind::Move;
  int32_t x = 0, y = 0;
  double delay_ms = 0;
  int32_t delta = 0;  // Wheel, HWheel: 1/120 notches, signed as WheelAxis says
};

// An entry's text as playback reads it, the one reader of motion entries. A coordinate is the
// leading number of fields 2 and 3 rounded half to even, the delay field 4's leading number (in
// milliseconds, waited as seconds), a wheel step's size field 5's, read as a coordinate. They are
// read in that order; the first that does not fit (a coordinate or step beyond signed 32 bits, a
// delay too large for a double) is the part that failed, and what follows it stays unread.
struct EntryReading {
  enum class Part : uint8_t { None, Point, Delay, Delta };
  bool motion = false;  // false for another kind: a note, a layout or window entry, anything else
  Part failed = Part::None;
  MotionEntry entry;
  bool Playable() const { return motion && failed == Part::None; }
  // Throws pel::Error 6 (Overflow) when `part` is the one that failed.
  void Check(Part part) const;
};
EntryReading ReadMotionEntry(std::string_view entry);
// The same as one entry: nullopt for another kind; throws pel::Error 6 when a number failed.
std::optional<MotionEntry> ReadEntry(std::string_view entry);
// The text of `entry`: FormatEntry's four fields, and the delta for the wheel kinds (which may
// throw as FormatDelay does).
std::string FormatEntry(const MotionEntry& entry);

// The note an event-by-event recording starts with, after its layout entries: its delays are to
// be waited before their entries, where the pauses happened. Older readers skip it as an entry
// of another kind.
inline constexpr std::string_view kPausesBeforeNote = "pauses,before";
// True for that note, read as leniently as entries are.
bool IsPausesBeforeNote(std::string_view entry);
// Whether a recording waits its pauses before their entries, from its entries in order: the note
// counts only where no entry but layout entries comes before it, and is passed over anywhere
// else. Playback and the file report both decide it this way.
class PausesBeforeRule {
 public:
  // The next entry; those after the first that is no layout entry change nothing.
  void Next(std::string_view entry);
  bool Settled() const { return settled_; }
  bool PausesBefore() const { return pauses_before_; }

 private:
  bool settled_ = false;
  bool pauses_before_ = false;
};

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
