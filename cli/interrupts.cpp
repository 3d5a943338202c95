#include "cli/interrupts.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <iostream>

#include "batch/cli_options.h"
#include "batch/headless.h"
#include "console/main.h"

namespace qv::cli {

namespace {

std::atomic<int> interrupts{0};

// Only counts; the event pump acts on the count. From the second Ctrl-C on,
// the default action is back, so a third one ends even a program stuck in a
// write.
void OnInterrupt(int) {
  if (interrupts.fetch_add(1) >= 1) signal(SIGINT, SIG_DFL);
}

sigset_t InterruptSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  const sigset_t set = InterruptSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void AcceptInterrupts() {
  const sigset_t set = InterruptSet();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool Interrupted() { return interrupts.load() > 0; }

void InterruptPump::Attach(TFrmMain* main, PanePrinter* printer, std::string stopping) {
  main_ = main;
  printer_ = printer;
  stopping_ = std::move(stopping);
}

void InterruptPump::ProcessPendingEvents() {
  const int n = interrupts.load();
  if (n == 0 || !main_) return;
  if (n >= 2) {
    printer_->Flush();
    std::cerr << "\nquorvane-batch: interrupted" << std::endl;
    if (main_->PortOpen()) main_->SetModemLines(false);
    std::_Exit(kExitInterrupted);
  }
  if (!announced_) {
    announced_ = true;
    if (printer_->beforeOutput) printer_->beforeOutput();
    std::cerr << "quorvane-batch: " << stopping_ << " (Ctrl-C again to quit)" << std::endl;
  }
  main_->stopFlag = 1;
}

}  // namespace qv::cli
