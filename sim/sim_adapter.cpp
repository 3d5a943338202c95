#include "sim/sim_adapter.h"

#include <charconv>

namespace qv::sim {

namespace {

constexpr int kFifoTimeoutCharacters = 4;

// The number at the end of `text` after `prefix` and before `suffix`; `fallback` when absent.
bool NumberAfter(const std::string& text, const std::string& prefix, const std::string& suffix, int fallback,
                 int& value) {
  if (text == prefix) {
    value = fallback;
    return true;
  }
  if (!text.starts_with(prefix + "-") || !text.ends_with(suffix)) return false;
  const char* first = text.data() + prefix.size() + 1;
  const char* last = text.data() + text.size() - suffix.size();
  const auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last && first != last && value > 0 && value <= 255;
}

}  // namespace

bool AdapterTiming::Parse(const std::string& text, AdapterTiming& into) {
  int n = 0;
  if (NumberAfter(text, "ft232", "ms", 16, n)) into = Ft232(std::chrono::milliseconds(n));
  else if (NumberAfter(text, "ch340", "ms", 1, n)) into = Ch340(std::chrono::milliseconds(n));
  else if (NumberAfter(text, "uart", "", 14, n)) into = Uart(n);
  else return false;
  return true;
}

AdapterModel::AdapterModel(const AdapterTiming& timing, int rate, Clock::time_point start)
    : timing_(timing), timerStart_(start) {
  SetRate(rate);
}

void AdapterModel::SetRate(int rate) {
  character_ = std::chrono::nanoseconds(rate > 0 ? 10 * 1'000'000'000LL / rate : 0);
}

void AdapterModel::Arrive(Clock::time_point at, char byte, bool endLump) {
  if (held_.empty()) firstHeld_ = at;
  held_ += byte;
  lastHeld_ = at;
  const bool full = timing_.kind == AdapterTiming::Kind::UsbChip ? static_cast<int>(held_.size()) >= timing_.packetSize
                                                                 : static_cast<int>(held_.size()) >= timing_.trigger;
  if ((full || endLump) && !sendNow_) {
    sendNow_ = true;
    sendAt_ = at;
  }
}

AdapterModel::Clock::time_point AdapterModel::NextDeparture() const {
  if (held_.empty()) return Clock::time_point::max();
  if (sendNow_) return sendAt_;
  if (timing_.kind == AdapterTiming::Kind::UartFifo) return lastHeld_ + kFifoTimeoutCharacters * character_;
  // The first time the timer runs out after the first byte came in.
  const auto latency = std::chrono::duration_cast<Clock::duration>(timing_.latency);
  if (latency <= Clock::duration::zero()) return firstHeld_;
  const auto periods = (firstHeld_ - timerStart_) / latency + 1;
  return timerStart_ + periods * latency;
}

std::string AdapterModel::Depart() {
  const Clock::time_point at = NextDeparture();
  // Every packet, full or not, starts the latency timer anew.
  timerStart_ = at;
  sendNow_ = false;
  std::string lump;
  lump.swap(held_);
  return lump;
}

}  // namespace qv::sim
