#include "ui/stop_on_signals.h"

#include <QSocketNotifier>
#include <QWidget>
#include <cstdlib>

#include "console/stop_signals.h"

namespace qv::ui {

CloseOnStopSignals::CloseOnStopSignals(QWidget& mainWindow) : QObject(&mainWindow), mainWindow_(mainWindow) {
  notifier_ = new QSocketNotifier(stop_signals::WakeFd(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &CloseOnStopSignals::Signalled);
}

void CloseOnStopSignals::Signalled() {
  stop_signals::DrainWakeFd();
  if (stop_signals::Requests() >= 2) std::_Exit(stop_signals::Status());
  if (closing_) return;
  closing_ = true;
  // Also while an operation waits below: its wait handles this event, and
  // the close stops it as the close button would.
  mainWindow_.close();
}

}  // namespace qv::ui
