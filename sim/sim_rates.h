// The drive's rate commands and what a line at the wrong rate looks like.
#pragma once

#include <cstdint>
#include <string>

namespace qv::sim {

// Rate named by the digits of a rate command: the four-digit codes ("0096",
// "0115", "0625", ...) or a full rate ("115200"). 0 when the digits name none.
int RateFromDigits(const std::string& digits);

// Bytes a receiver reads when the two ends of the line disagree on the rate.
// Deterministic for a seed, and never a byte that could pass for a prompt end
// or a protocol answer ('>', 0x06, 0x15, 0x77, 0x88).
class LineNoise {
 public:
  explicit LineNoise(unsigned seed) : state_(seed * 2654435761u + 1u) {}
  uint8_t Next();

 private:
  uint32_t state_;
};

// Small deterministic generator for chunk sizes and gaps.
class Dice {
 public:
  explicit Dice(unsigned seed) : state_(seed ^ 0x9E3779B9u) {}
  uint32_t Next();
  int Between(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint32_t>(hi - lo + 1)); }

 private:
  uint32_t state_;
};

}  // namespace qv::sim
