#pragma once
// Ctrl-C and the signals a shell sends (SIGTERM from timeout or kill, SIGHUP
// when the terminal or the remote session goes) in the headless runner: the
// first stops the running script or operation as STOP does, so that it ends
// its own way (drive and port back to 9600); the second ends the program at
// once.
#include <string>

#include "console/event_pump.h"

namespace qv {
class TFrmMain;
class PanePrinter;
}  // namespace qv

namespace qv::cli {

// Installs the handler and blocks the signals in this thread, so that threads
// started from here (the port's receive thread) never take them. Call
// AcceptInterrupts once they run.
void CatchInterrupts();
void AcceptInterrupts();
bool Interrupted();
// The exit status of a run the first signal stopped: 128 + its number.
int InterruptedStatus();

// Pumps nothing but the signals: it keeps the stop flag set from the first on
// (an operation clears the flag when it starts, and a signal that came just
// before must still stop it) and ends the program at the second.
class InterruptPump : public EventPump {
 public:
  // `stopping` says what the first signal does ("stopping after the current
  // statement"), `secondLeaves` what a second one would leave behind.
  void Attach(TFrmMain* main, PanePrinter* printer, std::string stopping, std::string secondLeaves);
  void ProcessPendingEvents() override;

 private:
  TFrmMain* main_ = nullptr;
  PanePrinter* printer_ = nullptr;
  std::string stopping_, secondLeaves_;
  bool announced_ = false;
};

}  // namespace qv::cli
