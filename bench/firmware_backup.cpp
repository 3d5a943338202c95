// A full firmware backup (APP, Cert, Cert Table, ATA, Vendor) of the
// simulated drive's family at 921600 baud, the drive holding its output to
// the line's pace.
//
// FirmwareBackupPaced: the backup's prescribed pauses and fixed exchanges
// (the queries at 9600, the rate changes, the level commands around each
// read) are taken out by also timing the same backup of a family whose
// modules have no sectors; what remains is compared with the time the line
// itself needs for the extra bytes both ways (commands, echoes, dumps,
// prompts).
//
// FirmwareBackupVerified: the same backup read twice and compared
// ("读两遍核对") against the plain one; verified_ratio is the factor the
// verification costs (the goal: at most 2.05).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "console/main.h"
#include "console/text.h"
#include "firmware/backup/form6_backup.h"
#include "firmware/family/family_table.h"
#include "sim/sim_drive.h"
#include "tests/support/port_bar.h"
#include "tests/support/scripted_dialogs.h"

namespace qv {
namespace {

constexpr double kLineBytesPerSecond = 921600 / 10.0;
// The drive's family as the default table has it, and the same places without
// sectors (named after the drive, which would otherwise be asked about).
constexpr const char* kFamily = "NHPLUS2HD_S-1A";
constexpr const char* kEmptyName = "NHPLUS2HD EMPTY";
constexpr const char* kEmptyFamily =
    "[NHPLUS2HD EMPTY]\r\nAPP=16 0 0 60\r\nCERT0=64 0 0\r\nCERT1=64 0 0\r\nTABLE=66 CC 0\r\nATA=68 0 0\r\nVEN=6C 0 0\r\n";

struct Timed {
  double seconds;
  double bytes;  // both ways
  bool done;
};

// A console on a paced simulated drive, and the backup window on it.
class PacedBackup {
 public:
  PacedBackup() : drive_(Paced()), main_(pump_, dialogs_) {}
  ~PacedBackup() {
    std::filesystem::remove_all(folder_);
    main_.FormClose();
  }

  // Empty when ready, else why not.
  std::string Start() {
    if (!drive_.Start()) return "no pseudo-terminal";
    if (!test::OpenWithButton(main_, drive_.SlavePath(), "9600")) return "cannot open";
    families_.Parse(BuiltInFamilyTable() + "\r\n" + kEmptyFamily);
    main_.ComboBox3.items = families_.Names();
    form_ = std::make_unique<TForm6>(main_, families_);
    form_->ComboBox2.SelectText("921600");
    return {};
  }

  Timed Run(const std::string& family, bool verify) {
    form_->ComboBox7.SelectText(family);
    form_->Edit1 = folder_;
    form_->CheckBox6 = verify;
    main_.memo1.Clear();
    const int32_t rx0 = main_.RxCount, tx0 = main_.TxCount;
    const auto start = std::chrono::steady_clock::now();
    form_->Button7Click();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string pane = Utf8FromGbk(main_.memo1.Text());
    return Timed{s, static_cast<double>((main_.RxCount - rx0) + (main_.TxCount - tx0)),
                 pane.find("备份完成!") != std::string::npos};
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
  FamilyTable families_;
  std::unique_ptr<TForm6> form_;
  const std::string folder_ =
      (std::filesystem::temp_directory_path() / ("qv-bench-backup-" + std::to_string(getpid()))).string() + "/";
};

void FirmwareBackupPaced(benchmark::State& state) {
  PacedBackup bench;
  if (const std::string why = bench.Start(); !why.empty()) return state.SkipWithError(why.c_str());
  for (auto _ : state) {
    const Timed none = bench.Run(kEmptyName, false);
    const Timed full = bench.Run(kFamily, false);
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
}
BENCHMARK(FirmwareBackupPaced)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void FirmwareBackupVerified(benchmark::State& state) {
  PacedBackup bench;
  if (const std::string why = bench.Start(); !why.empty()) return state.SkipWithError(why.c_str());
  for (auto _ : state) {
    const Timed plain = bench.Run(kFamily, false);
    const Timed verified = bench.Run(kFamily, true);
    if (!plain.done || !verified.done) {
      state.SkipWithError("the backup did not succeed");
      break;
    }
    state.SetIterationTime(verified.seconds);
    state.counters["plain_s"] = plain.seconds;
    state.counters["verified_s"] = verified.seconds;
    state.counters["verified_ratio"] = verified.seconds / plain.seconds;
  }
}
BENCHMARK(FirmwareBackupVerified)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
