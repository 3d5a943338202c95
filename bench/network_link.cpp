// A port served by ser2net on 127.0.0.1 (rfc2217://) against the same
// simulated drive's pseudo-terminal directly; argument 0: direct, 1: ser2net.
// ser2net runs with the settings the README gives a bench (no character
// delay). The drive holds its output to the pace of a 921600-baud line.
//
//   Exchange: "/" + CR sent and the prompt handled at 921600, the unit of
//             every dialogue (an instruction ROM read is 65536 of them).
//             Counters: median and 90th percentile in microseconds.
//   InstructionRead: the instruction ROM read, 65536 exchanges at the drive's
//             F level; per_exchange_us: its time per exchange.
//   BufferRead: 64 blocks of the drive's buffer read at 921600, less a read
//             of none; ratio: the time per block against the line's own time
//             for its bytes (1.0: as fast as the line).
//   Open:     the port chosen in the port bar and opened with the open button,
//             as quorvane-batch does, the rates it offers found out; closed
//             again between two. Counters: median and 90th percentile in ms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "console/main.h"
#include "sim/sim_drive.h"
#include "tests/support/port_bar.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/ser2net_server.h"
#include "transfer/transfer.h"

namespace qv {
namespace {

constexpr int kRate = 921600;

// The drive, ser2net when asked for, and the console on the port at 921600.
struct Bench {
  sim::SimDrive drive{[] {
    sim::SimOptions o;
    o.paceAtLineRate = true;
    return o;
  }()};
  std::unique_ptr<test::Ser2NetServer> server;
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main{pump, dialogs};

  // Empty when ready, else why not. `atF`: the drive at its F level first.
  std::string Open(bool network, bool atF = false) {
    if (!drive.Start()) return "no pseudo-terminal";
    std::string port = drive.SlavePath();
    if (network) {
      server = std::make_unique<test::Ser2NetServer>(port);
      if (!server->Running()) return server->Why();
      port = server->Name();
    }
    if (!test::OpenWithButton(main, port, "9600")) return "cannot open " + port;
    if (atF && !main.ToF()) return "no F level";
    main.AdMySpeed(std::to_string(kRate));
    if (drive.Rate() != kRate) return "the drive did not change its rate";
    return {};
  }
  ~Bench() { main.FormClose(); }
};

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

void Exchange(benchmark::State& state) {
  Bench bench;
  if (const std::string why = bench.Open(state.range(0) != 0); !why.empty()) return state.SkipWithError(why.c_str());
  TFrmMain& main = bench.main;
  main.receiveMode = ReceiveMode::syscmd;
  std::vector<double> micros;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    main.SendString("/\r");
    if (!main.WaitHD(100)) return state.SkipWithError("no prompt");
    micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    main.Memo3.clear();
  }
  state.counters["median_us"] = Percentile(micros, 0.5);
  state.counters["p90_us"] = Percentile(micros, 0.9);
}
BENCHMARK(Exchange)->Arg(0)->Arg(1)->Iterations(2000);

void InstructionRead(benchmark::State& state) {
  Bench bench;
  if (const std::string why = bench.Open(state.range(0) != 0, true); !why.empty())
    return state.SkipWithError(why.c_str());
  const std::string file = "/tmp/qv-bench-network-rom.bin";
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!ReadROM1(bench.main, file)) return state.SkipWithError("the read failed");
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
  }
  std::remove(file.c_str());
  state.counters["per_exchange_us"] = seconds / 0x10000 * 1e6;
}
BENCHMARK(InstructionRead)->Arg(0)->Arg(1)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void BufferRead(benchmark::State& state) {
  Bench bench;
  if (const std::string why = bench.Open(state.range(0) != 0); !why.empty()) return state.SkipWithError(why.c_str());
  TFrmMain& main = bench.main;
  const std::string file = "/tmp/qv-bench-network-read.bin";
  constexpr int kBlocks = 64;
  struct Timed {
    double seconds;
    int32_t bytes;  // both ways
  };
  auto run = [&](const std::string& count) {
    const int32_t rx = main.RxCount, tx = main.TxCount;
    const auto start = std::chrono::steady_clock::now();
    ReadBuffer(main, "0", count, file);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return Timed{s, (main.RxCount - rx) + (main.TxCount - tx)};
  };
  double perBlock = 0, linePerBlock = 0;
  for (auto _ : state) {
    // The read's fixed part (level change, prompts) is taken out with a read of no blocks.
    const Timed none = run("0");
    const Timed full = run("40");
    state.SetIterationTime(full.seconds);
    perBlock = (full.seconds - none.seconds) / kBlocks;
    linePerBlock = static_cast<double>(full.bytes - none.bytes) * 10 / kRate / kBlocks;
  }
  std::remove(file.c_str());
  state.counters["ms_per_block"] = perBlock * 1000;
  state.counters["line_ms_per_block"] = linePerBlock * 1000;
  state.counters["ratio"] = perBlock / linePerBlock;
}
BENCHMARK(BufferRead)->Arg(0)->Arg(1)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void Open(benchmark::State& state) {
  Bench bench;
  if (!bench.drive.Start()) return state.SkipWithError("no pseudo-terminal");
  std::string port = bench.drive.SlavePath();
  if (state.range(0) != 0) {
    bench.server = std::make_unique<test::Ser2NetServer>(port);
    if (!bench.server->Running()) return state.SkipWithError(bench.server->Why().c_str());
    port = bench.server->Name();
  }
  TFrmMain& main = bench.main;
  std::vector<double> millis;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    main.ComboBox1.items = {port};
    main.ComboBox1.index = 0;
    main.ComboBox1Change();
    main.ComboBox2.SelectText("9600");
    main.btnSwitchClick();
    if (!main.PortOpen()) return state.SkipWithError("the port did not open");
    millis.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    state.PauseTiming();
    main.btnSwitchClick();
    state.ResumeTiming();
  }
  state.counters["median_ms"] = Percentile(millis, 0.5);
  state.counters["p90_ms"] = Percentile(millis, 0.9);
}
BENCHMARK(Open)->Arg(0)->Arg(1)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
