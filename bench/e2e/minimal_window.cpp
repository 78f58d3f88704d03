// The baseline for launch and idle figures: the smallest Qt widgets program with a window of
// the main window's size, and nothing else.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget w;
  w.setWindowTitle(QStringLiteral("Minimal"));
  w.setFixedSize(536, 217);
  w.show();
  return QApplication::exec();
}
