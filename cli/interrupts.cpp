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

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> interrupts{0};
std::atomic<int> firstSignal{0};

// Only counts; the event pump acts on the count. From the second signal on,
// the default actions are back, so a third one ends even a program stuck in
// a write.
void OnInterrupt(int signo) {
  int none = 0;
  firstSignal.compare_exchange_strong(none, signo);
  if (interrupts.fetch_add(1) >= 1)
    for (int s : kSignals) signal(s, SIG_DFL);
}

sigset_t InterruptSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals) sigaddset(&set, s);
  return set;
}

const char* Named(int signo) {
  switch (signo) {
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "Ctrl-C";
  }
}

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : kSignals) sigaction(s, &action, nullptr);
  const sigset_t set = InterruptSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void AcceptInterrupts() {
  const sigset_t set = InterruptSet();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool Interrupted() { return interrupts.load() > 0; }

int InterruptedStatus() {
  const int signo = firstSignal.load();
  return signo > 0 ? 128 + signo : kExitInterrupted;
}

void InterruptPump::Attach(TFrmMain* main, PanePrinter* printer, std::string stopping, std::string secondLeaves) {
  main_ = main;
  printer_ = printer;
  stopping_ = std::move(stopping);
  secondLeaves_ = std::move(secondLeaves);
}

void InterruptPump::ProcessPendingEvents() {
  const int n = interrupts.load();
  if (n == 0 || !main_) return;
  if (n >= 2) {
    printer_->Flush();
    std::cerr << "\nquorvane-batch: interrupted" << std::endl;
    if (main_->PortOpen()) main_->SetModemLines(false);
    std::_Exit(InterruptedStatus());
  }
  if (!announced_) {
    announced_ = true;
    if (printer_->beforeOutput) printer_->beforeOutput();
    std::cerr << "quorvane-batch: " << Named(firstSignal.load()) << ": " << stopping_ << " (a second Ctrl-C or signal quits at once and " << secondLeaves_ << ")" << std::endl;
  }
  main_->stopFlag = 1;
}

}  // namespace qv::cli
