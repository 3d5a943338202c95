#include "console/convert.h"

#include <cstdio>

namespace qv {

EConvertError::EConvertError(const std::string& offendingText)
    : std::runtime_error("'" + offendingText + "' is not a valid integer value") {}

namespace {

int Digit(char c, int base) {
  int d = -1;
  if (c >= '0' && c <= '9') d = c - '0';
  else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
  return d < base ? d : -1;
}

bool ParseDecimal(std::string_view text, int32_t& out) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    int d = Digit(text[i], 10);
    if (d < 0) return false;
    value = value * 10 + d;
    if (value > int64_t{1} << 31) return false;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return false;
  out = static_cast<int32_t>(value);
  return true;
}

}  // namespace

int32_t StrToInt(std::string_view text) {
  int32_t value = 0;
  if (!ParseDecimal(text, value)) throw EConvertError(std::string(text));
  return value;
}

int32_t StrToIntDef(std::string_view text, int32_t fallback) {
  int32_t value = 0;
  return ParseDecimal(text, value) ? value : fallback;
}

int32_t HexToInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i == text.size()) throw EConvertError(std::string(text));
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    int d = Digit(text[i], 16);
    if (d < 0) throw EConvertError(std::string(text));
    value = (value << 4) | static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFull) throw EConvertError(std::string(text));
  }
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

std::string IntToHex(uint32_t value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", width, value);
  return buf;
}

}  // namespace qv
