// Uses the kernel's termios2 (any baud rate, read back as a number); that header
// clashes with <termios.h>, so this file must not include it.
#include "sim/sim_line.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qv::sim {

namespace {

bool MakeRaw9600(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  // The same flags as cfmakeraw(): 8 data bits, no processing in either direction.
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(CSIZE | PARENB | CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = t.c_ospeed = 9600;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace

SimLine::~SimLine() { Close(); }

bool SimLine::Open() {
  Close();
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) return false;
  char name[128];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
    Close();
    return false;
  }
  slavePath_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0 || !MakeRaw9600(slave_)) {
    Close();
    return false;
  }
  return true;
}

void SimLine::Close() {
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  master_ = slave_ = -1;
}

int SimLine::PcRate() const {
  // On a pty master the termios requests reach the slave's settings.
  struct termios2 t {};
  if (master_ < 0 || ioctl(master_, TCGETS2, &t) != 0) return 0;
  return static_cast<int>(t.c_ospeed);
}

}  // namespace qv::sim
