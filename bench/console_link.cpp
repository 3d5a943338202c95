// Figures of the console's link against the simulated drive.
//
//   RoundTrip/<rate>: "/" + CR sent and the prompt handled, through the real
//              serial code, the receive thread and the hand-over to the main
//              thread, with the drive holding its answer to the pace of the
//              line. Counters: median and 90th percentile of one round trip,
//              the line time of the answer's bytes, and the median less that
//              line time (what the console adds: the quiet that ends a burst
//              and the hand-overs).
//   ReceiveIntoPane / ReceiveIntoCapture: drive output of 1 MB handled into the
//              terminal pane (already holding a million lines) or the capture buffer.
//   ReceiveIntoPaneLogged: the same into the pane with the session log on
//              (a file in the temporary folder): what the log costs the receive path.
//   PtyBurstSpread: how far apart a pseudo-terminal passes on the bytes of a
//              burst written back to back, one write per byte; the receive
//              thread's quiet floor (ReceiveRecord::kQuietFloor) must exceed it.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "console/main.h"
#include "sim/sim_drive.h"
#include "tests/support/port_bar.h"
#include "tests/support/raw_pty.h"
#include "tests/support/scripted_dialogs.h"

namespace qv {
namespace {

struct Console {
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main{pump, dialogs};

  bool Open(const std::string& path, int rate) { return test::OpenWithButton(main, path, std::to_string(rate)); }
};

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

void RoundTrip(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  sim::SimOptions options;
  options.paceAtLineRate = true;
  sim::SimDrive drive(options);
  if (!drive.Start()) return state.SkipWithError("no pseudo-terminal");
  Console console;
  if (!console.Open(drive.SlavePath(), 9600)) return state.SkipWithError("cannot open");
  if (rate != 9600) console.main.AdMySpeed(std::to_string(rate));
  if (drive.Rate() != rate) return state.SkipWithError("the drive did not change its rate");
  console.main.receiveMode = ReceiveMode::syscmd;
  std::vector<double> micros, reaction;
  int32_t answerBytes = 0;
  for (auto _ : state) {
    const int32_t rx = console.main.RxCount;
    const auto start = std::chrono::steady_clock::now();
    console.main.SendString("/\r");
    if (!console.main.WaitHD(100)) return state.SkipWithError("no prompt");
    const auto done = std::chrono::steady_clock::now();
    micros.push_back(std::chrono::duration<double, std::micro>(done - start).count());
    reaction.push_back(std::chrono::duration<double, std::micro>(done - drive.Timing().lastWrite).count());
    answerBytes = console.main.RxCount - rx;
    console.main.Memo3.clear();
  }
  const double lineMicros = answerBytes * 10 * 1e6 / rate;
  const double median = Percentile(micros, 0.5);
  state.counters["median_us"] = median;
  state.counters["p90_us"] = Percentile(micros, 0.9);
  state.counters["line_us"] = lineMicros;
  state.counters["median_over_line_us"] = median - lineMicros;
  state.counters["reaction_us"] = Percentile(reaction, 0.5);
  console.main.FormClose();
}
BENCHMARK(RoundTrip)->Arg(9600)->Iterations(300)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(RoundTrip)->Arg(115200)->Arg(921600)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);

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

void Receive(benchmark::State& state, ReceiveMode mode, size_t linesAlready, bool logged = false) {
  Flood flood;
  Console console;
  if (!console.Open(flood.slavePath, 921600)) return state.SkipWithError("cannot open");
  const std::string logPath = "/tmp/qv-bench-" + std::to_string(getpid()) + ".log";
  if (logged && console.main.sessionLog.Start(logPath)) return state.SkipWithError("cannot log");
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
  if (logged) {
    console.main.sessionLog.Stop();
    unlink(logPath.c_str());
  }
}

void ReceiveIntoPane(benchmark::State& state) { Receive(state, ReceiveMode::usercmd, 1'000'000); }
void ReceiveIntoPaneLogged(benchmark::State& state) { Receive(state, ReceiveMode::usercmd, 1'000'000, true); }
void ReceiveIntoCapture(benchmark::State& state) { Receive(state, ReceiveMode::R_DATA, 0); }
BENCHMARK(ReceiveIntoPane)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(ReceiveIntoPaneLogged)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(ReceiveIntoCapture)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void PtyBurstSpread(benchmark::State& state) {
  constexpr int kBurst = 8;
  test::RawPty pty;
  const int slave = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  const int poll = epoll_create1(EPOLL_CLOEXEC);
  termios t{};
  tcgetattr(slave, &t);
  cfmakeraw(&t);
  tcsetattr(slave, TCSANOW, &t);
  epoll_event port{EPOLLIN | EPOLLET, {.fd = slave}};
  if (slave < 0 || poll < 0 || epoll_ctl(poll, EPOLL_CTL_ADD, slave, &port) != 0)
    return state.SkipWithError("no pseudo-terminal");
  using Clock = std::chrono::steady_clock;
  std::vector<double> spreads;
  for (auto _ : state) {
    std::thread writer([&] {
      for (int i = 0; i < kBurst; ++i) pty.Write("x");
    });
    double spread = 0;
    Clock::time_point previous{};
    for (int got = 0; got < kBurst;) {
      epoll_event event;
      if (epoll_wait(poll, &event, 1, 1000) <= 0) break;
      const auto now = Clock::now();
      int queued = 0;
      ioctl(slave, FIONREAD, &queued);
      if (queued <= got) continue;
      if (got > 0) spread = std::max(spread, std::chrono::duration<double, std::micro>(now - previous).count());
      previous = now;
      got = queued;
    }
    writer.join();
    char drain[kBurst];
    [[maybe_unused]] ssize_t n = read(slave, drain, sizeof drain);
    spreads.push_back(spread);
  }
  const double floor = std::chrono::duration<double, std::micro>(ReceiveRecord::kQuietFloor).count();
  state.counters["p99_us"] = Percentile(spreads, 0.99);
  state.counters["p999_us"] = Percentile(spreads, 0.999);
  state.counters["max_us"] = Percentile(spreads, 1.0);
  state.counters["over_floor"] =
      static_cast<double>(std::count_if(spreads.begin(), spreads.end(), [&](double s) { return s > floor; })) /
      static_cast<double>(spreads.size());
  close(poll);
  close(slave);
}
BENCHMARK(PtyBurstSpread)->Iterations(10000)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
