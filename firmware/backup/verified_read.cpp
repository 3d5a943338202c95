#include "firmware/backup/verified_read.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "console/convert.h"
#include "console/main.h"
#include "files/file_io.h"
#include "firmware/backup/backup.h"
#include "lang/translate.h"
#include "transfer/transfer.h"

namespace qv {

namespace {

constexpr size_t kSectorBytes = 512;
constexpr size_t kNamedSectors = 16;  // a line names at most this many, then the count

// The sector's bytes, or nothing when the read lacks any of them.
std::optional<std::string_view> SectorOf(std::string_view read, size_t index, size_t sectorBytes) {
  const size_t at = index * sectorBytes;
  if (at + sectorBytes > read.size()) return std::nullopt;
  return read.substr(at, sectorBytes);
}

// "扇区 3、1F" or, past the first few, "扇区 3、1F……等共40个"
std::string SectorList(const std::vector<size_t>& sectors, const std::string& firstSector) {
  const uint32_t first = static_cast<uint32_t>(HexToInt(firstSector));
  std::string named;
  for (size_t i = 0; i < sectors.size() && i < kNamedSectors; ++i) {
    const std::string sector = IntToHex(first + static_cast<uint32_t>(sectors[i]));
    named = i ? TrFormat("{1}、{2}", named, sector) : sector;
  }
  if (sectors.size() > kNamedSectors) return TrFormat("扇区 {1}……等共{2}个", named, sectors.size());
  return TrPlural("扇区 {2}", "扇区 {2}", sectors.size(), named);
}

// Scratch files of the reads as an earlier version kept them, "APP.BIN.read1"
// and on: a killed program left them behind.
void RemoveOldScratch(const std::string& file) {
  for (int n = 1; n <= 9; ++n) std::remove((file + ".read" + std::to_string(n)).c_str());
}

}  // namespace

ReadsAgreement AgreeBySector(const std::vector<std::string_view>& reads, size_t expectedBytes,
                             size_t sectorBytes) {
  ReadsAgreement out;
  if (reads.empty() || sectorBytes == 0) return out;
  const size_t sectors = (expectedBytes + sectorBytes - 1) / sectorBytes;
  for (size_t s = 0; s < sectors; ++s) {
    std::optional<std::string_view> agreed;
    for (size_t i = 0; i < reads.size() && !agreed; ++i) {
      const std::optional<std::string_view> mine = SectorOf(reads[i], s, sectorBytes);
      for (size_t j = i + 1; mine && j < reads.size() && !agreed; ++j)
        if (SectorOf(reads[j], s, sectorBytes) == mine) agreed = mine;
    }
    if (!agreed) {
      out.disputed.push_back(s);
      agreed = SectorOf(reads[0], s, sectorBytes);
    }
    if (agreed) out.bytes.append(*agreed);
  }
  return out;
}

bool ReadModuleSectors(TFrmMain& main, const TrackPlace& at, const BufferAddress& buffer, const std::string& file,
                       bool verify) {
  RemoveOldScratch(file);
  if (!verify)
    return ReadTrack(main, at.cylinder, at.head, at.start, at.count, buffer.base, buffer.chunk, file, false, false);

  const size_t expected = static_cast<size_t>(static_cast<uint32_t>(HexToInt(at.count))) * kSectorBytes;
  std::vector<std::string> reads;  // the reads that brought every sector
  int made = 0;
  ReadsAgreement agreement;
  while (made < kMaxVerifiedReads) {
    ++made;
    std::string bytes;
    const TrackReadOutcome outcome =
        ReadTrackSectors(main, at.cylinder, at.head, at.start, at.count, buffer.base, buffer.chunk, false,
                         [&bytes](const std::vector<uint8_t>& read) { bytes.assign(read.begin(), read.end()); });
    if (outcome.end == TrackReadEnd::Read) {
      reads.push_back(std::move(bytes));
    } else if (outcome.end != TrackReadEnd::BadData) {
      // Another read would not help: the drive cannot read the sectors, does
      // not answer, or the technician stopped it.
      if (outcome.end == TrackReadEnd::DriveError) main.AddLine(outcome.driveLine);
      if (!outcome.errorLine.empty()) main.AddLine(outcome.errorLine);
      return false;
    }
    if (reads.size() < 2) continue;
    agreement = AgreeBySector(std::vector<std::string_view>(reads.begin(), reads.end()), expected);
    if (agreement.disputed.empty()) break;
  }
  if (reads.size() < 2 || !agreement.disputed.empty()) {
    if (reads.size() < 2)
      main.AddLine(TrPlural("读两遍核对失败：柱面{2}磁头{3}的数据读了{4}遍，只有{1}遍完整无误！",
                            "读两遍核对失败：柱面{2}磁头{3}的数据读了{4}遍，只有{1}遍完整无误！", reads.size(), at.cylinder,
                            at.head, made));
    else
      main.AddLine(TrFormat("读两遍核对失败：柱面{1}磁头{2}的{3}读了{4}遍，没有两遍一致！", at.cylinder, at.head,
                            SectorList(agreement.disputed, at.start), made));
    return false;
  }
  if (const FileTrouble trouble = WriteFile(file, agreement.bytes)) throw EFileError(CannotWriteMessage(file, trouble));
  // The usual two reads say nothing; more tell the technician the line is poor.
  if (made > 2) main.AppendToLastLine(TrFormat("读{1}遍才核对一致，", made));
  return true;
}

}  // namespace qv
