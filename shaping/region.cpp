#include "shaping/region.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <utility>

namespace pel {

namespace {

struct Span {
  int32_t left;
  int32_t right;
};

// One band of a canonical list: rects [begin, end) share top and bottom.
struct Band {
  int32_t top;
  int32_t bottom;
  size_t begin;
  size_t end;
};

std::vector<Band> Bands(const std::vector<Rect>& rects) {
  std::vector<Band> bands;
  for (size_t i = 0; i < rects.size();) {
    size_t j = i + 1;
    while (j < rects.size() && rects[j].top == rects[i].top) ++j;
    bands.push_back({rects[i].top, rects[i].bottom, i, j});
    i = j;
  }
  return bands;
}

// Appends a span, merging it into the last one when they overlap or touch.
void Emit(std::vector<Span>& out, int32_t left, int32_t right) {
  if (left >= right) return;
  if (!out.empty() && out.back().right >= left) {
    out.back().right = std::max(out.back().right, right);
  } else {
    out.push_back({left, right});
  }
}

enum class Op { kUnion, kDifference, kIntersect };

// One row of the operation: a and b are the spans of one band each (sorted, disjoint).
void CombineSpans(std::span<const Rect> a, std::span<const Rect> b, Op op, std::vector<Span>& out) {
  switch (op) {
    case Op::kUnion: {
      size_t i = 0, j = 0;
      while (i < a.size() || j < b.size()) {
        const Rect& r =
            (j >= b.size() || (i < a.size() && a[i].left <= b[j].left)) ? a[i++] : b[j++];
        Emit(out, r.left, r.right);
      }
      break;
    }
    case Op::kDifference: {
      size_t j = 0;
      for (const Rect& r : a) {
        int32_t cur = r.left;
        while (j < b.size() && b[j].right <= cur) ++j;
        for (size_t k = j; k < b.size() && b[k].left < r.right; ++k) {
          if (b[k].left > cur) Emit(out, cur, b[k].left);
          cur = std::max(cur, b[k].right);
          if (cur >= r.right) break;
        }
        if (cur < r.right) Emit(out, cur, r.right);
      }
      break;
    }
    case Op::kIntersect: {
      size_t i = 0, j = 0;
      while (i < a.size() && j < b.size()) {
        Emit(out, std::max(a[i].left, b[j].left), std::min(a[i].right, b[j].right));
        if (a[i].right < b[j].right) {
          ++i;
        } else {
          ++j;
        }
      }
      break;
    }
  }
}

}  // namespace

// Builds a canonical list band by band, from top to bottom.
class RegionBuilder {
 public:
  // Bands must come in order: `top` not above the previous band's bottom.
  void AddBand(int32_t top, int32_t bottom, const std::vector<Span>& spans) {
    if (spans.empty() || top >= bottom) return;
    std::vector<Rect>& r = out_.rects_;
    if (has_band_ && r[last_].bottom == top && r.size() - last_ == spans.size() &&
        std::equal(
            spans.begin(), spans.end(), r.begin() + static_cast<ptrdiff_t>(last_),
            [](const Span& s, const Rect& q) { return s.left == q.left && s.right == q.right; })) {
      // Same spans right below: the band grows instead of a new one starting.
      for (size_t i = last_; i < r.size(); ++i) r[i].bottom = bottom;
      return;
    }
    has_band_ = true;
    last_ = r.size();
    for (const Span& s : spans) r.push_back({s.left, top, s.right, bottom});
  }
  Region Take() { return std::move(out_); }

 private:
  Region out_;
  bool has_band_ = false;
  size_t last_ = 0;
};

namespace {

Region Combine(const std::vector<Rect>& a, const std::vector<Rect>& b, Op op) {
  std::vector<Band> ba = Bands(a);
  std::vector<Band> bb = Bands(b);
  std::vector<int32_t> ys;
  ys.reserve(2 * (ba.size() + bb.size()));
  for (const Band& x : ba) ys.insert(ys.end(), {x.top, x.bottom});
  for (const Band& x : bb) ys.insert(ys.end(), {x.top, x.bottom});
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

  RegionBuilder out;
  std::vector<Span> spans;
  std::span<const Rect> ra(a), rb(b);
  size_t ia = 0, ib = 0;
  for (size_t k = 0; k + 1 < ys.size(); ++k) {
    int32_t y0 = ys[k], y1 = ys[k + 1];
    // Every band edge is a breakpoint, so a band either covers [y0, y1) whole or not at all.
    while (ia < ba.size() && ba[ia].bottom <= y0) ++ia;
    while (ib < bb.size() && bb[ib].bottom <= y0) ++ib;
    bool in_a = ia < ba.size() && ba[ia].top <= y0;
    bool in_b = ib < bb.size() && bb[ib].top <= y0;
    if (!in_a && (!in_b || op != Op::kUnion)) continue;
    std::span<const Rect> sa =
        in_a ? ra.subspan(ba[ia].begin, ba[ia].end - ba[ia].begin) : std::span<const Rect>();
    std::span<const Rect> sb =
        in_b ? rb.subspan(bb[ib].begin, bb[ib].end - bb[ib].begin) : std::span<const Rect>();
    spans.clear();
    CombineSpans(sa, sb, op, spans);
    out.AddBand(y0, y1, spans);
  }
  return out.Take();
}

bool Valid(const Rect& r) {
  return r.left < r.right && r.top < r.bottom;
}

}  // namespace

Region Region::FromRect(const Rect& r) {
  Region region;
  if (Valid(r)) region.rects_.push_back(r);
  return region;
}

// Rectangles already in bands from top to bottom (a region's own list, or a scan's runs row by
// row) need only touching spans and identical neighbouring bands merged: one pass. Returns false
// when `rects` is not in that order.
namespace {

bool BuildFromBands(std::span<const Rect> rects, RegionBuilder& out) {
  std::vector<Span> spans;
  int32_t prev_bottom = 0;
  for (size_t i = 0; i < rects.size();) {
    const Rect& first = rects[i];
    if (i > 0 && first.top < prev_bottom) return false;
    spans.clear();
    size_t j = i;
    for (; j < rects.size() && rects[j].top == first.top; ++j) {
      const Rect& r = rects[j];
      if (!Valid(r) || r.bottom != first.bottom) return false;
      if (j > i && r.left < rects[j - 1].right) return false;
      Emit(spans, r.left, r.right);
    }
    out.AddBand(first.top, first.bottom, spans);
    prev_bottom = first.bottom;
    i = j;
  }
  return true;
}

}  // namespace

Region Region::FromRects(std::span<const Rect> rects) {
  {
    RegionBuilder banded;
    if (BuildFromBands(rects, banded)) return banded.Take();
  }
  std::vector<Rect> valid;
  valid.reserve(rects.size());
  for (const Rect& r : rects) {
    if (Valid(r)) valid.push_back(r);
  }
  // Neighbours in this order tend to overlap, which keeps the merged halves small.
  std::sort(valid.begin(), valid.end(), [](const Rect& p, const Rect& q) {
    return p.top != q.top ? p.top < q.top : p.left < q.left;
  });
  std::vector<Region> level;
  level.reserve(valid.size());
  for (const Rect& r : valid) level.push_back(FromRect(r));
  // Pairwise merging: each rectangle takes part in log2(n) unions of growing size.
  while (level.size() > 1) {
    std::vector<Region> next;
    next.reserve(level.size() / 2 + 1);
    for (size_t i = 0; i + 1 < level.size(); i += 2) next.push_back(level[i].Union(level[i + 1]));
    if (level.size() % 2 != 0) next.push_back(std::move(level.back()));
    level = std::move(next);
  }
  return level.empty() ? Region() : std::move(level.front());
}

Region Region::Union(const Region& other) const {
  if (other.Empty()) return *this;
  if (Empty()) return other;
  return Combine(rects_, other.rects_, Op::kUnion);
}

Region Region::Difference(const Region& other) const {
  if (Empty() || other.Empty()) return *this;
  return Combine(rects_, other.rects_, Op::kDifference);
}

Region Region::Intersect(const Region& other) const {
  if (Empty() || other.Empty()) return Region();
  return Combine(rects_, other.rects_, Op::kIntersect);
}

Rect Region::Bounds() const {
  if (rects_.empty()) return Rect{};
  Rect b{std::numeric_limits<int32_t>::max(), rects_.front().top,
         std::numeric_limits<int32_t>::min(), rects_.back().bottom};
  for (const Rect& r : rects_) {
    b.left = std::min(b.left, r.left);
    b.right = std::max(b.right, r.right);
  }
  return b;
}

bool Region::Contains(int32_t x, int32_t y) const {
  for (const Rect& r : rects_) {
    if (r.top > y) break;
    if (y < r.bottom && x >= r.left && x < r.right) return true;
  }
  return false;
}

bool IsCanonical(std::span<const Rect> rects) {
  size_t prev_begin = 0, prev_end = 0;  // previous band, empty at first
  for (size_t i = 0; i < rects.size();) {
    size_t j = i;
    for (; j < rects.size() && rects[j].top == rects[i].top; ++j) {
      const Rect& r = rects[j];
      if (!Valid(r) || r.bottom != rects[i].bottom) return false;
      if (j > i && r.left <= rects[j - 1].right) return false;  // overlapping or touching
    }
    if (prev_end > prev_begin) {
      const Rect& p = rects[prev_begin];
      if (rects[i].top < p.bottom) return false;
      if (rects[i].top == p.bottom && j - i == prev_end - prev_begin &&
          std::equal(
              rects.begin() + static_cast<ptrdiff_t>(i), rects.begin() + static_cast<ptrdiff_t>(j),
              rects.begin() + static_cast<ptrdiff_t>(prev_begin), [](const Rect& x, const Rect& y) {
                return x.left == y.left && x.right == y.right;
              })) {
        return false;  // should have been one band
      }
    }
    prev_begin = i;
    prev_end = j;
    i = j;
  }
  return true;
}

}  // namespace pel
