#include "platform/qt/qt_indicator.h"

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
  widget_->move(left, widget_->y());
}

void QtIndicator::SetTop(int top) {
  widget_->move(widget_->x(), top);
  // Without a window manager the stay-on-top hint does nothing: raise it on every move so that
  // windows opened later do not bury it.
  if (widget_->isVisible()) widget_->raise();
}

bool QtIndicator::Visible() {
  return widget_->isVisible();
}

void QtIndicator::SetVisible(bool visible) {
  widget_->setVisible(visible);
  if (visible) widget_->raise();
}

PixelSize QtIndicator::OuterSize() {
  return PixelSize{widget_->width(), widget_->height()};
}

void QtIndicator::ApplyRegion(std::span<const Rect> rects) {
  QRegion region;
  for (const Rect& r : rects) region += QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
  if (region.isEmpty()) {
    // An empty mask means "no mask" to Qt; a window that shows nothing is simply hidden pixels.
    region = QRegion(-1, -1, 1, 1);
  }
  widget_->setMask(region);
  widget_->update();
}

void QtIndicator::ClearRegion() {
  widget_->clearMask();
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
