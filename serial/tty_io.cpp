#include "serial/tty_io.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>

namespace qv::tty {

namespace {
// The kernel's majors of pseudo-terminal slaves.
constexpr unsigned kPtySlaveMajorFirst = 136, kPtySlaveMajorLast = 143;
}  // namespace

bool MakeRaw(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_iflag = 0;  // no parity check, no XON/XOFF, no CR/LF translation
  t.c_oflag = 0;
  t.c_lflag = 0;
  t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return ioctl(fd, TCSETS2, &t) == 0;
}

bool SetBaud(int fd, int baud) {
  if (baud <= 0) return false;
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = static_cast<speed_t>(baud);
  t.c_ospeed = static_cast<speed_t>(baud);
  if (ioctl(fd, TCSETS2, &t) != 0) return false;
  // UART drivers quietly fall back to another rate when the clock cannot make
  // this one; what they really set is read back. Within 2% still talks.
  struct termios2 back {};
  if (ioctl(fd, TCGETS2, &back) != 0) return false;
  long diff = std::labs(static_cast<long>(back.c_ospeed) - baud);
  return diff * 50 <= baud;
}

int GetBaud(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return -1;
  return static_cast<int>(t.c_ospeed);
}

bool SetModemLines(int fd, bool on) {
  int bits = TIOCM_DTR | TIOCM_RTS;
  return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

bool GetModemLines(int fd, bool& dtr, bool& rts) {
  int bits = 0;
  if (ioctl(fd, TIOCMGET, &bits) != 0) return false;
  dtr = bits & TIOCM_DTR;
  rts = bits & TIOCM_RTS;
  return true;
}

int QueuedInput(int fd) {
  int count = 0;
  if (ioctl(fd, FIONREAD, &count) != 0 || count < 0) return 0;
  return count;
}

void Purge(int fd) { ioctl(fd, TCFLSH, TCIOFLUSH); }

bool SetExclusive(int fd, bool on) { return ioctl(fd, on ? TIOCEXCL : TIOCNXCL) == 0; }

bool IsPseudoTerminal(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned m = major(st.st_rdev);
  return m >= kPtySlaveMajorFirst && m <= kPtySlaveMajorLast;
}

int GetLowLatency(int fd) {
  serial_struct info {};
  if (ioctl(fd, TIOCGSERIAL, &info) != 0) return -1;
  return (info.flags & ASYNC_LOW_LATENCY) ? 1 : 0;
}

bool SetLowLatency(int fd, bool on) {
  serial_struct info {};
  if (ioctl(fd, TIOCGSERIAL, &info) != 0) return false;
  if (on) info.flags |= ASYNC_LOW_LATENCY;
  else info.flags &= ~ASYNC_LOW_LATENCY;
  return ioctl(fd, TIOCSSERIAL, &info) == 0;
}

}  // namespace qv::tty
