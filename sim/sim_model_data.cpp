// Buffer dumps, the disk of tracks, the reserved-area queries and the identity record.
#include "sim/sim_model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace qv::sim {

namespace {

constexpr size_t kBlock = 512;
constexpr int kLineBytes = 32;
constexpr int kLinesPerBlock = kBlock / kLineBytes;

std::string Hex(long long v) {
  char text[24];
  std::snprintf(text, sizeof text, "%llX", v);
  return text;
}

uint64_t SectorKey(int cyl, int head, int sector) {
  return (static_cast<uint64_t>(cyl & 0xFFFFFF) << 40) | (static_cast<uint64_t>(head & 0xFF) << 32) |
         static_cast<uint32_t>(sector);
}

void PutText(std::vector<uint16_t>& words, int first, int count, const std::string& text) {
  // Identity text: two characters per word, the first in the high byte, space padded.
  for (int i = 0; i < count; ++i) {
    const char hi = 2 * i < static_cast<int>(text.size()) ? text[2 * i] : ' ';
    const char lo = 2 * i + 1 < static_cast<int>(text.size()) ? text[2 * i + 1] : ' ';
    words[first + i] = static_cast<uint16_t>((static_cast<uint8_t>(hi) << 8) | static_cast<uint8_t>(lo));
  }
}

// What a bit or two flipped on the line makes of a dump line's text.
void DamageLine(std::string& line, SimOptions::WireError::Kind kind) {
  using Kind = SimOptions::WireError::Kind;
  constexpr size_t kFourthPair = 7 + 3 * 3;  // address, blank, three pairs with their blanks
  switch (kind) {
    case Kind::FlipBit: break;
    case Kind::NonHex: line[kFourthPair] = 'Q'; break;
    case Kind::WrongAddress: line[3] = line[3] == '8' ? '9' : '8'; break;
    case Kind::MissingPair: line.resize(line.size() - 3); break;
    case Kind::ExtraPair: line += " 5A"; break;
  }
}

}  // namespace

std::vector<std::string> DriveModel::Dump(const std::string& args, bool& ok) {
  ok = false;
  const std::vector<std::string> f = SplitFields(args);
  long long first = 0, last = 0;
  if (f.size() > 2 || !ParseHex(f[0], first)) return {"Bad block number"};
  last = first;
  if (f.size() == 2 && !ParseHex(f[1], last)) return {"Bad block number"};
  if (last < first || static_cast<size_t>(last + 1) * kBlock > buffer.size()) return {"Block out of range"};
  if (trackBlocksBad_) {
    const size_t base = static_cast<size_t>(std::max(0, options.trackBufferBase));
    if (static_cast<size_t>(last) >= base && static_cast<size_t>(first) < base + badBlocks_) return {"Buffer data not valid"};
  }
  ok = true;

  std::vector<std::string> lines;
  if (options.dumpExtraLines) lines.push_back("Buffer display");
  std::string header = "ADDR   ";
  for (int i = 0; i < kLineBytes; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, i ? " %02X" : "%02X", i);
    header += pair;
  }
  lines.push_back(header);
  const char* digits = options.dumpLowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
  auto dataLine = [&](size_t addr, const uint8_t* data) {
    char text[8];
    // The address column is six digits wide; the top of a larger buffer wraps in it.
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(addr & 0xFFFFFF));
    std::string line = text;
    for (int i = 0; i < kLineBytes; ++i) {
      line += ' ';
      line += digits[data[i] >> 4];
      line += digits[data[i] & 15];
    }
    return line;
  };
  using Kind = SimOptions::WireError::Kind;
  const SimOptions::WireError& err = options.wireError;
  for (long long block = first; block <= last; ++block) {
    const size_t start = static_cast<size_t>(block) * kBlock;
    std::vector<uint8_t> bytes(buffer.begin() + static_cast<ptrdiff_t>(start),
                               buffer.begin() + static_cast<ptrdiff_t>(start + kBlock));
    const auto held = bufferHolds_.find(static_cast<size_t>(block));
    bool damaged = false;
    if (err.cylinder >= 0 && held != bufferHolds_.end() && held->second == SectorKey(err.cylinder, err.head, err.sector)) {
      ++wireReads_;
      damaged = std::find(err.reads.begin(), err.reads.end(), wireReads_) != err.reads.end();
      if (damaged && err.kind == Kind::FlipBit)
        bytes[static_cast<size_t>(wireReads_ * 37) % kBlock] ^= static_cast<uint8_t>(1u << (wireReads_ % 8));
    }
    for (int l = 0; l < kLinesPerBlock; ++l) {
      if (options.dumpSkipLine && l == 5) continue;
      std::string line = dataLine(start + l * kLineBytes, &bytes[l * kLineBytes]);
      if (damaged && l == 7) DamageLine(line, err.kind);
      lines.push_back(std::move(line));
    }
  }
  if (options.dumpExtraLines) {
    const size_t next = static_cast<size_t>(last + 1) * kBlock;
    const std::vector<uint8_t> junk(kLineBytes, 0xEE);
    lines.push_back(dataLine(next, junk.data()));
    lines.push_back("");
    lines.push_back("Stray 0123 text");
  }
  return lines;
}

std::vector<uint8_t> DriveModel::Sector(int cyl, int head, int sector) const {
  const auto it = written_.find(SectorKey(cyl, head, sector));
  if (it != written_.end()) return it->second;
  std::vector<uint8_t> data(kBlock);
  uint32_t x = (static_cast<uint32_t>(cyl) * 73856093u) ^ (static_cast<uint32_t>(head) * 19349663u) ^
               (static_cast<uint32_t>(sector) * 83492791u) ^ 0xA5A5A5A5u;
  for (auto& b : data) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(x >> 24);
  }
  ShapeModuleSector(cyl, head, sector, data);
  return data;
}

void DriveModel::SetSector(int cyl, int head, int sector, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> full(kBlock, 0);
  std::copy_n(data.begin(), std::min(data.size(), kBlock), full.begin());
  written_[SectorKey(cyl, head, sector)] = std::move(full);
}

std::vector<std::string> DriveModel::Seek(const std::string& args) {
  const std::vector<std::string> f = SplitFields(args);
  long long cyl = 0, head = 0;
  if (f.size() < 2 || !ParseHex(f[0], cyl) || !ParseHex(f[1], head) || cyl > 0xFFFFFF || head > 0xFF)
    return {"Bad seek address"};
  cyl_ = static_cast<int>(cyl);
  head_ = static_cast<int>(head);
  return {"Cyl " + Hex(cyl) + " Head " + Hex(head) + " on track"};
}

std::vector<std::string> DriveModel::TrackTransfer(const std::string& args, bool toDisk) {
  // args is ",<first sector>,<count>"; the buffer side starts at the track buffer's base.
  const std::vector<std::string> f = SplitFields(args);
  long long first = 0, count = 0;
  if (f.size() != 3 || !f[0].empty() || !ParseHex(f[1], first) || !ParseHex(f[2], count) || count <= 0)
    return {"Bad sector range"};
  const size_t base = static_cast<size_t>(std::max(0, options.trackBufferBase));
  if ((base + static_cast<size_t>(count)) * kBlock > buffer.size()) return {"Too many sectors for the buffer"};
  if (!toDisk) {
    const bool bad = !options.failingTrackRead.empty() && "r" + args == options.failingTrackRead;
    trackBlocksBad_ = bad && !options.readErrorKeepsBuffer;
    badBlocks_ = static_cast<size_t>(count);
    if (bad) return {"Read error at sector " + Hex(first)};
  }
  for (long long i = 0; i < count; ++i) {
    const int sector = static_cast<int>(first + i);
    uint8_t* block = &buffer[(base + static_cast<size_t>(i)) * kBlock];
    if (toDisk) {
      SetSector(cyl_, head_, sector, std::vector<uint8_t>(block, block + kBlock));
      bufferHolds_.erase(base + static_cast<size_t>(i));
    } else {
      bufferHolds_[base + static_cast<size_t>(i)] = SectorKey(cyl_, head_, sector);
      const std::vector<uint8_t> data = Sector(cyl_, head_, sector);
      std::copy(data.begin(), data.end(), block);
    }
  }
  return {std::string(toDisk ? "Wrote " : "Read ") + Hex(count) + " sectors from " + Hex(first) + " OK"};
}

std::vector<std::string> DriveModel::ReservedDirectory() const {
  char range[32];
  std::snprintf(range, sizeof range, "%05X-%05X", SimDrive::kReservedFirst, SimDrive::kReservedLast);
  return {"Track layout", std::string("User:00000-") + Hex(SimDrive::kReservedFirst - 1),
          std::string("Reserve:") + range, std::string("Sys=") + range};
}

void DriveModel::ResetIdentity() {
  idWords.assign(SimDrive::kIdWords, 0);
  idWords[0] = 0x0040;
  idWords[1] = 0x3FFF;
  idWords[3] = 0x0010;
  idWords[6] = 0x003F;
  PutText(idWords, 10, 10, "QV0000000001");
  PutText(idWords, 23, 4, "1.00");
  PutText(idWords, 27, 20, "QUORVANE SIM DRIVE");
  const uint32_t sectors = 156248064;  // 80 GB
  for (int at : {60, 100}) {
    idWords[at] = static_cast<uint16_t>(sectors & 0xFFFF);
    idWords[at + 1] = static_cast<uint16_t>(sectors >> 16);
  }
}

bool DriveModel::IdentityWrite(const std::string& args) {
  if (args == "FE") {
    ResetIdentity();
    return true;
  }
  // A word number of two to four hex digits, then the four-digit value.
  if (args.size() < 6 || args.size() > 8) return false;
  long long word = 0, value = 0;
  if (!ParseHex(args.substr(0, args.size() - 4), word) || !ParseHex(args.substr(args.size() - 4), value))
    return false;
  if (word >= SimDrive::kIdWords) return false;
  idWords[word] = static_cast<uint16_t>(value);
  return true;
}

}  // namespace qv::sim
