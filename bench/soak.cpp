// A long soak of the transfers against the simulated drive with random faults:
// buffer round trips, track round trips and plain downloads, while the drive
// refuses blocks, falls silent, is spoken to at the wrong rate (it then hears
// and answers garbage) or drops to 9600 baud after a download. Every transfer
// that reports success is checked byte for byte; one that met a fault that
// must break it has to report failure. Peak resident memory is taken after the
// first minute and at the end, open descriptors before and after.
//
//   bench_soak [--minutes N] [--seed S]      (default: 60 minutes)
//
// Not run by CI: it takes as long as it is told to.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "console/convert.h"
#include "console/main.h"
#include "console/text.h"
#include "sim/sim_drive.h"
#include "tests/support/port_bar.h"
#include "tests/support/scripted_dialogs.h"
#include "transfer/transfer.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  return -1;
}

int OpenDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
  return n - 1;  // the iterator's own
}

enum class Fault { None, Naks, Refused, Silence, WrongRate, FallBack };
const char* Name(Fault f) {
  switch (f) {
    case Fault::None: return "none";
    case Fault::Naks: return "two NAKs (retried)";
    case Fault::Refused: return "three NAKs (refused)";
    case Fault::Silence: return "silent drive";
    case Fault::WrongRate: return "wrong rate (garbage)";
    case Fault::FallBack: return "fallback to 9600";
  }
  return "";
}
enum Kind { kBuffer, kTrack, kDownload, kKinds };

// Whether the transfer must still succeed despite the fault. Only the track
// write follows a drive that fell back to 9600; the buffer write then misses
// its closing prompt, and a plain download ends before the drive falls back.
bool Survivable(Kind kind, Fault f) {
  return f == Fault::None || f == Fault::Naks || (f == Fault::FallBack && kind != kBuffer);
}

struct Tally {
  int runs = 0, verified = 0, failedAsExpected = 0;
  int wrongData = 0, successOverFault = 0, failedWithoutFault = 0;
};

class Soak {
 public:
  Soak(unsigned seed, const fs::path& dir) : rng_(seed), dir_(dir), main_(pump_, dialogs_) {}

  bool Start() {
    if (!drive_.Start() || !test::OpenWithButton(main_, drive_.SlavePath(), "9600")) return false;
    main_.AdMySpeed(kRate);
    return drive_.Rate() == 115200;
  }
  void Stop() { main_.FormClose(); }

  // One transfer of a random kind under a random fault.
  void Step() {
    const Kind kind = static_cast<Kind>(Uniform(0, kKinds - 1));
    const Fault fault = static_cast<Fault>(Uniform(0, 5));
    Arm(fault);
    const int before = static_cast<int>(main_.memo1.LineCount());
    bool ok = false, claimed = false;
    switch (kind) {
      case kBuffer: std::tie(ok, claimed) = BufferRoundTrip(); break;
      case kTrack: std::tie(ok, claimed) = TrackRoundTrip(); break;
      default: std::tie(ok, claimed) = Download(); break;
    }
    Recover(fault);
    Tally& t = tallies_[kind][static_cast<int>(fault)];
    ++t.runs;
    if (claimed && !ok) ++t.wrongData;
    else if (claimed && !Survivable(kind, fault)) ++t.successOverFault;
    else if (claimed) ++t.verified;
    else if (Survivable(kind, fault)) ++t.failedWithoutFault, Dump(before, kind, fault);
    else ++t.failedAsExpected;
    // A technician empties the pane now and then; its lines are the session's log, not a leak.
    if (++steps_ % 50 == 0) main_.Button6Click();
    drive_.ClearReceived();
  }

  bool Report() const {
    static const char* kinds[] = {"buffer round trip", "track round trip", "download"};
    bool clean = true;
    std::printf("%-18s %-22s %5s %9s %9s %6s %8s %9s\n", "transfer", "fault", "runs", "verified", "failed ok",
                "wrong", "success?", "failed?");
    for (int k = 0; k < kKinds; ++k)
      for (int f = 0; f < 6; ++f) {
        const Tally& t = tallies_[k][f];
        if (!t.runs) continue;
        std::printf("%-18s %-22s %5d %9d %9d %6d %8d %9d\n", kinds[k], Name(static_cast<Fault>(f)), t.runs,
                    t.verified, t.failedAsExpected, t.wrongData, t.successOverFault, t.failedWithoutFault);
        clean &= t.wrongData == 0 && t.successOverFault == 0 && t.failedWithoutFault == 0;
      }
    return clean;
  }

 private:
  static constexpr const char* kRate = "115200";

  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  std::vector<uint8_t> RandomBlocks(int blocks) {
    std::vector<uint8_t> data(static_cast<size_t>(blocks) * 512);
    for (auto& b : data) b = static_cast<uint8_t>(rng_());
    return data;
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  void Write(const char* name, const std::vector<uint8_t>& data) const {
    std::ofstream(Path(name), std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                    static_cast<std::streamsize>(data.size()));
  }
  std::vector<uint8_t> Read(const char* name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // Whether the pane's last progress line carries a success word.
  bool Succeeded() const {
    const auto& lines = main_.memo1.Lines();
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
      const std::string line = Utf8FromGbk(*it);
      if (line.empty()) continue;
      return line.ends_with("成功！") || line.ends_with("完成！");
    }
    return false;
  }

  void Arm(Fault fault) {
    sim::SimOptions options = drive_.Options();
    options.silentAfterCommand = -1;
    options.fallBackTo9600AfterDownload = false;
    switch (fault) {
      case Fault::Naks: drive_.RefuseNextBlocks(2); break;
      case Fault::Refused: drive_.RefuseNextBlocks(3); break;
      // Silent from the transfer's first or second command line on, so it always meets the silence.
      case Fault::Silence: options.silentAfterCommand = drive_.CommandsSeen() + Uniform(0, 1); break;
      case Fault::WrongRate: main_.Speed(RateFromText("57600")); break;
      case Fault::FallBack: options.fallBackTo9600AfterDownload = true; break;
      case Fault::None: break;
    }
    drive_.SetOptions(options);
  }

  // Back to a drive that answers at the soak's rate, whatever the fault left.
  void Recover(Fault) {
    sim::SimOptions options = drive_.Options();
    options.silentAfterCommand = -1;
    options.fallBackTo9600AfterDownload = false;
    drive_.SetOptions(options);
    drive_.RefuseNextBlocks(0);
    main_.stopFlag = 0;
    main_.Speed(RateFromText(std::to_string(drive_.Rate())));
    if (drive_.Rate() != 115200) main_.AdMySpeed(kRate);
    main_.receiveMode = ReceiveMode::usercmd;
    main_.WaitPrompt();
  }

  std::pair<bool, bool> BufferRoundTrip() {
    const int blocks = Uniform(1, 8), at = Uniform(0, 0x100);
    const std::vector<uint8_t> data = RandomBlocks(blocks);
    Write("buffer.in", data);
    WriteBuffer(main_, IntToHex(at), IntToHex(blocks), Path("buffer.in"));
    if (!Succeeded()) return {false, false};
    main_.Speed(RateFromText(std::to_string(drive_.Rate())));  // a fault may have left the port elsewhere
    std::remove(Path("buffer.out").c_str());
    ReadBuffer(main_, IntToHex(at), IntToHex(blocks), Path("buffer.out"));
    return {Read("buffer.out") == data, Succeeded()};
  }

  std::pair<bool, bool> TrackRoundTrip() {
    const int sectors = Uniform(1, 24), chunk = Uniform(1, 8), cylinder = Uniform(0x10, 0x13);
    const std::vector<uint8_t> data = RandomBlocks(sectors);
    Write("track.in", data);
    WriteTrack(main_, IntToHex(cylinder), "0", "0", IntToHex(sectors), "0", IntToHex(chunk), Path("track.in"),
               kRate);
    if (!Succeeded()) return {false, false};
    std::remove(Path("track.out").c_str());
    const bool read = ReadTrack(main_, IntToHex(cylinder), "0", "0", IntToHex(sectors), "0", IntToHex(chunk),
                                Path("track.out"), false);
    return {read && Read("track.out") == data, read && Succeeded()};
  }

  std::pair<bool, bool> Download() {
    const int blocks = Uniform(1, 16), at = Uniform(0, 0x200);
    const std::vector<uint8_t> data = RandomBlocks(blocks);
    Write("download.in", data);
    main_.receiveMode = ReceiveMode::usercmd;
    main_.SendString("d" + IntToHex(at) + "\r");
    main_.WaitHD(100);
    const bool sent = SendFile(main_, Path("download.in"), 512);
    main_.WaitPrompt();
    const bool stored = drive_.BufferBytes(static_cast<size_t>(at) * 512, data.size()) == data;
    return {stored, sent};
  }

  void Dump(int fromLine, int kind, Fault fault) const {
    std::cerr << "transfer " << kind << " failed under fault '" << Name(fault) << "':\n";
    const auto& lines = main_.memo1.Lines();
    for (size_t i = static_cast<size_t>(std::max(fromLine, 0)); i < lines.size(); ++i)
      std::cerr << "  " << Utf8FromGbk(lines[i]) << "\n";
  }

  std::mt19937 rng_;
  fs::path dir_;
  NoToolkitPump pump_;
  test::ScriptedDialogs dialogs_;
  sim::SimDrive drive_;
  TFrmMain main_;
  Tally tallies_[kKinds][6];
  long steps_ = 0;
};

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
  double minutes = 60;
  unsigned seed = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::string(argv[i]) == "--minutes") minutes = std::stod(argv[i + 1]);
    else if (std::string(argv[i]) == "--seed") seed = static_cast<unsigned>(std::stoul(argv[i + 1]));
  }
  const auto dir = std::filesystem::temp_directory_path() / ("qv-soak-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const int fdsBefore = qv::OpenDescriptors();
  bool clean = false;
  long hwmFirst = -1, rssFirst = -1;
  int fdsDuring = 0;
  {
    qv::Soak soak(seed, dir);
    if (!soak.Start()) {
      std::cerr << "the simulated drive did not come up at 115200\n";
      return 2;
    }
    fdsDuring = qv::OpenDescriptors();
    const auto start = qv::Clock::now();
    const auto end = start + std::chrono::duration<double, std::ratio<60>>(minutes);
    while (qv::Clock::now() < end) {
      soak.Step();
      if (hwmFirst < 0 && qv::Clock::now() - start >= std::chrono::minutes(1)) {
        hwmFirst = qv::StatusKiB("VmHWM:");
        rssFirst = qv::StatusKiB("VmRSS:");
      }
      if (qv::OpenDescriptors() != fdsDuring) std::cerr << "descriptors: " << qv::OpenDescriptors() << "\n";
    }
    const long hwmEnd = qv::StatusKiB("VmHWM:"), rssEnd = qv::StatusKiB("VmRSS:");
    const int fdsEnd = qv::OpenDescriptors();
    clean = soak.Report();
    soak.Stop();
    std::printf("\npeak resident memory after 1 minute: %ld KiB (resident %ld KiB)\n", hwmFirst, rssFirst);
    std::printf("peak resident memory after %.0f minutes: %ld KiB (resident %ld KiB)\n", minutes, hwmEnd, rssEnd);
    std::printf("open descriptors with the port open: %d at the start, %d at the end\n", fdsDuring, fdsEnd);
    if (hwmFirst > 0 && hwmEnd > hwmFirst * 105 / 100) clean = false;
    if (fdsEnd != fdsDuring) clean = false;
  }
  std::printf("open descriptors before the drive and the port: %d, after closing both: %d\n", fdsBefore,
              qv::OpenDescriptors());
  std::filesystem::remove_all(dir);
  return clean && qv::OpenDescriptors() == fdsBefore ? 0 : 1;
}
