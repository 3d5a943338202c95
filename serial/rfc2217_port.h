#pragma once
// A serial port on another machine, served over TCP by ser2net with the
// Telnet COM-PORT-OPTION (RFC 2217): the port name "rfc2217://HOST:PORT".
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
// A server that does not begin Telnet negotiation when the connection opens
// is a plain TCP bridge: bytes pass as they are, and the rate is whatever
// the server's side was set to, so no rate change is possible. Nothing is
// sent to find that out, since a plain bridge would pass Telnet commands on
// to the drive as line noise.
#include <bitset>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

#include "serial/telnet_codec.h"

namespace qv {

class Rfc2217Port {
 public:
  static constexpr std::string_view kScheme = "rfc2217://";
  // Connecting and negotiating end with a message after this long.
  static constexpr std::chrono::seconds kOpenLimit{5};
  // A Telnet server speaks first; silence this long means a plain TCP bridge.
  static constexpr std::chrono::milliseconds kTelnetWait{800};
  // How long a port the server calls in use is tried again, and how often.
  static constexpr std::chrono::milliseconds kBusyWait{1000};
  static constexpr std::chrono::milliseconds kBusyRetry{50};
  // How long a rate change may wait for the server's confirmation.
  static constexpr std::chrono::seconds kReplyLimit{3};
  // A write that makes no progress for this long counts as a lost connection.
  static constexpr std::chrono::seconds kWriteStall{10};

  static bool IsNetworkPort(std::string_view name) { return name.substr(0, kScheme.size()) == kScheme; }
  // The host and port number of "rfc2217://HOST:PORT" ("[v6 address]:PORT" too); false when it is not of that form.
  static bool SplitName(std::string_view name, std::string& host, std::string& service);

  Rfc2217Port() = default;
  Rfc2217Port(const Rfc2217Port&) = delete;
  Rfc2217Port& operator=(const Rfc2217Port&) = delete;
  ~Rfc2217Port() { Close(); }

  // Connects to `name` (rfc2217://HOST:PORT), negotiates, and sets 8N1 at
  // `rate` with DTR and RTS low. False with Error() naming the host and what
  // happened; never longer than `limit`, the name lookup included.
  bool Open(const std::string& name, int rate, std::chrono::milliseconds limit = kOpenLimit);
  void Close();
  int Fd() const { return fd_; }
  // False on a plain TCP bridge: the rate cannot be changed.
  bool RateControl() const { return rateControl_; }

  // Asks the server for `rate` and returns once it has confirmed it; false
  // when it answered another rate, did not answer, or cannot change rates.
  bool SetBaud(int rate);
  void SetModemLines(bool on);
  bool GetModemLines(bool& dtr, bool& rts) const;
  // Discards what waits on the server's side in both directions, and what
  // has come here unread.
  void Purge();

  // Takes what the socket holds (never blocks) and returns the line bytes
  // waiting to be read. Safe on any thread.
  int Pump();
  // The line bytes waiting, without looking at the socket.
  int Queued() const;
  // The connection ended (the server closed it, or it failed).
  bool Closed() const;
  // The line bytes received so far, at once.
  std::string Take();
  // The first `count` of the line bytes already taken from the socket. The
  // socket is left alone: what it holds still wakes the receive thread.
  std::string TakeQueued(size_t count);
  // Sends line bytes, IAC doubled; waits while the connection is busy.
  void Write(const char* data, size_t count);

  // Why the last open failed, or why the connection ended (UTF-8).
  std::string Error() const;

 private:
  void Reset();  // closed, every state of a connection forgotten
  bool Connect(const std::string& host, const std::string& service, std::chrono::steady_clock::time_point deadline);
  bool Negotiate(int rate, std::chrono::steady_clock::time_point deadline);
  // Pumps until `done` holds, the connection ends or `deadline` passes.
  template <typename Done>
  bool PumpUntil(Done done, std::chrono::steady_clock::time_point deadline);
  void Handle(const telnet::Event& event);  // with mutex_ held
  bool Send(std::string_view bytes);
  void Lose(const std::string& why);  // with mutex_ held
  std::string ServerText() const;     // with mutex_ held
  std::string LimitText() const;      // "5 秒"

  int fd_ = -1;
  std::string name_;
  bool telnet_ = false;
  bool rateControl_ = false;
  int rate_ = 0;
  std::chrono::milliseconds limit_{kOpenLimit};
  bool modemOn_ = false;
  bool inUse_ = false;  // the last attempt was refused, most likely for another user holding the port

  mutable std::mutex mutex_;  // all below; the socket's reading side
  telnet::Decoder decoder_;
  std::string queue_;
  bool closed_ = false;
  std::string error_;
  bool comPortAnswered_ = false;  // DO or DONT COM-PORT-OPTION came
  bool comPortAgreed_ = false;
  int64_t rateReply_ = -1;        // the rate of the latest SET-BAUDRATE answer
  std::bitset<256> dontSent_, wontSent_;  // refusals already sent
  std::mutex writeMutex_;         // one sender at a time: no command torn by another
};

}  // namespace qv
