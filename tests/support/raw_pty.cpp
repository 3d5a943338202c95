#include "tests/support/raw_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

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

int RawPty::QueuedForConsole() const {
  int queued = 0;
  return holder_ >= 0 && ioctl(holder_, FIONREAD, &queued) == 0 ? queued : 0;
}

void RawPty::CloseMaster() {
  if (holder_ >= 0) close(holder_);
  holder_ = -1;
  if (master_ >= 0) close(master_);
  master_ = -1;
}

std::vector<PacedWriter::Step> PacedWriter::Bytewise(const std::string& text, std::chrono::microseconds gap,
                                                    std::chrono::microseconds start) {
  std::vector<Step> steps;
  for (size_t i = 0; i < text.size(); ++i) steps.push_back({start + gap * static_cast<long long>(i), text.substr(i, 1)});
  return steps;
}

PacedWriter::PacedWriter(RawPty& pty, std::vector<Step> steps) {
  thread_ = std::thread([this, &pty, steps = std::move(steps)] {
    using Clock = std::chrono::steady_clock;
    prctl(PR_SET_TIMERSLACK, 1UL);
    // Where it may, the writer runs before everything else of the machine's,
    // so that no busy neighbour stretches the gaps the schedule sets (the
    // request is refused without the privilege, and the plan then holds less
    // tightly).
    const sched_param realtime{.sched_priority = 1};
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &realtime);
    const auto start = Clock::now();
    Clock::time_point previous = start;
    for (size_t i = 0; i < steps.size(); ++i) {
      const auto due = start + steps[i].at;
      // Waking takes some 20 us; the rest is spun. Sleeping until then lets the
      // pseudo-terminal pass the previous step on (yielding instead would hand
      // a busy machine's processor away for a whole time slice).
      std::this_thread::sleep_until(due - std::chrono::microseconds(30));
      while (Clock::now() < due) {
      }
      const auto now = Clock::now();
      if (i > 0) {
        const auto planned = steps[i].at - steps[i - 1].at;
        stretch_ = std::max(stretch_, std::chrono::duration_cast<std::chrono::microseconds>(now - previous - planned));
      }
      previous = now;
      pty.Write(steps[i].bytes);
    }
    done_ = true;
  });
}

PacedWriter::~PacedWriter() { thread_.join(); }

}  // namespace qv::test
