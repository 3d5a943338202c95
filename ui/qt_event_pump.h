#pragma once
// The console's waits hand pending window events to Qt; and while the GUI
// idles in Qt's own loop, received bytes still need serving. The receive
// thread must never touch a widget, so its wake-up only posts a call that the
// GUI thread runs later.
#include <QObject>

#include "console/event_pump.h"

namespace qv {
class TFrmMain;
namespace ui {

class QtEventPump : public QObject, public EventPump {
  Q_OBJECT
 public:
  explicit QtEventPump(QObject* parent = nullptr) : QObject(parent) {}
  ~QtEventPump() override;

  void ProcessPendingEvents() override;
  void RefreshViewsLater(std::chrono::milliseconds delay) override;

  // Installs the link's wake hook. Must run before the console opens any port
  // (the start-up probe does), and the pump must outlive `main`'s link.
  void Attach(TFrmMain& main);
  // Posted calls that arrive after this do nothing; call it when `main` goes
  // away before the pump does.
  void Detach();

 private:
  void Service();

  TFrmMain* main_ = nullptr;
};

}  // namespace ui
}  // namespace qv
