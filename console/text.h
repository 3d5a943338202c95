#pragma once
// Text helpers shared by the whole core.
//
// The drive talks in the ANSI code page of the original workstations (GBK), so
// everything that travels on the line, and the terminal pane with its hidden
// buffers, holds GBK bytes. Everything the user types or reads in a dialog, and
// every file name, is UTF-8. These helpers convert at that border.
#include <string>
#include <string_view>

namespace qv {

// UTF-8 -> GBK. Characters GBK cannot hold become '?'.
std::string Gbk(std::string_view utf8);
// GBK -> UTF-8. Bytes that are not valid GBK are shown as U+FFFD; NUL stays NUL.
std::string Utf8FromGbk(std::string_view gbk);
// GBK -> UTF-8 as the terminal pane shows it: control bytes other than Tab
// (a backspace, an escape) become their visible symbols (U+2400 to U+241F,
// U+2421 for DEL) instead of acting on the text around them.
std::string Utf8AsShown(std::string_view gbk);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view text);
// Bytes of the GBK character that starts at `pos`: 2 for a lead byte followed
// by a trail byte, else 1.
size_t GbkCharSize(std::string_view gbk, size_t pos);

// Removes leading and trailing blanks and control characters (every byte <= 0x20).
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);
// The text after the first `mark`; all of it when there is none.
std::string_view TextAfter(std::string_view text, char mark);
// ASCII letters only; other bytes unchanged.
std::string UpperCase(std::string_view text);

// The key filter of the fields that hold hexadecimal numbers: the digits,
// a-f and A-F, Backspace, Ctrl-C and Ctrl-V (copy and paste).
bool HexFieldKey(char32_t key);

}  // namespace qv
