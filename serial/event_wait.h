#pragma once
// Waiting on an epoll set with a timeout finer than a millisecond. The quiet
// that ends a burst at fast rates is a fraction of a millisecond, which only
// epoll_pwait2 (Linux 5.11) takes directly. Where it is missing (an older
// kernel answers ENOSYS) or refused (a container's seccomp profile answers
// EPERM), ppoll on the epoll descriptor waits just as finely and
// epoll_wait then collects what is ready without waiting.
#include <sys/epoll.h>

#include <ctime>
#include <functional>

namespace qv {

// Like epoll_pwait2 without a signal mask: `timeout` null waits without limit.
int WaitEvents(int pollFd, epoll_event* events, int max, const timespec* timeout);

// Makes every later wait take the ppoll way (true), as if epoll_pwait2 were
// missing, or lets the first wait find out again (false). For tests.
void ForceEventWaitFallback(bool on);

// Runs `*hook` on the waiting thread each time a wait returns, before the
// thread looks at what came, or nothing (null). For tests: a test holds the
// receive thread there as a loaded machine would, to let bytes pile up behind
// those it woke for. Set it while no port is open.
void SetWaitReturnHook(const std::function<void()>* hook);

}  // namespace qv
