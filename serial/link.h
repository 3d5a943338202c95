#pragma once
// The serial link: one open port, its receive thread and the hand-over of
// received bytes to the main thread.
//
// Bursts. The drive answers each command with a burst of output and waits.
// Prompts and the block protocol's one-byte answers are decided per burst: a
// line ending in ">" is the prompt only when the burst ends with it, and "w"
// 0x88, 0x06 or 0x15 count only as a burst of their own. The reader never
// sees a burst, only the line falling quiet, and how long that quiet must be
// depends on how the transport passes the bytes on:
//  - a pseudo-terminal written a byte at a time passes each on at once: two
//    character times, at least 100 us (its own jitter), end a burst;
//  - a USB adapter collects bytes and sends a packet when it is full (62
//    bytes on FT232-class chips, 32 on CH340-class) or when its latency timer
//    runs out (16 ms out of the box, 1 ms in low-latency mode), and the host
//    polls it once a millisecond: one burst arrives as lumps up to latency +
//    1 ms apart (the quiet allows another millisecond for the PC's USB
//    stack), and a lump may end anywhere, right after the "->" of "Zone 3 ->
//    Cyl" or between "w" and 0x88;
//  - a native UART interrupts at its FIFO's trigger level or after four quiet
//    character times: lumps up to (trigger + 4) character times apart;
//  - anything else, a network bridge behind a pseudo-terminal say, shows
//    itself by its arrivals: a waiting reader wakes for the first byte, so
//    finding more bytes at once than the line carries in a few hundred
//    microseconds (and at least four: at slow rates a reader the machine
//    held back finds two or three) means they were held back and passed on
//    together. Once two lumps in a row have come that way, twice, the quiet
//    covers the gaps seen between such lumps (with nothing sent in between):
//    the widest of the last sixteen, or from eight on the next widest, so
//    that one late wake-up of a loaded machine neither counts for good nor
//    makes the quiet creep. Gaps are kept in time units across rate changes
//    and opens; only a lesson a FIFO could have taught at the old rate (gaps
//    up to 20 character times) starts again at a new one. Gaps over 25 ms
//    are taken for the drive's own pauses and never learned: a transport
//    that hides longer gaps needs the gap set by hand.
// The quiet that ends a burst is the largest of these that applies: what
// sysfs tells of the device (a USB interface, latency_timer, rx_trig_bytes;
// see port_identity.h; a link counts as the device it leads to), what the
// arrivals taught on this port, two character times, and a gap a technician
// set by hand. That gap is a floor, never a replacement: set shorter than an
// adapter's packets it would cut them apart.
//
// A burst also ends when the PC sends: what came before a command cannot
// answer it. So a long quiet (a gap set by hand, say) never joins the echo
// of a command with the ready that answers the next step. Only the reply
// markers take that end for one: a line it cuts may go on ("Zone 3 ->" then
// " Cyl 1A2B"), so a line ending in ">" is decided with what follows. The
// cut is where the write began, counted in bytes: the PC notes how many were
// waiting when it started to send, and only those end with the output
// before the command. A receive thread that wakes late (a loaded machine)
// finds the answer queued behind them, and hands it over as a burst of its
// own, never as output from before the command it answers.
//
// Before anything is known. A transport that sysfs does not describe and
// that has taught nothing yet (the first exchanges of a session through a
// bridge), with no gap set by hand, gets the quiet of a pseudo-terminal, as
// it may be one written a byte at a time. That decides almost everything
// right: the drive's prompts are taken by their shape (below), and it sends
// its ready "w" 0x88 in one piece. What a lump edge could still turn into
// something else waits a further kUnknownLumpGap (an adapter's 16 ms timer,
// its frame and the host's) before it counts, unless bytes come first: a
// burst that is exactly "w" (its 0x88 may follow), and a line ending in ">"
// without a prompt's shape ("Zone 3 ->" may go on with " Cyl 1A2B"). Nothing
// else pays for it, and once the transport is known or learned its own gap
// applies.
//
// Hand-over. The receive thread only watches the line (and the stop request,
// which wins). It hands a chunk over when the burst is over, or 10 ms after
// the chunk's first byte for long output, and parks until the main thread has
// read exactly the queued bytes; a chunk handed over before its burst ended is
// followed, once it ends, by a notification without bytes (unless the main
// thread has ended the burst itself by taking a prompt, below). When the main
// thread cannot decide at a burst's end (above, and a command typed ahead,
// below), it asks for the end once more after a further quiet.
//
// Prompts sooner than the quiet. A quiet that covers an adapter's packets
// would hold every prompt back by that much: 16 ms at each of the 65536
// exchanges of an instruction ROM read through an adapter as it comes. So
// while the main thread waits for a prompt, the thread hands each lump over
// as it arrives (bytes that come meanwhile join the next one), and the main
// thread takes a line that has the shape of the drive's prompts ("F3 T>", "T>",
// "2>") at once when it is the last thing received: the drive prints one only
// to wait for the next command. Any other line ending in ">" still waits for
// the burst's end, and so do the reply markers; a prompt taken early ends its
// burst for them, so the answer to the next command starts a burst of its own.
//
// Network ports. "rfc2217://HOST:PORT" is a port ser2net serves on another
// machine (rfc2217_port.h; a client of our own rather than libgensio's, for
// the reasons given there). Its socket takes the device's place in the
// receive thread's epoll set. TCP hands the drive's output over in segments
// that end anywhere, on top of the remote adapter's own packets: sysfs knows
// nothing of it, so it counts as a transport of unknown lumps, never as a
// pseudo-terminal passing bytes on one at a time, and its arrivals teach the
// gaps. A rate change returns only once the server has confirmed the new
// rate, so nothing goes out at the old one after the drive has switched.
//
// Commands typed ahead. A prompt answers the oldest command not yet answered.
// While more than one command has been sent since the drive last showed a
// prompt (a prompt request sent before the previous one was answered), the
// prompt that comes may answer an earlier one, and the answer to the last
// may follow in the transport's next lump. Such a prompt is taken only when
// its burst has ended and then stayed quiet for a further lump gap (the
// burst quiet again, or kUnknownLumpGap on an unknown transport): the later
// answer, if it was cut off by a lump edge, joins the burst and its prompt is
// the one taken. This holds on every transport, because the further wait is
// the transport's own lump gap; it costs nothing while commands go one at a
// time, which is how every exchange that waits for its prompt runs.
//
// Adapters. Opening a USB adapter asks its driver for low latency
// (ASYNC_LOW_LATENCY: FT232-class drivers then run the timer at 1 ms), and
// closing puts the flag back, as does an open that fails after asking. A
// driver that refuses, a pseudo-terminal that has no such setting, or an
// adapter that was pulled out changes nothing.
//
// Waiting. The receive thread waits with epoll_pwait2, whose timeout is finer
// than a millisecond; see event_wait.h for kernels that lack it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serial/burst_timing.h"
#include "serial/port_identity.h"

namespace qv {

class Rfc2217Port;

// Why the receive thread handed a chunk over.
enum class ChunkEnd {
  Quiet,      // the line fell quiet: the drive's burst is complete
  TimeLimit,  // the burst was still going 10 ms after the chunk's first byte
  QueueFull,  // the input queue could take no more
  MoreCame,   // bytes arrived between the decision and the read and were read with the chunk
  Lump,       // handed over as it came while a prompt was awaited; the burst may go on
  Sent,       // the PC wrote meanwhile: the output before its command ends here, though a line may go on
};

class SerialLink {
 public:
  // A chunk also ends after this long, so long output still arrives in pieces.
  static constexpr std::chrono::microseconds kChunkLimit{10'000};
  // The shortest quiet that ends a chunk, whatever the rate. A pseudo-terminal
  // passes a burst written back to back on with gaps of up to about 50 us (99
  // bursts in 100; see the PtyBurstSpread benchmark); most of the rest are
  // stalls of milliseconds that no floor could cover. It rules from about
  // 200 kbaud up.
  static constexpr std::chrono::microseconds kQuietFloor{100};
  // How long the line must be quiet at `rate` before a chunk ends on a line
  // that passes bytes on as they come: two character times of 10 bits, at
  // least kQuietFloor.
  static std::chrono::nanoseconds QuietTime(int rate);

  SerialLink();
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;
  ~SerialLink();

  // Opens the device exclusively (an advisory lock, then the tty's exclusive
  // flag, so neither another program nor root can share it), makes it raw 8N1
  // at `rate` and starts the receive thread. A USB adapter is asked for low
  // latency. `sysClassTty` is where sysfs lists tty devices (tests fake it).
  // On failure LastError() says why.
  bool Open(const std::string& devicePath, int rate, const std::string& sysClassTty = "/sys/class/tty");
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& LastError() const { return lastError_; }
  // A port on another machine (rfc2217://HOST:PORT or tcp://HOST:PORT), see rfc2217_port.h.
  bool IsRemote() const { return remote_ != nullptr; }
  // Its client, for what only a network port has (the rates its server
  // confirmed, line-state notices, a rate change awaited in two halves); null
  // for a local device. Valid until the port closes.
  Rfc2217Port* Remote() const { return remote_.get(); }
  // False where the rate cannot be changed: a network port behind a plain TCP bridge.
  bool RateChangeable() const;
  // Why a network port's connection ended (UTF-8); empty for a local device.
  std::string LostReason() const;
  int LastErrno() const { return lastErrno_; }

  // What sysfs told of the open device, and its latency timer as it read
  // after low latency was asked for (-1: none).
  const PortIdentity& Identity() const { return identity_; }
  int LatencyTimerMs() const { return latencyMs_; }

  // Sets the line rate; the receive thread uses its character time at once.
  // A network port returns once its server has confirmed the new rate.
  bool SetBaud(int rate);
  int Rate() const { return rate_.load(); }

  // The least quiet that ends a burst, set by hand for this and later opens
  // (see the top of this file); zero: none.
  void SetManualQuiet(std::chrono::microseconds quiet) { manualNs_ = std::chrono::nanoseconds(quiet).count(); }
  std::chrono::microseconds ManualQuiet() const;
  // The quiet that ends a burst now, at the current rate.
  std::chrono::nanoseconds BurstQuiet() const;
  // What the arrivals have taught about the transport's gaps (zero: nothing).
  std::chrono::nanoseconds LearnedQuiet() const { return std::chrono::nanoseconds(learnedNs_.load()); }
  // The longest gap between the lumps of one burst on a transport nothing is
  // known of: an adapter's latency timer as it comes (16 ms), its frame and
  // the host's.
  static constexpr std::chrono::milliseconds kUnknownLumpGap{20};
  // Neither sysfs, nor the arrivals, nor a gap set by hand tell how the
  // transport passes bytes on.
  bool TransportUnknown() const;
  // How long a burst whose end is in doubt must stay quiet before it counts
  // as over: kUnknownLumpGap on an unknown transport, else the burst quiet
  // once more (see the top of this file).
  std::chrono::nanoseconds SettleQuiet() const;
  // The receive thread has seen bytes it has not handed over yet, or owes
  // the end of a burst.
  bool Holding() const { return holding_.load(); }
  // While on, each lump is handed over as it arrives (see the top of this
  // file); the main thread turns it on while it awaits a prompt.
  void SetPromptAwaited(bool on);
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
  // Releases the receive thread after the main thread has handled a
  // notification. After a lump handed over while a prompt was awaited, the
  // end of its burst is announced only when `burstEndWanted`: a prompt taken
  // at once has ended the output for the main thread already. A nonzero
  // `settle` says the main thread could not decide at the end of the burst:
  // the end is announced once more, by a notification without bytes, when
  // the line has stayed quiet that long (or the PC writes), unless bytes
  // come first.
  void NotificationHandled(bool burstEndWanted = true, std::chrono::nanoseconds settle = {});
  // Waits until a notification is pending, the device is lost, or the deadline passes.
  bool WaitForNotification(std::chrono::steady_clock::time_point deadline);
  // The device went away (hang-up, error) while open; the receive thread ends
  // by itself and the main thread must still FinishClose().
  bool Lost() const { return lost_.load(); }

 private:
  void ReceiveLoop();
  bool OpenRemote(const std::string& name, int rate, const std::string& sysClassTty);
  bool StartReceiving();  // the wake-up descriptor, the epoll set and the receive thread
  // Line bytes waiting to be read: the driver's queue, or what a network port has decoded.
  int QueuedInput();
  // Posts a notification for a chunk that ended for `end` with `queued` bytes
  // and parks until it is handled; false when a stop request came instead.
  bool HandOver(ChunkEnd end, int queued);
  bool Stopping() const;
  void Fail(const std::string& what, int err);
  void CloseWakeAndPoll();
  void Wake();
  // Called as a write begins (`starting`) and as it ends.
  void NoteWrite(bool starting);
  // Low latency for a USB adapter, and the timing its identity implies.
  void SetUpTransport(const std::string& devicePath, const std::string& sysClassTty);
  std::chrono::nanoseconds QuietAt(int rate) const;

  int fd_ = -1;
  std::unique_ptr<Rfc2217Port> remote_;  // set while a network port is open; fd_ is then its socket
  int wakeFd_ = -1;  // stop requests, rate changes and an awaited prompt wake the receive thread
  int pollFd_ = -1;  // the port (edge-triggered: every arrival wakes) and wakeFd_
  std::atomic<int> rate_{0};
  std::atomic<int64_t> manualNs_{0};
  std::atomic<int64_t> learnedNs_{0};  // written by the receive thread
  std::atomic<int> rateChangedFrom_{0};  // the rate changed from this: the receive thread forgets what only held there
  std::atomic<bool> promptAwaited_{false};
  std::atomic<bool> holding_{false};   // the receive thread holds bytes not yet handed over
  std::atomic<int64_t> lastWriteNs_{0};  // steady clock: when the PC last wrote
  std::atomic<int> queuedAtWrite_{0};    // bytes waiting when the PC's last write began
  PortIdentity identity_;
  TransportGaps gaps_;
  int latencyMs_ = -1;
  bool restoreLowLatency_ = false;  // the open set the flag, the close clears it
  // The arrivals' lessons hold for the device and rate they came from, across opens.
  LumpLearner learner_;
  std::string learnedFor_;
  int learnedAt_ = 0;
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
  int pendingCount_ = 0;                   // bytes queued when it decided (a Sent chunk: exactly its bytes)
  ChunkEnd handledEnd_ = ChunkEnd::Quiet;  // set by ReadAvailable
  bool endWanted_ = true;                  // set by NotificationHandled
  int64_t settleNs_ = 0;                   // set by NotificationHandled
  std::function<void()> wakeHook_;
};

}  // namespace qv
