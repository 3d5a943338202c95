#include "cli/interrupts.h"

#include <cstdlib>
#include <iostream>

#include "batch/headless.h"
#include "console/main.h"
#include "console/stop_signals.h"

namespace qv::cli {

void InterruptPump::Attach(TFrmMain* main, PanePrinter* printer, std::string stopping, std::string secondLeaves) {
  main_ = main;
  printer_ = printer;
  stopping_ = std::move(stopping);
  secondLeaves_ = std::move(secondLeaves);
}

void InterruptPump::ProcessPendingEvents() {
  const int n = stop_signals::Requests();
  if (n == 0 || !main_) return;
  if (n >= 2) {
    printer_->Flush();
    std::cerr << "\nquorvane-batch: interrupted" << std::endl;
    if (main_->PortOpen()) main_->SetModemLines(false);
    std::_Exit(stop_signals::Status());
  }
  if (!announced_) {
    announced_ = true;
    if (printer_->beforeOutput) printer_->beforeOutput();
    std::cerr << "quorvane-batch: " << stop_signals::FirstName() << ": " << stopping_
              << " (another Ctrl-C or signal, a second or more later, quits at once and " << secondLeaves_ << ")"
              << std::endl;
  }
  main_->stopFlag = 1;
}

}  // namespace qv::cli
