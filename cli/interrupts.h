#pragma once
// Ctrl-C in the headless runner: the first stops the running script or
// operation as STOP does, the second ends the program at once.
#include <string>

#include "console/event_pump.h"

namespace qv {
class TFrmMain;
class PanePrinter;
}  // namespace qv

namespace qv::cli {

// Installs the handler and blocks Ctrl-C in this thread, so that threads
// started from here (the port's receive thread) never take it. Call
// AcceptInterrupts once they run.
void CatchInterrupts();
void AcceptInterrupts();
bool Interrupted();

// Pumps nothing but Ctrl-C: it keeps the stop flag set from the first one on
// (an operation clears the flag when it starts, and a Ctrl-C pressed just
// before must still stop it) and ends the program at the second.
class InterruptPump : public EventPump {
 public:
  // `stopping` says what the first Ctrl-C does ("stopping after the current statement").
  void Attach(TFrmMain* main, PanePrinter* printer, std::string stopping);
  void ProcessPendingEvents() override;

 private:
  TFrmMain* main_ = nullptr;
  PanePrinter* printer_ = nullptr;
  std::string stopping_;
  bool announced_ = false;
};

}  // namespace qv::cli
