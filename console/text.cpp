#include "console/text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace qv {
namespace {

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

// Converts with iconv; an unconvertible or invalid sequence is replaced by
// `replacement` and the input skips `skip` bytes, so conversion never fails.
std::string Convert(const char* to, const char* from, std::string_view in,
                    std::string_view replacement, size_t skip) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  std::unique_ptr<void, IconvCloser> guard(cd);
  std::string out;
  out.resize(in.size() * 2 + 8);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  size_t used = 0;
  while (srcLeft > 0) {
    char* dst = out.data() + used;
    size_t dstLeft = out.size() - used;
    size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    used = out.size() - dstLeft;
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ or EINVAL (a truncated sequence at the end): replace and skip.
    size_t n = std::min(skip, srcLeft);
    out.resize(std::max(out.size(), used + replacement.size() + 8));
    out.replace(used, replacement.size(), replacement);
    used += replacement.size();
    src += n;
    srcLeft -= n;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(used);
  return out;
}

size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

std::string Gbk(std::string_view utf8) {
  for (unsigned char c : utf8)
    if (c >= 0x80) return Convert("GBK//TRANSLIT", "UTF-8", utf8, "?", 1);
  return std::string(utf8);
}

std::string Utf8FromGbk(std::string_view gbk) {
  bool ascii = true;
  for (unsigned char c : gbk) {
    if (c >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) return std::string(gbk);
  return Convert("UTF-8", "GBK", gbk, "\xEF\xBF\xBD", 1);
}

std::string Utf8AsShown(std::string_view gbk) {
  const auto isControl = [](unsigned char b) { return (b < 0x20 && b != '\t') || b == 0x7F; };
  std::string utf8 = Utf8FromGbk(gbk);
  // Bytes below 0x80 in UTF-8 are always characters of their own.
  if (std::none_of(utf8.begin(), utf8.end(), [&](char c) { return isControl(static_cast<unsigned char>(c)); }))
    return utf8;
  std::string shown;
  shown.reserve(utf8.size() + 16);
  for (char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    if (!isControl(b)) {
      shown += c;
      continue;
    }
    // U+2400 + b (U+2421 for DEL) in UTF-8: E2 90 80+b (E2 90 A1).
    shown += "\xE2\x90";
    shown += static_cast<char>(b == 0x7F ? 0xA1 : 0x80 + b);
  }
  return shown;
}

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len = Utf8SequenceLength(c);
    if (len == 1 || i + len > text.size()) return false;
    for (size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

size_t GbkCharSize(std::string_view gbk, size_t pos) {
  const auto at = [gbk](size_t i) { return static_cast<unsigned char>(gbk[i]); };
  const bool lead = at(pos) >= 0x81 && at(pos) <= 0xFE;
  const bool trail = pos + 1 < gbk.size() && at(pos + 1) >= 0x40 && at(pos + 1) <= 0xFE && at(pos + 1) != 0x7F;
  return lead && trail ? 2 : 1;
}

std::string TrimLeft(std::string_view text) {
  size_t b = 0;
  while (b < text.size() && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  return std::string(text.substr(b));
}

std::string TrimRight(std::string_view text) {
  size_t e = text.size();
  while (e > 0 && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return std::string(text.substr(0, e));
}

std::string_view TextAfter(std::string_view text, char mark) {
  const size_t at = text.find(mark);
  return at == std::string_view::npos ? text : text.substr(at + 1);
}

std::string Trim(std::string_view text) { return TrimLeft(TrimRight(text)); }

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool HexFieldKey(char32_t key) {
  return (key >= U'0' && key <= U'9') || (key >= U'A' && key <= U'F') || (key >= U'a' && key <= U'f') ||
         key == 0x08 || key == 0x03 || key == 0x16;
}

}  // namespace qv
