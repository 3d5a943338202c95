// What the main window costs a long operation: the instruction ROM read
// (65536 exchanges of a command and a one-byte answer) on the simulated drive
// at its boot monitor, its output paced at 921600 baud, once without a window
// as quorvane-batch runs it and once with the main window drawing the
// console's counters, progress bar and pane (offscreen).
//
//   WindowAgainstHeadless: per exchange, headless_us and window_us, and their
//        ratio window_over_headless.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "batch/headless.h"
#include "sim/sim_drive.h"
#include "tests/support/port_bar.h"
#include "tests/support/quiet_startup.h"
#include "tests/support/scripted_dialogs.h"
#include "transfer/transfer.h"
#include "ui/app_windows.h"

namespace qv {
namespace {

constexpr int kExchanges = 0x10000;

// Seconds per exchange of the read by `main` on a fresh paced drive; negative when it failed.
double InstructionRead(TFrmMain& main) {
  sim::SimOptions options;
  options.paceAtLineRate = true;
  sim::SimDrive drive(options);
  if (!drive.Start() || !test::OpenWithButton(main, drive.SlavePath(), "9600") || !main.ToF()) return -1;
  main.AdMySpeed("921600");
  if (drive.Rate() != 921600) return -1;
  const std::string file = "/tmp/qv-bench-gui-rom.bin";
  const auto start = std::chrono::steady_clock::now();
  const bool ok = ReadROM1(main, file);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::remove(file.c_str());
  main.btnSwitchClick();  // closed again
  return ok ? seconds / kExchanges : -1;
}

void WindowAgainstHeadless(benchmark::State& state) {
  const std::string folder = std::filesystem::temp_directory_path() / "qv-bench-gui-rom";
  std::filesystem::create_directories(folder);
  for (auto _ : state) {
    // As quorvane-batch: the pane printed line by line, no toolkit.
    NoToolkitPump pump;
    test::ScriptedDialogs dialogs;
    TFrmMain headless(pump, dialogs);
    std::ostringstream printed;
    PanePrinter printer(headless.memo1, printed);
    headless.memo1.AddListener(&printer);
    const double alone = InstructionRead(headless);
    headless.memo1.RemoveListener(&printer);
    headless.FormClose();

    auto windows = ui::CreateWindows(test::QuietStartup(folder));
    windows->mainWindow->show();
    const double drawn = InstructionRead(*windows->main);
    if (alone < 0 || drawn < 0) return state.SkipWithError("the read did not succeed");
    state.SetIterationTime((alone + drawn) * kExchanges);
    state.counters["headless_us"] = alone * 1e6;
    state.counters["window_us"] = drawn * 1e6;
    state.counters["window_over_headless"] = drawn / alone;
  }
}
BENCHMARK(WindowAgainstHeadless)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace qv
