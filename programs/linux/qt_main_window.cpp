#include "programs/linux/qt_main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/qt/qt_color.h"
#include "platform/qt/qt_cursor.h"

namespace pel {

using layout::ControlKind;

QFont LayoutFont(const layout::Font& f) {
  QFont font(QString::fromUtf8(f.face.data(), static_cast<qsizetype>(f.face.size())));
  font.setPointSizeF(f.points);
  font.setBold(f.bold);
  return font;
}

void InstallFontSubstitutes() {
  // Liberation Sans has Arial's metrics; fontconfig usually maps it too, but not everywhere.
  QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}

namespace {

QString ToQ(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Controls

QtControl::QtControl(const layout::ControlLayout& design, QWidget* widget)
    : design_(design), widget_(widget), fore_(design.fore), back_(design.back) {
  ApplyColors();
}

std::string QtControl::Caption() {
  switch (design_.kind) {
    case ControlKind::PushButton:
    case ControlKind::CheckBox:
      return static_cast<QAbstractButton*>(widget_)->text().toStdString();
    case ControlKind::Frame:
      return static_cast<QGroupBox*>(widget_)->title().toStdString();
    case ControlKind::Label:
      return static_cast<QLabel*>(widget_)->text().toStdString();
    case ControlKind::TextBox:
      return static_cast<QLineEdit*>(widget_)->text().toStdString();
  }
  return {};
}

void QtControl::SetCaption(std::string_view text) {
  const QString t = ToQ(text);
  switch (design_.kind) {
    case ControlKind::PushButton:
    case ControlKind::CheckBox:
      static_cast<QAbstractButton*>(widget_)->setText(t);
      break;
    case ControlKind::Frame:
      static_cast<QGroupBox*>(widget_)->setTitle(t);
      break;
    case ControlKind::Label:
      static_cast<QLabel*>(widget_)->setText(t);
      break;
    case ControlKind::TextBox:
      static_cast<QLineEdit*>(widget_)->setText(t);
      break;
  }
}

bool QtControl::Enabled() {
  return widget_->isEnabled();
}
void QtControl::SetEnabled(bool enabled) {
  widget_->setEnabled(enabled);
}

int QtControl::Value() {
  if (design_.kind != ControlKind::CheckBox) return 0;
  switch (static_cast<QCheckBox*>(widget_)->checkState()) {
    case Qt::Unchecked:
      return 0;
    case Qt::Checked:
      return 1;
    case Qt::PartiallyChecked:
      return 2;
  }
  return 0;
}

void QtControl::SetValue(int value) {
  if (design_.kind != ControlKind::CheckBox) return;
  if (value < 0 || value > 2)
    throw Error(err::kInvalidPropertyValue, DescribeError(err::kInvalidPropertyValue));
  auto* box = static_cast<QCheckBox*>(widget_);
  box->setCheckState(value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked);
}

Color QtControl::ForeColor() {
  return fore_;
}
void QtControl::SetForeColor(Color c) {
  fore_ = c;
  ApplyColors();
}
Color QtControl::BackColor() {
  return back_;
}
void QtControl::SetBackColor(Color c) {
  back_ = c;
  ApplyColors();
}

void QtControl::ApplyColors() {
  const QPalette system = QApplication::palette();
  const QColor fore = ResolveColor(fore_, system);
  const QColor back = ResolveColor(back_, system);
  QPalette p = widget_->palette();
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(g, QPalette::WindowText, fore);
    p.setColor(g, QPalette::ButtonText, fore);
    p.setColor(g, QPalette::Text, fore);
  }
  switch (design_.kind) {
    case ControlKind::PushButton:
      p.setColor(QPalette::Button, back);
      break;
    case ControlKind::TextBox:
      p.setColor(QPalette::Base, back);
      break;
    default:
      // Check boxes fill with their background role, which is Button for every button kind.
      p.setColor(QPalette::Window, back);
      p.setColor(widget_->backgroundRole(), back);
      widget_->setAutoFillBackground(true);
      break;
  }
  widget_->setPalette(p);
}

// ---------------------------------------------------------------------------------------------
// The window

class QtMainWindow::FormWidget : public QWidget {
 public:
  explicit FormWidget(QtMainWindow& owner)
      : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                             Qt::WindowCloseButtonHint),
        owner_(owner) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseMove) owner_.OnMouseMove(watched);
    return QWidget::eventFilter(watched, event);
  }
  void closeEvent(QCloseEvent* event) override {
    event->accept();
    if (owner_.handlers_.unload) owner_.handlers_.unload();
  }

 private:
  QtMainWindow& owner_;
};

QtMainWindow::QtMainWindow(FormHandlers handlers) : handlers_(std::move(handlers)) {
  if (QScreen* screen = QGuiApplication::primaryScreen())
    dpi_ = static_cast<int>(std::lround(screen->logicalDotsPerInch()));
  if (dpi_ < 1) dpi_ = 96;
  window_ = std::make_unique<FormWidget>(*this);
  Build();
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(layout::PollTimer().interval_ms);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (handlers_.timer) handlers_.timer();
  });
  if (layout::PollTimer().enabled) timer_.start();
  once_fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (once_fd_ >= 0) {
    once_ = std::make_unique<QSocketNotifier>(once_fd_, QSocketNotifier::Read);
    QObject::connect(once_.get(), &QSocketNotifier::activated, [this] {
      uint64_t expirations = 0;
      if (read(once_fd_, &expirations, sizeof expirations) != sizeof expirations) return;
      if (handlers_.timer) handlers_.timer();
    });
  }
}

QtMainWindow::~QtMainWindow() {
  timer_.stop();
  once_.reset();
  if (once_fd_ >= 0) close(once_fd_);
  // The widgets belong to the window; drop the wrappers first.
  for (auto& c : controls_) c.reset();
  window_.reset();
}

void QtMainWindow::Build() {
  const layout::WindowLayout& design = layout::MainForm();
  auto px = [this](int twips) { return layout::TwipsToPixels(twips, dpi_); };
  QWidget* w = window_.get();
  w->setObjectName(ToQ(design.name));
  w->setWindowTitle(ToQ(design.caption));
  w->setFont(LayoutFont(design.font));
  w->setFixedSize(px(design.client_width), px(design.client_height));
  w->setMouseTracking(true);
  w->installEventFilter(w);
  back_ = design.back;
  ApplyBackColor();

  for (const layout::ControlLayout& c : design.controls) {
    QWidget* parent = w;
    if (c.container) parent = controls_[static_cast<size_t>(*c.container)]->Widget();
    QWidget* widget = nullptr;
    switch (c.kind) {
      case ControlKind::PushButton: {
        auto* b = new QPushButton(ToQ(c.caption), parent);
        b->setAutoDefault(false);
        const ControlId id = c.id;
        QObject::connect(b, &QPushButton::clicked, [this, id] {
          if (handlers_.click) handlers_.click(id);
        });
        widget = b;
        break;
      }
      case ControlKind::CheckBox: {
        auto* b = new QCheckBox(ToQ(c.caption), parent);
        b->setCheckState(c.value == 0   ? Qt::Unchecked
                         : c.value == 1 ? Qt::Checked
                                        : Qt::PartiallyChecked);
        // The greyed state can be set by the program only; a click toggles on and off.
        QObject::connect(b, &QCheckBox::clicked, [b] { b->setTristate(false); });
        b->setTristate(false);
        widget = b;
        break;
      }
      case ControlKind::Frame: {
        auto* g = new QGroupBox(ToQ(c.caption), parent);
        widget = g;
        break;
      }
      case ControlKind::Label: {
        auto* l = new QLabel(ToQ(c.caption), parent);
        if (c.border == layout::Border::FixedSingle) {
          // A sunken panel draws with the shadow colours, so a red or green status text does
          // not recolour the border as a plain box would.
          l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
          l->setLineWidth(1);
        }
        l->setAlignment(c.align == layout::Align::Center ? Qt::AlignCenter
                                                         : Qt::AlignLeft | Qt::AlignVCenter);
        widget = l;
        break;
      }
      case ControlKind::TextBox: {
        auto* e = new QLineEdit(ToQ(c.caption), parent);
        // The only text box lies out of sight and just holds the focus: read-only, its caret
        // does not blink, which would wake the idle program twice a second.
        e->setReadOnly(true);
        widget = e;
        break;
      }
    }
    widget->setObjectName(ToQ(c.name));
    widget->setFont(LayoutFont(c.font));
    widget->setGeometry(px(c.left), px(c.top), px(c.width), px(c.height));
    widget->setFocusPolicy(c.tab_index > 0 ? Qt::StrongFocus : Qt::NoFocus);
    // Moves are reported per control; a move over a child must not reach its frame or the
    // background as well.
    widget->setMouseTracking(true);
    widget->setAttribute(Qt::WA_NoMousePropagation);
    widget->installEventFilter(w);
    controls_[static_cast<size_t>(c.id)] = std::make_unique<QtControl>(c, widget);
  }

  std::vector<const layout::ControlLayout*> order;
  for (const layout::ControlLayout& c : design.controls)
    if (c.tab_index > 0) order.push_back(&c);
  std::sort(order.begin(), order.end(),
            [](auto* a, auto* b) { return a->tab_index < b->tab_index; });
  for (size_t i = 1; i < order.size(); ++i)
    QWidget::setTabOrder(Ctl(order[i - 1]->id).Widget(), Ctl(order[i]->id).Widget());
}

void QtMainWindow::OnMouseMove(QObject* watched) {
  if (!handlers_.mouse_move) return;
  if (watched == window_.get()) {
    handlers_.mouse_move(std::nullopt);
    return;
  }
  for (const auto& c : controls_) {
    if (c->Widget() != watched) continue;
    const ControlKind kind = c->Design().kind;
    if (kind == ControlKind::PushButton || kind == ControlKind::Frame)
      handlers_.mouse_move(c->Design().id);
    return;
  }
}

QWidget* QtMainWindow::Widget() const {
  return window_.get();
}

Control& QtMainWindow::Get(ControlId id) {
  return Ctl(id);
}

bool QtMainWindow::Visible() {
  return window_->isVisible();
}

void QtMainWindow::SetVisible(bool visible) {
  if (visible && !shown_once_) {
    ShowCentred();
    return;
  }
  window_->setVisible(visible);
}

void QtMainWindow::ShowCentred() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    window_->move(area.center() - window_->rect().center());
  }
  shown_once_ = true;
  window_->show();
  Ctl(ControlId::FocusSink).Widget()->setFocus(Qt::OtherFocusReason);
}

void QtMainWindow::SetCaption(std::string_view text) {
  window_->setWindowTitle(ToQ(text));
}

void QtMainWindow::SetAppIcon() {
  window_->setWindowIcon(QApplication::windowIcon());
}

Color QtMainWindow::BackColor() {
  return back_;
}
void QtMainWindow::SetBackColor(Color c) {
  back_ = c;
  ApplyBackColor();
}

void QtMainWindow::ApplyBackColor() {
  QPalette p = window_->palette();
  p.setColor(QPalette::Window, ResolveColor(back_, QApplication::palette()));
  window_->setPalette(p);
  window_->setAutoFillBackground(true);
  // Children inherit the window's palette; put their own colours back on top.
  for (auto& c : controls_)
    if (c) c->ApplyColors();
}

void QtMainWindow::LoadCustomPointer(const std::string& path) {
  custom_cursor_ = LoadCursorFile(path);
  if (pointer_kind_ == kPointerCustom) {
    pointer_kind_ = kPointerDefault;  // forces the new image onto the window
    SetPointerKind(kPointerCustom);
  }
}

void QtMainWindow::SetPointerKind(int kind) {
  // Every mouse move sets the kind; only a change needs the window system.
  if (kind == pointer_kind_) return;
  pointer_kind_ = kind;
  if (kind == kPointerCustom && custom_cursor_)
    window_->setCursor(*custom_cursor_);
  else
    window_->setCursor(Qt::ArrowCursor);
}

void QtMainWindow::SetTimerEnabled(bool enabled) {
  if (once_fd_ >= 0) {
    const itimerspec off{};
    timerfd_settime(once_fd_, 0, &off, nullptr);  // disarming a valid timerfd cannot fail
  }
  if (enabled && !timer_.isActive()) timer_.start();
  if (!enabled) timer_.stop();
}

void QtMainWindow::SetNextTick(double seconds) {
  if (once_fd_ < 0)
    throw Error(err::kInvalidProcedureCall,
                "timerfd_create failed: " + std::string(strerror(errno)));
  timer_.stop();
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // An absolute deadline: the time this call takes is not added to the wait. Zero would disarm.
  const int64_t ns = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(seconds * 1e9)));
  const int64_t at = int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec + ns;
  itimerspec when{};
  when.it_value.tv_sec = static_cast<time_t>(at / 1'000'000'000);
  when.it_value.tv_nsec = static_cast<long>(at % 1'000'000'000);
  if (timerfd_settime(once_fd_, TFD_TIMER_ABSTIME, &when, nullptr) != 0)
    throw Error(err::kInvalidProcedureCall,
                "timerfd_settime failed: " + std::string(strerror(errno)));
}

uintptr_t QtMainWindow::NativeHandle() {
  return static_cast<uintptr_t>(window_->winId());
}

}  // namespace pel
