// What the receive record's decision costs, on the processor alone: the
// drive's output entered as the receive thread enters it, lump by lump with
// its time, and every chunk taken out as the console takes it.
//
//   DecidePerByte/<lump bytes>: 64 blocks of hexadecimal dump (the buffer
//        read's answer, about 100 KiB) at 921600 baud in lumps of that many
//        bytes, each block asked for by a send and ended by the drive's
//        prompt. bytes_per_second: received bytes decided a second.
//   Exchanges: the instruction ROM read's exchange (a send, its echo, a
//        one-byte answer and the prompt) entered 65536 times;
//        items_per_second: exchanges decided a second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "serial/receive_record.h"

namespace qv {
namespace {

using Clock = ReceiveRecord::Clock;
using std::chrono::nanoseconds;

constexpr int kRate = 921600;
constexpr nanoseconds kByteTime{10'000'000'000LL / kRate};

std::string DumpBlock(unsigned block) {
  std::string text = "\r\nADDR   00 01 02 03 04 05 06 07\r\n";
  char line[8];
  for (unsigned row = 0; row < 16; ++row) {
    std::snprintf(line, sizeof line, "%06X", (block * 16 + row) * 32);
    text += line;
    for (unsigned i = 0; i < 32; ++i) {
      std::snprintf(line, sizeof line, " %02X", (block * 7 + row * 32 + i) & 0xFF);
      text += line;
    }
    text += "\r\n";
  }
  return text + "F3 T>";
}

void DecidePerByte(benchmark::State& state) {
  const size_t lump = static_cast<size_t>(state.range(0));
  std::string blocks[64];
  for (unsigned b = 0; b < 64; ++b) blocks[b] = DumpBlock(b);
  size_t bytes = 0;
  for (auto _ : state) {
    ReceiveRecord record;
    Clock::time_point at{};
    record.Open(at, kRate, TransportGaps(), {}, {});
    for (const std::string& block : blocks) {
      record.Sent(at, "B1,1\r");
      for (size_t from = 0; from < block.size(); from += lump) {
        const size_t n = std::min(lump, block.size() - from);
        at += kByteTime * static_cast<long long>(n);
        record.Arrived(at, std::string_view(block).substr(from, n), true);
        while (record.ChunkReady()) benchmark::DoNotOptimize(record.TakeChunk());
      }
      at += std::chrono::milliseconds(1);
      record.Advance(at);
      while (record.ChunkReady()) benchmark::DoNotOptimize(record.TakeChunk());
      bytes += block.size();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(DecidePerByte)->Arg(1)->Arg(62)->Arg(4095);

void Exchanges(benchmark::State& state) {
  ReceiveRecord record;
  Clock::time_point at{};
  record.Open(at, kRate, TransportGaps(), {}, {});
  for (auto _ : state) {
    for (int i = 0; i < 65536; ++i) {
      record.Sent(at, "e2,1A2B,0\r");
      at += kByteTime * 10;
      record.Arrived(at, "e2,1A2B,0\r\n", true);
      at += kByteTime * 12;
      record.Arrived(at, "= 5A\r\nF>", true);
      while (record.ChunkReady()) benchmark::DoNotOptimize(record.TakeChunk());
    }
  }
  state.SetItemsProcessed(65536 * state.iterations());
}
BENCHMARK(Exchanges)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
