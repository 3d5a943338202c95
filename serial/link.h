#pragma once
// The serial link: one open port, its receive thread and the record of the
// line (receive_record.h) that the main thread takes its chunks from.
//
// The receive thread reads every byte as it arrives and enters it in the
// record with its time; a send first takes in what the device already holds
// and marks the record, both under the record's lock. The record decides
// what is a chunk, a prompt or a reply; the thread wakes the main thread when
// a chunk is ready and otherwise sleeps until bytes come or the record's
// next decision is due. It never waits for the main thread, which takes the
// chunks only inside its pauses and waits, one at a time.
//
// What the record knows of the transport: a USB adapter (sysfs; see
// port_identity.h) collects bytes and sends a packet when it is full (62
// bytes on FT232-class chips, 32 on CH340-class) or when its latency timer
// runs out (16 ms out of the box, 1 ms in low-latency mode, which the open
// asks for and the close puts back); a native UART interrupts at its FIFO's
// trigger level or after four quiet character times; anything else (a
// pseudo-terminal, a bridge behind one, a network port) shows itself by its
// arrivals (LumpLearner in burst_timing.h). A quiet set by hand is a floor.
// What was learned holds for the device across opens and, in time units,
// across rates; only a lesson a FIFO could have taught at the old rate is
// forgotten at a new one.
//
// Network ports. "rfc2217://HOST:PORT" is a port served on another machine,
// "tcp://HOST:PORT" a plain bridge at a fixed rate (rfc2217_port.h). Its
// socket takes the device's place in the receive thread's epoll set; sysfs
// knows nothing of it, so its arrivals teach the gaps. A rate change returns
// once the server has confirmed the new rate.
//
// The thread waits with epoll_pwait2, whose timeout is finer than a
// millisecond; see event_wait.h for kernels that lack it.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "serial/port_identity.h"
#include "serial/receive_record.h"
#include "serial/receive_trace.h"

namespace qv {

class Rfc2217Port;

class SerialLink {
 public:
  // How long the line must be quiet at `rate` before a burst ends on a line
  // that passes bytes on as they come: two character times of 10 bits, at
  // least ReceiveRecord::kQuietFloor.
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

  // Sets the line rate; the record uses its character time at once.
  // A network port returns once its server has confirmed the new rate.
  bool SetBaud(int rate);
  int Rate() const { return rate_.load(); }

  // The least quiet that ends a burst, set by hand for this and later opens;
  // zero: none.
  void SetManualQuiet(std::chrono::microseconds quiet);
  std::chrono::microseconds ManualQuiet() const { return manual_; }
  // The quiet that ends a burst now, at the current rate.
  std::chrono::nanoseconds BurstQuiet() const;
  // What the arrivals have taught about the transport's gaps (zero: nothing).
  std::chrono::nanoseconds LearnedQuiet() const;
  // Neither sysfs, nor the arrivals, nor a gap set by hand tell how the
  // transport passes bytes on.
  bool TransportUnknown() const;
  bool SetModemLines(bool on);
  // The DTR and RTS states; false when closed or the device has no modem lines.
  bool GetModemLines(bool& dtr, bool& rts) const;

  // Closing, in two halves so that the caller can keep handling chunks until
  // the thread has finished.
  void RequestStop();
  bool ReceiverFinished() const { return finished_.load(); }
  void FinishClose();  // joins the thread, discards what is undecided or not taken, closes the device

  // --- received bytes ---
  // The next chunk the record has decided, if any.
  std::optional<ReceivedChunk> TakeChunk();
  bool ChunkReady() const;
  // Bytes not handed over yet, or a burst or a line whose end is to come.
  bool Undecided() const;
  // A line with a prompt's shape has come and waits for its burst's end.
  bool PromptPending() const;
  // The sends made since the port opened: a chunk's `sends` against this
  // says whether it came after the latest one.
  int Sends() const;
  // Writes one byte at a time, each completing before the next.
  void WriteBytewise(const char* data, size_t count);
  // Writes the whole block in one request.
  void WriteBlock(const char* data, size_t count);

  // Called once for each chunk decided, on whichever thread decided it, so
  // that a window toolkit idling in its own loop can wake up and take it.
  void SetWakeHook(std::function<void()> hook) { wakeHook_ = std::move(hook); }
  // Waits until a chunk is ready, the device is lost, or the deadline passes.
  bool WaitForChunk(std::chrono::steady_clock::time_point deadline);
  // The device went away (hang-up, error) while open; the receive thread ends
  // by itself and the main thread must still FinishClose().
  bool Lost() const { return lost_.load(); }

  // --- the trace (receive_trace.h) ---
  // Writes every entry of the record at the end of `path` from now on,
  // across opens; a trouble when the file cannot be opened.
  FileTrouble StartTrace(const std::string& path);
  // Ends the trace: the trouble of a write that failed, if any.
  FileTrouble StopTrace();
  bool Tracing() const;
  bool TraceFailed() const;
  std::string TracePath() const;

 private:
  void ReceiveLoop();
  bool OpenRemote(const std::string& name, int rate, const std::string& sysClassTty);
  bool StartReceiving();  // the record, the wake-up descriptor, the epoll set and the receive thread
  // Enters in the record what the device holds now (with mutex_ held).
  void TakeIn(std::chrono::steady_clock::time_point now, bool seenArriving);
  // Tells the main thread of chunks decided since it was last told; wakes
  // the receive thread when the record's next decision came nearer.
  void Announce(uint64_t decided, bool recordChanged);
  bool Stopping() const;
  void Fail(const std::string& what, int err);
  void CloseWakeAndPoll();
  void Wake();
  // Marks a send in the record.
  void NoteSend(const char* data, size_t count);
  // Low latency for a USB adapter, and the timing its identity implies.
  void SetUpTransport(const std::string& devicePath, const std::string& sysClassTty);

  int fd_ = -1;
  std::unique_ptr<Rfc2217Port> remote_;  // set while a network port is open; fd_ is then its socket
  int wakeFd_ = -1;  // stop requests and sends that bring a decision nearer wake the receive thread
  int pollFd_ = -1;  // the port (edge-triggered: every arrival wakes) and wakeFd_
  std::atomic<int> rate_{0};
  std::chrono::microseconds manual_{0};
  PortIdentity identity_;
  TransportGaps gaps_;
  int latencyMs_ = -1;
  bool restoreLowLatency_ = false;  // the open set the flag, the close clears it
  // The arrivals' lessons hold for the device they came from, across opens.
  LumpLearner learner_;
  std::string learnedFor_;
  int learnedAt_ = 0;
  std::thread thread_;
  std::atomic<bool> finished_{true};
  std::atomic<bool> lost_{false};
  bool readError_ = false;  // with mutex_ held
  std::string lastError_;
  int lastErrno_ = 0;

  mutable std::mutex mutex_;  // the record, the trace and the reads of the device
  std::condition_variable cv_;
  ReceiveRecord record_;
  ReceiveTrace trace_;
  bool stopping_ = false;
  std::chrono::steady_clock::time_point threadWakes_ = std::chrono::steady_clock::time_point::max();
  uint64_t announced_ = 0;  // chunks the main thread was told of
  std::function<void()> wakeHook_;
};

}  // namespace qv
