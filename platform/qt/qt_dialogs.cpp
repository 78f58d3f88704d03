#include "platform/qt/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace pel {
namespace {

QString ToQ(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

QString QtFileFilter(std::string_view filter) {
  const QStringList parts = ToQ(filter).split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString label = parts[i].trimmed();
    QString patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts).join(' ');
    if (patterns.isEmpty()) patterns = QStringLiteral("*");
    // Qt reads the patterns from the last bracket of the label; add them when it has none.
    if (!label.endsWith(QLatin1Char(')'))) label += QStringLiteral(" (") + patterns + ')';
    out << label;
  }
  if (out.isEmpty()) return QString();
  return out.join(QStringLiteral(";;"));
}

QString QtMessageText(std::string_view text) {
  QString t = ToQ(text);
  t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return t;
}

void QtDialogs::Place(QWidget& dialog) const {
  if (owner_ && owner_->isVisible() && !owner_->isMinimized()) return;
  // A dialog is transient for the program's group leader, a window that is never mapped: with
  // the main window hidden, desktops may leave it out of the task bar and behind the program in
  // front. As a plain window it is neither; it stays modal.
  dialog.setWindowFlags((dialog.windowFlags() & ~Qt::WindowType_Mask) | Qt::Window);
}

void QtDialogs::SetApplicationTitle(std::string_view title) {
  app_title_ = std::string(title);
}

MsgResult QtDialogs::MessageBox(std::string_view text, std::string_view title, MsgButtons buttons,
                                MsgIcon icon) {
  QMessageBox box(icon == MsgIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                  ToQ(title.empty() ? std::string_view(app_title_) : title), QtMessageText(text));
  // The texts are plain: a '<' in a file name must not turn the box into rich text.
  box.setTextFormat(Qt::PlainText);
  if (buttons == MsgButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
  }
  box.setWindowModality(Qt::ApplicationModal);
  Place(box);
  const int answer = box.exec();
  if (buttons == MsgButtons::YesNo)
    return answer == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
  return MsgResult::Ok;
}

std::string QtDialogs::ShowSave(std::string_view initial, std::string_view filter) {
  return ShowFile(true, initial, filter);
}

std::string QtDialogs::ShowOpen(std::string_view initial, std::string_view filter) {
  return ShowFile(false, initial, filter);
}

std::string QtDialogs::ShowFile(bool save, std::string_view initial, std::string_view filter) {
  QFileDialog dialog(nullptr, save ? QStringLiteral("Save As") : QStringLiteral("Open"),
                     ToQ(initial), QtFileFilter(filter));
  dialog.setObjectName(save ? QStringLiteral("SaveDialog") : QStringLiteral("OpenDialog"));
  // Qt's own dialog: the same on every desktop, and no portal round trip. The engine asks
  // about overwriting itself, so the dialog must not ask a second time.
  dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setWindowModality(Qt::ApplicationModal);
  Place(dialog);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return {};
  return files.front().toStdString();
}

}  // namespace pel
