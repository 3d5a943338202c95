#include "transfer/dump_parser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "console/convert.h"
#include "console/text.h"

namespace qv {

namespace {

constexpr size_t kAddressWidth = 6;
constexpr size_t kDataColumn = 7;  // 0-based: the address, one separator, then the pairs
constexpr uint32_t kLineStride = 0x20;
// After each pair only this much of the rest of the line is kept.
constexpr size_t kKeepAfterPair = 200;

constexpr std::array<int8_t, 256> MakeHexTable() {
  std::array<int8_t, 256> t{};
  for (auto& v : t) v = -1;
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<int8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<int8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<int8_t>(c - 'a' + 10);
  return t;
}
constexpr std::array<int8_t, 256> kHex = MakeHexTable();

inline int HexDigit(char c) { return kHex[static_cast<unsigned char>(c)]; }

// Blanks and control characters, as the terminal's text is trimmed everywhere.
inline bool Blank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

inline std::string_view TrimView(std::string_view s) {
  while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
  return s;
}

[[noreturn]] void NotHex(std::string_view text) { throw EConvertError(Utf8FromGbk(text)); }

bool IsHeader(std::string_view line) {
  line = TrimView(line);
  if (line.size() < 4) return false;
  for (size_t i = 0; i < 4; ++i)
    if ((line[i] & ~0x20) != "ADDR"[i]) return false;
  return true;
}

}  // namespace

void DumpParser::Parse(std::string_view capture) {
  bool afterHeader = false;
  size_t pos = 0;
  while (pos < capture.size()) {
    const size_t nl = capture.find('\n', pos);
    const size_t end = nl == std::string_view::npos ? capture.size() : nl;
    std::string_view line = capture.substr(pos, end - pos);
    if (nl != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = nl == std::string_view::npos ? capture.size() : nl + 1;

    if (!afterHeader) {
      afterHeader = IsHeader(line);
      continue;
    }
    DataLine(line);
  }
}

void DumpParser::DataLine(std::string_view line) {
  const std::string_view address = line.substr(0, std::min(line.size(), kAddressWidth));
  if (expectedLen_ == 0) {
    std::memcpy(expected_, address.data(), address.size());
    expectedLen_ = address.size();
  }
  if (address != ExpectedAddress() || accepted_ >= kLinesPerBlock) return;
  ++accepted_;

  std::string_view data = line.size() > kDataColumn ? TrimView(line.substr(kDataColumn)) : std::string_view{};
  while (!data.empty()) {
    const size_t take = std::min<size_t>(data.size(), 2);
    int value = 0;
    for (size_t i = 0; i < take; ++i) {
      const int d = HexDigit(data[i]);
      if (d < 0) NotHex(data.substr(0, take));
      value = value * 16 + d;
    }
    out_.push_back(static_cast<uint8_t>(value));
    data.remove_prefix(take);
    if (data.size() > kKeepAfterPair) data = data.substr(0, kKeepAfterPair);
    data = TrimView(data);
  }
  AdvanceAddress();
}

void DumpParser::AdvanceAddress() {
  const std::string_view old = ExpectedAddress();
  if (old.empty()) NotHex(old);
  uint32_t value = 0;
  for (char c : old) {
    const int d = HexDigit(c);
    if (d < 0) NotHex(old);
    value = value * 16 + static_cast<uint32_t>(d);
  }
  value += kLineStride;
  // Upper-case digits, at least six, as the drive prints them.
  char digits[8];
  size_t n = 0;
  for (uint32_t v = value; v != 0 || n < kAddressWidth; v >>= 4) digits[n++] = "0123456789ABCDEF"[v & 15];
  for (size_t i = 0; i < n; ++i) expected_[i] = digits[n - 1 - i];
  expectedLen_ = n;
}

}  // namespace qv
