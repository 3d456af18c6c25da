#include "client/ui/event_pump_waiter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <future>

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

platform::Result RunWhileResponsive(const std::function<platform::Result()>& call) {
  constexpr int kSliceMs = 20;
  std::future<platform::Result> result = std::async(std::launch::async, call);
  while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
    QEventLoop loop;
    QTimer::singleShot(kSliceMs, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return result.get();
}

}  // namespace sentrel::client
