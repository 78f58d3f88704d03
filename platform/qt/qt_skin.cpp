#include "platform/qt/qt_skin.h"

#include <QApplication>
#include <QFile>
#include <QWidget>

namespace pel {

namespace {
// Style sheets are a few kilobytes; anything far larger is not one.
constexpr qint64 kMaxSheetBytes = 1 << 20;
}  // namespace

void QtSkinEngine::LoadSkin(const std::string& path, const std::string&) {
  sheet_.clear();
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSheetBytes) return;
  sheet_ = QString::fromUtf8(file.readAll());
}

void QtSkinEngine::ApplyToWindow(uintptr_t window) {
  if (sheet_.isEmpty()) return;
  QWidget* target = QWidget::find(static_cast<WId>(window));
  if (!target) return;
  // A style sheet reaches the children of the widget it is set on anyway; its own selectors
  // decide which controls it dresses, so the children option needs no work of its own.
  if (to_dialogs_)
    qApp->setStyleSheet(sheet_);
  else
    target->setStyleSheet(sheet_);
}

}  // namespace pel
