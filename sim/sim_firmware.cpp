// The drive's firmware area: the family report of Ctrl-A and Ctrl-L, the
// "%" answer with the reserved area and the drive's serial number, the
// track buffer query, and what the ATA and vendor modules hold.
#include <algorithm>
#include <cstdio>

#include "sim/sim_model.h"

namespace qv::sim {

namespace {

constexpr uint8_t kCtrlA = 0x01, kCtrlL = 0x0C;
constexpr size_t kSectorBytes = 512;
constexpr int kIdSector = 4;  // of the vendor module

std::string Hex4(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
  return text;
}

bool InPlace(const SimFamily::Place& place, int cyl, int head, int sector) {
  return head == 0 && cyl == SimDrive::kReservedFirst + place.sa && sector >= place.start &&
         sector < place.start + place.count;
}

// Identity text of `count` words from `first`: two characters a word, the
// first in the high byte, without the padding spaces.
std::string IdText(const std::vector<uint16_t>& words, int first, int count) {
  std::string text;
  for (int i = first; i < first + count && i < static_cast<int>(words.size()); ++i) {
    text += static_cast<char>(words[i] >> 8);
    text += static_cast<char>(words[i] & 0xFF);
  }
  const size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

}  // namespace

std::optional<AtaLayout> AtaLayoutFor(int sectors) {
  if (sectors < AtaLayout::kMinSectors) return std::nullopt;
  AtaLayout layout;
  // The second overlay starts at byte 25600 or later, at least ten sectors
  // before its own end; each overlay is followed by a few zero sectors.
  layout.second = std::max(50, sectors * 7 / 16);
  layout.firstEnd = layout.second - 4;
  layout.secondEnd = sectors - 8;
  return layout;
}

bool DriveModel::FirmwareKey(uint8_t byte, std::vector<Emit>& out) {
  // The boot monitor and the identity editor know none of these keys.
  if (level_ == 'F' || idEditor_) return false;
  const SimFamily& f = options.family;
  if (byte == kCtrlA) {
    Answer({"Boot 0001", f.word + " Family_Disk " + f.firmware + " Dec 07 2026"}, out);
    return true;
  }
  if (byte == kCtrlL) {
    Answer({"Mask Rom Rev = " + f.maskRom, "Servo Rev = 0001", "Heads = 2"}, out);
    return true;
  }
  if (byte == '%' && line_.empty() && options.answerReservedQuery) {
    Say("%", out);
    Answer(ReservedQuery(), out);
    return true;
  }
  return false;
}

std::vector<std::string> DriveModel::ReservedQuery() const {
  char range[32];
  std::snprintf(range, sizeof range, "%05X-%05X", SimDrive::kReservedFirst, SimDrive::kReservedLast);
  // The start cylinder follows the first quoted name; the line's second quoted
  // name comes after the range, so the range stays readable after one name.
  // The serial number follows " AX" and one more character and ends at "' ".
  return {"System area", std::string(": \"SYSTEM\" ") + range + " \"RESERVED\"", "Zones 16",
          "Drive AX: " + IdText(idWords, 10, 10) + "' " + options.family.firmware};
}

bool DriveModel::BufferQuery(const std::string& cmd, std::vector<Emit>& out) {
  if (!options.answerBufferQuery) return false;
  const std::string base = Hex4(options.trackBufferBase), chunk = Hex4(options.trackChunk);
  if (level_ == 'T' && cmd == "?") {
    Answer({"Buffer segments", "RD:" + base + ":" + chunk, "WR:" + base + ":" + chunk}, out);
    return true;
  }
  // The boot monitor names its buffer with "B0" (at level 2 "B" is the buffer display).
  if (level_ == 'F' && cmd == "B0") {
    const std::string size = Hex4(static_cast<int>(buffer.size() / kSectorBytes));
    Answer({"Buffer segments", "Seg 0 RD:" + base + ":" + chunk + ":" + size + " WR:" + base + ":" + chunk}, out);
    return true;
  }
  return false;
}

void DriveModel::ShapeModuleSector(int cyl, int head, int sector, std::vector<uint8_t>& data) const {
  const SimFamily& f = options.family;
  if (InPlace(f.vendor, cyl, head, sector) && sector - f.vendor.start == kIdSector) {
    for (size_t i = 0; i < idWords.size() && 2 * i + 1 < data.size(); ++i) {
      data[2 * i] = static_cast<uint8_t>(idWords[i] & 0xFF);
      data[2 * i + 1] = static_cast<uint8_t>(idWords[i] >> 8);
    }
    return;
  }
  if (!InPlace(f.ata, cyl, head, sector)) return;
  const std::optional<AtaLayout> layout = AtaLayoutFor(f.ata.count);
  if (!layout) return;
  const int i = sector - f.ata.start;
  const bool code = i <= layout->firstEnd || (i >= layout->second && i <= layout->secondEnd);
  if (!code) {
    std::fill(data.begin(), data.end(), 0);
    return;
  }
  // Code sectors never begin with a zero byte and end in FF only where an
  // overlay ends, so the split finds the designed places and no others.
  data[0] |= 1;
  data[kSectorBytes - 1] = data[kSectorBytes - 1] == 0xFF ? 0xFE : data[kSectorBytes - 1];
  if (i == layout->second) {
    const uint8_t header[4] = {0x00, 0x00, static_cast<uint8_t>(f.ataBoundary ? 0x16 : 0x17), 0x00};
    std::copy(header, header + 4, data.begin());
  }
  if (f.ataSectorEnds && (i == layout->firstEnd || i == layout->secondEnd)) data[kSectorBytes - 1] = 0xFF;
}

}  // namespace qv::sim
