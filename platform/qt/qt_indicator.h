#pragma once
// The record and play indicators as Qt windows: frameless tool windows of exactly their picture's
// size that never take the focus, stay above other windows, let clicks through and are shaped with
// an X shape mask.

#include <QImage>
#include <QRegion>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/shaped_window.h"

namespace pel {

// The picture as 0x00BBGGRR pixels, the form the shaping code reads.
Image ToPelImage(const QImage& picture);

class QtIndicator : public ShapedWindow {
 public:
  // A hidden window named `name` showing `picture` in a client area of `size` pixels, centred on
  // the primary screen.
  QtIndicator(std::string_view name, const QImage& picture, PixelSize size);
  ~QtIndicator() override;

  void SetAppIcon() override;
  int Width() override;
  int Height() override;
  void SetLeft(int left) override;
  void SetTop(int top) override;
  bool Visible() override;
  void SetVisible(bool visible) override;
  PixelSource& Picture() override { return pixels_; }
  PixelSize OuterSize() override;
  void ApplyRegion(std::span<const Rect> rects) override;
  void ClearRegion() override;

  QWidget* Widget() const;

 private:
  class Face;
  // Puts on the mask the window's state calls for: nothing while hidden once mapped, else its
  // outline.
  void ApplyMask();
  void Flush();

  Image image_;
  ImagePixels pixels_{image_};
  std::unique_ptr<Face> widget_;
  std::optional<QRegion> outline_;  // the installed outline; none: a plain rectangle
  bool shown_ = false;              // shown as the poll cycle sees it
};

class QtIndicatorFactory : public IndicatorFactory {
 public:
  // Pictures are looked up in `folders` first (so a picture beside the program replaces the
  // built-in one), then among the program's embedded resources.
  explicit QtIndicatorFactory(std::vector<std::string> folders = {})
      : folders_(std::move(folders)) {}
  std::unique_ptr<ShapedWindow> Create(IndicatorId id, std::string_view name,
                                       std::string_view picture, PixelSize size) override;
  Rect PrimaryScreen() override;

  // The picture file `name`, or a null image when none can be read.
  QImage LoadPicture(std::string_view name) const;

 private:
  std::vector<std::string> folders_;
};

}  // namespace pel
