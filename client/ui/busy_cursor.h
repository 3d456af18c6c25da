// The hourglass: shown while an object of this class lives.
#ifndef CLIENT_UI_BUSY_CURSOR_H_
#define CLIENT_UI_BUSY_CURSOR_H_

#include <QCursor>
#include <QGuiApplication>

namespace sentrel::client {

class BusyCursor {
 public:
  BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { Restore(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

  // The normal pointer again before the object goes (before a message box, for example).
  void Restore() {
    if (active_) QGuiApplication::restoreOverrideCursor();
    active_ = false;
  }

 private:
  bool active_ = true;
};

}  // namespace sentrel::client

#endif  // CLIENT_UI_BUSY_CURSOR_H_
