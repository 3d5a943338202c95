#include "serial/event_wait.h"

#include <poll.h>

#include <atomic>
#include <cerrno>

namespace qv {

namespace {
// Learned at the first wait that is refused; every receive thread shares it.
std::atomic<bool> fallback{false};
std::atomic<const std::function<void()>*> waitReturnHook{nullptr};

int PpollThenCollect(int pollFd, epoll_event* events, int max, const timespec* timeout) {
  pollfd ready{pollFd, POLLIN, 0};
  const int n = ppoll(&ready, 1, timeout, nullptr);
  if (n <= 0) return n;
  // Ready events are taken as epoll_pwait2 would take them; an edge that
  // another reader consumed meanwhile leaves none, like a time-out.
  return epoll_wait(pollFd, events, max, 0);
}

int Wait(int pollFd, epoll_event* events, int max, const timespec* timeout) {
  if (!fallback.load(std::memory_order_relaxed)) {
    const int n = epoll_pwait2(pollFd, events, max, timeout, nullptr);
    if (n >= 0 || (errno != ENOSYS && errno != EPERM)) return n;
    fallback = true;
  }
  return PpollThenCollect(pollFd, events, max, timeout);
}
}  // namespace

int WaitEvents(int pollFd, epoll_event* events, int max, const timespec* timeout) {
  const int n = Wait(pollFd, events, max, timeout);
  if (const std::function<void()>* hook = waitReturnHook.load()) {
    const int err = errno;
    (*hook)();
    errno = err;
  }
  return n;
}

void ForceEventWaitFallback(bool on) { fallback = on; }

void SetWaitReturnHook(const std::function<void()>* hook) { waitReturnHook = hook; }

}  // namespace qv
