// Message boxes and file dialogs, closed by a timer the way a user would close them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_event_pump.h"

namespace pel {
namespace {

// Runs `act` on the first modal dialog of type T once it is up.
template <class T>
void WhenShown(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(dialog);
    }
  });
  timer->start(5);
}

TEST(QtDialogsTest, FilterAndTextTranslation) {
  EXPECT_EQ(QtFileFilter("Mouse Motion File (*.mmf)|*.mmf"), "Mouse Motion File (*.mmf)");
  EXPECT_EQ(QtFileFilter("Text|*.txt;*.log|All|*.*"), "Text (*.txt *.log);;All (*.*)");
  EXPECT_EQ(QtFileFilter(""), "");
  EXPECT_EQ(QtMessageText("a\r\nb\rc\nd"), "a\nb\nc\nd");
}

TEST(QtDialogsTest, MessageBoxShowsTitleTextIconAndButtons) {
  QtDialogs d;
  d.SetApplicationTitle("Pelmira");
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::Information;
  QList<QAbstractButton*> buttons;
  Qt::TextFormat format = Qt::RichText;
  WhenShown<QMessageBox>([&](QMessageBox* box) {
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = box->buttons();
    format = box->textFormat();
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(
      d.MessageBox("Keyboard shortcuts:\rStart Recording = F10", "", MsgButtons::Ok, MsgIcon::None),
      MsgResult::Ok);
  EXPECT_EQ(title, "Pelmira") << "no title: the application title";
  EXPECT_EQ(text, "Keyboard shortcuts:\nStart Recording = F10");
  EXPECT_EQ(icon, QMessageBox::NoIcon);
  EXPECT_EQ(buttons.size(), 1);
  EXPECT_EQ(format, Qt::PlainText);

  WhenShown<QMessageBox>([&](QMessageBox* box) {
    title = box->windowTitle();
    icon = box->icon();
    buttons = box->buttons();
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(
      d.MessageBox("Overwrite?", "Application Error", MsgButtons::YesNo, MsgIcon::Exclamation),
      MsgResult::No);
  EXPECT_EQ(title, "Application Error");
  EXPECT_EQ(icon, QMessageBox::Warning);
  EXPECT_EQ(buttons.size(), 2);

  WhenShown<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
  EXPECT_EQ(d.MessageBox("?", "", MsgButtons::YesNo, MsgIcon::None), MsgResult::Yes);
  // Escape on a Yes/No box answers No.
  WhenShown<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_EQ(d.MessageBox("?", "", MsgButtons::YesNo, MsgIcon::None), MsgResult::No);
}

TEST(QtDialogsTest, SaveDialogReturnsTheTypedPathAndCancelReturnsEmpty) {
  QTemporaryDir dir;
  const QString path = dir.filePath("take.mmf");
  QtDialogs d;
  QStringList filters;
  bool overwrite_asked = true;
  WhenShown<QFileDialog>([&](QFileDialog* dialog) {
    filters = dialog->nameFilters();
    overwrite_asked = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    name->setText(path);
    QTest::keyClick(name, Qt::Key_Return);
  });
  EXPECT_EQ(d.ShowSave("", "Mouse Motion File (*.mmf)|*.mmf"), path.toStdString());
  EXPECT_EQ(filters, QStringList{"Mouse Motion File (*.mmf)"});
  EXPECT_FALSE(overwrite_asked) << "the engine asks itself";

  WhenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
  EXPECT_EQ(d.ShowSave("", "Mouse Motion File (*.mmf)|*.mmf"), "");
}

TEST(QtDialogsTest, OpenDialogProposesTheLastPath) {
  QTemporaryDir dir;
  const QString path = dir.filePath("old.mmf");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  QtDialogs d;
  QStringList selected;
  WhenShown<QFileDialog>([&](QFileDialog* dialog) {
    selected = dialog->selectedFiles();
    QMetaObject::invokeMethod(dialog, "accept");
  });
  EXPECT_EQ(d.ShowOpen(path.toStdString(), "Mouse Motion File (*.mmf)|*.mmf"), path.toStdString());
  EXPECT_EQ(selected, QStringList{path});
}

// Beside a shown main window a dialog is a dialog of the program; while it is hidden (a file
// handed over brings up the save offer), a window of its own that the desktop lists.
TEST(QtDialogsTest, DialogsAreWindowsOfTheirOwnWhileTheMainWindowIsHidden) {
  QWidget main;
  QtDialogs d;
  d.SetOwner(&main);
  for (const bool shown : {true, false}) {
    main.setVisible(shown);
    Qt::WindowType box = Qt::Widget, dialog = Qt::Widget;
    WhenShown<QMessageBox>([&](QMessageBox* b) {
      box = b->windowType();
      b->accept();
    });
    d.MessageBox("?", "", MsgButtons::Ok, MsgIcon::None);
    WhenShown<QFileDialog>([&](QFileDialog* f) {
      dialog = f->windowType();
      f->reject();
    });
    d.ShowSave("", "Mouse Motion File (*.mmf)|*.mmf");
    const Qt::WindowType want = shown ? Qt::Dialog : Qt::Window;
    EXPECT_EQ(box, want) << shown;
    EXPECT_EQ(dialog, want) << shown;
  }
}

TEST(QtDialogsTest, EventPumpRunsQueuedEvents) {
  QtEventPump pump;
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  pump.DoEvents();
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace pel
