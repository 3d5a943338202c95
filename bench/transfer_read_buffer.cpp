// A buffer read against the simulated drive holding its output to the pace of
// a 921600-baud line. The read's fixed pauses (the level command, the closing
// 5 s pause and prompt request) are taken out by also timing a read of no
// blocks; what remains per block is compared with the time the line itself
// needs for the block's bytes both ways (command, echo, dump, prompt).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "console/main.h"
#include "sim/sim_drive.h"
#include "tests/support/port_bar.h"
#include "tests/support/scripted_dialogs.h"
#include "transfer/transfer.h"

namespace qv {
namespace {

constexpr int kBlocks = 0x40;
constexpr double kLineBytesPerSecond = 921600 / 10.0;

struct Timed {
  double seconds;
  int32_t rx, tx;
};

void ReadBufferPaced(benchmark::State& state) {
  sim::SimOptions options;
  options.paceAtLineRate = true;
  sim::SimDrive drive(options);
  if (!drive.Start()) return state.SkipWithError("no pseudo-terminal");
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main(pump, dialogs);
  if (!test::OpenWithButton(main, drive.SlavePath(), "9600")) return state.SkipWithError("cannot open");
  main.AdMySpeed("921600");
  if (drive.Rate() != 921600) return state.SkipWithError("drive not at 921600");

  const std::string file = "/tmp/qv-bench-read-buffer.bin";
  auto run = [&](const std::string& count) {
    const int32_t rx0 = main.RxCount, tx0 = main.TxCount;
    const auto start = std::chrono::steady_clock::now();
    ReadBuffer(main, "0", count, file);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return Timed{s, main.RxCount - rx0, main.TxCount - tx0};
  };

  double perBlock = 0, lineTime = 0;
  for (auto _ : state) {
    const Timed none = run("0");
    const Timed full = run("40");
    perBlock = (full.seconds - none.seconds) / kBlocks;
    const double bytes = static_cast<double>((full.rx - none.rx) + (full.tx - none.tx)) / kBlocks;
    lineTime = bytes / kLineBytesPerSecond;
    state.SetIterationTime(full.seconds);
    state.counters["bytes_per_block"] = bytes;
  }
  std::remove(file.c_str());
  if (main.memo1.Lines().size() < 2 || main.memo1.Lines()[main.memo1.Lines().size() - 2].find("\xB3\xC9") == std::string::npos)
    state.SkipWithError("the read did not succeed");
  state.counters["ms_per_block"] = perBlock * 1000;
  state.counters["line_ms_per_block"] = lineTime * 1000;
  state.counters["ratio"] = perBlock / lineTime;
  main.FormClose();
}
BENCHMARK(ReadBufferPaced)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
