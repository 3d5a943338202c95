#pragma once
// Ctrl-C and the signals a shell sends in the headless runner (caught as
// console/stop_signals.h says): the first stops the running script or
// operation as STOP does, so that it ends its own way (drive and port back
// to 9600); a later one ends the program at once.
#include <string>

#include "console/event_pump.h"

namespace qv {
class TFrmMain;
class PanePrinter;
}  // namespace qv

namespace qv::cli {

// Pumps nothing but the signals: it keeps the stop flag set from the first on
// (an operation clears the flag when it starts, and a signal that came just
// before must still stop it) and ends the program at a later one.
class InterruptPump : public EventPump {
 public:
  // `stopping` says what the first signal does ("stopping after the current
  // statement"), `secondLeaves` what a later one would leave behind.
  void Attach(TFrmMain* main, PanePrinter* printer, std::string stopping, std::string secondLeaves);
  void ProcessPendingEvents() override;
  // The first signal has been told on stderr.
  bool Announced() const { return announced_; }

 private:
  TFrmMain* main_ = nullptr;
  PanePrinter* printer_ = nullptr;
  std::string stopping_, secondLeaves_;
  bool announced_ = false;
};

}  // namespace qv::cli
