#pragma once
// The window program's answer to the signals that ask it to stop (a desktop
// logging out, kill, timeout, a closed terminal; console/stop_signals.h):
// the first closes the main window as its close button does, which stops
// what runs and closes the port (an adapter's latency setting put back); a
// later one ends the program at once.
#include <QObject>

class QSocketNotifier;
class QWidget;

namespace qv::ui {

class CloseOnStopSignals : public QObject {
 public:
  // stop_signals::Catch() must have run.
  explicit CloseOnStopSignals(QWidget& mainWindow);

 private:
  void Signalled();

  QWidget& mainWindow_;
  QSocketNotifier* notifier_ = nullptr;
  bool closing_ = false;
};

}  // namespace qv::ui
