#pragma once
// Turns the drive's hexadecimal buffer dumps back into bytes.
//
// A dump is captured as text: whatever came before a header line starting
// with "ADDR" (the echo of the command, blank lines), then lines of a 6-digit
// address, one separator and 32 byte pairs. A line is taken only when it
// carries the address the parser expects next, so the prompt, stray text and
// the lines after a gap are skipped, never an error. One parser serves every
// reader; each decides when the expected address starts afresh.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qv {

class DumpParser {
 public:
  static constexpr int kLinesPerBlock = 16;

  // Bytes are appended to `output`, which must outlive the parser.
  explicit DumpParser(std::vector<uint8_t>& output) : out_(output) {}

  // The next accepted line fixes the address again (the first line after the header).
  void ResetAddress() { expectedLen_ = 0; }
  // A new block: up to 16 more lines may be accepted.
  void ResetLineCount() { accepted_ = 0; }

  // Appends the bytes of the dump lines in `capture` (lines end in LF, a CR
  // before it is dropped). Raises EConvertError for a byte pair or a first
  // address that is not hexadecimal.
  void Parse(std::string_view capture);

  // The address the next accepted line must carry (empty after ResetAddress).
  std::string_view ExpectedAddress() const { return {expected_, expectedLen_}; }
  int AcceptedLines() const { return accepted_; }

 private:
  void DataLine(std::string_view line);
  void AdvanceAddress();

  std::vector<uint8_t>& out_;
  // Six characters normally; the address after 0xFFFFE0 takes seven, which no
  // six-character column can match, so a read never runs on past it.
  char expected_[8] = {};
  size_t expectedLen_ = 0;
  int accepted_ = 0;
};

}  // namespace qv
