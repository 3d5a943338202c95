// What the simulated drive does with each byte it receives, without any I/O:
// the terminal, its levels and rate, the buffer memory, the disk, the download
// protocol and the identity record. SimDrive feeds it and writes what it emits.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/sim_drive.h"
#include "sim/sim_rates.h"

namespace qv::sim {

// A piece of output. The drive "sends" it at `rate`; a PC listening at another
// rate reads noise instead.
struct Emit {
  std::string bytes;
  int rate = 9600;
  bool solo = false;   // a protocol answer: written alone, in one write
  bool noise = false;  // already line noise; never scrambled again
  int delayMs = 0;     // held back this long (the boot banner after a restart)
  bool deaf = false;   // the drive hears nothing until this is out (a starting monitor)
};

class DriveModel {
 public:
  explicit DriveModel(const SimOptions& options);

  // One byte from the PC, sent at pcRate.
  void Feed(uint8_t byte, int pcRate, std::vector<Emit>& out);

  SimOptions options;
  std::string received;
  int commandsSeen = 0;
  int refuseBlocks = 0;
  int downloadsCompleted = 0;
  int downloadsRejected = 0;
  std::vector<uint8_t> lastDownload;
  std::vector<uint8_t> buffer;
  std::vector<uint16_t> idWords;
  std::vector<uint8_t> rom;
  std::map<std::string, SimModule> modules;  // firmware modules by name

  char level() const { return level_; }
  int rate() const { return rate_; }
  bool inIdentityEditor() const { return idEditor_; }
  std::vector<uint8_t> Sector(int cyl, int head, int sector) const;
  void SetSector(int cyl, int head, int sector, const std::vector<uint8_t>& data);
  void ResetIdentity();
  // The reads of options.wireError are counted from 1 again (the options were set anew).
  void RestartWireError() { wireReads_ = 0; }

 private:
  enum class Dl {
    Off,
    Armed,       // after "d": waiting for the sequence's 0xCC
    Armed3,      // waiting for its "3"
    FrameStart,  // waiting for a frame's 0xCC (or the end of a failed sequence)
    FrameStart2,
    BlockNumber,
    Data,
    End1,
    End2,
    Checksum,
    Closing,
  };

  // Terminal (sim_model.cpp).
  void Terminal(uint8_t byte, std::vector<Emit>& out);
  void Line(const std::string& cmd, std::vector<Emit>& out);
  void AtLevel(const std::string& cmd, std::vector<Emit>& out);
  void AtMonitor(const std::string& cmd, std::vector<Emit>& out);
  void InIdentityEditor(const std::string& cmd, std::vector<Emit>& out);
  bool RateCommand(const std::string& cmd, std::vector<Emit>& out);
  void EnterMonitor(std::vector<Emit>& out);
  std::string Prompt() const;
  void Say(std::string text, std::vector<Emit>& out) const;
  void Answer(const std::vector<std::string>& lines, std::vector<Emit>& out) const;

  // Buffer, disk, reserved area (sim_model_data.cpp).
  std::vector<std::string> Dump(const std::string& args, bool& ok);
  std::vector<std::string> Seek(const std::string& args);
  std::vector<std::string> TrackTransfer(const std::string& args, bool toDisk);
  std::vector<std::string> ReservedDirectory() const;
  bool IdentityWrite(const std::string& args);

  // Firmware area (sim_firmware.cpp): keys answered at the keystroke (the
  // family report, "%"), the buffer query, the module sectors' contents.
  bool FirmwareKey(uint8_t byte, std::vector<Emit>& out);
  bool BufferQuery(const std::string& cmd, std::vector<Emit>& out);
  void ShapeModuleSector(int cyl, int head, int sector, std::vector<uint8_t>& data) const;
  std::vector<std::string> ReservedQuery() const;

  // The flash ROM and the monitor's commands for it (sim_model_rom.cpp).
  void ResetRom();
  bool RomCommand(const std::string& cmd, std::vector<Emit>& out);  // false: not a ROM command
  void CarryOutRomCopy();

  // Download protocol (sim_model_download.cpp).
  bool ArmDownload(const std::string& args);
  bool Download(uint8_t byte, std::vector<Emit>& out);  // false: the byte is not the protocol's
  void Solo(const char* bytes, size_t n, std::vector<Emit>& out) const;
  void FinishDownload(uint16_t closing);

  // Firmware module loading (sim_model_modules.cpp). False: not such a command.
  bool ModuleCommand(const std::string& cmd, std::vector<Emit>& out);
  bool ModuleCommandAtMonitor(const std::string& cmd, std::vector<Emit>& out);
  bool ModuleCommandAtT(const std::string& cmd, std::vector<Emit>& out);
  void ArmModule(const std::string& module, const std::string& downloadArgs);
  void ModuleDownloaded(const std::vector<uint8_t>& data);
  void Save(const std::string& module);
  void ForgetLoadedModules();  // memory is lost when the boot monitor restarts

  char level_ = 'T';
  int rate_ = 9600;
  bool idEditor_ = false;
  std::string line_;
  LineNoise noise_;
  int cyl_ = 0, head_ = 0;
  std::map<uint64_t, std::vector<uint8_t>> written_;
  std::map<size_t, uint64_t> bufferHolds_;  // buffer block -> the disk sector a track read put there
  int wireReads_ = 0;                       // dumps of the sector of options.wireError so far

  Dl dl_ = Dl::Off;
  size_t dlBase_ = 0;        // byte address in the buffer where the data lands
  size_t dlBlockSize_ = 512;
  std::map<int, std::vector<uint8_t>> dlBlocks_;
  int dlNumber_ = 0;
  std::vector<uint8_t> dlData_;
  uint16_t dlSum_ = 0;
  int dlSumBytes_ = 0;

  enum class RomCopy { None, ToBuffer, FromBuffer };
  RomCopy romCopy_ = RomCopy::None;  // what "e6" carries out
  std::string dlModule_;  // the module the armed download carries; empty: plain buffer data

  bool codeLoaded_ = false;     // application code downloaded since the monitor started
  bool certLoaded_ = false;     // certification code running: "r" names it, "h" takes a table
  size_t tableSectors_ = 0;     // what "h" announced: the table the drive keeps is that long
  bool overlayMode_ = false;    // between "N4F,,22" and "N50,,22": "e0,0" and "e1,0" take overlays
  bool overlaysApplied_ = false;  // "b,,22" put the loaded overlays to work; "c" saves them
  bool trackBlocksBad_ = false;   // the last track read failed: its buffer blocks hold no data
  size_t badBlocks_ = 0;          // how many, from the track buffer's base
};

// Parses a hexadecimal field; false when it is empty or not hexadecimal.
bool ParseHex(const std::string& text, long long& value);
std::vector<std::string> SplitFields(const std::string& text);

}  // namespace qv::sim
