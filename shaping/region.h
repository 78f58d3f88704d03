#pragma once
// A set of pixels held as non-overlapping rectangles in one canonical form, the one the Windows
// region calls list: y-x banded. Rectangles are sorted by top, then left; all rectangles of a
// band share top and bottom; spans of a band neither overlap nor touch; two vertically adjacent
// bands never have identical spans (they are one band). Equal pixel sets therefore have equal
// rectangle lists, and the list can be written as region data byte for byte as the platform
// writes it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/picture.h"

namespace pel {

class Region {
 public:
  // The empty set.
  Region() = default;
  // The pixels of `r`; empty when left >= right or top >= bottom.
  static Region FromRect(const Rect& r);
  // Union of `rects` in any order; rectangles with left >= right or top >= bottom add nothing.
  static Region FromRects(std::span<const Rect> rects);

  Region Union(const Region& other) const;
  Region Difference(const Region& other) const;
  Region Intersect(const Region& other) const;

  bool Empty() const { return rects_.empty(); }
  size_t Count() const { return rects_.size(); }
  // The canonical rectangle list.
  const std::vector<Rect>& Rects() const { return rects_; }
  // Smallest rectangle holding every pixel; all zeros when empty.
  Rect Bounds() const;
  bool Contains(int32_t x, int32_t y) const;

  // Same pixel set (the canonical form makes this a list comparison).
  friend bool operator==(const Region&, const Region&) = default;

 private:
  friend class RegionBuilder;
  std::vector<Rect> rects_;
};

// True when `rects` is in the canonical banded form described above.
bool IsCanonical(std::span<const Rect> rects);

}  // namespace pel
