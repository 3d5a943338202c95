// The flash ROM reads against the simulated drive at its boot monitor, its
// output held to the pace of a 921600-baud line.
//
// Instruction read: 65536 exchanges of a command, its echo and a one-byte
// answer. What each exchange costs beyond the line's own time for those bytes
// (both ways, 10 bits a byte) is the program's turnaround. For scale, the
// same exchange is also timed with the plainest client there is (one write,
// reads until the prompt), which shows what the simulated drive and the
// pseudo-terminal take by themselves. peak_rss_mib: the process's peak memory
// after the read.
//
// Fast read: the copy into the buffer, 128 block dumps and 48 single reads.
// Its prescribed pauses (160 ticks) are taken out of its time, which is then
// set beside the line's own time for every byte that crossed it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "console/main.h"
#include "serial/tty_io.h"
#include "sim/sim_drive.h"
#include "tests/support/port_bar.h"
#include "tests/support/scripted_dialogs.h"
#include "transfer/transfer.h"

namespace qv {
namespace {

constexpr double kLineBytesPerSecond = 921600 / 10.0;
constexpr int kExchanges = 0x10000;
constexpr double kFastReadPauses = 160 * 0.010;  // Delay(10) and three Delay(50)

struct Timed {
  double seconds;
  int32_t rx, tx;
  bool ok;
};

// A console on a paced drive at its boot monitor, both at 921600.
class PacedMonitor {
 public:
  PacedMonitor() : drive_(Paced()), main_(pump_, dialogs_) {}
  ~PacedMonitor() { main_.FormClose(); }

  // Empty when ready, else why not.
  std::string Start() {
    if (!drive_.Start()) return "no pseudo-terminal";
    if (!test::OpenWithButton(main_, drive_.SlavePath(), "9600")) return "cannot open";
    if (!main_.ToF()) return "no F level";
    main_.AdMySpeed("921600");
    if (drive_.Rate() != 921600 || drive_.Level() != "F") return "drive not at 921600 at level F";
    return "";
  }

  // The same exchange by a client that does nothing else, after the console
  // has let go of the port; seconds per exchange, or a negative number.
  double PlainExchange(int count) {
    main_.ClosePort();
    const int fd = open(drive_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || !tty::MakeRaw(fd) || !tty::SetBaud(fd, 921600)) return -1;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
      const std::string command = "e2," + std::to_string(1000 + i % 9000) + ",0\r";
      if (write(fd, command.data(), command.size()) != static_cast<ssize_t>(command.size())) return -1;
      std::string got;
      char buffer[256];
      while (!got.ends_with("F>")) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0) return -1;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) got.append(buffer, static_cast<size_t>(n));
      }
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close(fd);
    return s / count;
  }

  template <typename Read>
  Timed Run(Read read) {
    const int32_t rx0 = main_.RxCount, tx0 = main_.TxCount;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = read(main_, file_);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::remove(file_.c_str());
    return Timed{s, main_.RxCount - rx0, main_.TxCount - tx0, ok};
  }

 private:
  static sim::SimOptions Paced() {
    sim::SimOptions options;
    options.paceAtLineRate = true;
    return options;
  }

  sim::SimDrive drive_;
  NoToolkitPump pump_;
  test::ScriptedDialogs dialogs_;
  TFrmMain main_;
  const std::string file_ = "/tmp/qv-bench-flash-rom.bin";
};

void InstructionReadPaced(benchmark::State& state) {
  PacedMonitor monitor;
  if (const std::string why = monitor.Start(); !why.empty()) return state.SkipWithError(why.c_str());
  for (auto _ : state) {
    const Timed t = monitor.Run([](TFrmMain& main, const std::string& file) { return ReadROM1(main, file); });
    if (!t.ok) return state.SkipWithError("the read did not succeed");
    state.SetIterationTime(t.seconds);
    const double perExchange = t.seconds / kExchanges;
    const double lineBoth = (t.rx + t.tx) / kLineBytesPerSecond / kExchanges;
    // The simulated line carries only the drive's side at the line's pace.
    const double lineDriveSide = t.rx / kLineBytesPerSecond / kExchanges;
    state.counters["total_s"] = t.seconds;
    state.counters["bytes_per_exchange"] = static_cast<double>(t.rx + t.tx) / kExchanges;
    state.counters["us_per_exchange"] = perExchange * 1e6;
    state.counters["line_us_per_exchange"] = lineBoth * 1e6;
    state.counters["own_us_per_exchange"] = (perExchange - lineBoth) * 1e6;
    state.counters["own_us_beyond_drive_side"] = (perExchange - lineDriveSide) * 1e6;
    // The process does nothing else: its peak is the read's.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_mib"] = static_cast<double>(usage.ru_maxrss) / 1024;
    const double plain = monitor.PlainExchange(4096);
    if (plain > 0) state.counters["plain_client_us_per_exchange"] = plain * 1e6;
  }
}
BENCHMARK(InstructionReadPaced)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void FastReadPaced(benchmark::State& state) {
  PacedMonitor monitor;
  if (const std::string why = monitor.Start(); !why.empty()) return state.SkipWithError(why.c_str());
  for (auto _ : state) {
    const Timed t = monitor.Run([](TFrmMain& main, const std::string& file) { return ReadRom(main, file); });
    if (!t.ok) return state.SkipWithError("the read did not succeed");
    state.SetIterationTime(t.seconds);
    const double working = t.seconds - kFastReadPauses;
    const double line = (t.rx + t.tx) / kLineBytesPerSecond;
    state.counters["total_s"] = t.seconds;
    state.counters["without_pauses_s"] = working;
    state.counters["line_s"] = line;
    state.counters["line_over_time"] = line / working;
  }
}
BENCHMARK(FastReadPaced)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
