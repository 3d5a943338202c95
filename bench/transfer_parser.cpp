// How fast the dump parser turns captured dump text into bytes.
//
//   ParseBlock: one block's capture (echo, header, 16 lines, prompt) per pass,
//               as a buffer read parses it.
//   ParseChunk: 128 blocks with running addresses in one capture, as the
//               blocks of a track chunk follow each other.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "transfer/dump_parser.h"

namespace qv {
namespace {

std::string BlockText(unsigned block) {
  std::string text = "B" + std::to_string(block) + "\r\nADDR   00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"
                     " 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\r\n";
  for (unsigned l = 0; l < 16; ++l) {
    char line[8];
    const unsigned address = block * 512 + l * 32;
    std::snprintf(line, sizeof line, "%06X", address);
    text += line;
    for (unsigned i = 0; i < 32; ++i) {
      char pair[4];
      std::snprintf(pair, sizeof pair, " %02X", (address + i) * 13 & 0xFF);
      text += pair;
    }
    text += "\r\n";
  }
  return text + "F3 2>";
}

void ParseBlock(benchmark::State& state) {
  const std::string capture = BlockText(0x123);
  std::vector<uint8_t> out;
  out.reserve(512);
  DumpParser parser(out);
  for (auto _ : state) {
    out.clear();
    parser.ResetAddress();
    parser.ResetLineCount();
    parser.Parse(capture);
    benchmark::DoNotOptimize(out.data());
  }
  if (out.size() != 512) state.SkipWithError("wrong byte count");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * capture.size()));
}
BENCHMARK(ParseBlock);

void ParseChunk(benchmark::State& state) {
  std::vector<std::string> blocks;
  size_t textBytes = 0;
  for (unsigned b = 0; b < 128; ++b) {
    blocks.push_back(BlockText(b));
    textBytes += blocks.back().size();
  }
  std::vector<uint8_t> out;
  out.reserve(128 * 512);
  DumpParser parser(out);
  for (auto _ : state) {
    out.clear();
    parser.ResetAddress();
    for (const auto& capture : blocks) {
      parser.ResetLineCount();
      parser.Parse(capture);
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (out.size() != 128 * 512) state.SkipWithError("wrong byte count");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * textBytes));
}
BENCHMARK(ParseChunk);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
