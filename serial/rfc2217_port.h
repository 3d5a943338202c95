#pragma once
// A serial port on another machine, reached over TCP, in two kinds:
//  - "rfc2217://HOST:PORT": Telnet with the COM-PORT-OPTION (RFC 2217), as
//    ser2net serves it: the line rate, 8N1, DTR/RTS and purges travel along
//    with the bytes, and 0xFF (IAC) is doubled both ways;
//  - "tcp://HOST:PORT": a plain TCP bridge: the bytes pass as they are, and
//    the rate is whatever the server's side was set to: it cannot change.
// The scheme is matched in any letter case.
//
// The client is our own, not libgensio's, because of how the link receives:
// one thread waits on descriptors with epoll, wakes for every arrival and
// times the quiet between them to the microsecond, and the main thread reads
// the queued bytes and moves the rate. gensio runs its own event loop and
// hands data and rate confirmations to callbacks from whichever thread
// services it; fitting that in would mean giving the receive thread's wait
// to gensio, or a second loop and thread to bridge the two. The part of
// Telnet a serial port needs is small: here the socket stays a plain
// descriptor in the receive thread's epoll set, and whichever thread looks
// next (the receive thread on an arrival, the main thread while it waits
// for a confirmation or reads) takes what the socket holds, under one lock.
//
// Telnet begins from our side: the offers go out as soon as the connection
// is made, since RFC 2217 lets a server wait for the client to begin. A
// server that answers none of them within the open's limit is no Telnet
// server, and the open fails saying so; a plain bridge has its own scheme.
//
// Rates. At open the server is asked for each rate of the rate table in turn
// (SET-BAUDRATE and its answer), then for the open's rate: the rates it
// confirmed are the ones the port offers. A server may answer a request with
// the rate it kept instead. A change waits for the answer; a server that does
// not give it in time leaves its rate unknown, and the connection is ended
// then, so that a late answer can never pass for the answer to a later one.
//
// Sending never blocks. What the socket cannot take at once waits in an
// outbox that a thread of the port's own passes on as the server reads; a
// server that takes nothing for kWriteStall, or lets kOutboxLimit pile up,
// has the connection ended. However a connection ends, the socket is shut
// down with it, which wakes whatever waits on it (the receive thread) at once.
#include <atomic>
#include <bitset>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "serial/telnet_codec.h"

namespace qv {

class Rfc2217Port {
 public:
  static constexpr std::string_view kTelnetScheme = "rfc2217://";
  static constexpr std::string_view kTcpScheme = "tcp://";
  // Connecting, negotiating and the rate probe end with a message after this long.
  static constexpr std::chrono::seconds kOpenLimit{5};
  // How long a port the server calls in use is tried again, and how often.
  static constexpr std::chrono::milliseconds kBusyWait{1000};
  static constexpr std::chrono::milliseconds kBusyRetry{50};
  // A plain bridge that refuses a second user says so and closes at once:
  // watched for that after connecting, four times as long as the connecting
  // took, within these bounds.
  static constexpr std::chrono::milliseconds kRefusalWatchShortest{50};
  static constexpr std::chrono::milliseconds kRefusalWatchLongest{1000};
  // How long a rate change may wait for the server's answer.
  static constexpr std::chrono::seconds kReplyLimit{3};
  // A server that takes no byte for this long, or leaves this much unsent,
  // counts as lost.
  static constexpr std::chrono::seconds kWriteStall{10};
  static constexpr size_t kOutboxLimit = 1 << 20;

  // Either scheme, in any letter case.
  static bool IsNetworkPort(std::string_view name);
  static bool IsPlainBridge(std::string_view name);  // tcp://
  // The host and port number of "SCHEME://HOST:PORT" ("[v6 address]:PORT"
  // too); false when it is not of that form.
  static bool SplitName(std::string_view name, std::string& host, std::string& service);

  Rfc2217Port() = default;
  Rfc2217Port(const Rfc2217Port&) = delete;
  Rfc2217Port& operator=(const Rfc2217Port&) = delete;
  ~Rfc2217Port() { Close(); }

  // Connects to `name`; on rfc2217:// negotiates, asks for each rate of the
  // rate table, and sets 8N1 at `rate` with DTR and RTS low. False with
  // Error() naming the address and what happened; never longer than `limit`,
  // the name lookup included.
  bool Open(const std::string& name, int rate, std::chrono::milliseconds limit = kOpenLimit);
  void Close();
  int Fd() const { return fd_; }
  // False on a plain TCP bridge, and on a Telnet server without the
  // COM-PORT-OPTION: the rate cannot be changed.
  bool RateControl() const { return rateControl_; }
  bool Telnet() const { return telnet_; }

  // What the server answered at open when asked for each rate of the rate
  // table (the open's rate last); empty without rate control.
  struct RateTrial {
    int rate;
    int64_t answer;  // the rate it confirmed: `rate`, or the one it kept
  };
  const std::vector<RateTrial>& RateTrials() const { return trials_; }
  // Why `rate` cannot be had, known without asking: no rate control, or the
  // server did not confirm it at open. Empty when it may be asked for.
  std::string KnownRefusal(int rate) const;

  // A rate change in two halves, so that a caller can keep its window alive
  // while the answer travels: RequestBaud sends SET-BAUDRATE, BaudAnswered
  // tells when the answer is in (or the connection ended), SetBaud(the same
  // rate) takes the answer, waiting out what is left of kReplyLimit. SetBaud
  // alone does all three. False when the server answered another rate, did
  // not answer (the connection is then ended), or the rate cannot change;
  // RateProblem() says which.
  bool RequestBaud(int rate);
  bool BaudAnswered();
  bool SetBaud(int rate);
  std::string RateProblem() const;
  void SetModemLines(bool on);
  bool GetModemLines(bool& dtr, bool& rts) const;
  // Discards what waits on the server's side in both directions, and what
  // has come here unread.
  void Purge();

  // Errors the server saw on its line (RFC 2217 NOTIFY-LINESTATE) since the
  // last call: each a byte lost or garbled at the bench.
  struct LineErrors {
    int overrun = 0, parity = 0, framing = 0, breaks = 0;
    bool Any() const { return overrun + parity + framing + breaks > 0; }
  };
  LineErrors TakeLineErrors();
  // Whether TakeLineErrors has any, without taking the lock: looked at after
  // every hand-over of received bytes.
  bool LineErrorsPending() const { return lineErrorsPending_.load(); }

  // Takes what the socket holds (never blocks) and returns the line bytes
  // waiting to be read. Safe on any thread.
  int Pump();
  // The line bytes waiting, without looking at the socket.
  int Queued() const;
  // The connection ended (the server closed it, or it failed, or it was given up).
  bool Closed() const;
  // The line bytes received so far, at once.
  std::string Take();
  // The first `count` of the line bytes already taken from the socket. The
  // socket is left alone: what it holds still wakes the receive thread.
  std::string TakeQueued(size_t count);
  // Sends line bytes (IAC doubled on rfc2217://); returns at once.
  void Write(const char* data, size_t count);

  // Why the last open failed, or why the connection ended (UTF-8).
  std::string Error() const;

  // How long a server may take no byte before the connection is given up
  // (kWriteStall). For tests.
  void SetWriteStall(std::chrono::milliseconds stall);

 private:
  using Clock = std::chrono::steady_clock;
  void Reset();  // closed, every state of a connection forgotten
  bool Connect(const std::string& host, const std::string& service, Clock::time_point deadline);
  bool Negotiate(int rate, Clock::time_point deadline);
  bool ProbeRates(int rate, Clock::time_point deadline);
  // A plain bridge: true unless the server closes at once (in use, say).
  bool WatchForRefusal(Clock::time_point deadline);
  // Says why the server closed during the open, and whether to try again.
  void ExplainClose(bool duringNegotiation);
  // Pumps until `done` holds, the connection ends or `deadline` passes.
  template <typename Done>
  bool PumpUntil(Done done, Clock::time_point deadline);
  // Asks for `rate` and waits for the answer until `deadline`: the answer, or -1.
  int64_t AskRate(int rate, Clock::time_point deadline, std::string_view alongWith = {});
  void Handle(const telnet::Event& event);  // with mutex_ held
  bool Send(std::string_view bytes);
  void WriterLoop();
  void LoseWriting(int err);           // with writeMutex_ held
  void Lose(const std::string& why);  // with mutex_ held
  std::string ServerText() const;     // with mutex_ held
  std::string LimitText() const;      // "5 秒"

  int fd_ = -1;
  std::string name_;
  bool telnet_ = false;
  bool rateControl_ = false;
  int rate_ = 0;
  std::chrono::milliseconds limit_{kOpenLimit};
  Clock::duration connectTook_{};
  bool modemOn_ = false;
  bool inUse_ = false;  // the last attempt was refused, most likely for another user holding the port
  std::vector<RateTrial> trials_;
  int rateAsked_ = 0;  // a request RequestBaud made that SetBaud has not taken yet
  Clock::time_point rateAskedAt_{};
  std::string rateProblem_;

  mutable std::mutex mutex_;  // all below; the socket's reading side
  telnet::Decoder decoder_;
  std::string queue_;
  bool closed_ = false;
  std::string error_;
  bool telnetSeen_ = false;       // the server sent a Telnet command
  bool comPortAnswered_ = false;  // DO or DONT COM-PORT-OPTION came
  bool comPortAgreed_ = false;
  int64_t rateReply_ = -1;        // the rate of the latest SET-BAUDRATE answer
  LineErrors lineErrors_;
  std::atomic<bool> lineErrorsPending_{false};
  std::bitset<256> dontSent_, wontSent_;  // refusals already sent

  std::mutex writeMutex_;  // the sending side: one sender at a time, no command torn by another
  std::condition_variable writeCv_;
  std::string outbox_;  // what the socket has not taken yet, in order
  Clock::time_point lastProgress_{};
  std::chrono::milliseconds writeStall_{kWriteStall};
  bool writerStop_ = false;
  std::thread writer_;
};

}  // namespace qv
