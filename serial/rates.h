#pragma once
// The line rates the console and the drive can agree on, with the drive's own
// command for each: "B" + code at level T, "b" + code at every other level.
#include <array>
#include <string_view>

namespace qv {

struct Rate {
  std::string_view text;      // as the rate lists show it
  int baud;                   // what the port is set to
  std::string_view tCommand;  // sent at level T
  std::string_view fCommand;  // sent at the other levels
};

inline constexpr std::array<Rate, 8> kRates{{
    {"9600", 9600, "B0096\r", "b0096\r"},
    {"38400", 38400, "B0384\r", "b0384\r"},
    {"57600", 57600, "B0576\r", "b0576\r"},
    {"115200", 115200, "B0115\r", "b0115\r"},
    {"230400", 230400, "B0230\r", "b0230\r"},
    {"460800", 460800, "B0460\r", "b0460\r"},
    {"625200", 625200, "B0625\r", "b0625\r"},  // the adapters' 625 kbaud is 625200, not 625000
    {"921600", 921600, "B0921\r", "b0921\r"},
}};

// Rates every adapter offers, and those offered only when 921600 is accepted.
inline constexpr size_t kBasicRateCount = 4;

// The rate a text names; any text that is not one of the faster rates,
// the empty text included, means 9600.
const Rate& RateFromText(std::string_view text);

}  // namespace qv
