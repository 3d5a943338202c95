#include "lang/format.h"

#include <vector>

namespace qv {

std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args) {
  const std::vector<std::string_view> values(args);
  std::string out;
  out.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '{') {
      out += pattern[i];
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '{') {
      out += '{';
      ++i;
      continue;
    }
    size_t close = pattern.find('}', i + 1);
    size_t number = 0;
    bool digits = close != std::string_view::npos && close > i + 1 && close - i <= 4;
    for (size_t k = i + 1; digits && k < close; ++k) {
      if (pattern[k] < '0' || pattern[k] > '9') digits = false;
      else number = number * 10 + static_cast<size_t>(pattern[k] - '0');
    }
    if (digits && number >= 1 && number <= values.size()) {
      out += values[number - 1];
      i = close;
    } else {
      out += '{';
    }
  }
  return out;
}

}  // namespace qv
