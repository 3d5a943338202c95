#include "transfer/flash_rom.h"

#include <stdexcept>

#include "console/convert.h"
#include "console/text.h"

namespace qv {

bool RomImagePlausible(const std::vector<uint8_t>& image) {
  if (image.size() < 4) return false;
  const uint8_t* end = image.data() + image.size();
  return end[-4] == 0xFF && end[-3] == 0xFF && !(end[-2] == 0xFF && end[-1] == 0xFF);
}

std::string RomReadCommand(uint32_t address) { return "e2," + IntToHex(address) + ",0\r"; }

std::string RomWriteCommand(uint32_t address, uint8_t value) {
  return "e1," + IntToHex(address) + "," + IntToHex(value) + ",0\r";
}

uint8_t RomByteOfLine(std::string_view line) {
  const std::string text = Trim(line.substr(1));
  const int32_t value = HexToInt(text);
  // A garbled reply can still be hexadecimal; cut to a byte it would put a
  // wrong byte into the image without a word.
  if (value < 0 || value > 0xFF) throw std::range_error("'" + text + "' is not a byte value");
  return static_cast<uint8_t>(value);
}

}  // namespace qv
