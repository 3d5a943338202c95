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

// The line discipline holds at most this many unread bytes.
constexpr int kInputQueueFull = 4095;

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

int64_t Now() { return Clock::now().time_since_epoch().count(); }

}  // namespace

std::chrono::nanoseconds SerialLink::QuietTime(int rate) { return BaseQuiet(rate, kQuietFloor); }

std::chrono::microseconds SerialLink::ManualQuiet() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::nanoseconds(manualNs_.load()));
}

std::chrono::nanoseconds SerialLink::QuietAt(int rate) const {
  // A gap set by hand is a floor: what the device and the arrivals tell still
  // holds (a shorter gap would cut an adapter's packets apart).
  return std::max({gaps_.LumpGap(rate) + QuietTime(rate), std::chrono::nanoseconds(learnedNs_.load()),
                   std::chrono::nanoseconds(manualNs_.load())});
}

std::chrono::nanoseconds SerialLink::BurstQuiet() const { return QuietAt(rate_.load()); }

bool SerialLink::TransportUnknown() const {
  return identity_.transport == PortIdentity::Transport::Unknown && learnedNs_.load() == 0 && manualNs_.load() == 0;
}

std::chrono::nanoseconds SerialLink::SettleQuiet() const {
  return TransportUnknown() ? std::chrono::nanoseconds(kUnknownLumpGap) : BurstQuiet();
}

void SerialLink::Wake() {
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
}

void SerialLink::SetPromptAwaited(bool on) {
  promptAwaited_ = on;
  // Bytes held for the full quiet go over at once; without a wake-up the
  // thread would sleep out the quiet it began with.
  if (on && holding_.load() && wakeFd_ >= 0) Wake();
}

void SerialLink::NoteWrite(bool starting) {
  if (starting) {
    // What waits now came before the command. Bytes a network port's socket
    // holds are taken in for the count; the receive thread, whose wait the
    // socket then no longer wakes, is woken for them.
    int queued;
    if (remote_) {
      const int before = remote_->Queued();
      queued = remote_->Pump();
      if (queued > before && wakeFd_ >= 0) Wake();
    } else {
      queued = tty::QueuedInput(fd_);
    }
    // Stored before the time, which the receive thread reads first.
    queuedAtWrite_ = std::max(queued, 0);
  }
  lastWriteNs_ = Now();
  // Output held for its quiet ends with the write (see the top of link.h):
  // the thread would otherwise sleep the quiet out first.
  if (holding_.load() && wakeFd_ >= 0) Wake();
}

void SerialLink::SetUpTransport(const std::string& devicePath, const std::string& sysClassTty) {
  identity_ = IdentifyDevice(sysClassTty, devicePath);
  restoreLowLatency_ = false;
  if (identity_.transport == PortIdentity::Transport::Usb && tty::GetLowLatency(fd_) == 0)
    restoreLowLatency_ = tty::SetLowLatency(fd_, true);
  latencyMs_ = ReadLatencyTimer(identity_);
  gaps_ = TransportGaps::Of(identity_, latencyMs_);
  // What the arrivals taught holds for the device, in time units, across
  // opens and rates.
  if (const int old = rateChangedFrom_.exchange(0); old > 0) learner_.RateChanged(old);  // not seen before the close
  if (devicePath != learnedFor_) {
    learner_.Reset();
    learnedFor_ = devicePath;
  } else if (rate_ != learnedAt_) {
    learner_.RateChanged(learnedAt_);
  }
  learnedAt_ = rate_;
  learnedNs_ = learner_.Quiet().count();
}

int SerialLink::QueuedInput() { return remote_ ? remote_->Pump() : tty::QueuedInput(fd_); }

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
  if (!IsOpen()) return;
  RequestStop();
  FinishClose();
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
  // Edge-triggered on the port: the thread learns of every arrival of bytes,
  // also while earlier ones still wait to be read.
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
    pending_ = false;
    stopping_ = false;
    handledEnd_ = ChunkEnd::Quiet;
  }
  lost_ = false;
  readError_ = false;
  promptAwaited_ = false;
  holding_ = false;
  // Writes to the device opened before say nothing of this one's bytes.
  queuedAtWrite_ = 0;
  lastWriteNs_ = 0;
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
  // A FIFO's lumps follow the rate: the receive thread forgets what only
  // held at the old one.
  if (const int old = rate_.exchange(rate); rate != old) {
    rateChangedFrom_ = old;
    learnedAt_ = rate;
  }
  // A wait the thread began at the old rate is cut short so it counts anew.
  Wake();
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
  std::lock_guard lock(mutex_);
  pending_ = false;
}

std::string SerialLink::ReadAvailable() {
  std::string bytes;
  if (!IsOpen()) return bytes;
  // A chunk cut by a write is exactly what came before it; what came since
  // stays queued for the next one.
  size_t limit = std::string::npos;
  {
    std::lock_guard lock(mutex_);
    if (pending_ && pendingEnd_ == ChunkEnd::Sent) limit = static_cast<size_t>(pendingCount_);
  }
  const int count = remote_ ? 0 : static_cast<int>(std::min<size_t>(tty::QueuedInput(fd_), limit));
  if (remote_) bytes = limit == std::string::npos ? remote_->Take() : remote_->TakeQueued(limit);
  if (count > 0) {
    bytes.resize(static_cast<size_t>(count));
    ssize_t got = read(fd_, bytes.data(), bytes.size());
    if (got < 0) {
      if (errno == EIO) readError_ = true;
      got = 0;
    }
    bytes.resize(static_cast<size_t>(got));
  }
  std::lock_guard lock(mutex_);
  handledEnd_ = static_cast<int>(bytes.size()) > pendingCount_ ? ChunkEnd::MoreCame : pendingEnd_;
  return bytes;
}

ChunkEnd SerialLink::LastChunkEnd() const {
  std::lock_guard lock(mutex_);
  return handledEnd_;
}

void SerialLink::WriteBytewise(const char* data, size_t count) {
  if (count == 0 || !IsOpen()) return;
  // Arrivals during and after a write may answer it: they teach nothing of
  // the gaps inside one burst.
  NoteWrite(true);
  // The bytes cross the network together; the server's side writes them to the line.
  if (remote_) remote_->Write(data, count);
  for (size_t i = remote_ ? count : 0; i < count && IsOpen();) {
    const ssize_t n = write(fd_, data + i, 1);
    if (n == 1) ++i;
    else if (n == 0 || errno != EINTR) break;  // after a signal the same byte is still to go
  }
  NoteWrite(false);
}

void SerialLink::WriteBlock(const char* data, size_t count) {
  if (count == 0 || !IsOpen()) return;
  NoteWrite(true);
  struct Noted {
    SerialLink& link;
    ~Noted() { link.NoteWrite(false); }
  } noted{*this};
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

bool SerialLink::NotificationPending() const {
  std::lock_guard lock(mutex_);
  return pending_;
}

void SerialLink::NotificationHandled(bool burstEndWanted, std::chrono::nanoseconds settle) {
  {
    std::lock_guard lock(mutex_);
    pending_ = false;
    endWanted_ = burstEndWanted;
    settleNs_ = settle.count();
  }
  cv_.notify_all();
}

bool SerialLink::WaitForNotification(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  cv_.wait_until(lock, deadline, [this] { return pending_ || lost_.load(); });
  return pending_;
}

bool SerialLink::HandOver(ChunkEnd end, int queued) {
  {
    std::lock_guard lock(mutex_);
    pending_ = true;
    pendingEnd_ = end;
    pendingCount_ = queued;
  }
  cv_.notify_all();
  if (wakeHook_) wakeHook_();
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [this] { return !pending_ || stopping_; });
  return !stopping_;
}

void SerialLink::ReceiveLoop() {
  // The receiver answers a line that may run at close to a megabaud; one step
  // above normal priority keeps it from lagging behind busy work. Without the
  // privilege the request is simply refused.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -1);
  // Its waits are a few character times long; the default slack of 50 us would
  // stretch them noticeably.
  prctl(PR_SET_TIMERSLACK, 1UL);
  bool inChunk = false;  // bytes are queued that have not been handed over
  bool owesEnd = false;  // a chunk went over before its burst was seen to end
  std::chrono::nanoseconds settle{0};  // the main thread asked the owed end to wait this long
  int seen = 0;          // bytes queued at the last look
  bool leftQueued = false;  // the last hand-over left bytes that came after a write
  Clock::time_point first{}, last{};  // the chunk's first arrival, the latest arrival
  const auto wrote = [this] { return Clock::time_point(Clock::duration(lastWriteNs_.load())); };
  for (;;) {
    // Announced before promptAwaited_ and lastWriteNs_ are read, while
    // SetPromptAwaited and NoteWrite write first and read after: one of the
    // two sees the other, so bytes held for the full quiet are never overlooked.
    holding_ = inChunk || owesEnd;
    const bool awaited = promptAwaited_.load();
    const int rate = rate_.load();
    const std::chrono::nanoseconds quiet = QuietAt(rate);
    const std::chrono::nanoseconds owedQuiet = std::max(quiet, settle);
    Clock::time_point deadline = Clock::time_point::max();
    if (inChunk) deadline = awaited ? last : std::min(last + quiet, first + kChunkLimit);
    else if (owesEnd) deadline = last + owedQuiet;
    // The PC wrote since: what it holds came before the command and ends there.
    if ((inChunk || owesEnd) && wrote() > last) deadline = Clock::now();
    // Bytes left queued behind a chunk cut by a write woke no wait of ours.
    if (std::exchange(leftQueued, false)) deadline = Clock::now();
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
    const auto now = Clock::now();
    const int queued = QueuedInput();
    if (remote_ && remote_->Closed()) hangUp = true;
    if (const int old = rateChangedFrom_.exchange(0); old > 0) {
      learner_.RateChanged(old);
      learnedNs_ = learner_.Quiet().count();
    }
    // Bytes that waited when the PC last wrote came before its command, also
    // when the thread had not seen them yet.
    const bool cutByWrite = wrote() > last && (inChunk || owesEnd || queuedAtWrite_.load() > 0);
    // Bytes the main thread has already read are no news.
    if (queued > seen) {
      learner_.Arrival(now, queued - seen, rate, wrote());
      learnedNs_ = learner_.Quiet().count();
      if (!inChunk) first = now;
      inChunk = true;
      owesEnd = false;
      settle = std::chrono::nanoseconds(0);
      last = now;
    }
    seen = queued;
    const std::chrono::nanoseconds endQuiet = owesEnd ? owedQuiet : quiet;
    bool handOver = true;
    ChunkEnd end = ChunkEnd::Quiet;
    if (inChunk && queued >= kInputQueueFull) end = ChunkEnd::QueueFull;
    else if ((inChunk || owesEnd) && (now >= last + endQuiet || hangUp)) end = ChunkEnd::Quiet;
    else if (cutByWrite) end = ChunkEnd::Sent;
    else if (inChunk && awaited) end = ChunkEnd::Lump;
    else if (inChunk && now >= first + kChunkLimit) end = ChunkEnd::TimeLimit;
    else handOver = false;
    if (handOver) {
      const int count = end == ChunkEnd::Sent ? std::min(queued, queuedAtWrite_.load()) : queued;
      if (!HandOver(end, count)) break;
      leftQueued = count < queued;
      inChunk = false;
      seen = 0;
      ChunkEnd handled;
      {
        std::lock_guard lock(mutex_);
        handled = handledEnd_;
        settle = std::chrono::nanoseconds(settleNs_);
        owesEnd = (handled != ChunkEnd::Quiet && handled != ChunkEnd::Sent && (handled != ChunkEnd::Lump || endWanted_)) ||
                  settle.count() > 0;
      }
      // Bytes that came while the thread was parked came at no moment it saw.
      // (Only a look: bytes taken from a socket here would never wake the wait.)
      if (handled == ChunkEnd::MoreCame || (remote_ ? remote_->Queued() : tty::QueuedInput(fd_)) > 0)
        learner_.Interrupted();
      // Bytes the main thread read with the chunk may have come up to now.
      last = Clock::now();
    }
    if (hangUp || readError_) {
      {
        std::lock_guard lock(mutex_);
        lost_ = true;
      }
      cv_.notify_all();
      if (wakeHook_) wakeHook_();
      break;
    }
  }
  holding_ = false;
  finished_ = true;
  cv_.notify_all();
}

}  // namespace qv
