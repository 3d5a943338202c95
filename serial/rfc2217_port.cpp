#include "serial/rfc2217_port.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "lang/translate.h"
#include "serial/rates.h"
#include "serial/tcp_connect.h"

namespace qv {

namespace {

using Clock = std::chrono::steady_clock;
using namespace telnet;

// Past this many unread line bytes the socket is left alone, so TCP holds
// the server back rather than the queue growing without end.
constexpr size_t kQueueLimit = 1 << 16;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  int n;
  do n = poll(&p, 1, timeoutMs);
  while (n < 0 && errno == EINTR);
  return n > 0;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char p, char t) {
           return p == (t >= 'A' && t <= 'Z' ? static_cast<char>(t - 'A' + 'a') : t);
         });
}

std::string_view SchemeOf(std::string_view name) {
  for (const std::string_view scheme : {Rfc2217Port::kTelnetScheme, Rfc2217Port::kTcpScheme})
    if (StartsWithNoCase(name, scheme)) return scheme;
  return {};
}

bool Acceptable(uint8_t option, bool ourSide) {
  return option == kBinary || option == kSuppressGoAhead || (ourSide && option == kComPort);
}

std::string ControlCommand(uint8_t code, uint8_t value) {
  return ComPortCommand(code, std::string(1, static_cast<char>(value)));
}

std::string RateCommand(int rate) { return ComPortCommand(comport::kSetBaudRate, RateValue(static_cast<uint32_t>(rate))); }

}  // namespace

bool Rfc2217Port::IsNetworkPort(std::string_view name) { return !SchemeOf(name).empty(); }

bool Rfc2217Port::IsPlainBridge(std::string_view name) { return SchemeOf(name) == kTcpScheme; }

bool Rfc2217Port::SplitName(std::string_view name, std::string& host, std::string& service) {
  const std::string_view scheme = SchemeOf(name);
  if (scheme.empty()) return false;
  const std::string_view rest = name.substr(scheme.size());
  const size_t colon = rest.rfind(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == rest.size()) return false;
  host = rest.substr(0, colon);
  service = rest.substr(colon + 1);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  return service.size() <= 5 && std::all_of(service.begin(), service.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
         std::stoi(service) > 0 && std::stoi(service) < 65536;
}

bool Rfc2217Port::Open(const std::string& name, int rate, std::chrono::milliseconds limit) {
  name_ = name;
  rate_ = rate;
  limit_ = limit;
  std::string host, service;
  if (!SplitName(name, host, service)) {
    error_ = TrFormat("{1} 不是有效的网络串口地址，应为 rfc2217://主机:端口 或 tcp://主机:端口（例如 rfc2217://192.168.1.20:3001）。",
                      name);
    return false;
  }
  const bool telnet = SchemeOf(name) == kTelnetScheme;
  const auto deadline = Clock::now() + limit;
  // ser2net takes some tens of milliseconds to let a connection go: a port
  // closed a moment ago, by this program too, still counts as in use meanwhile.
  const auto busyUntil = std::min(deadline, Clock::now() + kBusyWait);
  for (;;) {
    Reset();
    telnet_ = telnet;
    if (Connect(host, service, deadline) && (telnet ? Negotiate(rate, deadline) : WatchForRefusal(deadline)))
      return true;
    Close();
    if (!inUse_ || Clock::now() + kBusyRetry >= busyUntil) return false;
    std::this_thread::sleep_for(kBusyRetry);
  }
}

void Rfc2217Port::Reset() {
  Close();
  inUse_ = false;
  trials_.clear();
  rateAsked_ = 0;
  rateProblem_.clear();
  {
    std::lock_guard lock(mutex_);
    decoder_ = Decoder();
    queue_.clear();
    closed_ = false;
    error_.clear();
    telnetSeen_ = comPortAnswered_ = comPortAgreed_ = false;
    rateReply_ = -1;
    lineErrors_ = {};
    lineErrorsPending_ = false;
    dontSent_.reset();
    wontSent_.reset();
  }
  {
    std::lock_guard lock(writeMutex_);
    outbox_.clear();
    writerStop_ = false;
  }
  telnet_ = rateControl_ = modemOn_ = false;
}

bool Rfc2217Port::Connect(const std::string& host, const std::string& service, Clock::time_point deadline) {
  addrinfo* found = nullptr;
  if (const int err = net::Resolve(host, service, deadline, found); err != 0) {
    error_ = err == EAI_AGAIN ? TrFormat("无法连接 {1}：在 {2}内查不到主机 {3} 的地址。", name_, LimitText(), host)
                              : TrFormat("无法连接 {1}：找不到主机 {2}（{3}）。", name_, host, gai_strerror(err));
    return false;
  }
  const net::Connection c = net::ConnectFirst(net::AttemptOrder(found), deadline);
  freeaddrinfo(found);
  if (c.fd < 0) {
    if (c.err == ECONNREFUSED)
      error_ = TrFormat("无法连接 {1}：主机 {2} 拒绝了连接（该端口上没有 ser2net 在服务）。", name_, host);
    else if (c.err == ETIMEDOUT)
      error_ = TrFormat("无法连接 {1}：主机 {2} 在 {3}内没有应答。", name_, host, LimitText());
    else
      error_ = TrFormat("无法连接 {1}：{2}。", name_, std::strerror(c.err));
    return false;
  }
  fd_ = c.fd;
  connectTook_ = c.took;
  // Single keystrokes and the block protocol's one-byte answers must not
  // wait for more to fill a segment.
  const int one = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  // A network that drops out sends no word: probes while all is quiet, and
  // a limit on unanswered data, end the connection within seconds rather
  // than leave the port looking open.
  const int idle = 5, interval = 2, probes = 3;
  const unsigned unanswered = 15'000;
  setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
  setsockopt(fd_, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  setsockopt(fd_, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  setsockopt(fd_, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
  setsockopt(fd_, IPPROTO_TCP, TCP_USER_TIMEOUT, &unanswered, sizeof unanswered);
  lastProgress_ = Clock::now();
  writer_ = std::thread(&Rfc2217Port::WriterLoop, this);
  return true;
}

template <typename Done>
bool Rfc2217Port::PumpUntil(Done done, Clock::time_point deadline) {
  for (;;) {
    Pump();
    {
      std::lock_guard lock(mutex_);
      if (done()) return true;
      if (closed_) return false;
    }
    if (Clock::now() >= deadline) return false;
    // Another thread may take what arrives; look again after a short while.
    WaitFor(fd_, POLLIN, std::min(MillisecondsLeft(deadline), 1));
  }
}

void Rfc2217Port::ExplainClose(bool duringNegotiation) {
  std::lock_guard lock(mutex_);
  // ser2net says "Port already in use" (or "Port's device already in use")
  // and closes. Our own offers, crossing its close, make the kernel reset
  // the connection, and a reset throws away what was not read yet: the
  // words may be lost.
  const std::string text = ServerText();
  inUse_ = text.find("in use") != std::string::npos || (duringNegotiation && text.empty());
  error_ = !text.empty() ? (inUse_ ? TrFormat("无法打开 {1}：服务器关闭了连接，它说“{2}”：该端口已有另一个用户连接。", name_, text)
                                   : TrFormat("无法打开 {1}：服务器关闭了连接，它说“{2}”。", name_, text))
           : duringNegotiation ? TrFormat("无法打开 {1}：服务器在协商中关闭了连接（多半是该端口已有另一个用户连接）。", name_)
                               : TrFormat("无法连接 {1}：服务器一接受连接就关闭了它。", name_);
}

bool Rfc2217Port::WatchForRefusal(Clock::time_point deadline) {
  const auto watch = std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(connectTook_ * 4),
                                kRefusalWatchShortest, kRefusalWatchLongest);
  const auto until = std::min(deadline, Clock::now() + watch);
  while (!Closed() && Clock::now() < until) {
    if (WaitFor(fd_, POLLIN, MillisecondsLeft(until))) Pump();
  }
  if (Closed()) {
    ExplainClose(false);
    return false;
  }
  // What the drive said before the port was open is stale, as a local port's purge makes it.
  std::lock_guard lock(mutex_);
  queue_.clear();
  return true;
}

bool Rfc2217Port::Negotiate(int rate, Clock::time_point deadline) {
  Send(Negotiation(kWill, kBinary) + Negotiation(kDo, kBinary) + Negotiation(kWill, kSuppressGoAhead) +
       Negotiation(kDo, kSuppressGoAhead) + Negotiation(kWill, kComPort));
  if (!PumpUntil([this] { return comPortAnswered_; }, deadline)) {
    if (Closed()) {
      ExplainClose(true);
    } else {
      std::string host, service;
      SplitName(name_, host, service);
      std::lock_guard lock(mutex_);
      error_ = telnetSeen_ ? TrFormat("无法打开 {1}：服务器在 {2}内没有完成协商。", name_, LimitText())
                           : TrFormat("无法打开 {1}：服务器在 {2}内没有回应 Telnet 协商，它不是 RFC 2217 服务器"
                                      "（普通 TCP 转发请用 tcp://{3}:{4}）。",
                                      name_, LimitText(), host, service);
    }
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    rateControl_ = comPortAgreed_;
  }
  if (!rateControl_) return true;  // Telnet without COM-PORT-OPTION: no rate control
  // The server reports its line's errors only when asked to.
  Send(ControlCommand(comport::kSetDataSize, 8) + ControlCommand(comport::kSetParity, comport::kParityNone) +
       ControlCommand(comport::kSetStopSize, comport::kStopOne) +
       ControlCommand(comport::kSetControl, comport::kNoFlowControl) +
       ControlCommand(comport::kSetControl, comport::kDtrOff) + ControlCommand(comport::kSetControl, comport::kRtsOff) +
       ControlCommand(comport::kSetLinestateMask,
                      comport::kOverrun | comport::kParityError | comport::kFramingError | comport::kBreak));
  return ProbeRates(rate, deadline);
}

int64_t Rfc2217Port::AskRate(int rate, Clock::time_point deadline, std::string_view alongWith) {
  {
    std::lock_guard lock(mutex_);
    rateReply_ = -1;
  }
  if (!Send(std::string(alongWith) + RateCommand(rate))) return -1;
  if (!PumpUntil([this] { return rateReply_ >= 0; }, deadline)) return -1;
  std::lock_guard lock(mutex_);
  return rateReply_;
}

bool Rfc2217Port::ProbeRates(int rate, Clock::time_point deadline) {
  const auto failed = [this] {
    if (Closed()) {
      ExplainClose(true);
    } else {
      std::lock_guard lock(mutex_);
      error_ = TrFormat("无法打开 {1}：服务器在 {2}内没有回答速率设置。", name_, LimitText());
    }
    return false;
  };
  for (const Rate& r : kRates) {
    if (r.baud == rate) continue;
    const int64_t answer = AskRate(r.baud, deadline);
    if (answer < 0) return failed();
    trials_.push_back({r.baud, answer});
  }
  // The rate goes last, after the purge: its answer means the server has done the rest.
  const int64_t answer = AskRate(rate, deadline, ControlCommand(comport::kPurgeData, comport::kPurgeBoth));
  if (answer < 0) return failed();
  trials_.push_back({rate, answer});
  std::lock_guard lock(mutex_);
  queue_.clear();  // anything before the purge was answered is stale
  if (answer != rate) {
    error_ = TrFormat("无法打开 {1}：服务器的串口不接受 {2} 波特（它设为 {3}）。", name_, rate, answer);
    return false;
  }
  return true;
}

std::string Rfc2217Port::LimitText() const {
  const auto ms = limit_.count();
  return ms % 1000 == 0 ? TrFormat("{1} 秒", ms / 1000) : TrFormat("{1} 毫秒", ms);
}

void Rfc2217Port::Close() {
  if (writer_.joinable()) {
    {
      std::lock_guard lock(writeMutex_);
      writerStop_ = true;
    }
    writeCv_.notify_all();
    writer_.join();
  }
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

std::string Rfc2217Port::ServerText() const {
  std::string text;
  for (const char c : queue_)
    if (c != '\r' && c != '\n') text.push_back(c);
  return text.substr(0, 200);
}

void Rfc2217Port::Lose(const std::string& why) {
  if (closed_) return;
  closed_ = true;
  error_ = TrFormat("与 {1} 的连接已断开（{2}）", name_, why);
  // Whoever waits on the socket (the receive thread) learns of it now.
  if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
}

int Rfc2217Port::Pump() {
  std::string owed;  // answers to the server's negotiation, sent after the lock is let go
  int queued;
  {
    std::lock_guard lock(mutex_);
    char buffer[4096];
    while (fd_ >= 0 && !closed_ && queue_.size() < kQueueLimit) {
      const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) {
        if (!telnet_) {
          queue_.append(buffer, static_cast<size_t>(n));
          continue;
        }
        std::vector<Event> events;
        const bool decoded = decoder_.Feed(std::string_view(buffer, static_cast<size_t>(n)), queue_, events);
        for (const Event& event : events) {
          Handle(event);
          const uint8_t o = event.option;
          if ((event.verb == kWill && !Acceptable(o, false)) || (event.verb == kDo && !Acceptable(o, true))) {
            // Each refusal once, so two parties never answer each other forever.
            std::bitset<256>& refused = event.verb == kWill ? dontSent_ : wontSent_;
            if (!refused.test(o)) {
              refused.set(o);
              owed += Negotiation(event.verb == kWill ? kDont : kWont, o);
            }
          }
        }
        // Past that, data and commands can no longer be told apart.
        if (!decoded)
          Lose(TrFormat("服务器发来的 Telnet 子协商超过 {1} 字节，不是 RFC 2217 的应答", Decoder::kLongestPayload));
      } else if (n == 0) {
        Lose(Tr("服务器关闭了连接"));
      } else if (errno == EAGAIN) {
        break;
      } else if (errno == ECONNRESET) {
        Lose(Tr("服务器关闭了连接"));  // abruptly, with bytes still unread on its side
      } else if (errno == ETIMEDOUT) {
        Lose(Tr("服务器不再应答，网络可能已中断"));
      } else if (errno != EINTR) {
        Lose(std::strerror(errno));
      }
    }
    queued = static_cast<int>(std::min(queue_.size(), static_cast<size_t>(INT32_MAX)));
  }
  if (!owed.empty()) Send(owed);
  return queued;
}

void Rfc2217Port::Handle(const Event& event) {
  telnetSeen_ = true;
  switch (event.verb) {
    case kDo:
    case kDont:
      if (event.option == kComPort) {
        comPortAnswered_ = true;
        comPortAgreed_ = event.verb == kDo;
      }
      break;
    case kSb: {
      if (event.option != kComPort || event.payload.empty()) break;
      const auto code = static_cast<uint8_t>(event.payload[0]);
      if (code == comport::kSetBaudRate + comport::kServerOffset) {
        rateReply_ = RateOf(std::string_view(event.payload).substr(1));
      } else if (code == comport::kNotifyLinestate && event.payload.size() == 2) {
        const auto state = static_cast<uint8_t>(event.payload[1]);
        lineErrors_.overrun += (state & comport::kOverrun) != 0;
        lineErrors_.parity += (state & comport::kParityError) != 0;
        lineErrors_.framing += (state & comport::kFramingError) != 0;
        lineErrors_.breaks += (state & comport::kBreak) != 0;
        lineErrorsPending_ = lineErrors_.Any();
      }
      break;
    }
    default:
      break;  // WILL and WONT of what we asked for need no answer; the rest are refused in Pump
  }
}

Rfc2217Port::LineErrors Rfc2217Port::TakeLineErrors() {
  std::lock_guard lock(mutex_);
  lineErrorsPending_ = false;
  return std::exchange(lineErrors_, {});
}

int Rfc2217Port::Queued() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(queue_.size());
}

bool Rfc2217Port::Closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

std::string Rfc2217Port::Take() {
  Pump();  // as a local read takes everything the driver holds
  std::lock_guard lock(mutex_);
  return std::exchange(queue_, {});
}

std::string Rfc2217Port::TakeQueued(size_t count) {
  std::lock_guard lock(mutex_);
  std::string taken = queue_.substr(0, count);
  queue_.erase(0, taken.size());
  return taken;
}

std::string Rfc2217Port::Error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

bool Rfc2217Port::Send(std::string_view bytes) {
  std::lock_guard writing(writeMutex_);
  if (fd_ < 0 || Closed()) return false;
  // What goes straight into the socket costs no thread switch: only what it
  // cannot take waits for the writer.
  while (outbox_.empty() && !bytes.empty()) {
    const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      lastProgress_ = Clock::now();  // the stall is counted from here
      break;
    } else if (n < 0 && errno != EINTR) {
      LoseWriting(errno);
      return false;
    }
  }
  if (bytes.empty()) return true;
  outbox_.append(bytes);
  if (outbox_.size() > kOutboxLimit) {
    LoseWriting(ETIMEDOUT);
    return false;
  }
  writeCv_.notify_one();
  return true;
}

void Rfc2217Port::WriterLoop() {
  std::unique_lock lock(writeMutex_);
  for (;;) {
    writeCv_.wait(lock, [this] { return writerStop_ || !outbox_.empty(); });
    if (writerStop_) return;
    const ssize_t n = send(fd_, outbox_.data(), outbox_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      outbox_.erase(0, static_cast<size_t>(n));
      lastProgress_ = Clock::now();
    } else if (n < 0 && errno == EAGAIN) {
      if (Clock::now() - lastProgress_ >= writeStall_) {
        LoseWriting(ETIMEDOUT);
        continue;
      }
      // The server is behind (its line is slower than ours, or it stopped
      // reading): wait for room, looking at the stop request now and then.
      lock.unlock();
      WaitFor(fd_, POLLOUT, 50);
      lock.lock();
    } else if (n <= 0 && (n == 0 || errno != EINTR)) {
      LoseWriting(n < 0 ? errno : EPIPE);
    }
  }
}

void Rfc2217Port::SetWriteStall(std::chrono::milliseconds stall) {
  std::lock_guard lock(writeMutex_);
  writeStall_ = stall;
}

void Rfc2217Port::LoseWriting(int err) {
  outbox_.clear();
  std::lock_guard lock(mutex_);
  Lose(err == ETIMEDOUT                    ? Tr("服务器长时间不接收数据")
       : err == EPIPE || err == ECONNRESET ? Tr("服务器关闭了连接")
                                           : std::string(std::strerror(err)));
}

void Rfc2217Port::Write(const char* data, size_t count) {
  const std::string_view bytes(data, count);
  Send(telnet_ ? Escape(bytes) : std::string(bytes));
}

std::string Rfc2217Port::KnownRefusal(int rate) const {
  if (!rateControl_)
    return rate == rate_ ? std::string()
           : telnet_     ? Tr("服务器不支持 RFC 2217 的 COM-PORT-OPTION，速率不能改变")
                         : Tr("普通 TCP 转发没有速率控制，速率不能改变");
  for (const RateTrial& trial : trials_)
    if (trial.rate == rate && trial.answer != rate)
      return TrFormat("打开时服务器没有确认这个速率（它回答 {1}）", trial.answer);
  return {};
}

bool Rfc2217Port::RequestBaud(int rate) {
  rateAsked_ = 0;
  if (fd_ < 0 || Closed() || !rateControl_) return false;
  {
    std::lock_guard lock(mutex_);
    rateReply_ = -1;
  }
  rateAskedAt_ = Clock::now();
  if (!Send(RateCommand(rate))) return false;
  rateAsked_ = rate;
  return true;
}

bool Rfc2217Port::BaudAnswered() {
  Pump();
  std::lock_guard lock(mutex_);
  return rateReply_ >= 0 || closed_;
}

bool Rfc2217Port::SetBaud(int rate) {
  rateProblem_.clear();
  if (const std::string known = KnownRefusal(rate); !known.empty()) {
    rateProblem_ = known;
    return false;
  }
  if (!rateControl_) return true;  // the rate it has
  if (rateAsked_ != rate && !RequestBaud(rate)) {
    rateProblem_ = Error();
    return false;
  }
  rateAsked_ = 0;
  if (!PumpUntil([this] { return rateReply_ >= 0; }, rateAskedAt_ + kReplyLimit)) {
    std::lock_guard lock(mutex_);
    Lose(TrFormat("服务器在 {1} 秒内没有回答速率设置 {2} 波特，它一方的速率已不明", kReplyLimit.count(), rate));
    rateProblem_ = error_;
    return false;
  }
  std::lock_guard lock(mutex_);
  if (rateReply_ != rate) {
    rateProblem_ = TrFormat("服务器回答它保持 {1} 波特", rateReply_);
    return false;
  }
  rate_ = rate;
  return true;
}

std::string Rfc2217Port::RateProblem() const { return rateProblem_; }

void Rfc2217Port::SetModemLines(bool on) {
  modemOn_ = on;
  if (!rateControl_ || fd_ < 0) return;
  // ser2net answers these only where the device has modem lines: no wait.
  Send(ControlCommand(comport::kSetControl, on ? comport::kDtrOn : comport::kDtrOff) +
       ControlCommand(comport::kSetControl, on ? comport::kRtsOn : comport::kRtsOff));
}

bool Rfc2217Port::GetModemLines(bool& dtr, bool& rts) const {
  if (!rateControl_ || fd_ < 0) return false;
  dtr = rts = modemOn_;
  return true;
}

void Rfc2217Port::Purge() {
  if (rateControl_ && fd_ >= 0) Send(ControlCommand(comport::kPurgeData, comport::kPurgeBoth));
  std::lock_guard lock(mutex_);
  queue_.clear();
}

}  // namespace qv
