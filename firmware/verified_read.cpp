#include "firmware/verified_read.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "console/convert.h"
#include "console/main.h"
#include "files/file_io.h"
#include "firmware/backup.h"
#include "transfer/transfer.h"

namespace qv {

namespace {

constexpr size_t kSectorBytes = 512;
constexpr size_t kNamedSectors = 16;  // a line names at most this many, then the count

std::string_view SectorOf(std::string_view read, size_t index, size_t sectorBytes) {
  const size_t at = index * sectorBytes;
  return at < read.size() ? read.substr(at, sectorBytes) : std::string_view{};
}

// "扇区 3、1F" or, past the first few, "扇区 3、1F……等共40个"
std::string SectorList(const std::vector<size_t>& sectors, const std::string& firstSector) {
  const uint32_t first = static_cast<uint32_t>(HexToInt(firstSector));
  std::string text = "扇区";
  for (size_t i = 0; i < sectors.size() && i < kNamedSectors; ++i)
    text += (i ? "、" : " ") + IntToHex(first + static_cast<uint32_t>(sectors[i]));
  if (sectors.size() > kNamedSectors) text += "……等共" + std::to_string(sectors.size()) + "个";
  return text;
}

}  // namespace

ReadsAgreement AgreeBySector(const std::vector<std::string_view>& reads, size_t sectorBytes) {
  ReadsAgreement out;
  if (reads.empty() || sectorBytes == 0) return out;
  size_t longest = 0;
  for (std::string_view r : reads) longest = std::max(longest, r.size());
  const size_t sectors = (longest + sectorBytes - 1) / sectorBytes;
  for (size_t s = 0; s < sectors; ++s) {
    std::string_view agreed;
    bool found = false;
    for (size_t i = 0; i < reads.size() && !found; ++i)
      for (size_t j = i + 1; j < reads.size() && !found; ++j)
        if (SectorOf(reads[i], s, sectorBytes) == SectorOf(reads[j], s, sectorBytes)) {
          agreed = SectorOf(reads[i], s, sectorBytes);
          found = true;
        }
    if (!found) {
      out.disputed.push_back(s);
      agreed = SectorOf(reads[0], s, sectorBytes);
    }
    out.bytes.append(agreed);
  }
  return out;
}

bool ReadModuleSectors(TFrmMain& main, const TrackPlace& at, const BufferAddress& buffer, const std::string& file,
                       bool verify) {
  const auto readInto = [&](const std::string& path) {
    return ReadTrack(main, at.cylinder, at.head, at.start, at.count, buffer.base, buffer.chunk, path, false, false);
  };
  if (!verify) return readInto(file);

  // Each read goes to a scratch file of its own, removed however the read ends.
  const uint64_t expected = static_cast<uint64_t>(static_cast<uint32_t>(HexToInt(at.count))) * kSectorBytes;
  std::vector<std::string> reads;
  struct Scratch {
    std::vector<std::string> paths;
    ~Scratch() {
      for (const std::string& p : paths) std::remove(p.c_str());
    }
  } scratch;
  const auto readOnce = [&] {
    const std::string path = file + ".read" + std::to_string(reads.size() + 1);
    scratch.paths.push_back(path);
    if (!readInto(path)) return false;
    const FileBytes bytes = ReadFileBytes(path, expected);
    if (bytes.trouble) throw EFileError(CannotReadMessage(path, bytes.trouble));
    reads.push_back(bytes.bytes);
    return true;
  };
  if (!readOnce() || !readOnce()) return false;
  ReadsAgreement agreement = AgreeBySector({reads[0], reads[1]});
  if (!agreement.disputed.empty()) {
    if (!readOnce()) return false;
    agreement = AgreeBySector({reads[0], reads[1], reads[2]});
  }
  if (!agreement.disputed.empty()) {
    main.AddLine("读两遍核对失败：柱面" + at.cylinder + "磁头" + at.head + "的" +
                 SectorList(agreement.disputed, at.start) + "三次读出各不相同！");
    return false;
  }
  if (const FileTrouble trouble = WriteFile(file, agreement.bytes)) throw EFileError(CannotWriteMessage(file, trouble));
  return true;
}

}  // namespace qv
