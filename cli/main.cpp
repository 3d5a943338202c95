// quorvane-batch: runs a batch script on a drive without a window.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "batch/form4.h"
#include "batch/headless.h"
#include "batch/script_file.h"
#include "console/main.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

std::atomic<int> interrupts{0};

// Only counts; the event pump acts on the count. From the second Ctrl-C on,
// the default action is back, so a third one ends even a program stuck in a
// write.
void OnInterrupt(int) {
  if (interrupts.fetch_add(1) >= 1) signal(SIGINT, SIG_DFL);
}

class CliPump : public qv::EventPump {
 public:
  void Attach(qv::TFrmMain* main, qv::PanePrinter* printer) {
    main_ = main;
    printer_ = printer;
  }
  void ProcessPendingEvents() override {
    const int n = interrupts.load();
    if (n == 0 || !main_) return;
    if (n >= 2) {
      printer_->Flush();
      std::cerr << "quorvane-batch: interrupted" << std::endl;
      if (main_->PortOpen()) main_->SetModemLines(false);
      std::_Exit(kExitInterrupted);
    }
    if (!announced_) {
      announced_ = true;
      std::cerr << "quorvane-batch: stopping after the current statement (Ctrl-C again to quit)" << std::endl;
    }
    // Kept set: the run clears the flag when it starts, and a Ctrl-C pressed
    // just before must still stop it.
    main_->stopFlag = 1;
  }

 private:
  qv::TFrmMain* main_ = nullptr;
  qv::PanePrinter* printer_ = nullptr;
  bool announced_ = false;
};

int Fail(const std::string& why) {
  std::cerr << "quorvane-batch: " << why << "\n\n" << qv::kBatchUsage;
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  const qv::BatchOptions options = qv::ParseBatchOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (options.help) {
    std::cout << qv::kBatchUsage;
    return kExitDone;
  }
  if (!options.error.empty()) return Fail(options.error);

  const qv::LoadedScript script = qv::LoadScript(options.script);
  if (!script.error.empty()) {
    std::cerr << "quorvane-batch: cannot load the script: " << script.error << "\n";
    return kExitUsage;
  }

  // Writes to a closed stdout must not end the program with the port open.
  signal(SIGPIPE, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  // Ctrl-C is taken by this thread only; the receive thread inherits the
  // blocked mask when the port opens.
  sigset_t interruptSet;
  sigemptyset(&interruptSet);
  sigaddset(&interruptSet, SIGINT);
  pthread_sigmask(SIG_BLOCK, &interruptSet, nullptr);

  CliPump pump;
  qv::StreamDialogs dialogs(std::cerr, options.yes);
  qv::TFrmMain main(pump, dialogs);
  qv::PanePrinter printer(main.memo1, std::cout);
  main.memo1.SetListener(&printer);
  pump.Attach(&main, &printer);
  main.SetUpFolders(qv::ProgramFolder(), qv::UserDataFolder());

  // Opening the port starts its receive thread, which must start with Ctrl-C
  // blocked; the probe below opens it first.
  auto unblockAfterOpen = [&] { pthread_sigmask(SIG_UNBLOCK, &interruptSet, nullptr); };
  auto finish = [&](int status) {
    main.FormClose();
    main.memo1.SetListener(nullptr);
    printer.Flush();
    return status;
  };

  // The probe of start-up: the rate list holds four rates, or eight when the
  // adapter takes 921600.
  main.ComboBox1.items = {options.port};
  main.ComboBox1.index = 0;
  const size_t boxesBefore = dialogs.BoxesShown();
  main.ComboBox1Change();
  if (dialogs.BoxesShown() != boxesBefore) {
    unblockAfterOpen();
    return finish(kExitUsage);
  }
  main.ComboBox2.SelectText(options.rate);
  if (main.ComboBox2.index < 0) {
    std::string offered;
    for (const std::string& rate : main.ComboBox2.items) offered += " " + rate;
    unblockAfterOpen();
    std::cerr << "quorvane-batch: the rate " << options.rate << " is not offered on " << options.port
              << " (offered:" << offered << ")\n";
    return finish(kExitUsage);
  }

  main.CheckBox1 = true;  // "USB to COM"
  main.btnSwitchClick();
  unblockAfterOpen();
  if (!main.PortOpen()) return finish(kExitUsage);
  if (interrupts.load() > 0) return finish(kExitInterrupted);

  qv::TForm4 form(main);
  form.Memo1 = script.lines;
  const qv::TForm4::RunResult result = form.Button9Click();
  // The closing CR asks for a prompt; let it reach the pane before closing.
  main.WaitHD(50);

  switch (result.end) {
    case qv::TForm4::RunResult::End::Finished: return finish(kExitDone);
    case qv::TForm4::RunResult::End::Failed: return finish(kExitError);
    case qv::TForm4::RunResult::End::Stopped: return finish(kExitInterrupted);
    case qv::TForm4::RunResult::End::EmptyScript: break;
  }
  return finish(kExitUsage);
}
