#include "serial/rfc2217_port.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include "lang/translate.h"

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

// A name lookup that asks a DNS server can take far longer than an open may
// (the resolver tries each server for seconds), so it runs in the
// background and is given up at the deadline.
int Resolve(const std::string& host, const std::string& service, Clock::time_point deadline, addrinfo*& found) {
  struct Lookup {
    std::string host, service;
    addrinfo hints{};
    gaicb request{};
  };
  auto* lookup = new Lookup{host, service};
  lookup->hints.ai_family = AF_UNSPEC;
  lookup->hints.ai_socktype = SOCK_STREAM;
  lookup->hints.ai_flags = AI_NUMERICSERV;
  lookup->request.ar_name = lookup->host.c_str();
  lookup->request.ar_service = lookup->service.c_str();
  lookup->request.ar_request = &lookup->hints;
  gaicb* list[] = {&lookup->request};
  if (const int err = getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr); err != 0) {
    delete lookup;
    return err;
  }
  int err;
  while ((err = gai_error(&lookup->request)) == EAI_INPROGRESS && Clock::now() < deadline) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
    const timespec left{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    gai_suspend(list, 1, &left);
  }
  if (err == EAI_INPROGRESS) {
    // A lookup that cannot be cancelled still writes into its request when
    // it ends: that memory is left to it.
    if (gai_cancel(&lookup->request) == EAI_NOTCANCELED) return EAI_AGAIN;
    err = gai_error(&lookup->request);  // it may have ended meanwhile
    if (err == EAI_CANCELED || err == EAI_INPROGRESS) err = EAI_AGAIN;
  }
  found = err == 0 ? lookup->request.ar_result : nullptr;
  delete lookup;
  return err;
}

}  // namespace

bool Rfc2217Port::SplitName(std::string_view name, std::string& host, std::string& service) {
  if (!IsNetworkPort(name)) return false;
  const std::string_view rest = name.substr(kScheme.size());
  const size_t colon = rest.rfind(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == rest.size()) return false;
  host = rest.substr(0, colon);
  service = rest.substr(colon + 1);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  return service.size() <= 5 && std::all_of(service.begin(), service.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
         std::stoi(service) > 0 && std::stoi(service) < 65536;
}

namespace {

bool Acceptable(uint8_t option, bool ourSide) {
  return option == kBinary || option == kSuppressGoAhead || (ourSide && option == kComPort);
}

}  // namespace

bool Rfc2217Port::Open(const std::string& name, int rate, std::chrono::milliseconds limit) {
  name_ = name;
  rate_ = rate;
  limit_ = limit;
  std::string host, service;
  if (!SplitName(name, host, service)) {
    error_ = TrFormat("{1} 不是有效的网络串口地址，应为 rfc2217://主机:端口（例如 rfc2217://192.168.1.20:3001）。", name);
    return false;
  }
  const auto deadline = Clock::now() + limit;
  // ser2net takes some tens of milliseconds to let a connection go: a port
  // closed a moment ago, by this program too (the probe before an open),
  // still counts as in use meanwhile.
  const auto busyUntil = std::min(deadline, Clock::now() + kBusyWait);
  for (;;) {
    Reset();
    if (Connect(host, service, deadline) && Negotiate(rate, deadline)) return true;
    Close();
    if (!inUse_ || Clock::now() + kBusyRetry >= busyUntil) return false;
    std::this_thread::sleep_for(kBusyRetry);
  }
}

void Rfc2217Port::Reset() {
  Close();
  inUse_ = false;
  {
    std::lock_guard lock(mutex_);
    decoder_ = Decoder();
    queue_.clear();
    closed_ = false;
    error_.clear();
    comPortAnswered_ = comPortAgreed_ = false;
    rateReply_ = -1;
    dontSent_.reset();
    wontSent_.reset();
  }
  telnet_ = rateControl_ = modemOn_ = false;
}

bool Rfc2217Port::Connect(const std::string& host, const std::string& service, Clock::time_point deadline) {
  addrinfo* found = nullptr;
  if (const int err = Resolve(host, service, deadline, found); err != 0) {
    error_ = err == EAI_AGAIN ? TrFormat("无法连接 {1}：在 {2}内查不到主机 {3} 的地址。", name_, LimitText(), host)
                              : TrFormat("无法连接 {1}：找不到主机 {2}（{3}）。", name_, host, gai_strerror(err));
    return false;
  }
  int lastErr = ETIMEDOUT;
  for (addrinfo* a = found; a && fd_ < 0 && Clock::now() < deadline; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      lastErr = errno;
      continue;
    }
    int err = connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
    if (err == EINPROGRESS) {
      err = ETIMEDOUT;
      if (WaitFor(fd, POLLOUT, MillisecondsLeft(deadline))) {
        socklen_t size = sizeof err;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &size);
      }
    }
    if (err == 0) fd_ = fd;
    else {
      lastErr = err;
      close(fd);
    }
  }
  freeaddrinfo(found);
  if (fd_ >= 0) {
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
    return true;
  }
  if (lastErr == ECONNREFUSED)
    error_ = TrFormat("无法连接 {1}：主机 {2} 拒绝了连接（该端口上没有 ser2net 在服务）。", name_, host);
  else if (lastErr == ETIMEDOUT)
    error_ = TrFormat("无法连接 {1}：主机 {2} 在 {3}内没有应答。", name_, host, LimitText());
  else
    error_ = TrFormat("无法连接 {1}：{2}。", name_, std::strerror(lastErr));
  return false;
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

bool Rfc2217Port::Negotiate(int rate, Clock::time_point deadline) {
  uint8_t first = 0;
  const bool spoke = WaitFor(fd_, POLLIN, std::min(MillisecondsLeft(deadline), static_cast<int>(kTelnetWait.count())));
  telnet_ = spoke && recv(fd_, &first, 1, MSG_PEEK) == 1 && first == kIac;
  if (!telnet_) {
    std::lock_guard lock(mutex_);
    if (spoke && recv(fd_, &first, 1, MSG_PEEK) == 0) {
      error_ = TrFormat("无法连接 {1}：服务器一接受连接就关闭了它。", name_);
      return false;
    }
    return true;  // a plain TCP bridge: no rate control
  }
  Send(Negotiation(kWill, kBinary) + Negotiation(kDo, kBinary) + Negotiation(kWill, kSuppressGoAhead) +
       Negotiation(kDo, kSuppressGoAhead) + Negotiation(kWill, kComPort));
  const auto timedOut = [&] {
    std::lock_guard lock(mutex_);
    if (closed_) {
      // ser2net says "Port already in use" and closes. Our own offers,
      // crossing its close, make the kernel reset the connection, and a
      // reset throws away what was not read yet: the words may be lost.
      const std::string text = ServerText();
      inUse_ = text.empty() || text.find("in use") != std::string::npos;
      error_ = text.empty() ? TrFormat("无法打开 {1}：服务器在协商中关闭了连接（多半是该端口已有另一个用户连接）。", name_)
               : inUse_     ? TrFormat("无法打开 {1}：服务器关闭了连接，它说“{2}”：该端口已有另一个用户连接。", name_, text)
                            : TrFormat("无法打开 {1}：服务器关闭了连接，它说“{2}”。", name_, text);
    } else {
      error_ = TrFormat("无法打开 {1}：服务器在 {2}内没有完成协商。", name_, LimitText());
    }
    return false;
  };
  if (!PumpUntil([this] { return comPortAnswered_; }, deadline)) return timedOut();
  {
    std::lock_guard lock(mutex_);
    rateControl_ = comPortAgreed_;
  }
  if (!rateControl_) return true;  // Telnet without COM-PORT-OPTION: no rate control either
  // The rate goes last: its confirmation means the server has done the rest.
  {
    std::lock_guard lock(mutex_);
    rateReply_ = -1;
  }
  Send(ComPortCommand(comport::kSetDataSize, "\x08") + ComPortCommand(comport::kSetParity, "\x01") +
       ComPortCommand(comport::kSetStopSize, "\x01") + ComPortCommand(comport::kSetControl, "\x01") +
       ComPortCommand(comport::kSetControl, std::string(1, static_cast<char>(comport::kDtrOff))) +
       ComPortCommand(comport::kSetControl, std::string(1, static_cast<char>(comport::kRtsOff))) +
       ComPortCommand(comport::kPurgeData, std::string(1, static_cast<char>(comport::kPurgeBoth))) +
       ComPortCommand(comport::kSetBaudRate, RateValue(static_cast<uint32_t>(rate))));
  if (!PumpUntil([this] { return rateReply_ >= 0; }, deadline)) return timedOut();
  std::lock_guard lock(mutex_);
  queue_.clear();  // anything before the purge was answered is stale
  if (rateReply_ != rate) {
    error_ = TrFormat("无法打开 {1}：服务器的串口不接受 {2} 波特（它设为 {3}）。", name_, rate, rateReply_);
    return false;
  }
  return true;
}

std::string Rfc2217Port::LimitText() const {
  const auto ms = limit_.count();
  return ms % 1000 == 0 ? TrFormat("{1} 秒", ms / 1000) : TrFormat("{1} 毫秒", ms);
}

void Rfc2217Port::Close() {
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
        decoder_.Feed(std::string_view(buffer, static_cast<size_t>(n)), queue_, events);
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
  switch (event.verb) {
    case kDo:
    case kDont:
      if (event.option == kComPort) {
        comPortAnswered_ = true;
        comPortAgreed_ = event.verb == kDo;
      }
      break;
    case kSb:
      if (event.option == kComPort && !event.payload.empty() &&
          static_cast<uint8_t>(event.payload[0]) == comport::kSetBaudRate + comport::kServerOffset)
        rateReply_ = RateOf(std::string_view(event.payload).substr(1));
      break;
    default:
      break;  // WILL and WONT of what we asked for need no answer; the rest are refused in Pump
  }
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
  size_t done = 0;
  int err = 0;
  while (done < bytes.size() && fd_ >= 0) {
    const ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      // The server is behind (its line is slower than ours): wait for room.
      if (!WaitFor(fd_, POLLOUT, static_cast<int>(std::chrono::milliseconds(kWriteStall).count()))) {
        err = ETIMEDOUT;
        break;
      }
    } else {
      err = n < 0 ? errno : EPIPE;
      break;
    }
  }
  if (done == bytes.size()) return true;
  std::lock_guard lock(mutex_);
  Lose(err == ETIMEDOUT                  ? Tr("服务器长时间不接收数据")
       : err == EPIPE || err == ECONNRESET ? Tr("服务器关闭了连接")
                                           : std::strerror(err));
  return false;
}

void Rfc2217Port::Write(const char* data, size_t count) {
  if (Closed()) return;
  const std::string_view bytes(data, count);
  Send(telnet_ ? Escape(bytes) : std::string(bytes));
}

bool Rfc2217Port::SetBaud(int rate) {
  if (fd_ < 0 || Closed()) return false;
  if (!rateControl_) return rate == rate_;
  {
    std::lock_guard lock(mutex_);
    rateReply_ = -1;
  }
  if (!Send(ComPortCommand(comport::kSetBaudRate, RateValue(static_cast<uint32_t>(rate))))) return false;
  if (!PumpUntil([this] { return rateReply_ >= 0; }, Clock::now() + kReplyLimit)) return false;
  std::lock_guard lock(mutex_);
  if (rateReply_ != rate) return false;
  rate_ = rate;
  return true;
}

void Rfc2217Port::SetModemLines(bool on) {
  modemOn_ = on;
  if (!rateControl_ || fd_ < 0) return;
  // ser2net answers these only where the device has modem lines: no wait.
  Send(ComPortCommand(comport::kSetControl, std::string(1, static_cast<char>(on ? comport::kDtrOn : comport::kDtrOff))) +
       ComPortCommand(comport::kSetControl, std::string(1, static_cast<char>(on ? comport::kRtsOn : comport::kRtsOff))));
}

bool Rfc2217Port::GetModemLines(bool& dtr, bool& rts) const {
  if (!rateControl_ || fd_ < 0) return false;
  dtr = rts = modemOn_;
  return true;
}

void Rfc2217Port::Purge() {
  if (rateControl_ && fd_ >= 0) Send(ComPortCommand(comport::kPurgeData, std::string(1, static_cast<char>(comport::kPurgeBoth))));
  std::lock_guard lock(mutex_);
  queue_.clear();
}

}  // namespace qv
