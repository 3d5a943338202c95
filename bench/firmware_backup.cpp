// A full firmware backup (APP, Cert, Cert Table, ATA, Vendor) of the
// simulated drive's family at 921600 baud, the drive holding its output to
// the line's pace. The backup's prescribed pauses and fixed exchanges (the
// queries at 9600, the rate changes, the level commands around each read) are
// taken out by also timing the same backup of a family whose modules have no
// sectors; what remains is compared with the time the line itself needs for
// the extra bytes both ways (commands, echoes, dumps, prompts).
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "console/main.h"
#include "console/text.h"
#include "firmware/family_table.h"
#include "firmware/form6.h"
#include "sim/sim_drive.h"
#include "tests/support/port_bar.h"
#include "tests/support/scripted_dialogs.h"

namespace qv {
namespace {

constexpr double kLineBytesPerSecond = 921600 / 10.0;
// The drive's family as the default table has it, and the same places without sectors.
constexpr const char* kFamily = "NHPLUS2HD_S-1A";
constexpr const char* kEmptyFamily =
    "[EMPTY]\r\nAPP=16 0 0 60\r\nCERT0=64 0 0\r\nCERT1=64 0 0\r\nTABLE=66 CC 0\r\nATA=68 0 0\r\nVEN=6C 0 0\r\n";

struct Timed {
  double seconds;
  double bytes;  // both ways
  bool done;
};

void FirmwareBackupPaced(benchmark::State& state) {
  sim::SimOptions options;
  options.paceAtLineRate = true;
  sim::SimDrive drive(options);
  if (!drive.Start()) return state.SkipWithError("no pseudo-terminal");
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main(pump, dialogs);
  if (!test::OpenWithButton(main, drive.SlavePath(), "9600")) return state.SkipWithError("cannot open");
  FamilyTable families;
  families.Parse(BuiltInFamilyTable() + "\r\n" + kEmptyFamily);
  main.ComboBox3.items = families.Names();
  TForm6 form(main, families);
  form.ComboBox2.SelectText("921600");
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("qv-bench-backup-" + std::to_string(getpid()))).string() + "/";

  auto run = [&](const std::string& family) {
    form.ComboBox7.SelectText(family);
    form.Edit1 = folder;
    main.memo1.Clear();
    const int32_t rx0 = main.RxCount, tx0 = main.TxCount;
    const auto start = std::chrono::steady_clock::now();
    form.Button7Click();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string pane = Utf8FromGbk(main.memo1.Text());
    return Timed{s, static_cast<double>((main.RxCount - rx0) + (main.TxCount - tx0)),
                 pane.find("备份完成!") != std::string::npos};
  };

  for (auto _ : state) {
    const Timed none = run("EMPTY");
    const Timed full = run(kFamily);
    if (!none.done || !full.done) {
      state.SkipWithError("the backup did not succeed");
      break;
    }
    const double lineSeconds = (full.bytes - none.bytes) / kLineBytesPerSecond;
    state.SetIterationTime(full.seconds);
    state.counters["total_s"] = full.seconds;
    state.counters["fixed_s"] = none.seconds;
    state.counters["module_bytes"] = full.bytes - none.bytes;
    state.counters["line_s"] = lineSeconds;
    state.counters["line_share"] = lineSeconds / (full.seconds - none.seconds);
  }
  std::filesystem::remove_all(folder);
  main.FormClose();
}
BENCHMARK(FirmwareBackupPaced)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
