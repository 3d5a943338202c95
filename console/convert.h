#pragma once
// Number texts as the drive and the technician write them.
//
// Counts, sectors and buffer positions travel as upper-case hexadecimal texts
// without prefix and without leading zeros; a text that is not a number raises
// EConvertError whose message is what the technician then sees.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qv {

class EConvertError : public std::runtime_error {
 public:
  explicit EConvertError(const std::string& offendingText);
};

// A raised error about a file (cannot be read, created or written).
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Decimal text as a signed 32-bit number ("-12", " 300"). Leading blanks are
// allowed, nothing may follow the digits. Raises EConvertError.
int32_t StrToInt(std::string_view text);
// Hexadecimal text without prefix, either letter case, as a signed 32-bit
// number; up to 8 digits, so "FFFFFFFF" is -1. Raises EConvertError.
int32_t HexToInt(std::string_view text);
// Like StrToInt, but a text that is not a number gives `fallback`.
int32_t StrToIntDef(std::string_view text, int32_t fallback);

// Upper-case hexadecimal of the value's low 32 bits, at least `width` digits.
std::string IntToHex(uint32_t value, int width = 0);

// Adds to a 32-bit counter that wraps, as the byte counters of a long session may.
inline int32_t AddWrapping(int32_t counter, size_t n) {
  return static_cast<int32_t>(static_cast<uint32_t>(counter) + static_cast<uint32_t>(n));
}

}  // namespace qv
