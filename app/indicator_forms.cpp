#include "app/indicator_forms.h"

#include "app/layout.h"

namespace pel {

// One open indicator window: the native window, its shaping object and its load handler.
class IndicatorForms::Indicator : public IndicatorWindow {
 public:
  Indicator(IndicatorHost& host, const layout::IndicatorLayout& design,
            std::unique_ptr<ShapedWindow> native, bool& uncached_told)
      : host_(host),
        design_(design),
        native_(std::move(native)),
        shape_target_(*native_),
        uncached_told_(uncached_told) {}

  void StartUp();

  bool Visible() override { return native_->Visible(); }
  void SetVisible(bool visible) override { native_->SetVisible(visible); }
  // Tops are given from the top edge of the primary screen, which need not be at 0. Each
  // placement finds that screen anew, so the window follows the monitors when their layout
  // changes while it is open: to the top-right corner of the primary one.
  void SetTop(int top) override {
    Rect screen;
    try {
      screen = host_.factory.PrimaryScreen();
    } catch (...) {
      native_->SetTop(screen_top_ + top);  // where the load handler found it
      return;
    }
    screen_top_ = screen.top;
    native_->SetLeft(screen.right - native_->Width());
    native_->SetTop(screen.top + top);
  }
  int Height() override { return native_->Height(); }

  WindowShaper* Shaper() { return shaper_.get(); }

 private:
  IndicatorHost& host_;
  const layout::IndicatorLayout& design_;
  std::unique_ptr<ShapedWindow> native_;
  WindowForm shape_target_;  // the native window as the shaping object sees it
  std::unique_ptr<WindowShaper> shaper_;
  int screen_top_ = 0;
  bool& uncached_told_;  // the user has heard that outlines cannot be kept
};

void IndicatorForms::Indicator::StartUp() {
  Procedure p(host_.reporter, design_.location);
  // Before the first numbered step: a failure here names line 0.
  p.Step(0, [&] { native_->SetAppIcon(); });
  p.Step(100, [&] { shaper_ = std::make_unique<WindowShaper>(host_.files, host_.env); });
  // The top-right corner of the primary screen, wherever that screen lies among several.
  p.Step(102, [&] {
    screen_top_ = host_.factory.PrimaryScreen().top;
    SetTop(0);
  });
  p.Step(104, [&] { native_->SetLeft(host_.factory.PrimaryScreen().right - native_->Width()); });
  std::string path;
  // A failed lookup counts as "no file": the outline is scanned and stored again.
  const bool found = p.Test(106, [&] {
    path = host_.temp_folder() + std::string(design_.region_file);
    return host_.files.KindOf(path) != PathKind::None;
  });
  // The stored outline is a cache of the picture's. Whatever cannot serve as one (unreadable,
  // another user's, a link, empty, no region data, no pixels left, made for a bigger picture) is
  // replaced silently: a box here would be clicked away and that click recorded.
  bool replace = false;
  if (found) {
    p.Step(110, [&] {
      try {
        shaper_->Shape(&shape_target_, color::kBlue, true, path);
        const auto& outline = shaper_->shape_region();
        replace = !outline || outline->Empty() || shaper_->read_beyond_window();
      } catch (...) {
        replace = true;
      }
    });
  }
  if (found && !replace) return;
  p.Step(108, [&] {
    try {
      shaper_->Shape(&shape_target_, color::kBlue, false, path);
    } catch (...) {
      // What stands at the path may not be ours to replace (another user's file in a shared
      // TEMP), or the folder cannot take a file: the window still gets its outline, only it is
      // not kept. A box here would come at every start of recording or playing, and the click
      // closing it would be recorded; the user hears of it once.
      shaper_->Shape(&shape_target_, color::kBlue, false, "");
      if (!uncached_told_) {
        uncached_told_ = true;
        const std::size_t slash = path.find_last_of(host_.env.Separator());
        host_.env.Notice("the outlines of the indicator windows cannot be kept in \"" +
                         path.substr(0, slash == std::string::npos ? 0 : slash) +
                         "\"; they are made in memory each time");
      }
    }
  });
}

IndicatorForms::IndicatorForms(IndicatorHost host) : host_(host) {}
IndicatorForms::~IndicatorForms() = default;

IndicatorWindow& IndicatorForms::Ref(IndicatorId id) {
  std::unique_ptr<Indicator>& slot = open_[Index(id)];
  if (!slot) {
    const layout::IndicatorLayout& design = layout::Indicator(id);
    // The client area is the picture's own size whatever the screen resolution, so the
    // picture fills the window exactly and the outline matches it pixel for pixel.
    auto native = host_.factory.Create(id, design.name, design.picture,
                                       PixelSize{design.picture_width, design.picture_height});
    slot = std::make_unique<Indicator>(host_, design, std::move(native), uncached_told_);
    slot->StartUp();
  }
  return *slot;
}

void IndicatorForms::Close(IndicatorId id) {
  open_[Index(id)].reset();
}

WindowShaper* IndicatorForms::Shaper(IndicatorId id) {
  Indicator* open = open_[Index(id)].get();
  return open ? open->Shaper() : nullptr;
}

}  // namespace pel
