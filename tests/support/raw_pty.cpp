#include "tests/support/raw_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace qv::test {

RawPty::RawPty() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
  slavePath_ = ptsname(master_);
  holder_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios t{};
  tcgetattr(master_, &t);
  cfmakeraw(&t);
  tcsetattr(master_, TCSANOW, &t);
}

RawPty::~RawPty() {
  if (master_ >= 0) close(master_);
  if (holder_ >= 0) close(holder_);
}

void RawPty::Write(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size() && master_ >= 0) {
    ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
}

std::string RawPty::ReadAll() {
  std::string out;
  char buf[4096];
  for (;;) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) break;
    ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

void RawPty::CloseMaster() {
  if (holder_ >= 0) close(holder_);
  holder_ = -1;
  if (master_ >= 0) close(master_);
  master_ = -1;
}

}  // namespace qv::test
