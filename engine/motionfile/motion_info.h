#pragma once
// What a motion file holds, for a user deciding whether to play it: the file is read as Load
// reads it (header, line ends) and each line judged as playback would play it.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/motionfile/motion_entry.h"
#include "platform/files.h"
#include "platform/screens.h"
#include "platform/windows_on_screen.h"

namespace pel {

struct MotionFileInfo {
  // Why playback would pass over a line.
  enum class Skip { Blank, UnknownKind, OutOfRange };
  static constexpr int kSkipReasons = 3;
  // At most this many skipped lines are listed one by one.
  static constexpr size_t kListedSkips = 10;

  // False when the file could not be opened or is no motion file; `problem` says why.
  bool opened = false;
  // False when reading stopped before the end of the file; `problem` says why.
  bool complete = false;
  std::string problem;

  int64_t entries[kMotionKinds] = {};  // playable entries by kind
  double duration_ms = 0;              // sum of the playable entries' delays
  bool pauses_before = false;          // pauses waited before their entries (PausesBeforeRule)
  // The rectangle the pointer visits, edges included; valid when there is an entry.
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  // The monitors the recording starts on, from the layout entries before its first other line
  // (none in older files) ...
  std::vector<Monitor> layout;
  // The windows its positions belong to, from its window entries: each class and title once, in
  // order of first use, with the place it had then.
  std::vector<TopWindow> windows;
  // ... unless those entries describe no layout playback can use (an entry it cannot read,
  // more than kMaxMonitors): the positions then play as recorded.
  bool layout_unusable = false;
  // Runs of layout entries after that: changes of the monitors during the recording, each
  // followed by playback from where it was made.
  int64_t layout_changes = 0;
  int64_t skipped[kSkipReasons] = {};
  struct SkippedLine {
    int64_t line;  // in the file, its header being line 1
    Skip why;
  };
  std::vector<SkippedLine> listed;  // the first kListedSkips skipped lines

  int64_t Entries() const;
  int64_t Skipped() const;
  // Opened, read to the end and holding an entry to play.
  bool Playable() const;
};

// Called with each playable entry, in order.
using MotionEntryVisitor = std::function<void(const MotionEntry&)>;

// Reads the motion file at `path` (a file the user chose) through `files`.
MotionFileInfo AnalyzeMotionFile(FileSystem& files, const std::string& path,
                                 const MotionEntryVisitor& visit = {});
// The same for the bytes of a motion file already in memory.
MotionFileInfo AnalyzeMotionBytes(std::string_view bytes, const MotionEntryVisitor& visit = {});

// The --info report for the user, one fact a line, each ended by "\n" (a full example:
// docs/design-notes.md, "The --info report"). Monitor names show bytes outside printable ASCII
// as \xNN and a backslash as \\. For a file that could not be read: "File: ...", then
// "Playable: no (<problem>)".
std::string FormatMotionFileInfo(const std::string& path, const MotionFileInfo& info);

}  // namespace pel
