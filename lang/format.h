#pragma once
// Texts with numbered placeholders: "{1}" is the first argument, "{2}" the
// second, in whatever order the text names them. "{{" stands for a brace.
// A placeholder without an argument stays as written, so a faulty
// translation shows its fault instead of losing the text.
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace qv {

std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);

inline std::string_view FormatArg(std::string_view text) { return text; }
inline std::string_view FormatArg(const std::string& text) { return text; }
inline std::string_view FormatArg(const char* text) { return text; }
// Whole numbers in decimal (the temporary lives until the text is formatted);
// other numbers are formatted by the caller, who knows their precision.
template <typename Number, typename = std::enable_if_t<std::is_integral_v<Number>>>
std::string FormatArg(Number number) {
  return std::to_string(number);
}

}  // namespace qv
