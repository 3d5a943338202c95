// The hexadecimal dump parser over captured text of any shape, in pieces as
// the reads feed it: each piece is one Parse call, some start a new block.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "console/convert.h"
#include "transfer/dump_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::vector<uint8_t> out;
  qv::DumpParser parser(out);
  try {
    while (input.remaining_bytes() > 0) {
      const uint8_t action = input.ConsumeIntegral<uint8_t>();
      if (action & 1) parser.ResetAddress();
      if (action & 2) parser.ResetLineCount();
      const size_t before = out.size();
      const int linesBefore = parser.AcceptedLines();
      parser.Parse(input.ConsumeRandomLengthString(4096));
      // A block never takes more than its lines, and no line more than the text it has.
      if (parser.AcceptedLines() > qv::DumpParser::kLinesPerBlock) std::abort();
      if (parser.AcceptedLines() == linesBefore && out.size() != before) std::abort();
    }
  } catch (const qv::EConvertError&) {
  }
  return 0;
}
