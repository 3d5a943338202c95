#pragma once
// A module read from the drive once, or read twice and compared ("读两遍核对"):
// the drive's dumps carry no checksum, so a byte changed on the line would
// otherwise go into the backup unnoticed. Where two reads differ, more reads
// decide sector by sector; a sector on which no two reads agree fails the
// module.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class TFrmMain;
struct BufferAddress;

// Per sector of a module of `expectedBytes`, the bytes at least two of the
// reads agree on. A sector some read lacks, wholly or in part, counts as
// differing in that read: missing bytes never agree, so two reads cut short
// at the same place do not make a short module. `bytes` holds the agreed
// sectors (a disputed one as the first read had it, or nothing of it).
struct ReadsAgreement {
  std::string bytes;
  std::vector<size_t> disputed;  // sector indexes, ascending
};
ReadsAgreement AgreeBySector(const std::vector<std::string_view>& reads, size_t expectedBytes,
                             size_t sectorBytes = 512);

// How many reads the verified read makes at most before a module fails: a
// read whose dumps were garbled on the line counts as one that disagrees.
inline constexpr int kMaxVerifiedReads = 5;

// Where on the drive a module lies, as the track read takes it (hexadecimal
// texts of the drive).
struct TrackPlace {
  std::string cylinder, head, start, count;
};

// Reads the sectors into `file` with the track read; with `verify` each read
// is kept in memory, the file then holding the agreed bytes, and the module's
// progress line says so when more than two reads were needed. False when a
// read failed (the drive reported an error, did not answer, STOP) or,
// verified, no two reads agreed on a sector in kMaxVerifiedReads: a line then
// says why, and `file` is not written. Scratch files an earlier, killed
// version of this read left beside `file` ("APP.BIN.read1") are removed.
bool ReadModuleSectors(TFrmMain& main, const TrackPlace& at, const BufferAddress& buffer, const std::string& file,
                       bool verify);

}  // namespace qv
