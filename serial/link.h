#pragma once
// The serial link: one open port, its receive thread and the hand-over of
// received bytes to the main thread.
//
// The receive thread only watches the line (and the stop request, which
// wins). It hands over a chunk once the drive's burst of output is over -- the
// line quiet for two character times -- or, for long output, 10 ms after the
// chunk's first byte, and then parks until the main thread has read exactly
// the bytes that are queued. A reply the drive sends in one go thus arrives as
// one chunk even through an adapter that passes bytes on one at a time. All
// reads, writes, opens and closes happen on the main thread.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace qv {

// Why the receive thread handed a chunk over.
enum class ChunkEnd {
  Quiet,      // the line fell quiet: the drive's burst is complete
  TimeLimit,  // the burst was still going 10 ms after the chunk's first byte
  QueueFull,  // the input queue could take no more
  MoreCame,   // bytes arrived between the decision and the read and were read with the chunk
};

class SerialLink {
 public:
  // A chunk also ends after this long, so long output still arrives in pieces.
  static constexpr std::chrono::microseconds kChunkLimit{10'000};
  // The shortest quiet that ends a chunk, whatever the rate. A pseudo-terminal
  // passes a burst written back to back on with gaps of up to about 50 us (99
  // bursts in 100; see the PtyBurstSpread benchmark); most of the rest are
  // stalls of milliseconds that no floor could cover. It rules from about
  // 200 kbaud up, where every prompt waits for it.
  static constexpr std::chrono::microseconds kQuietFloor{100};
  // How long the line must be quiet at `rate` before a chunk ends: two
  // character times of 10 bits, at least kQuietFloor.
  static std::chrono::nanoseconds QuietTime(int rate);

  SerialLink() = default;
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;
  ~SerialLink();

  // Opens the device exclusively (an advisory lock, then the tty's exclusive
  // flag, so neither another program nor root can share it), makes it raw 8N1
  // at `rate` and starts the receive thread. On failure LastError() says why.
  bool Open(const std::string& devicePath, int rate);
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& LastError() const { return lastError_; }
  int LastErrno() const { return lastErrno_; }

  // Sets the line rate; the receive thread uses its character time at once.
  bool SetBaud(int rate);
  bool SetModemLines(bool on);
  // The DTR and RTS states; false when closed or the device has no modem lines.
  bool GetModemLines(bool& dtr, bool& rts) const;

  // Closing, in two halves so that the caller can keep handling notifications
  // (the thread may be parked on one) until the thread has finished.
  void RequestStop();
  bool ReceiverFinished() const { return finished_.load(); }
  void FinishClose();  // joins the thread, discards queued bytes, closes the device

  // The bytes waiting in the input queue, read at once; never blocks. Inside
  // the handling of a notification this is the chunk it announced.
  std::string ReadAvailable();
  // Why the chunk of the last notification handled ended (read it after
  // ReadAvailable). Anything but Quiet means the drive's burst goes on, and a
  // notification follows once it ends, without bytes if none came.
  ChunkEnd LastChunkEnd() const;
  // Writes one byte at a time, each completing before the next.
  void WriteBytewise(const char* data, size_t count);
  // Writes the whole block in one request.
  void WriteBlock(const char* data, size_t count);

  // --- hand-over to the main thread ---
  // Called on the receive thread whenever a notification is posted, so that a
  // window toolkit idling in its own loop can wake up and serve it.
  void SetWakeHook(std::function<void()> hook) { wakeHook_ = std::move(hook); }
  bool NotificationPending() const;
  // Releases the receive thread after the main thread has handled a notification.
  void NotificationHandled();
  // Waits until a notification is pending, the device is lost, or the deadline passes.
  bool WaitForNotification(std::chrono::steady_clock::time_point deadline);
  // The device went away (hang-up, error) while open; the receive thread ends
  // by itself and the main thread must still FinishClose().
  bool Lost() const { return lost_.load(); }

 private:
  void ReceiveLoop();
  // Posts a notification for a chunk that ended for `end` with `queued` bytes
  // and parks until it is handled; false when a stop request came instead.
  bool HandOver(ChunkEnd end, int queued);
  bool Stopping() const;
  void Fail(const std::string& what, int err);
  void CloseWakeAndPoll();

  int fd_ = -1;
  int wakeFd_ = -1;  // stop requests and rate changes wake the receive thread
  int pollFd_ = -1;  // the port (edge-triggered: every arrival wakes) and wakeFd_
  std::atomic<int64_t> quietNs_{0};
  std::thread thread_;
  std::atomic<bool> finished_{true};
  std::atomic<bool> lost_{false};
  std::atomic<bool> readError_{false};
  std::string lastError_;
  int lastErrno_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool pending_ = false;
  bool stopping_ = false;
  ChunkEnd pendingEnd_ = ChunkEnd::Quiet;  // set by the receive thread with pending_
  int pendingCount_ = 0;                   // bytes queued when it decided
  ChunkEnd handledEnd_ = ChunkEnd::Quiet;  // set by ReadAvailable
  std::function<void()> wakeHook_;
};

}  // namespace qv
