#pragma once
// A shapeable object (form, picture box or button) over an in-memory picture, for the shaping
// tests.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shaping/shape_target.h"

namespace pel::fake {

// Records what WindowShaper asks of it, in order, in `log`.
class FakeShapeTarget : public ShapeTarget {
 public:
  // Stands in window_image for the button face, which shows the back colour.
  static constexpr Color kFace = 0x7F00FACEu;

  FakeShapeTarget(ShapeKind k, Image picture) : kind(k), image(std::move(picture)) {
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
  int16_t ParentScaleMode() override { return parent_scale_mode; }
  void SetParentScaleMode(int16_t mode) override {
    log.push_back("ParentScaleMode");
    parent_scale_mode = mode;
  }
  void SetCaption(std::string_view text) override {
    log.push_back("Caption");
    caption = std::string(text);
  }
  void SetBackColor(Color c) override {
    log.push_back("BackColor");
    back_color = c;
  }
  void Refresh() override {
    log.push_back("Refresh");
    refreshed_back_color = back_color;
  }
  std::unique_ptr<PixelSource> OpenWindowPixels() override {
    log.push_back("OpenWindowPixels");
    ++open_window_pixels;
    return std::make_unique<WindowPixels>(*this);
  }
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

  // Pixels read through either source.
  int reads = 0;

  ShapeKind kind;
  Image image;
  PixelSize inner, outer;
  bool auto_redraw = false;
  bool clip_controls = true;
  int16_t scale_mode = 1;
  int16_t parent_scale_mode = 1;
  std::string caption = "Check1";
  Color back_color = 0x8000000F;
  Color refreshed_back_color = 0x8000000F;  // what the face shows
  int open_window_pixels = 0;               // opened and not yet released
  std::optional<std::vector<Rect>> applied;
  bool cleared = false;
  std::vector<std::string> log;

 private:
  class PictureSource : public PixelSource {
   public:
    explicit PictureSource(FakeShapeTarget& t) : t_(t) {}
    Color Pixel(int32_t x, int32_t y) override {
      ++t_.reads;
      return ImagePixels(t_.image).Pixel(x, y);
    }

   private:
    FakeShapeTarget& t_;
  };
  class WindowPixels : public PixelSource {
   public:
    explicit WindowPixels(FakeShapeTarget& t) : t_(t) {}
    ~WindowPixels() override { --t_.open_window_pixels; }
    Color Pixel(int32_t x, int32_t y) override {
      ++t_.reads;
      Color c = ImagePixels(t_.image).Pixel(x, y);
      return c == kFace ? t_.refreshed_back_color : c;
    }

   private:
    FakeShapeTarget& t_;
  };
  PictureSource picture_{*this};
};

}  // namespace pel::fake
