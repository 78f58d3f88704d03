#pragma once
// The screen layout a recording was made on, and playback on another layout. A run of layout
// entries, one per monitor, describes the entries after it:
//   screen,<left>,<top>,<width>x<height>,<primary|other>,<name>
// Layout entries are no motion (they take no playback time). How monitors are matched and
// positions mapped: docs/design-notes.md, "Screen layouts".

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/motionfile/entry_list.h"
#include "platform/input.h"
#include "platform/screens.h"

namespace pel {

// The entry kind of layout entries.
inline constexpr std::string_view kLayoutKind = "screen";
// The status line's note while a playback maps positions, and the scripted run's notice.
inline constexpr std::string_view kLayoutMappedNote = "layout changed: positions mapped";
// Most monitors one layout may have; a longer run of layout entries describes no layout.
inline constexpr size_t kMaxMonitors = 64;

// The layout entry for `monitor`.
std::string LayoutEntry(const Monitor& monitor);
// True when the entry's kind (first field, blanks trimmed, any case) is the layout kind.
bool IsLayoutEntry(std::string_view entry);
// The monitor a layout entry describes; nullopt for another kind or a malformed entry.
std::optional<Monitor> ReadLayoutEntry(std::string_view entry);

// One run of layout entries, read entry by entry.
class LayoutRun {
 public:
  // The next layout entry of the run.
  void Add(std::string_view entry);
  // The layout; nullopt when an entry could not be read or there were more than kMaxMonitors.
  std::optional<std::vector<Monitor>> Layout() const;
  // More entries cannot make the run a layout.
  bool Refused() const { return refused_; }

 private:
  std::vector<Monitor> monitors_;
  bool refused_ = false;
};

// The layout of the run of layout entries that starts at `index` (1-based); nullopt when entry
// `index` is no layout entry or the run describes no layout (see LayoutRun). Reads at most
// kMaxMonitors + 1 entries.
std::optional<std::vector<Monitor>> ReadLayoutRun(const EntryList& list, int32_t index);
// True when both layouts have monitors on the same rectangles, whatever their names and order.
bool SameGeometry(const std::vector<Monitor>& a, const std::vector<Monitor>& b);
// True for the entries that say where or how motion was recorded rather than what it did:
// layout entries, window entries and the note on the pauses. They take no playback time.
bool IsNoMotionEntry(std::string_view entry);
// True when the list holds no entry but those (or none at all).
bool HoldsNoMotion(const EntryList& list);

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

// The poll cycle's use of the above: layout entries in a recording, and the mapping of the
// positions a playback places the pointer at.
class ScreenMap {
 public:
  // The monitors of the window system; without them (nullptr, the default) recordings get no
  // layout entries and playback maps nothing.
  void Attach(Screens* screens) { screens_ = screens; }
  // Off, playback maps nothing (the positions play as recorded).
  bool mapping = true;
  // Called once in a playback that maps positions, when it starts to.
  std::function<void()> on_mapped;

  // Recording: appends one layout entry per monitor now, at the start ...
  void AddLayoutEntries(EntryList& list);
  // ... and at each later tick, when the monitors' geometry differs from the layout written
  // last, the new one. Layout entries at the end of the list (nothing was recorded on them)
  // give way to it.
  void FollowLayout(EntryList& list);

  // A playback starts: it maps nothing until LayoutAt says on what its entries were recorded.
  void PlaybackStarts();
  // Playback reached entry `index`, where a run of layout entries starts, or entry 1: the
  // entries from there on were recorded on that layout (at entry 1 without one, on none).
  void LayoutAt(const EntryList& list, int32_t index);
  // Where the pointer goes for recorded position `p`; follows layout changes reported since.
  Point Map(Point p);
  // True while the running playback maps positions.
  bool Mapped() const { return !current_.Identity(); }

 private:
  // The monitors now, read again when the window system has reported a change.
  const std::vector<Monitor>& Now();
  void Rebuild();
  Screens* screens_ = nullptr;
  std::vector<Monitor> now_;
  uint64_t now_generation_ = 0;
  bool now_read_ = false;
  std::vector<Monitor> written_;  // recording: the layout of the entries written last
  std::optional<std::vector<Monitor>> recorded_;
  LayoutMapping current_;
  uint64_t mapped_generation_ = 0;  // now_generation_ that current_ maps onto
  bool told_ = false;
};

}  // namespace pel
