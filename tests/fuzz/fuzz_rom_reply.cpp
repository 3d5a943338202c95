// The boot monitor's answers to single-byte ROM reads: lines starting "=".
#include <stdexcept>

#include "console/convert.h"
#include "console/text_store.h"
#include "transfer/flash_rom.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (std::string_view line : qv::SplitLines(std::string_view(reinterpret_cast<const char*>(data), size))) {
    if (!qv::IsRomByteLine(line)) continue;
    try {
      qv::RomByteOfLine(line);
    } catch (const qv::EConvertError&) {
    } catch (const std::range_error&) {
    }
  }
  return 0;
}
