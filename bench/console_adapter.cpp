// Figures of the console behind an emulated adapter: the simulated drive's
// output crosses the line at its pace (both ways) and reaches the console in
// the lumps of a USB chip or a UART's FIFO (sim/sim_adapter.h). The console
// knows the adapter from a stand-in for sysfs, as it would know a real one.
//
//   RoundTrip/<adapter>/<rate>: "/" + CR sent and the prompt handled. Per
//        exchange (medians): line_us, the line time of the bytes both ways;
//        adapter_us, how long the prompt's lump waited in the adapter;
//        quiet_us, what the console waits for the line to stay quiet before
//        it takes the prompt (none: a prompt-shaped line counts at once);
//        own_us, the rest of the time from the adapter handing the prompt
//        over to the console having it; sim_us, what the simulation adds
//        beyond its plan. budget_us: line time + 1 ms + 1.5 ms.
//        burst_quiet_us: the quiet that still ends other output and the
//        block protocol's answers on this adapter.
//        Adapters: FT232-class at 16 and 1 ms (0, 1), CH340-class (2), a UART
//        FIFO with trigger 14 (3; budget line time + 2 ms).
//   InstructionRead/<adapter>: the flash ROM's 65536 single-byte reads at
//        921600 baud, per exchange: the total, the line time, how long the
//        drive's last bytes waited in the adapter, and the rest.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "console/main.h"
#include "sim/sim_drive.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/port_bar.h"
#include "tests/support/quiet_startup.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"
#include "transfer/transfer.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Adapter {
  const char* name;
  sim::AdapterTiming timing;
  int latencyInSysfs;  // -1: none shown; 0: a native UART
};
const Adapter kAdapters[] = {
    {"FT232-class 16 ms", sim::AdapterTiming::Ft232(milliseconds(16)), 16},
    {"FT232-class 1 ms", sim::AdapterTiming::Ft232(milliseconds(1)), 1},
    {"CH340-class", sim::AdapterTiming::Ch340(milliseconds(1)), -1},
    {"UART FIFO trigger 14", sim::AdapterTiming::Uart(14), 0},
};

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

double Percentile90(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() * 9 / 10];
}

// A console on the simulated drive behind `adapter`, the port open at `rate`.
class BehindAdapter {
 public:
  explicit BehindAdapter(const Adapter& adapter) : drive_(Options(adapter)), sysfs_(dir_ / "sys") {
    std::string tty = "qvS0";
    if (adapter.latencyInSysfs == 0) {
      sysfs_.AddUart(tty, adapter.timing.trigger);
    } else {
      test::FakeUsbAdapter usb;
      usb.latencyTimerMs = adapter.latencyInSysfs;
      tty = usb.tty;
      sysfs_.AddUsbAdapter(usb);
    }
    StartupOptions options = test::QuietStartup(dir_.Path());
    options.sysClassTty = sysfs_.ClassTty();
    main.FormCreate(options);
    device_ = tty;
  }
  ~BehindAdapter() { main.FormClose(); }

  // Empty when open at `rate` (at level T, or at the boot monitor for `monitor`), else why not.
  std::string Open(int rate, bool monitor = false) {
    if (!drive_.Start()) return "no pseudo-terminal";
    if (!test::OpenWithButton(main, test::DeviceLink(sysfs_, device_, drive_.SlavePath()), "9600"))
      return "cannot open";
    if (monitor && !main.ToF()) return "no F level";
    if (rate != 9600) main.AdMySpeed(std::to_string(rate));
    if (drive_.Rate() != rate) return "the drive did not change its rate";
    return "";
  }
  sim::SimDrive::OutputTiming Timing() const { return drive_.Timing(); }

  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main{pump, dialogs};

 private:
  static sim::SimOptions Options(const Adapter& adapter) {
    sim::SimOptions options;
    options.adapter = adapter.timing;
    options.paceInput = true;  // the PC's bytes take their line time too
    return options;
  }

  sim::SimDrive drive_;
  test::TempDir dir_;
  test::FakeSysfs sysfs_;
  std::string device_;
};

void RoundTrip(benchmark::State& state) {
  const Adapter& adapter = kAdapters[state.range(0)];
  const int rate = static_cast<int>(state.range(1));
  BehindAdapter console(adapter);
  if (const std::string why = console.Open(rate); !why.empty()) return state.SkipWithError(why.c_str());
  TFrmMain& main = console.main;
  main.receiveMode = ReceiveMode::syscmd;
  std::vector<double> total, held, own, sim;
  double line = 0;
  for (auto _ : state) {
    const int32_t rx = main.RxCount, tx = main.TxCount;
    const auto start = Clock::now();
    main.SendString("/\r");
    if (!main.WaitHD(300)) return state.SkipWithError("no prompt");
    const auto done = Clock::now();
    const sim::SimDrive::OutputTiming timing = console.Timing();
    line = (main.RxCount - rx + main.TxCount - tx) * 10 * 1e6 / rate;
    total.push_back(Micros(done - start));
    held.push_back(Micros(timing.lastHeld));
    own.push_back(Micros(done - timing.lastWrite));
    sim.push_back(Micros(timing.lastWrite - start) - line - held.back());
    main.Memo3.clear();
  }
  // A prompt-shaped line counts as soon as it arrives.
  const double quiet = 0;
  const bool usb = adapter.latencyInSysfs != 0;
  state.SetLabel(adapter.name);
  state.counters["median_us"] = Median(total);
  state.counters["p90_us"] = Percentile90(total);
  state.counters["line_us"] = line;
  state.counters["adapter_us"] = Median(held);
  state.counters["quiet_us"] = quiet;
  state.counters["burst_quiet_us"] = std::chrono::duration<double, std::micro>(main.Link().BurstQuiet()).count();
  state.counters["own_us"] = Median(own) - quiet;
  state.counters["sim_us"] = Median(sim);
  state.counters["budget_us"] = line + (usb ? 2500 : 2000);
}
BENCHMARK(RoundTrip)
    ->ArgsProduct({{0, 1, 2}, {9600}})
    ->Iterations(100)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(RoundTrip)
    ->ArgsProduct({{0, 1, 2}, {115200, 921600}})
    ->Iterations(500)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(RoundTrip)->Args({3, 115200})->Iterations(500)->UseRealTime()->Unit(benchmark::kMicrosecond);

void InstructionRead(benchmark::State& state) {
  const Adapter& adapter = kAdapters[state.range(0)];
  constexpr int kRate = 921600;
  constexpr int kExchanges = 0x10000;
  BehindAdapter console(adapter);
  if (const std::string why = console.Open(kRate, true); !why.empty()) return state.SkipWithError(why.c_str());
  TFrmMain& main = console.main;
  const std::string file = "/tmp/qv-bench-adapter-rom.bin";
  for (auto _ : state) {
    const int32_t rx = main.RxCount, tx = main.TxCount;
    const sim::SimDrive::OutputTiming before = console.Timing();
    const auto start = Clock::now();
    if (!ReadROM1(main, file)) return state.SkipWithError("the read did not succeed");
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::remove(file.c_str());
    const sim::SimDrive::OutputTiming after = console.Timing();
    state.SetIterationTime(seconds);
    const double perExchange = seconds * 1e6 / kExchanges;
    const double line = (main.RxCount - rx + main.TxCount - tx) * 10 * 1e6 / kRate / kExchanges;
    const double held = Micros(after.held - before.held) / kExchanges;
    const double quiet = 0;
    state.SetLabel(adapter.name);
    state.counters["total_s"] = seconds;
    state.counters["us_per_exchange"] = perExchange;
    state.counters["line_us"] = line;
    state.counters["adapter_us"] = held;
    state.counters["outputs_per_exchange"] = static_cast<double>(after.outputs - before.outputs) / kExchanges;
    state.counters["quiet_us"] = quiet;
    state.counters["own_us"] = perExchange - line - held - quiet;
  }
}
BENCHMARK(InstructionRead)->DenseRange(0, 2)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
