#include "engine/motionfile/entry_list.h"

#include <limits>

#include "platform/error.h"

namespace pel {

std::string_view EntryList::Item(int32_t index) const {
  if (index < 1 || index > Count())
    throw Error(err::kSubscriptOutOfRange, DescribeError(err::kSubscriptOutOfRange));
  size_t i = first_ + static_cast<size_t>(index) - 1;
  uint64_t begin = i == 0 ? 0 : ends_[i - 1];
  return std::string_view(bytes_).substr(begin, ends_[i] - begin);
}

void EntryList::Add(std::string_view entry) {
  if (Count() == std::numeric_limits<int32_t>::max())
    throw Error(err::kOutOfMemory, DescribeError(err::kOutOfMemory));
  bytes_.append(entry);
  ends_.push_back(bytes_.size());
}

void EntryList::RemoveFirst() {
  if (Empty()) throw Error(err::kSubscriptOutOfRange, DescribeError(err::kSubscriptOutOfRange));
  ++first_;
  ++removed_;
  ++edits_;
  if (first_ == ends_.size()) {
    // Everything is gone: give the space back instead of keeping dead bytes.
    bytes_.clear();
    bytes_.shrink_to_fit();
    ends_.clear();
    ends_.shrink_to_fit();
    first_ = 0;
  }
}

void EntryList::RemoveLast() {
  if (Empty()) throw Error(err::kSubscriptOutOfRange, DescribeError(err::kSubscriptOutOfRange));
  ends_.pop_back();
  ++edits_;
  bytes_.resize(ends_.empty() ? 0 : ends_.back());
  if (first_ == ends_.size()) Clear();
}

void EntryList::Clear() {
  // Removing entry 1 until none is left, done at once.
  removed_ += static_cast<uint64_t>(Count());
  ++edits_;
  bytes_ = std::string();
  ends_ = std::vector<uint64_t>();
  first_ = 0;
}

void EntryList::Reserve(size_t entries, size_t bytes) {
  ends_.reserve(entries);
  bytes_.reserve(bytes);
}

EntryReading EntryReadings::At(const EntryList& list, int32_t index) {
  const std::string_view entry = list.Item(index);
  if (&list != list_ || list.Edits() != edits_) {
    kept_.clear();
    list_ = &list;
    edits_ = list.Edits();
  }
  const auto i = static_cast<size_t>(index) - 1;
  if (i >= kept_.size()) {
    // Entries are asked for in order: those passed over on the way are read too.
    if (kept_.empty()) kept_.reserve(static_cast<size_t>(list.Count()));
    for (size_t k = kept_.size(); k <= i; ++k) {
      const EntryReading r =
          ReadMotionEntry(k == i ? entry : list.Item(static_cast<int32_t>(k) + 1));
      const MotionEntry& e = r.entry;
      kept_.push_back({e.delay_ms, e.x, e.y, e.delta,
                       static_cast<uint8_t>(r.motion ? static_cast<int>(e.kind) : kMotionKinds),
                       r.failed});
    }
  }
  const Kept& k = kept_[i];
  EntryReading r;
  r.motion = k.kind != kMotionKinds;
  r.failed = k.failed;
  if (r.motion) r.entry = {static_cast<MotionKind>(k.kind), k.x, k.y, k.delay_ms, k.delta};
  return r;
}

}  // namespace pel
