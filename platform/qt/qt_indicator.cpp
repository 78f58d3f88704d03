#include "platform/qt/qt_indicator.h"

#include <xcb/xcb.h>
#include <QApplication>
#include <QFileInfo>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>

#include "platform/error.h"

namespace pel {
namespace {

QString ToQ(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

Image ToPelImage(const QImage& picture) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
  Image out;
  out.w = rgb.width();
  out.h = rgb.height();
  out.px.reserve(static_cast<size_t>(out.w) * static_cast<size_t>(out.h));
  for (int y = 0; y < out.h; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < out.w; ++x) {
      const QRgb p = line[x];
      out.px.push_back(static_cast<uint32_t>(qRed(p)) | static_cast<uint32_t>(qGreen(p)) << 8 |
                       static_cast<uint32_t>(qBlue(p)) << 16);
    }
  }
  return out;
}

class QtIndicator::Face : public QWidget {
 public:
  // Bypassing the window manager keeps it out of the task bar and the window switcher, and lets
  // it stand partly above the screen, which managers refuse for managed windows.
  explicit Face(const QImage& picture)
      : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                             Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                             Qt::NoDropShadowWindowHint | Qt::X11BypassWindowManagerHint),
        picture_(picture) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    painter.fillRect(event->rect(), back_);
    painter.drawImage(0, 0, picture_);
  }

 public:
  QImage picture_;
  QColor back_ = Qt::blue;  // fills what the picture does not cover
};

QtIndicator::QtIndicator(std::string_view name, const QImage& picture, PixelSize size)
    : image_(ToPelImage(picture)), widget_(std::make_unique<Face>(picture)) {
  widget_->setObjectName(ToQ(name));
  widget_->setWindowTitle(ToQ(name));
  widget_->setFixedSize(size.width, size.height);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    widget_->move(screen->geometry().center() - widget_->rect().center());
}

QtIndicator::~QtIndicator() = default;

QWidget* QtIndicator::Widget() const {
  return widget_.get();
}

void QtIndicator::SetAppIcon() {
  widget_->setWindowIcon(QApplication::windowIcon());
}
int QtIndicator::Width() {
  return widget_->width();
}
int QtIndicator::Height() {
  return widget_->height();
}
void QtIndicator::SetLeft(int left) {
  if (left != widget_->x()) widget_->move(left, widget_->y());
}

void QtIndicator::SetTop(int top) {
  if (top != widget_->y()) widget_->move(widget_->x(), top);
  // Without a window manager the stay-on-top hint does nothing: raise it at every placement so
  // that windows opened later do not bury it.
  if (shown_) widget_->raise();
  Flush();
}

bool QtIndicator::Visible() {
  return shown_;
}

// The blink hides and shows the window about three times a second. Unmapping and mapping it
// costs Qt several round trips each time, and moving it as many; once mapped, the window is
// hidden by cutting it to nothing instead, which costs one request, and shown again by giving
// its outline back.
void QtIndicator::SetVisible(bool visible) {
  if (visible != shown_) {
    shown_ = visible;
    if (widget_->isVisible()) {
      ApplyMask();
    } else if (visible) {
      widget_->show();
    }
  }
  if (visible) widget_->raise();
  Flush();
}

PixelSize QtIndicator::OuterSize() {
  return PixelSize{widget_->width(), widget_->height()};
}

void QtIndicator::ApplyMask() {
  // Hidden once mapped: cut to nothing.
  if (!shown_ && widget_->isVisible()) {
    // An empty mask means "no mask" to Qt: a single pixel outside the window shows nothing.
    widget_->setMask(QRegion(-1, -1, 1, 1));
  } else if (outline_) {
    widget_->setMask(*outline_);
  } else {
    widget_->clearMask();
  }
}

// Qt sends what it has queued only when it next handles an event, which may be seconds away
// in a sparse playback; a blink must reach the screen at its own moment.
void QtIndicator::Flush() {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (xcb_connection_t* connection = x11 ? x11->connection() : nullptr) xcb_flush(connection);
}

void QtIndicator::ApplyRegion(std::span<const Rect> rects) {
  QRegion region;
  for (const Rect& r : rects) region += QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
  // An empty outline shows nothing, as a hidden window does.
  outline_ = region.isEmpty() ? QRegion(-1, -1, 1, 1) : region;
  ApplyMask();
  widget_->update();
}

void QtIndicator::ClearRegion() {
  outline_.reset();
  ApplyMask();
  widget_->update();
}

QImage QtIndicatorFactory::LoadPicture(std::string_view name) const {
  for (const std::string& folder : folders_) {
    const QString path = ToQ(folder) + QLatin1Char('/') + ToQ(name);
    if (QFileInfo(path).isFile()) {
      QImage image(path);
      if (!image.isNull()) return image;
    }
  }
  return QImage(QStringLiteral(":/pelmira/") + ToQ(name));
}

std::unique_ptr<ShapedWindow> QtIndicatorFactory::Create(IndicatorId, std::string_view name,
                                                         std::string_view picture, PixelSize size) {
  const QImage image = LoadPicture(picture);
  if (image.isNull())
    throw Error(err::kFileNotFound, "File not found: picture " + std::string(picture));
  return std::make_unique<QtIndicator>(name, image, size);
}

Rect QtIndicatorFactory::PrimaryScreen() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) throw Error(err::kInvalidProcedureCall, "No screen");
  const QRect g = screen->geometry();
  return Rect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

}  // namespace pel
