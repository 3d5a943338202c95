#pragma once
// How long the line must stay quiet before a burst of the drive's output is
// over: what the transport is known to do, and what its arrivals show.
// How they decide is told at the top of serial/receive_record.h.
#include <chrono>
#include <vector>

#include "serial/port_identity.h"

namespace qv {

// The time a character of 10 bits takes at `rate`.
std::chrono::nanoseconds CharacterTime(int rate);

// The shortest quiet that ends a burst on any transport: two character times,
// at least `floor`.
std::chrono::nanoseconds BaseQuiet(int rate, std::chrono::nanoseconds floor);

// What is known of a transport's lumps before a byte has come.
struct TransportGaps {
  PortIdentity::Transport transport = PortIdentity::Transport::Unknown;
  int usbLatencyMs = 1;  // USB: the latency timer; an adapter without one flushes within a millisecond
  int fifoTrigger = 14;  // UART: the FIFO's trigger level (14 when sysfs does not show it)

  // From the port's identity; `latencyMs` is the timer as it reads after
  // the open asked for low latency (-1: none).
  static TransportGaps Of(const PortIdentity& identity, int latencyMs);
  // The longest gap between two lumps of one burst at `rate`, beyond the
  // base quiet: a USB adapter's latency timer and frame, a UART's FIFO
  // trigger level and its timeout of four character times.
  std::chrono::nanoseconds LumpGap(int rate) const;
};

// Learns from the arrival pattern whether the transport holds bytes back and
// hands them over in lumps (a serial bridge, an adapter sysfs does not
// show), and how far apart the lumps of one burst come: the gaps between two
// lumps in a row, with nothing sent by the PC in between. Used by the
// receive thread only.
class LumpLearner {
 public:
  using Clock = std::chrono::steady_clock;
  // More bytes at once than the line carries in this long came as one lump:
  // a reader that was waiting would have woken for the first of them.
  static constexpr std::chrono::microseconds kAtOnce{300};
  // ... and at least this many: at slow rates a reader the machine kept from
  // running for two character times finds two bytes at once as well.
  static constexpr int kLumpBytes = 4;
  // Lumps seen before the pattern counts; a reader the machine kept from
  // running once looks the same as a lump.
  static constexpr int kSightings = 2;
  // Longer gaps are pauses of the drive, not of the transport.
  static constexpr std::chrono::milliseconds kLongestGap{25};
  // The estimate rests on this many recent gaps; older ones are forgotten.
  static constexpr size_t kRecent = 16;
  // From this many gaps on, the widest one alone is taken for the machine's
  // doing (a late wake-up) and the next widest rules.
  static constexpr size_t kOutlierAfter = 8;
  // A FIFO's lumps come up to this many character times apart (a trigger of
  // 16 and a time-out of 4): such gaps scale with the rate.
  static constexpr int kFifoReach = 20;

  // `bytes` new bytes seen at `at` by a reader that was waiting for them, at
  // `rate`. `lastSent`: when the PC last wrote to the line; after a write,
  // bytes may answer it rather than go on with a burst.
  void Arrival(Clock::time_point at, int bytes, int rate, Clock::time_point lastSent);
  // Bytes came while the reader was busy (handing a chunk over): the next
  // arrival has no gap to measure and may hold more than one lump.
  void Interrupted() { havePrevious_ = false; }
  // The line changed from `oldRate`: a lesson a FIFO could have taught at
  // that rate (its gaps scale with the rate) starts again; one of longer
  // gaps came from a timer and holds at any rate.
  void RateChanged(int oldRate);
  // The quiet that covers the gaps seen between lumps; zero until the
  // pattern is clear.
  std::chrono::nanoseconds Quiet() const;
  void Reset() { *this = LumpLearner(); }
  // The gaps the estimate rests on, the most recent last; a learner that
  // holds them (and has seen no lump since) answers as this one does.
  const std::vector<std::chrono::nanoseconds>& Gaps() const { return gaps_; }
  static LumpLearner WithGaps(std::vector<std::chrono::nanoseconds> gaps);

 private:
  // The gap the quiet covers: the widest recent one, or the next widest
  // once there are enough to call one a late wake-up.
  std::chrono::nanoseconds Widest() const;

  Clock::time_point previous_{};
  bool havePrevious_ = false;
  bool previousAtOnce_ = false;
  std::vector<std::chrono::nanoseconds> gaps_;  // the most recent last
};

}  // namespace qv
