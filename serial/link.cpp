#include "serial/link.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "serial/rfc2217_port.h"
#include "serial/event_wait.h"
#include "serial/tty_io.h"

namespace qv {

namespace {

using Clock = std::chrono::steady_clock;

// A timer wakes a thread some 20 us late (on a virtual machine, even with no
// slack), over a tenth of the quiet time at 115200 baud. Waits end this much early
// and poll the rest of the way.
constexpr auto kTimerLead = std::chrono::microseconds(30);

int WaitFor(int pollFd, epoll_event* events, int max, Clock::duration left) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(left, Clock::duration::zero())).count();
  const timespec timeout{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  return WaitEvents(pollFd, events, max, &timeout);
}

// Waits for events until `deadline` (Clock::time_point::max(): no limit). The
// timeout is a timespec: the quiet times at fast rates are far below a millisecond.
int WaitUntil(int pollFd, epoll_event* events, int max, Clock::time_point deadline) {
  if (deadline == Clock::time_point::max()) return WaitEvents(pollFd, events, max, nullptr);
  if (Clock::now() < deadline - kTimerLead) {
    const int n = WaitFor(pollFd, events, max, deadline - kTimerLead - Clock::now());
    if (n != 0) return n;
  }
  int n;
  do n = WaitFor(pollFd, events, max, Clock::duration::zero());
  while (n == 0 && Clock::now() < deadline);
  return n;
}

// The most the thread reads at once.
constexpr int kLargestRead = 64 * 1024;

}  // namespace

std::chrono::nanoseconds SerialLink::QuietTime(int rate) { return BaseQuiet(rate, ReceiveRecord::kQuietFloor); }

std::chrono::nanoseconds SerialLink::BurstQuiet() const {
  std::lock_guard lock(mutex_);
  return record_.BurstQuiet();
}

std::chrono::nanoseconds SerialLink::LearnedQuiet() const {
  std::lock_guard lock(mutex_);
  return record_.Learner().Quiet();
}

bool SerialLink::TransportUnknown() const {
  std::lock_guard lock(mutex_);
  return record_.TransportUnknown();
}

void SerialLink::SetManualQuiet(std::chrono::microseconds quiet) {
  manual_ = quiet;
  uint64_t decided;
  {
    std::lock_guard lock(mutex_);
    record_.SetManualQuiet(Clock::now(), quiet);
    decided = record_.ChunksDecided();
  }
  Announce(decided, true);
}

void SerialLink::Wake() {
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
}

void SerialLink::SetUpTransport(const std::string& devicePath, const std::string& sysClassTty) {
  identity_ = IdentifyDevice(sysClassTty, devicePath);
  restoreLowLatency_ = false;
  if (identity_.transport == PortIdentity::Transport::Usb && tty::GetLowLatency(fd_) == 0)
    restoreLowLatency_ = tty::SetLowLatency(fd_, true);
  latencyMs_ = ReadLatencyTimer(identity_);
  gaps_ = TransportGaps::Of(identity_, latencyMs_);
  if (devicePath != learnedFor_) {
    learner_.Reset();
    learnedFor_ = devicePath;
  } else if (rate_ != learnedAt_) {
    learner_.RateChanged(learnedAt_);
  }
  learnedAt_ = rate_;
}

bool SerialLink::OpenRemote(const std::string& name, int rate, const std::string& sysClassTty) {
  remote_ = std::make_unique<Rfc2217Port>();
  if (!remote_->Open(name, rate)) {
    lastErrno_ = ECONNREFUSED;
    lastError_ = remote_->Error();
    remote_.reset();
    return false;
  }
  fd_ = remote_->Fd();
  rate_ = rate;
  SetUpTransport(name, sysClassTty);  // nothing in sysfs: a transport of unknown lumps
  return StartReceiving();
}

bool SerialLink::RateChangeable() const { return !remote_ || remote_->RateControl(); }

std::string SerialLink::LostReason() const { return remote_ ? remote_->Error() : std::string(); }

SerialLink::SerialLink() = default;

SerialLink::~SerialLink() {
  if (IsOpen()) {
    RequestStop();
    FinishClose();
  }
  StopTrace();
}

void SerialLink::Fail(const std::string& what, int err) {
  lastErrno_ = err;
  lastError_ = what + ": " + std::strerror(err);
  if (remote_) {
    remote_.reset();  // closes its socket
  } else if (fd_ >= 0) {
    // An open that fails after asking for low latency leaves the adapter as it found it.
    if (restoreLowLatency_) tty::SetLowLatency(fd_, false);
    close(fd_);
  }
  restoreLowLatency_ = false;
  fd_ = -1;
}

bool SerialLink::Open(const std::string& devicePath, int rate, const std::string& sysClassTty) {
  if (IsOpen()) return false;
  lastError_.clear();
  lastErrno_ = 0;
  if (Rfc2217Port::IsNetworkPort(devicePath)) return OpenRemote(devicePath, rate, sysClassTty);
  fd_ = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    Fail(devicePath, errno);
    return false;
  }
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    Fail(devicePath, errno == EWOULDBLOCK ? EBUSY : errno);
    return false;
  }
  if (!isatty(fd_)) {
    Fail(devicePath, ENOTTY);
    return false;
  }
  // Besides the lock, which programs that lock ports respect, a real port is
  // made exclusive for all others; the kernel clears that when the port's
  // last holder goes, even one that was killed. A pseudo-terminal keeps the
  // flag while its far end stays open, so a killed holder would lock every
  // later open out of, say, a socat bridge: there the lock alone guards.
  if (!tty::IsPseudoTerminal(fd_)) tty::SetExclusive(fd_, true);
  // Reads only ever take what is queued, so the descriptor can block: a write
  // then returns when the driver has taken the byte.
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  tty::MakeRaw(fd_);
  // The kernel raises DTR and RTS on open; the line starts with both low and
  // only "USB to COM" raises them (a probe leaves them low).
  tty::SetModemLines(fd_, false);
  if (!tty::SetBaud(fd_, rate)) {
    Fail(devicePath + " (" + std::to_string(rate) + " baud)", EINVAL);
    return false;
  }
  rate_ = rate;
  SetUpTransport(devicePath, sysClassTty);
  tty::Purge(fd_);
  return StartReceiving();
}

bool SerialLink::StartReceiving() {
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  pollFd_ = epoll_create1(EPOLL_CLOEXEC);
  if (wakeFd_ < 0 || pollFd_ < 0) {
    const int err = errno;
    CloseWakeAndPoll();
    Fail("eventfd/epoll", err);
    return false;
  }
  // Edge-triggered on the port: the thread reads all there is at every wake-up.
  epoll_event wake{EPOLLIN, {.fd = wakeFd_}};
  epoll_event port{EPOLLIN | EPOLLET | (remote_ ? EPOLLRDHUP : 0u), {.fd = fd_}};
  if (epoll_ctl(pollFd_, EPOLL_CTL_ADD, wakeFd_, &wake) != 0 || epoll_ctl(pollFd_, EPOLL_CTL_ADD, fd_, &port) != 0) {
    const int err = errno;
    CloseWakeAndPoll();
    Fail("epoll", err);
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    record_.Open(Clock::now(), rate_, gaps_, manual_, learner_);
    announced_ = record_.ChunksDecided();
    stopping_ = false;
    readError_ = false;
    threadWakes_ = Clock::time_point::max();
  }
  lost_ = false;
  finished_ = false;
  try {
    thread_ = std::thread(&SerialLink::ReceiveLoop, this);
  } catch (const std::system_error& e) {
    CloseWakeAndPoll();
    finished_ = true;
    Fail("receive thread", e.code().value());
    return false;
  }
  return true;
}

void SerialLink::CloseWakeAndPoll() {
  if (wakeFd_ >= 0) close(wakeFd_);
  if (pollFd_ >= 0) close(pollFd_);
  wakeFd_ = pollFd_ = -1;
}

bool SerialLink::SetBaud(int rate) {
  if (!IsOpen() || !(remote_ ? remote_->SetBaud(rate) : tty::SetBaud(fd_, rate))) return false;
  rate_ = rate;
  learnedAt_ = rate;
  uint64_t decided;
  {
    std::lock_guard lock(mutex_);
    record_.RateChanged(Clock::now(), rate);
    decided = record_.ChunksDecided();
  }
  Announce(decided, true);
  return true;
}

bool SerialLink::SetModemLines(bool on) {
  if (remote_) remote_->SetModemLines(on);
  return IsOpen() && (remote_ ? remote_->RateControl() : tty::SetModemLines(fd_, on));
}

bool SerialLink::GetModemLines(bool& dtr, bool& rts) const {
  return IsOpen() && (remote_ ? remote_->GetModemLines(dtr, rts) : tty::GetModemLines(fd_, dtr, rts));
}

void SerialLink::RequestStop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  cv_.notify_all();
  if (wakeFd_ >= 0) Wake();
}

bool SerialLink::Stopping() const {
  std::lock_guard lock(mutex_);
  return stopping_;
}

void SerialLink::FinishClose() {
  if (thread_.joinable()) thread_.join();
  {
    std::lock_guard lock(mutex_);
    learner_ = record_.Learner();
    trace_.Closed(Clock::now());
    // What was not taken is discarded with the port.
    record_ = ReceiveRecord();
    record_.SetObserver(trace_.Active() ? &trace_ : nullptr);
  }
  if (remote_) {
    remote_->Purge();
    remote_.reset();  // closes the connection
    fd_ = -1;
  }
  if (fd_ >= 0) {
    tty::Purge(fd_);
    // Of an adapter that was pulled out nothing is left to restore; the
    // request then fails and changes nothing.
    if (restoreLowLatency_) tty::SetLowLatency(fd_, false);
    restoreLowLatency_ = false;
    tty::SetExclusive(fd_, false);  // in case another holder (root) keeps the port open
    close(fd_);  // also releases the advisory lock
    fd_ = -1;
  }
  CloseWakeAndPoll();
  lost_ = false;
}

void SerialLink::TakeIn(Clock::time_point now, bool seenArriving) {
  record_.Advance(now);
  std::string bytes;
  if (remote_) {
    remote_->Pump();
    bytes = remote_->Take();
  } else if (const int queued = std::min(tty::QueuedInput(fd_), kLargestRead); queued > 0) {
    bytes.resize(static_cast<size_t>(queued));
    const ssize_t got = read(fd_, bytes.data(), bytes.size());
    if (got < 0 && errno == EIO) readError_ = true;
    bytes.resize(static_cast<size_t>(std::max<ssize_t>(got, 0)));
  }
  record_.Arrived(now, bytes, seenArriving);
}

void SerialLink::Announce(uint64_t decided, bool recordChanged) {
  uint64_t fresh;
  bool wake;
  {
    std::lock_guard lock(mutex_);
    fresh = decided > announced_ ? decided - announced_ : 0;
    announced_ = std::max(announced_, decided);
    wake = recordChanged && record_.NextDecision() < threadWakes_;
  }
  if (wake && wakeFd_ >= 0) Wake();
  if (fresh == 0) return;
  cv_.notify_all();
  if (wakeHook_)
    for (uint64_t i = 0; i < fresh; ++i) wakeHook_();
}

std::optional<ReceivedChunk> SerialLink::TakeChunk() {
  std::lock_guard lock(mutex_);
  if (!record_.ChunkReady()) return std::nullopt;
  return record_.TakeChunk();
}

bool SerialLink::ChunkReady() const {
  std::lock_guard lock(mutex_);
  return record_.ChunkReady();
}

bool SerialLink::Undecided() const {
  std::lock_guard lock(mutex_);
  return record_.Undecided();
}

bool SerialLink::PromptPending() const {
  std::lock_guard lock(mutex_);
  return record_.PromptPending();
}

int SerialLink::Sends() const {
  std::lock_guard lock(mutex_);
  return record_.Sends();
}

void SerialLink::NoteSend(const char* data, size_t count) {
  uint64_t decided;
  {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    TakeIn(now, false);
    record_.Sent(now, std::string_view(data, count));
    decided = record_.ChunksDecided();
  }
  Announce(decided, true);
}

void SerialLink::WriteBytewise(const char* data, size_t count) {
  if (count == 0 || !IsOpen()) return;
  NoteSend(data, count);
  // The bytes cross the network together; the server's side writes them to the line.
  if (remote_) remote_->Write(data, count);
  for (size_t i = remote_ ? count : 0; i < count && IsOpen();) {
    const ssize_t n = write(fd_, data + i, 1);
    if (n == 1) ++i;
    else if (n == 0 || errno != EINTR) break;  // after a signal the same byte is still to go
  }
}

void SerialLink::WriteBlock(const char* data, size_t count) {
  if (count == 0 || !IsOpen()) return;
  NoteSend(data, count);
  if (remote_) remote_->Write(data, count);
  size_t done = remote_ ? count : 0;
  while (done < count && IsOpen()) {
    ssize_t n = write(fd_, data + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    done += static_cast<size_t>(n);
  }
}

bool SerialLink::WaitForChunk(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  cv_.wait_until(lock, deadline, [this] { return record_.ChunkReady() || lost_.load(); });
  return record_.ChunkReady();
}

FileTrouble SerialLink::StartTrace(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (FileTrouble trouble = trace_.Start(path)) return trouble;
  record_.SetObserver(&trace_);
  // A port open now is traced from here on, as if it had just opened.
  if (IsOpen()) trace_.Opened(Clock::now(), record_.Rate(), gaps_, manual_, record_.Learner());
  return {};
}

FileTrouble SerialLink::StopTrace() {
  std::lock_guard lock(mutex_);
  record_.SetObserver(nullptr);
  return trace_.Stop();
}

bool SerialLink::Tracing() const {
  std::lock_guard lock(mutex_);
  return trace_.Active();
}

bool SerialLink::TraceFailed() const {
  std::lock_guard lock(mutex_);
  return trace_.Failed();
}

std::string SerialLink::TracePath() const {
  std::lock_guard lock(mutex_);
  return trace_.Path();
}

void SerialLink::ReceiveLoop() {
  // The receiver answers a line that may run at close to a megabaud; one step
  // above normal priority keeps it from lagging behind busy work. Without the
  // privilege the request is simply refused.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -1);
  // Its waits are a few character times long; the default slack of 50 us would
  // stretch them noticeably.
  prctl(PR_SET_TIMERSLACK, 1UL);
  for (;;) {
    Clock::time_point deadline;
    {
      std::lock_guard lock(mutex_);
      deadline = threadWakes_ = record_.NextDecision();
    }
    epoll_event events[2];
    const int n = WaitUntil(pollFd_, events, 2, deadline);
    // A wait that fails for good leaves nobody listening: the port is as
    // good as gone, and is reported so rather than left looking open.
    const bool waitFailed = n < 0 && errno != EINTR;
    if (n < 0 && !waitFailed) continue;
    bool woken = false, hangUp = waitFailed;
    for (int i = 0; i < n; ++i) {
      if (events[i].data.fd == wakeFd_) woken = true;
      else hangUp = hangUp || (events[i].events & (EPOLLHUP | EPOLLERR));
    }
    if (woken) {
      uint64_t drained;
      [[maybe_unused]] ssize_t r = read(wakeFd_, &drained, sizeof drained);
      if (Stopping()) break;  // a close request wins over further data
    }
    uint64_t decided;
    {
      std::lock_guard lock(mutex_);
      const auto now = Clock::now();
      TakeIn(now, true);
      if ((remote_ && remote_->Closed()) || readError_) hangUp = true;
      if (hangUp) {
        // What came before the device went is decided as if the line fell quiet.
        record_.Flush(now);
        lost_ = true;
      }
      decided = record_.ChunksDecided();
    }
    Announce(decided, false);
    if (hangUp) {
      cv_.notify_all();
      if (wakeHook_) wakeHook_();
      break;
    }
  }
  finished_ = true;
  cv_.notify_all();
}

}  // namespace qv
