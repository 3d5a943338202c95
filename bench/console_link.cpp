// Figures of the console's link against the simulated drive.
//
//   RoundTrip: a command sent and its prompt handled, through the real serial
//              code, the receive thread and the hand-over to the main thread.
//   ReceiveIntoPane / ReceiveIntoCapture: drive output of 1 MB handled into the
//              terminal pane (already holding a million lines) or the capture buffer.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include "console/main.h"
#include "sim/sim_drive.h"
#include "tests/support/port_bar.h"
#include "tests/support/scripted_dialogs.h"

namespace qv {
namespace {

struct Console {
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main{pump, dialogs};

  bool Open(const std::string& path, int rate) { return test::OpenWithButton(main, path, std::to_string(rate)); }
};

void RoundTrip(benchmark::State& state) {
  sim::SimDrive drive;
  if (!drive.Start()) return state.SkipWithError("no pseudo-terminal");
  Console console;
  if (!console.Open(drive.SlavePath(), 9600)) return state.SkipWithError("cannot open");
  console.main.receiveMode = ReceiveMode::syscmd;
  for (auto _ : state) {
    console.main.SendString("/\r");
    if (!console.main.WaitHD(100)) return state.SkipWithError("no prompt");
    console.main.Memo3.clear();
  }
  console.main.FormClose();
}
BENCHMARK(RoundTrip)->UseRealTime()->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly();

// A writer on the drive's side of a bare pseudo-terminal pushing 1 MB of
// 80-column text as fast as the line takes it.
struct Flood {
  int master = -1;
  std::string slavePath;
  std::string text;

  Flood() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(master);
    unlockpt(master);
    slavePath = ptsname(master);
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
    std::string line = std::string(78, 'x') + "\r\n";
    while (text.size() < (1u << 20)) text += line;
  }
  ~Flood() { close(master); }
  void Push() {
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = write(master, text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
};

void Receive(benchmark::State& state, ReceiveMode mode, size_t linesAlready) {
  Flood flood;
  Console console;
  if (!console.Open(flood.slavePath, 921600)) return state.SkipWithError("cannot open");
  std::string filler;
  for (size_t i = 0; i < linesAlready; ++i) console.main.memo1.AddLine("earlier output");
  console.main.receiveMode = mode;
  for (auto _ : state) {
    const int32_t before = console.main.RxCount;
    std::thread writer([&] { flood.Push(); });
    while (console.main.RxCount - before < static_cast<int32_t>(flood.text.size())) console.main.Delay(1);
    writer.join();
    state.PauseTiming();
    console.main.Memo3.clear();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * flood.text.size()));
  console.main.FormClose();
}

void ReceiveIntoPane(benchmark::State& state) { Receive(state, ReceiveMode::usercmd, 1'000'000); }
void ReceiveIntoCapture(benchmark::State& state) { Receive(state, ReceiveMode::R_DATA, 0); }
BENCHMARK(ReceiveIntoPane)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(ReceiveIntoCapture)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
