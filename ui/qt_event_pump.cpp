#include "ui/qt_event_pump.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <exception>

#include "console/main.h"

namespace qv::ui {

QtEventPump::~QtEventPump() = default;

void QtEventPump::ProcessPendingEvents() { QCoreApplication::processEvents(); }

void QtEventPump::RefreshViewsLater(std::chrono::milliseconds delay) {
  QTimer::singleShot(delay, this, [this] {
    if (main_) main_->RefreshViews();
  });
}

void QtEventPump::Attach(TFrmMain& main) {
  main_ = &main;
  // Runs on the receive thread: posting an event is all it may do.
  main.Link().SetWakeHook([this] {
    QMetaObject::invokeMethod(this, &QtEventPump::Service, Qt::QueuedConnection);
  });
}

void QtEventPump::Detach() { main_ = nullptr; }

void QtEventPump::Service() {
  if (!main_) return;
  try {
    main_->ServiceReceive();
  } catch (const std::exception& e) {
    // Received text never ends the program; the user learns what went wrong.
    main_->Dlg().ShowMessage(e.what());
  }
}

}  // namespace qv::ui
