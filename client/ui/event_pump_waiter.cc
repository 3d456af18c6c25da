#include "client/ui/event_pump_waiter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace sentrel::client {

bool EventPumpWaiter::Wait(uint32_t ms) {
  if (ms == 0) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  } else {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(ms), &loop, &QEventLoop::quit);
    loop.exec();
  }
  return !(cancelled_ && cancelled_());
}

}  // namespace sentrel::client
