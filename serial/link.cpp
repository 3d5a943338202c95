#include "serial/link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/tty_io.h"

namespace qv {

SerialLink::~SerialLink() {
  if (!IsOpen()) return;
  RequestStop();
  FinishClose();
}

void SerialLink::Fail(const std::string& what, int err) {
  lastErrno_ = err;
  lastError_ = what + ": " + std::strerror(err);
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool SerialLink::Open(const std::string& devicePath, int rate) {
  if (IsOpen()) return false;
  lastError_.clear();
  lastErrno_ = 0;
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
  tty::SetExclusive(fd_);
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
  tty::Purge(fd_);
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  if (stopFd_ < 0) {
    Fail("eventfd", errno);
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    pending_ = false;
    stopping_ = false;
  }
  lost_ = false;
  readError_ = false;
  finished_ = false;
  try {
    thread_ = std::thread(&SerialLink::ReceiveLoop, this);
  } catch (const std::system_error& e) {
    close(stopFd_);
    stopFd_ = -1;
    finished_ = true;
    Fail("receive thread", e.code().value());
    return false;
  }
  return true;
}

bool SerialLink::SetBaud(int rate) { return IsOpen() && tty::SetBaud(fd_, rate); }

bool SerialLink::SetModemLines(bool on) { return IsOpen() && tty::SetModemLines(fd_, on); }

bool SerialLink::GetModemLines(bool& dtr, bool& rts) const {
  return IsOpen() && tty::GetModemLines(fd_, dtr, rts);
}

void SerialLink::RequestStop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  cv_.notify_all();
  if (stopFd_ >= 0) {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(stopFd_, &one, sizeof one);
  }
}

void SerialLink::FinishClose() {
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) {
    tty::Purge(fd_);
    close(fd_);  // also releases the advisory lock
    fd_ = -1;
  }
  if (stopFd_ >= 0) close(stopFd_);
  stopFd_ = -1;
  lost_ = false;
  std::lock_guard lock(mutex_);
  pending_ = false;
}

std::string SerialLink::ReadAvailable() {
  std::string bytes;
  if (!IsOpen()) return bytes;
  int count = tty::QueuedInput(fd_);
  if (count <= 0) return bytes;
  bytes.resize(static_cast<size_t>(count));
  ssize_t got = read(fd_, bytes.data(), bytes.size());
  if (got < 0) {
    if (errno == EIO) readError_ = true;
    got = 0;
  }
  bytes.resize(static_cast<size_t>(got));
  return bytes;
}

void SerialLink::WriteBytewise(const char* data, size_t count) {
  for (size_t i = 0; i < count && IsOpen();) {
    const ssize_t n = write(fd_, data + i, 1);
    if (n == 1) ++i;
    else if (n == 0 || errno != EINTR) break;  // after a signal the same byte is still to go
  }
}

void SerialLink::WriteBlock(const char* data, size_t count) {
  size_t done = 0;
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

void SerialLink::NotificationHandled() {
  {
    std::lock_guard lock(mutex_);
    pending_ = false;
  }
  cv_.notify_all();
}

bool SerialLink::WaitForNotification(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  cv_.wait_until(lock, deadline, [this] { return pending_ || lost_.load(); });
  return pending_;
}

void SerialLink::ReceiveLoop() {
  // The receiver answers a line that may run at close to a megabaud; one step
  // above normal priority keeps it from lagging behind busy work. Without the
  // privilege the request is simply refused.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -1);
  for (;;) {
    pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
    int rc = poll(fds, 2, -1);
    if (rc < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents) break;  // a close request wins over further data
    const bool hangUp = fds[1].revents & (POLLHUP | POLLERR | POLLNVAL);
    if (fds[1].revents & POLLIN) {
      {
        std::lock_guard lock(mutex_);
        pending_ = true;
      }
      cv_.notify_all();
      if (wakeHook_) wakeHook_();
      std::unique_lock lock(mutex_);
      cv_.wait(lock, [this] { return !pending_ || stopping_; });
      if (stopping_) break;
    }
    if (hangUp || readError_) {
      lost_ = true;
      cv_.notify_all();
      if (wakeHook_) wakeHook_();
      break;
    }
  }
  finished_ = true;
  cv_.notify_all();
}

}  // namespace qv
