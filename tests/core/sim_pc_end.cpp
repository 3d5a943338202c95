// termios2 lets the test set any rate; its header must not meet <termios.h>.
#include "sim_pc_end.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>

namespace qv::sim::testing {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

PcEnd::~PcEnd() { Close(); }

bool PcEnd::Open(const std::string& path, int rate) {
  Close();
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return false;
  ioctl(fd_, TIOCEXCL);
  struct termios2 t {};
  if (ioctl(fd_, TCGETS2, &t) != 0) return false;
  t.c_iflag = 0;
  t.c_oflag = 0;
  t.c_lflag = 0;
  t.c_cflag = CS8 | CREAD | CLOCAL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (ioctl(fd_, TCSETS2, &t) != 0) return false;
  return SetRate(rate);
}

void PcEnd::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool PcEnd::SetRate(int rate) {
  struct termios2 t {};
  if (ioctl(fd_, TCGETS2, &t) != 0) return false;
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = t.c_ospeed = static_cast<speed_t>(rate);
  return ioctl(fd_, TCSETS2, &t) == 0;
}

void PcEnd::Send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{fd_, POLLOUT, 0};
      if (poll(&p, 1, 1000) <= 0) return;
    }
  }
}

std::string PcEnd::ReadChunk(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) return {};
  char buf[8192];
  const ssize_t n = read(fd_, buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string PcEnd::ReadFor(int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  std::string got;
  for (int left; (left = MsLeft(end)) > 0;) got += ReadChunk(left);
  return got;
}

std::string PcEnd::ReadUntilEnd(const std::string& tail, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string got;
  while (!got.ends_with(tail)) {
    const int left = MsLeft(end);
    if (left == 0) break;
    got += ReadChunk(left);
  }
  return got;
}

bool PcEnd::HangUp(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, timeoutMs) > 0 && (p.revents & (POLLHUP | POLLERR));
}

}  // namespace qv::sim::testing
