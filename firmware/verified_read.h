#pragma once
// A module read from the drive once, or read twice and compared ("读两遍核对"):
// the drive's dumps carry no checksum, so a byte changed on the line would
// otherwise go into the backup unnoticed. Where two reads differ, a third
// decides sector by sector; a sector on which no two reads agree fails the
// module.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class TFrmMain;
struct BufferAddress;

// Per sector, the bytes at least two of the reads agree on. With two reads
// every sector where they differ is disputed; with three, only a sector
// where all three differ. `bytes` holds the agreed sectors (a disputed one
// as the first read had it). Reads of different lengths differ in the
// sectors that only some of them reach.
struct ReadsAgreement {
  std::string bytes;
  std::vector<size_t> disputed;  // sector indexes, ascending
};
ReadsAgreement AgreeBySector(const std::vector<std::string_view>& reads, size_t sectorBytes = 512);

// Where on the drive a module lies, as the track read takes it (hexadecimal
// texts of the drive).
struct TrackPlace {
  std::string cylinder, head, start, count;
};

// Reads the sectors into `file` with the track read; with `verify` through
// scratch files beside it, the file then holding the agreed bytes. False
// when a read failed or, verified, a sector found no agreement: a line then
// names those sectors, and `file` is not written.
bool ReadModuleSectors(TFrmMain& main, const TrackPlace& at, const BufferAddress& buffer, const std::string& file,
                       bool verify);

}  // namespace qv
