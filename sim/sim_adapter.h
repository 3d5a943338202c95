// A serial adapter between the drive and the PC, as far as timing goes: the
// drive's bytes reach it at the line's pace and leave it in lumps. A USB chip
// sends a packet when it is full or when its latency timer runs out; a UART
// interrupts when its FIFO reaches the trigger level or after four quiet
// character times. Behind a pseudo-terminal this shows a program what a real
// adapter would hand it.
#pragma once

#include <chrono>
#include <string>

namespace qv::sim {

struct AdapterTiming {
  enum class Kind { UsbChip, UartFifo };
  Kind kind = Kind::UsbChip;
  int packetSize = 62;                         // USB: data bytes a packet holds
  std::chrono::microseconds latency{16'000};  // USB: the latency timer
  int trigger = 14;                            // UART: the FIFO's trigger level

  // FT232-class: 62 bytes a packet, 16 ms out of the box, 1 ms in low-latency mode.
  static AdapterTiming Ft232(std::chrono::milliseconds latency) { return {Kind::UsbChip, 62, latency, 0}; }
  // CH340-class: 32 bytes a packet.
  static AdapterTiming Ch340(std::chrono::milliseconds latency) { return {Kind::UsbChip, 32, latency, 0}; }
  static AdapterTiming Uart(int trigger) { return {Kind::UartFifo, 0, {}, trigger}; }
  // "ft232", "ft232-1ms", "ch340", "ch340-16ms", "uart", "uart-8": false for another text.
  static bool Parse(const std::string& text, AdapterTiming& into);
};

// The adapter's buffer. Bytes arrive in time order; a lump leaves at
// NextDeparture(). Whoever drives it takes each lump out with Depart() before
// feeding a byte that arrives later.
class AdapterModel {
 public:
  using Clock = std::chrono::steady_clock;

  // `start`: when the USB chip's latency timer last ran out (it runs all the
  // time, sending empty packets while there is nothing to send).
  AdapterModel(const AdapterTiming& timing, int rate, Clock::time_point start);
  // The UART's timeout counts character times of the line's rate.
  void SetRate(int rate);

  // A byte whose last bit reached the adapter at `at`. `endLump`: the
  // adapter sends what it holds right after this byte.
  void Arrive(Clock::time_point at, char byte, bool endLump = false);
  // When what the adapter holds leaves if no more bytes come (max(): it holds nothing).
  Clock::time_point NextDeparture() const;
  // The bytes that leave at NextDeparture().
  std::string Depart();
  bool Empty() const { return held_.empty(); }
  // When the last byte held reached the adapter.
  Clock::time_point LastHeld() const { return lastHeld_; }

 private:
  AdapterTiming timing_;
  std::chrono::nanoseconds character_{};
  std::string held_;
  Clock::time_point firstHeld_{}, lastHeld_{};
  Clock::time_point timerStart_{};  // USB: the timer runs out at timerStart_ + k * latency
  bool sendNow_ = false;
  Clock::time_point sendAt_{};
};

}  // namespace qv::sim
