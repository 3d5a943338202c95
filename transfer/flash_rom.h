#pragma once
// The drive's serial flash ROM: a 64 KiB image, byte k at ROM address k. The
// boot monitor reads and programs it one byte per command ("e2", "e1"), or
// copies it to and from the buffer in one go.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

inline constexpr size_t kRomBytes = 0x10000;
// The largest file either write takes as an image (0x80000 bytes).
inline constexpr uint64_t kMaxRomFileBytes = 524288;

// A copy that came through the buffer is believed when it ends in FF FF and
// a last word that is not FF FF, as every image the drives boot from does.
bool RomImagePlausible(const std::vector<uint8_t>& image);

// "e2,140,0\r": read the byte at an address.
std::string RomReadCommand(uint32_t address);
// "e1,140,A,0\r": program the byte at an address.
std::string RomWriteCommand(uint32_t address, uint8_t value);

// True for the line that answers a byte read ("= 3A").
inline bool IsRomByteLine(std::string_view line) { return !line.empty() && line.front() == '='; }
// The byte such a line carries. A text that is not hexadecimal raises
// EConvertError; a number above FF, which no byte can be, std::range_error.
uint8_t RomByteOfLine(std::string_view line);

}  // namespace qv
