// The serial flash ROM as the boot monitor reaches it: "e2" reads a byte,
// "e9" erases the chip, "e1" programs a byte, "e4"/"e3" stage a copy between
// the ROM and the buffer and "e6" carries it out; "B" shows the buffer.
//
// Programming a flash cell can only clear bits, so a byte written without an
// erase first comes out as the AND of old and new, as on the real chip.
#include <algorithm>
#include <cstdio>

#include "sim/sim_model.h"

namespace qv::sim {

namespace {

// The monitor keeps its work area here in the buffer, over the ROM's copy:
// the copy holds other bytes there and only single-byte reads give the ROM's.
constexpr size_t kWorkAreaFirst = 0x140, kWorkAreaEnd = 0x170;

bool RomAddress(const std::string& text, long long& address) {
  return ParseHex(text, address) && address < static_cast<long long>(SimDrive::kRomSize);
}

}  // namespace

void DriveModel::ResetRom() {
  rom.assign(SimDrive::kRomSize, 0);
  for (size_t i = 0; i < rom.size(); ++i) rom[i] = static_cast<uint8_t>(i * 7 + (i >> 8) * 3 + 1);
  // A good image ends in FF FF and a reset vector that is not FF FF.
  const size_t end = rom.size();
  rom[end - 4] = 0xFF;
  rom[end - 3] = 0xFF;
  rom[end - 2] = 0x00;
  rom[end - 1] = 0x80;
}

bool DriveModel::RomCommand(const std::string& cmd, std::vector<Emit>& out) {
  if (cmd[0] == 'B') {
    // The monitor shows the buffer as level 2 does; the ROM's copy lands there.
    bool ok = false;
    Answer(Dump(cmd.substr(1), ok), out);
    return true;
  }
  if (cmd.size() < 2 || cmd[0] != 'e' || cmd[1] < '1' || cmd[1] > '9') return false;
  const std::vector<std::string> f = SplitFields(cmd.substr(2));
  long long address = 0, value = 0;
  std::vector<std::string> reply = {"OK"};
  switch (cmd[1]) {
    case '2':  // read a byte
      if (f.size() != 3 || !f[0].empty() || !RomAddress(f[1], address)) {
        reply = {"Bad address"};
      } else if (address == options.romReplyAddress) {
        reply = {options.romReplyLines};
      } else {
        char line[8];
        std::snprintf(line, sizeof line, "= %02X", rom[static_cast<size_t>(address)]);
        reply = {line};
      }
      break;
    case '1':  // program a byte
      if (f.size() != 4 || !f[0].empty() || !RomAddress(f[1], address) || !ParseHex(f[2], value) || value > 0xFF)
        reply = {"Bad address"};
      else
        rom[static_cast<size_t>(address)] &= static_cast<uint8_t>(value);
      break;
    case '9':
      std::fill(rom.begin(), rom.end(), 0xFF);
      reply = {"Flash erased"};
      break;
    case '4':
      romCopy_ = RomCopy::ToBuffer;
      break;
    case '3':
      romCopy_ = RomCopy::FromBuffer;
      break;
    case '6':
      CarryOutRomCopy();
      break;
    default:  // "e5" opens the flash for what follows; the others mean nothing here
      break;
  }
  Answer(reply, out);
  return true;
}

void DriveModel::CarryOutRomCopy() {
  if (romCopy_ == RomCopy::ToBuffer) {
    std::copy(rom.begin(), rom.end(), buffer.begin());
    for (size_t i = kWorkAreaFirst; i < kWorkAreaEnd; ++i) buffer[i] = static_cast<uint8_t>(~rom[i]);
    if (options.romCopyImplausible) std::fill(buffer.begin() + rom.size() - 4, buffer.begin() + rom.size(), 0xFF);
  } else if (romCopy_ == RomCopy::FromBuffer) {
    // Programmed from where the last download landed (the entry buffer).
    const size_t base = std::min(dlBase_, buffer.size());
    const size_t n = std::min(rom.size(), buffer.size() - base);
    for (size_t i = 0; i < n; ++i) rom[i] &= buffer[base + i];
  }
  romCopy_ = RomCopy::None;
}

}  // namespace qv::sim
