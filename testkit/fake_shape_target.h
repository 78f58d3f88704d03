#pragma once
// A shapeable object (a form, or something that is not one) over an in-memory picture, for the
// shaping tests.

#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "shaping/shape_target.h"

namespace pel::fake {

// Records what WindowShaper asks of it, in order, in `log`.
class FakeShapeTarget : public ShapeTarget {
 public:
  FakeShapeTarget(ShapeKind shape_kind, Image picture)
      : kind(shape_kind), image(std::move(picture)) {
    inner = outer = PixelSize{image.w, image.h};
  }

  ShapeKind Kind() override { return kind; }
  void SetAutoRedraw(bool on) override {
    log.push_back("AutoRedraw");
    auto_redraw = on;
  }
  void SetClipControls(bool on) override {
    log.push_back("ClipControls");
    clip_controls = on;
  }
  void SetScaleMode(int16_t mode) override {
    log.push_back("ScaleMode");
    scale_mode = mode;
  }
  PixelSize InnerSize() override { return inner; }
  PixelSource& Picture() override { return picture_; }
  PixelSize OuterSize() override { return outer; }
  void ApplyRegion(std::span<const Rect> rects) override {
    log.push_back("ApplyRegion");
    applied = std::vector<Rect>(rects.begin(), rects.end());
  }
  void ClearRegion() override {
    log.push_back("ClearRegion");
    cleared = true;
    applied.reset();
  }

  // Pixels read from the picture.
  int reads = 0;

  ShapeKind kind;
  Image image;
  PixelSize inner, outer;
  bool auto_redraw = false;
  bool clip_controls = true;
  int16_t scale_mode = 1;
  std::optional<std::vector<Rect>> applied;
  bool cleared = false;
  std::vector<std::string> log;

 private:
  class PictureSource : public PixelSource {
   public:
    explicit PictureSource(FakeShapeTarget& target) : target_(target) {}
    Color Pixel(int32_t x, int32_t y) override {
      ++target_.reads;
      return ImagePixels(target_.image).Pixel(x, y);
    }

   private:
    FakeShapeTarget& target_;
  };
  PictureSource picture_{*this};
};

}  // namespace pel::fake
