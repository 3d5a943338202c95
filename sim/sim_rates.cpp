#include "sim/sim_rates.h"

#include <cstdlib>

namespace qv::sim {

namespace {

struct RateCode {
  const char* digits;
  int rate;
};

// The three lowest rates are given in hundreds, the others in thousands.
constexpr RateCode kCodes[] = {
    {"0096", 9600},     {"0384", 38400},    {"0576", 57600},    {"0115", 115200},
    {"0230", 230400},   {"0460", 460800},   {"0625", 625200},   {"0921", 921600},
};

}  // namespace

int RateFromDigits(const std::string& digits) {
  if (digits.empty() || digits.size() > 7) return 0;
  for (char c : digits)
    if (c < '0' || c > '9') return 0;
  if (digits.size() == 4) {
    for (const auto& code : kCodes)
      if (digits == code.digits) return code.rate;
    return 0;
  }
  const int full = std::atoi(digits.c_str());
  for (const auto& code : kCodes)
    if (full == code.rate) return code.rate;
  return 0;
}

uint32_t Dice::Next() {
  // xorshift32; the state never becomes 0 unless it starts there.
  if (state_ == 0) state_ = 0x6D2B79F5u;
  state_ ^= state_ << 13;
  state_ ^= state_ >> 17;
  state_ ^= state_ << 5;
  return state_;
}

uint8_t LineNoise::Next() {
  for (;;) {
    state_ = state_ * 1103515245u + 12345u;
    const uint8_t b = static_cast<uint8_t>(state_ >> 16);
    if (b != '>' && b != 0x06 && b != 0x15 && b != 0x77 && b != 0x88) return b;
  }
}

}  // namespace qv::sim
