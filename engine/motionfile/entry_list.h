#pragma once
// The recording: an ordered list of motion entries, numbered from 1. Entries are held back to
// back in one byte buffer with one offset each, so a million short entries cost about 25 bytes
// apiece and no allocation per entry. Entries may hold any bytes (a loaded file is kept as read).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/motionfile/motion_entry.h"

namespace pel {

class EntryList {
 public:
  // Number of entries.
  int32_t Count() const { return static_cast<int32_t>(ends_.size() - first_); }
  bool Empty() const { return Count() == 0; }
  // Entry `index` (1-based); throws pel::Error 9 (subscript out of range) outside 1..Count().
  // The view stays valid until the list is next changed.
  std::string_view Item(int32_t index) const;
  // Appends one entry at the end; throws pel::Error 7 (out of memory) beyond 2^31-1 entries.
  void Add(std::string_view entry);
  // Removes entry 1; throws pel::Error 9 when the list is empty.
  void RemoveFirst();
  // Removes the last entry; throws pel::Error 9 when the list is empty.
  void RemoveLast();
  // Removes entry 1 until the list is empty.
  void Clear();
  // Entries removed since the list was made, the last ones (RemoveLast) aside: while it stays
  // the same, the list has only grown.
  uint64_t Removed() const { return removed_; }
  // Changes other than appending: while it stays the same, each entry is what it was.
  uint64_t Edits() const { return edits_; }
  // Bytes held, for the memory benchmark.
  size_t CapacityBytes() const { return bytes_.capacity() + ends_.capacity() * sizeof(uint64_t); }
  void Reserve(size_t entries, size_t bytes);

 private:
  std::string bytes_;
  std::vector<uint64_t> ends_;  // end offset of each entry in bytes_
  size_t first_ = 0;            // entries before this one have been removed
  uint64_t removed_ = 0;
  uint64_t edits_ = 0;
};

// The entries of a list as ReadMotionEntry reads them, each read once: on first being asked
// for, and kept while the list is only appended to. Any other change has them read anew.
class EntryReadings {
 public:
  // Entry `index` of `list`; throws as EntryList::Item does outside 1..Count().
  EntryReading At(const EntryList& list, int32_t index);

 private:
  // An EntryReading in 24 bytes.
  struct Kept {
    double delay_ms;
    int32_t x, y, delta;
    uint8_t kind;  // kMotionKinds for no motion
    EntryReading::Part failed;
  };
  std::vector<Kept> kept_;  // entries 1 .. kept_.size()
  const EntryList* list_ = nullptr;
  uint64_t edits_ = 0;
};

}  // namespace pel
