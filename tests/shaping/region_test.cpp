#include "shaping/region.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

namespace pel {
namespace {

using Rects = std::vector<Rect>;

Region R(int32_t l, int32_t t, int32_t r, int32_t b) {
  return Region::FromRect({l, t, r, b});
}

TEST(Region, EmptyAndIllFormedRectangles) {
  EXPECT_TRUE(Region().Empty());
  EXPECT_TRUE(R(3, 0, 3, 5).Empty());
  EXPECT_TRUE(R(4, 0, 3, 5).Empty());
  EXPECT_TRUE(R(0, 5, 3, 5).Empty());
  EXPECT_EQ(Region().Bounds(), (Rect{0, 0, 0, 0}));
  EXPECT_EQ(Region::FromRects(Rects{{5, 5, 1, 9}, {0, 0, 0, 0}}), Region());
}

TEST(Region, TouchingSpansAndIdenticalRowsMerge) {
  EXPECT_EQ(R(0, 0, 2, 1).Union(R(2, 0, 4, 1)).Rects(), (Rects{{0, 0, 4, 1}}));
  EXPECT_EQ(R(0, 0, 2, 1).Union(R(0, 1, 2, 2)).Rects(), (Rects{{0, 0, 2, 2}}));
  // Cutting a hole and filling it again gives back the one rectangle.
  Region holed = R(0, 0, 5, 5).Difference(R(2, 2, 3, 3));
  EXPECT_EQ(holed.Rects(), (Rects{{0, 0, 5, 2}, {0, 2, 2, 3}, {3, 2, 5, 3}, {0, 3, 5, 5}}));
  EXPECT_EQ(holed.Union(R(2, 2, 3, 3)), R(0, 0, 5, 5));
}

TEST(Region, OverlappingRectanglesInAnyOrderGiveOneList) {
  Rects a{{0, 0, 4, 2}, {2, 1, 6, 3}, {10, 0, 11, 1}};
  Rects b{{10, 0, 11, 1}, {2, 1, 6, 3}, {0, 0, 4, 2}, {1, 1, 3, 2}};
  Region ra = Region::FromRects(a);
  EXPECT_EQ(ra, Region::FromRects(b));
  EXPECT_EQ(ra.Rects(), (Rects{{0, 0, 4, 1}, {10, 0, 11, 1}, {0, 1, 6, 2}, {2, 2, 6, 3}}));
  EXPECT_EQ(ra.Bounds(), (Rect{0, 0, 11, 3}));
}

TEST(Region, ExtremeCoordinatesDoNotOverflow) {
  constexpr int32_t lo = std::numeric_limits<int32_t>::min();
  constexpr int32_t hi = std::numeric_limits<int32_t>::max();
  Region r = R(lo, lo, hi, hi).Difference(R(0, 0, 1, 1));
  EXPECT_EQ(r.Count(), 4u);
  EXPECT_FALSE(r.Contains(0, 0));
  EXPECT_TRUE(r.Contains(lo, lo));
  EXPECT_TRUE(r.Contains(hi - 1, hi - 1));
  EXPECT_EQ(r.Union(R(0, 0, 1, 1)), R(lo, lo, hi, hi));
  EXPECT_TRUE(r.Intersect(R(0, 0, 1, 1)).Empty());
}

TEST(Region, CanonicalFormChecker) {
  EXPECT_TRUE(IsCanonical(Rects{}));
  EXPECT_TRUE(IsCanonical(Rects{{0, 0, 1, 1}, {2, 0, 3, 1}, {0, 1, 3, 2}}));
  EXPECT_FALSE(IsCanonical(Rects{{0, 0, 1, 1}, {1, 0, 3, 1}}));  // touching spans
  EXPECT_FALSE(IsCanonical(Rects{{0, 0, 1, 1}, {0, 1, 1, 2}}));  // rows not merged
  EXPECT_FALSE(IsCanonical(Rects{{2, 0, 3, 1}, {0, 0, 1, 1}}));  // out of order
  EXPECT_FALSE(IsCanonical(Rects{{0, 0, 1, 1}, {2, 0, 3, 2}}));  // band with two bottoms
  EXPECT_FALSE(IsCanonical(Rects{{0, 0, 1, 2}, {0, 1, 3, 3}}));  // bands overlap
  EXPECT_FALSE(IsCanonical(Rects{{0, 0, 0, 1}}));                // empty rectangle
}

// Every operation, checked pixel by pixel against a plain grid, with the canonical form and
// equality between different constructions of the same set.
TEST(Region, RandomOperationsMatchAPixelGrid) {
  // Pixels from -1 to W (and -1 to H) inclusive; rectangles reach any edge of them.
  constexpr int W = 14, H = 11, NX = W + 2, NY = H + 2;
  std::mt19937 rng(20210831);
  auto coord = [&](int n) {
    return static_cast<int32_t>(rng() % static_cast<unsigned>(n + 3)) - 1;
  };
  auto at = [](int x, int y) { return static_cast<size_t>((y + 1) * NX + (x + 1)); };
  for (int round = 0; round < 400; ++round) {
    std::vector<char> grid(NX * NY, 0);
    Region region;
    Rects added;  // every rectangle united so far, for a second construction
    bool only_unions = true;
    for (int step = 0; step < 12; ++step) {
      Rect r{coord(W), coord(H), coord(W), coord(H)};
      int op = static_cast<int>(rng() % 3);
      Region rr = Region::FromRect(r);
      if (op == 0) {
        region = region.Union(rr);
        added.push_back(r);
      } else if (op == 1) {
        region = region.Difference(rr);
        only_unions = false;
      } else {
        region = region.Intersect(rr);
        only_unions = false;
      }
      for (int y = -1; y <= H; ++y) {
        for (int x = -1; x <= W; ++x) {
          bool in = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
          char& g = grid[at(x, y)];
          g = static_cast<char>(op == 0 ? (g || in) : op == 1 ? (g && !in) : (g && in));
        }
      }
      ASSERT_TRUE(IsCanonical(region.Rects())) << round << "/" << step;
      for (int y = -3; y < H + 3; ++y) {
        for (int x = -3; x < W + 3; ++x) {
          bool want = x >= -1 && y >= -1 && x <= W && y <= H && grid[at(x, y)];
          ASSERT_EQ(region.Contains(x, y), want) << round << "/" << step << " at " << x << "," << y;
        }
      }
    }
    if (only_unions) {
      std::shuffle(added.begin(), added.end(), rng);
      EXPECT_EQ(Region::FromRects(added), region);
    }
    // One 1x1 rectangle per pixel, in reverse order, must give the identical list.
    Rects pixels;
    for (int y = H; y >= -1; --y) {
      for (int x = W; x >= -1; --x) {
        if (grid[at(x, y)]) pixels.push_back({x, y, x + 1, y + 1});
      }
    }
    ASSERT_EQ(Region::FromRects(pixels), region) << round;
    // And in scan order, where touching pixels and identical rows are merged in one pass.
    std::reverse(pixels.begin(), pixels.end());
    ASSERT_EQ(Region::FromRects(pixels), region) << round;
  }
}

}  // namespace
}  // namespace pel
