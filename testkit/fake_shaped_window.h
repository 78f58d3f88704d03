#pragma once
// The native indicator windows and their factory held in memory: a picture, a place on a
// scripted screen and the outline last applied. Every call is logged as "<name>.<Member> <value>".

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/shaped_window.h"
#include "testkit/call_log.h"
#include "testkit/pictures.h"

namespace pel::fake {

class FakeShapedWindow : public ShapedWindow {
 public:
  FakeShapedWindow(std::string name, Image picture, CallLog* log)
      : name_(std::move(name)), picture_(std::move(picture)), pixels_(picture_), log_(log) {}
  ~FakeShapedWindow() override {
    if (closed) *closed = true;
    Log("Close", "");
  }

  PixelSource& Picture() override {
    ++picture_reads;
    return pixels_;
  }
  PixelSize OuterSize() override { return {picture_.w, picture_.h}; }
  void ApplyRegion(std::span<const Rect> rects) override {
    region = std::vector<Rect>(rects.begin(), rects.end());
    Log("Region", std::to_string(rects.size()));
  }
  void ClearRegion() override {
    region.reset();
    Log("Region", "none");
  }
  void SetAppIcon() override {
    has_app_icon = true;
    Log("Icon", "");
  }
  int Width() override { return picture_.w; }
  int Height() override { return picture_.h; }
  void SetLeft(int l) override {
    left = l;
    Log("Left", std::to_string(l));
  }
  void SetTop(int t) override {
    top = t;
    Log("Top", std::to_string(t));
  }
  bool Visible() override { return visible; }
  void SetVisible(bool v) override {
    visible = v;
    Log("Visible", v ? "true" : "false");
  }

  int left = 0;
  int top = 0;
  bool visible = false;
  bool has_app_icon = false;
  int picture_reads = 0;  // scans read the picture; loads from a file do not
  // The outline applied last; nullopt: rectangular.
  std::optional<std::vector<Rect>> region;
  // Set to true when the window is destroyed.
  bool* closed = nullptr;

 private:
  void Log(const std::string& member, const std::string& value) {
    if (log_) log_->Add(name_ + "." + member + (value.empty() ? "" : " " + value));
  }
  std::string name_;
  Image picture_;
  ImagePixels pixels_;
  CallLog* log_;
};

class FakeIndicatorFactory : public IndicatorFactory {
 public:
  explicit FakeIndicatorFactory(CallLog* log = nullptr) : log_(log) {}

  std::unique_ptr<ShapedWindow> Create(IndicatorId id, std::string_view name,
                                       std::string_view picture, PixelSize size) override {
    const std::string n(name);
    if (log_) log_->Add(n + ".Create " + std::string(picture));
    if (fail_create) throw Error(err::kFileNotFound, "File not found: " + std::string(picture));
    Image image;
    auto it = pictures.find(id);
    if (it != pictures.end()) {
      image = it->second;
    } else {
      // Plain blue face with an opaque square, the size the layout asks for.
      image = test::Filled(size.width, size.height, 0x00FF0000u);
      for (int y = 8; y < 24 && y < size.height; ++y)
        for (int x = 8; x < 24 && x < size.width; ++x) test::Put(image, x, y, 0x000000FFu);
    }
    requested[id] = size;
    auto window = std::make_unique<FakeShapedWindow>(n, std::move(image), log_);
    last[id] = window.get();
    ++created;
    return window;
  }
  Rect PrimaryScreen() override { return screen; }

  Rect screen{0, 0, 1920, 1080};
  bool fail_create = false;
  int created = 0;
  std::map<IndicatorId, Image> pictures;       // faces to use instead of the plain one
  std::map<IndicatorId, PixelSize> requested;  // client sizes asked for
  // The window created last for each id (dangling once it is closed).
  std::map<IndicatorId, FakeShapedWindow*> last;

 private:
  CallLog* log_;
};

}  // namespace pel::fake
