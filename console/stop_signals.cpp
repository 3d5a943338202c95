#include "console/stop_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace qv::stop_signals {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> requests{0};
std::atomic<int> firstSignal{0};
std::atomic<long long> firstAtNs{0};
int wakePipe[2] = {-1, -1};

long long NowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Only what is safe in a handler: atomics, the clock, write.
void OnSignal(int signo) {
  const int savedErrno = errno;
  const long long now = NowNs();
  // The time is what decides: a second signal handled on another thread at
  // the same moment sees the first one's time, never none.
  long long firstAt = 0;
  if (firstAtNs.compare_exchange_strong(firstAt, now)) {
    firstSignal.store(signo);
    requests.store(1);
  } else if (now - firstAt >= std::chrono::nanoseconds(kSameRequest).count()) {
    if (requests.fetch_add(1) >= 1)
      for (int s : kSignals) signal(s, SIG_DFL);
  } else {
    errno = savedErrno;
    return;  // the same request again
  }
  if (wakePipe[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(wakePipe[1], &byte, 1);
  }
  errno = savedErrno;
}

sigset_t SignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals) sigaddset(&set, s);
  return set;
}

}  // namespace

void Catch() {
  if (wakePipe[0] < 0 && pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe[0] = wakePipe[1] = -1;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : kSignals) sigaction(s, &action, nullptr);
  const sigset_t set = SignalSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void Accept() {
  const sigset_t set = SignalSet();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int Requests() { return std::min(requests.load(), 2); }

int Status() {
  const int signo = firstSignal.load();
  return 128 + (signo > 0 ? signo : SIGINT);
}

const char* FirstName() {
  switch (firstSignal.load()) {
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "Ctrl-C";
  }
}

int WakeFd() { return wakePipe[0]; }

void DrainWakeFd() {
  char bytes[64];
  while (wakePipe[0] >= 0 && read(wakePipe[0], bytes, sizeof bytes) > 0) {
  }
}

}  // namespace qv::stop_signals
