#include "platform/qt/qt_event_pump.h"

#include <QCoreApplication>

namespace pel {

void QtEventPump::DoEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace pel
