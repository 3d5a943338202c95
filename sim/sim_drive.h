// A simulated drive terminal on the master side of a pseudo-terminal.
//
// The PC side opens SlavePath() like any serial device and talks to it with the
// real serial code; the drive runs in its own thread, keeps its own line rate
// and answers only when the PC's rate matches it, the way a real terminal does.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_adapter.h"

namespace qv::sim {

// The drive family the simulated drive reports (Ctrl-A, Ctrl-L) and whose
// firmware modules its reserved area holds. By default a family of the
// default family table, "NHPLUS2HD_S-1A"; tests give small families of their
// own. Places are as the family table gives them: cylinder offset from the
// reserved area's start, first sector and sector count, all on head 0.
struct SimFamily {
  struct Place {
    int sa = 0, start = 0, count = 0;
  };
  std::string word = "NHPLUS2HD";  // begins the "_Disk" line of Ctrl-A
  std::string firmware = "3.AAC";  // follows "_Disk" on that line
  std::string maskRom = "S-1A";    // the "Mask Rom Rev" line of Ctrl-L
  // The ATA module: two overlays (see AtaLayout). Other sectors of the area
  // hold the disk's usual deterministic bytes.
  Place ata{0x68, 0, 0x93};
  // The vendor module: its sector 4 is the identity record (words low byte
  // first, as the drive keeps it), the rest the usual bytes.
  Place vendor{0x6C, 0, 0x12};
  bool ataBoundary = true;    // the second overlay starts with 00 00 16 00
  bool ataSectorEnds = true;  // each overlay's last sector ends in FF and zero sectors follow
};

// Where the two overlays of an ATA module of `sectors` sectors lie (module
// sector indexes); only modules of kMinSectors or more have them.
struct AtaLayout {
  static constexpr int kMinSectors = 0x44;
  int firstEnd = 0;   // last sector of the first overlay; zero sectors follow up to `second`
  int second = 0;     // first sector of the second overlay, at byte 25600 or later
  int secondEnd = 0;  // last sector of the second overlay; zero sectors follow to the end
};
std::optional<AtaLayout> AtaLayoutFor(int sectors);

struct SimOptions {
  bool paceAtLineRate = false;      // hold output to rate/10 bytes per second
  bool chunkGaps = true;            // unpaced: pauses of up to 0.3 ms between output chunks; off for
                                    // tests of tens of thousands of short exchanges (what one read
                                    // brings out then goes in as few writes as its chunks allow)
  bool paceInput = false;           // also hold answers until the PC's bytes would have come in at its rate
  // Set: the output crosses the line at its pace and reaches the PC through
  // this adapter, in its lumps (paceAtLineRate and chunkGaps then play no part).
  std::optional<AdapterTiming> adapter{};
  unsigned seed = 1;                // seeds chunk boundaries, gaps and line noise
  int silentAfterCommand = -1;      // >=0: after the n-th complete command line the drive answers nothing
  bool fallBackTo9600AfterDownload = false;  // the drive drops to 9600 after a download's closing checksum
  bool answerReservedQuery = true;  // "%" at its keystroke names the reserved area; off: a line "%" is unknown
  bool answerReservedDirectory = true;  // "x" at level 2 names the reserved area
  bool answerBufferQuery = true;    // "?" at level T and "B0" in the boot monitor name the track buffer
  int trackBufferBase = 0;          // buffer block where track reads and writes put the sectors
  int trackChunk = 0x80;            // sectors per read command the buffer query advises
  SimFamily family{};
  // Damage to the following dumps, for tests of the dump parser.
  bool dumpSkipLine = false;        // the 6th line of each dumped block is missing
  bool dumpLowerCase = false;       // data digits in lower case (addresses stay upper case)
  bool dumpExtraLines = false;      // stray text before the header, a 17th line and noise after each block
  bool dumpMissingPrompt = false;   // no prompt after the dump
  // The flash ROM at the boot monitor.
  bool romCopyImplausible = false;  // the ROM's copy into the buffer ends in FF FF FF FF
  int romReplyAddress = -1;         // >=0: "e2" of this address is answered with romReplyLines
  std::string romReplyLines{};      // e.g. "= 12\r\n= 34" (two answers) or "= 1G" (not hexadecimal)
  // Non-empty: the command line with exactly this text gets no answer, and
  // nothing after it does either, as from a drive whose code hung.
  std::string silentFromCommand = {};
  // A line that errs: the dumps of one sector of the disk, once a track read
  // has put it into the buffer, are damaged on the listed reads of that
  // sector (counted from 1 since the options were last set). The disk and
  // the buffer keep their bytes.
  struct WireError {
    enum class Kind {
      FlipBit,       // one bit of a value flipped, a different bit on each read
      NonHex,        // a digit of the 8th line's 4th pair turned into a letter that is no hex digit
      WrongAddress,  // the 8th line's address garbled: it and the block's later lines go unread
      MissingPair,   // the 8th line ends one pair short (31 pairs)
      ExtraPair,     // the 8th line carries a 33rd pair
    };
    int cylinder = -1, head = 0, sector = 0;
    std::vector<int> reads;
    Kind kind = Kind::FlipBit;
  };
  WireError wireError = {};
  // Non-empty: the track read with exactly this text ("r,40,4") meets a bad
  // sector: it answers a read error, and the buffer blocks it was to fill
  // are shown without data until the next track read, or, with
  // `readErrorKeepsBuffer`, keep what they held before (as some drives do).
  std::string failingTrackRead = {};
  bool readErrorKeepsBuffer = false;
  // >0: the boot monitor takes this long to start after a restart (Ctrl-T,
  // Ctrl-C): it hears nothing meanwhile and says it is ready at the end.
  int monitorStartMs = 0;
};

// A firmware module as the drive holds it: what its last good download put in
// memory, the block size that download came in, and what was last written to
// the reserved area from memory.
struct SimModule {
  std::vector<uint8_t> loaded;
  size_t blockSize = 0;
  std::vector<uint8_t> saved;
  bool operator==(const SimModule&) const = default;
};

class DriveModel;
class SimLine;

class SimDrive {
 public:
  static constexpr size_t kBufferSize = (16u << 20) + (64u << 10);  // buffer memory in bytes
  static constexpr int kIdWords = 256;
  static constexpr int kReservedFirst = 0x7F, kReservedLast = 0x83;   // reserved-area cylinders
  static constexpr size_t kRomSize = 0x10000;  // the serial flash ROM

  explicit SimDrive(SimOptions options = {});
  ~SimDrive();
  SimDrive(const SimDrive&) = delete;
  SimDrive& operator=(const SimDrive&) = delete;

  bool Start();   // opens the pty pair and starts the drive thread; false on failure
  void Stop();    // ends the thread; the pty stays open until destruction or CloseMaster()
  const std::string& SlavePath() const;
  void CloseMaster();  // drops the line: the PC side sees a hang-up

  // Inspection and control, all thread-safe.
  std::string Received() const;  // bytes received while the PC's rate matched the drive's (the last 32 MiB at least)
  void ClearReceived();
  std::string Level() const;     // "T", "1", "2", ..., "F"
  int Rate() const;              // the drive's own rate in baud
  bool InIdentityEditor() const; // at the "->" prompt
  void SetOptions(const SimOptions&);
  SimOptions Options() const;
  void RefuseNextBlocks(int k);  // refuse (NAK) the next k block checksums
  std::vector<uint8_t> BufferBytes(size_t offset, size_t count) const;
  void SetBufferBytes(size_t offset, const std::vector<uint8_t>&);
  std::vector<uint8_t> SectorBytes(int cyl, int head, int sector) const;
  void SetSector(int cyl, int head, int sector, const std::vector<uint8_t>&);
  std::vector<uint16_t> IdWords() const;
  int CommandsSeen() const;
  std::vector<uint8_t> LastDownload() const;  // data of the last download whose closing checksum matched
  int DownloadsCompleted() const;             // downloads whose closing checksum matched
  int DownloadsRejected() const;              // downloads whose closing checksum did not
  std::vector<uint8_t> RomBytes() const;      // the flash ROM, kRomSize bytes
  void SetRomBytes(const std::vector<uint8_t>&);  // the first kRomSize bytes become the ROM
  // "APP", "CERT", "TABLE", "ATA0" or "ATA1"; empty when none came.
  SimModule Module(const std::string& name) const;

  // How the output reached the PC, for benchmarks. An output ends when the
  // drive has nothing more to send.
  struct OutputTiming {
    std::chrono::steady_clock::time_point lastWrite{};  // the last bytes handed to the PC's side
    int outputs = 0;                       // behind an adapter: outputs that ended
    std::chrono::nanoseconds held{};       // the time their last bytes waited in the adapter, in all
    std::chrono::nanoseconds lastHeld{};   // the same for the latest output
  };
  OutputTiming Timing() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The process-wide drive behind the port name "SIM". SimPortPath() starts it on
// first use and returns its slave path, or an empty text when it can't start.
SimDrive& SimPortDrive();
const std::string& SimPortPath();

}  // namespace qv::sim
