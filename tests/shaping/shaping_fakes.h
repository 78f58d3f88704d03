#pragma once
// Substitutes for the shaping tests: a shapeable object over an in-memory picture, and a file
// system held in a map.

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "shaping/shape_target.h"

namespace pel::test {

// An image of w x h pixels, all `fill`.
inline Image Filled(int32_t w, int32_t h, Color fill) {
  return Image{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * static_cast<size_t>(h), fill)};
}
inline void Put(Image& img, int32_t x, int32_t y, Color c) {
  img.px[static_cast<size_t>(y) * static_cast<size_t>(img.w) + static_cast<size_t>(x)] = c;
}

// Records what clsTransForm asks of it, in order, in `log`.
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

// Files in a map; a replacement becomes visible only at Commit, as on disk.
class MemFileSystem : public FileSystem {
 public:
  std::map<std::string, std::string> files;
  // Makes the next writes fail with this error number (61 disk full, 70 permission denied).
  int32_t fail_writes_with = 0;
  int opens = 0;

  bool IsNormalFile(const std::string& path) override { return files.count(path) != 0; }
  bool CanReadTimestamp(const std::string& path) override { return files.count(path) != 0; }
  PathKind KindOf(const std::string& path) override {
    return files.count(path) ? PathKind::File : PathKind::None;
  }
  std::unique_ptr<ReadFile> OpenRead(const std::string& path, FileUse) override {
    ++opens;
    auto it = files.find(path);
    if (it == files.end()) throw Error(err::kFileNotFound, DescribeError(err::kFileNotFound));
    return std::make_unique<Reader>(it->second);
  }
  std::unique_ptr<ReplaceFile> BeginReplace(const std::string& path, FileUse) override {
    ++opens;
    return std::make_unique<Writer>(*this, path);
  }

 private:
  class Reader : public ReadFile {
   public:
    explicit Reader(std::string bytes) : bytes_(std::move(bytes)) {}
    uint64_t Size() override { return bytes_.size(); }
    size_t Read(char* buf, size_t n) override {
      // Small pieces, so callers must loop.
      n = std::min({n, bytes_.size() - at_, size_t{7}});
      bytes_.copy(buf, n, at_);
      at_ += n;
      return n;
    }

   private:
    std::string bytes_;
    size_t at_ = 0;
  };
  class Writer : public ReplaceFile {
   public:
    Writer(MemFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
    void Write(std::string_view bytes) override {
      if (fs_.fail_writes_with != 0) {
        throw Error(fs_.fail_writes_with, DescribeError(fs_.fail_writes_with) + ": " + path_);
      }
      buf_.append(bytes);
    }
    void Commit() override { fs_.files[path_] = buf_; }

   private:
    MemFileSystem& fs_;
    std::string path_;
    std::string buf_;
  };
};

}  // namespace pel::test
