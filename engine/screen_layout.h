#pragma once
// The screen layout a recording was made on, and playback on another layout.
//
// A recording starts with one layout entry per monitor, before any motion entry:
//   screen,<left>,<top>,<width>x<height>,<primary|other>,<name>
// The name is the rest of the line, commas included; bytes outside printable ASCII become "?".
// Readers that know only the motion kinds skip these entries as entries of another kind, so
// every reader of motion files reads a recording with them. Here they are no motion: they take
// no playback time, and a list of nothing but layout entries counts as empty.
//
// Mapping. When the monitors now differ from those recorded, each recorded position is taken
// from the recorded monitor it lies on (the nearest one when it lies on none) to that monitor
// now. Monitors are matched by name when every monitor on both sides has a distinct one, then
// the rest by size in order, and, without names, the rest by order. On a monitor of the same
// size a position keeps its offset from the monitor's corner; on one of another size it keeps
// its place in proportion; positions on a monitor that is gone go to the primary monitor in
// proportion. Equal layouts map nothing.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/entry_list.h"
#include "platform/input.h"
#include "platform/screens.h"

namespace pel {

// The entry kind of layout entries.
inline constexpr std::string_view kLayoutKind = "screen";
// The status line's note while a playback maps positions, and the scripted run's notice.
inline constexpr std::string_view kLayoutMappedNote = "layout changed: positions mapped";

// The layout entry for `monitor`.
std::string LayoutEntry(const Monitor& monitor);
// True when the entry's kind (first field, blanks trimmed, any case) is the layout kind.
bool IsLayoutEntry(std::string_view entry);
// The monitor a layout entry describes; nullopt for another kind or a malformed entry.
std::optional<Monitor> ReadLayoutEntry(std::string_view entry);
// The layout at the start of `list` (its leading layout entries); nullopt when there is none
// or one of them cannot be read.
std::optional<std::vector<Monitor>> RecordedLayout(const EntryList& list);
// True when the list holds no entry but layout entries and the note on its pauses (or none at
// all).
bool HoldsNoMotion(const EntryList& list);
// The first index from `index` on (1-based) that holds neither a layout entry nor the note on
// the pauses (kPausesBeforeNote), or Count() + 1. Neither takes playback time.
int32_t SkipLayoutEntries(const EntryList& list, int32_t index);

// Recorded positions on the monitors now.
class LayoutMapping {
 public:
  // Maps nothing.
  LayoutMapping() = default;
  // From the layout `recorded` to the layout `now`; either empty maps nothing.
  LayoutMapping(const std::vector<Monitor>& recorded, const std::vector<Monitor>& now);
  // True when every position stays where it is.
  bool Identity() const { return identity_; }
  Point Map(Point p) const;

 private:
  bool identity_ = true;
  std::vector<Monitor> recorded_, now_;
  std::vector<int> target_;  // per recorded monitor: its monitor now, or -1 when gone
  int primary_ = 0;          // the primary monitor now
};

// The poll cycle's use of the above: layout entries at the start of a recording, and the
// mapping of the positions a playback places the pointer at.
class ScreenMap {
 public:
  // The monitors of the window system; without them (nullptr, the default) recordings get no
  // layout entries and playback maps nothing.
  void Attach(Screens* screens) { screens_ = screens; }
  // Off, playback maps nothing (the positions play as recorded).
  bool mapping = true;
  // Called once in a playback that maps positions, when it starts to.
  std::function<void()> OnMapped;

  // Appends one layout entry per monitor now.
  void AddLayoutEntries(EntryList& list);
  // A playback of `list` starts: the mapping from its recorded layout to the monitors now.
  void PlaybackStarts(const EntryList& list);
  // Where the pointer goes for recorded position `p`; follows layout changes reported since.
  Point Map(Point p);
  // True while the running playback maps positions.
  bool Mapped() const { return !current_.Identity(); }

 private:
  void Rebuild();
  Screens* screens_ = nullptr;
  std::optional<std::vector<Monitor>> recorded_;
  LayoutMapping current_;
  uint64_t generation_ = 0;
  bool told_ = false;
};

}  // namespace pel
