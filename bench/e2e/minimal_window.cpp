// The baseline for launch and idle figures: the smallest Qt widgets program with a window of
// the main window's size, and nothing else. With --tick it also runs an empty 10 ms precise
// timer, the least any 10 ms poll can cost in a Qt program.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstring>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget w;
  w.setWindowTitle(QStringLiteral("Minimal"));
  w.setFixedSize(536, 217);
  w.show();
  QTimer tick;
  if (argc > 1 && std::strcmp(argv[1], "--tick") == 0) {
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [] {});
    tick.start(10);
  }
  return QApplication::exec();
}
