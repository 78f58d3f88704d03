#pragma once
// The record and play indicators as Win32 windows: borderless pop-ups of exactly their picture's
// size that never take the focus, stay out of the task bar, stay on top, let clicks through
// (layered and transparent to input) and are shaped with SetWindowRgn.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/shaped_window.h"
#include "platform/win32/win32_dpi.h"

namespace pel {

// An outline in picture pixels scaled to `dpi`: every edge rounded once, rectangles that vanish
// dropped; banded order is kept.
std::vector<Rect> ScaleOutline(std::span<const Rect> rects, int dpi);

class Win32Indicator : public ShapedWindow {
 public:
  // A hidden window titled `name` showing `picture` from its top-left corner in a client area
  // of `size` picture pixels, scaled for its monitor's resolution (at 144 dpi, 1.5 screen
  // pixels each), centred on the primary screen. Throws pel::Error when it cannot be made.
  Win32Indicator(std::string_view name, Image picture, PixelSize size, HICON icon);
  ~Win32Indicator() override;
  Win32Indicator(const Win32Indicator&) = delete;
  Win32Indicator& operator=(const Win32Indicator&) = delete;

  void SetAppIcon() override;
  int Width() override;
  int Height() override;
  void SetLeft(int left) override;
  void SetTop(int top) override;
  bool Visible() override;
  void SetVisible(bool visible) override;
  PixelSource& Picture() override { return pixels_; }
  // The picture's size: outlines are in picture pixels whatever the scale.
  PixelSize OuterSize() override;
  void ApplyRegion(std::span<const Rect> rects) override;
  void ClearRegion() override;

  HWND Handle() const { return hwnd_; }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void Paint();
  RECT WindowRect();
  int Scaled(int v) const;
  void ApplyScaledRegion();
  void OnDpiChanged(int dpi, const RECT* suggested);

  PixelSize size_;
  Image image_;
  ImagePixels pixels_{image_};
  HICON icon_ = nullptr;  // its own copy
  HWND hwnd_ = nullptr;
  HBITMAP bitmap_ = nullptr;  // the picture as a DIB section, drawn on WM_PAINT
  int dpi_ = kBaseDpi;
  std::vector<Rect> outline_;  // in picture pixels, as the shaping code gave it
  bool shaped_ = false;
};

class Win32IndicatorFactory : public IndicatorFactory {
 public:
  // `icon`: gives the application icon the windows carry (or nullptr) when one is made; the
  // window keeps a copy.
  explicit Win32IndicatorFactory(std::function<HICON()> icon = {}) : icon_(std::move(icon)) {}
  std::unique_ptr<ShapedWindow> Create(IndicatorId id, std::string_view name,
                                       std::string_view picture, PixelSize size) override;
  Rect PrimaryScreen() override;

 private:
  std::function<HICON()> icon_;
};

// Builds a GDI region from rectangles in canonical banded order (ExtCreateRegion); an empty
// list gives an empty region. Throws pel::Error when GDI refuses. The caller owns the handle.
HRGN MakeRegion(std::span<const Rect> rects);

}  // namespace pel
