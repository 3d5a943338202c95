#include "serial/burst_timing.h"

#include <algorithm>

namespace qv {

using std::chrono::nanoseconds;

namespace {
// A full-speed USB host polls an adapter once a frame, and the PC's USB stack
// may take about as long again to pass a packet on.
constexpr std::chrono::milliseconds kUsbFrame{1};
constexpr std::chrono::milliseconds kUsbHostSlack{1};
// A UART that has bytes below its trigger level interrupts after this many quiet characters.
constexpr int kFifoTimeoutCharacters = 4;
// What covering a learned gap adds to it: a quarter, and this much.
constexpr std::chrono::microseconds kLearnedMargin{100};
}  // namespace

nanoseconds CharacterTime(int rate) { return nanoseconds(rate > 0 ? 10 * 1'000'000'000LL / rate : 0); }

nanoseconds BaseQuiet(int rate, nanoseconds floor) { return std::max(2 * CharacterTime(rate), floor); }

TransportGaps TransportGaps::Of(const PortIdentity& identity, int latencyMs) {
  TransportGaps gaps;
  gaps.transport = identity.transport;
  if (latencyMs > 0) gaps.usbLatencyMs = latencyMs;
  if (identity.fifoTrigger > 0) gaps.fifoTrigger = identity.fifoTrigger;
  return gaps;
}

nanoseconds TransportGaps::LumpGap(int rate) const {
  switch (transport) {
    case PortIdentity::Transport::Usb: return std::chrono::milliseconds(usbLatencyMs) + kUsbFrame + kUsbHostSlack;
    case PortIdentity::Transport::Uart: return (fifoTrigger + kFifoTimeoutCharacters) * CharacterTime(rate);
    case PortIdentity::Transport::Unknown: break;
  }
  return nanoseconds(0);
}

void LumpLearner::Arrival(Clock::time_point at, int bytes, int rate, Clock::time_point lastSent) {
  const bool atOnce = bytes >= kLumpBytes && (bytes - 1) * CharacterTime(rate) >= kAtOnce;
  // A gap between two lumps; one that a lump merely ends (output that came
  // byte by byte, then a pause) may be the drive's own.
  if (atOnce && previousAtOnce_ && havePrevious_ && lastSent < previous_) {
    const nanoseconds gap = at - previous_;
    if (gap <= kLongestGap) {
      if (gaps_.size() == kRecent) gaps_.erase(gaps_.begin());
      gaps_.push_back(gap);
    }
  }
  previous_ = at;
  previousAtOnce_ = atOnce;
  havePrevious_ = true;
}

LumpLearner LumpLearner::WithGaps(std::vector<nanoseconds> gaps) {
  LumpLearner learner;
  if (gaps.size() > kRecent) gaps.erase(gaps.begin(), gaps.end() - kRecent);
  learner.gaps_ = std::move(gaps);
  return learner;
}

void LumpLearner::RateChanged(int oldRate) {
  if (Widest() <= kFifoReach * CharacterTime(oldRate)) gaps_.clear();
  havePrevious_ = false;
}

nanoseconds LumpLearner::Widest() const {
  if (gaps_.empty()) return nanoseconds(0);
  std::vector<nanoseconds> sorted = gaps_;
  std::sort(sorted.begin(), sorted.end());
  return sorted[sorted.size() - (sorted.size() >= kOutlierAfter ? 2 : 1)];
}

nanoseconds LumpLearner::Quiet() const {
  if (gaps_.size() < static_cast<size_t>(kSightings)) return nanoseconds(0);
  const nanoseconds widest = Widest();
  return widest + widest / 4 + kLearnedMargin;
}

}  // namespace qv
