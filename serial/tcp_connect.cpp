#include "serial/tcp_connect.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace qv::net {

namespace {

int MillisecondsUntil(Clock::time_point when) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

}  // namespace

// A lookup that asks a DNS server can take far longer than an open may (the
// resolver tries each server for seconds), hence the background request.
int Resolve(const std::string& host, const std::string& service, Clock::time_point deadline, addrinfo*& found) {
  struct Lookup {
    std::string host, service;
    addrinfo hints{};
    gaicb request{};
  };
  auto* lookup = new Lookup{host, service};
  lookup->hints.ai_family = AF_UNSPEC;
  lookup->hints.ai_socktype = SOCK_STREAM;
  lookup->hints.ai_flags = AI_NUMERICSERV;
  lookup->request.ar_name = lookup->host.c_str();
  lookup->request.ar_service = lookup->service.c_str();
  lookup->request.ar_request = &lookup->hints;
  gaicb* list[] = {&lookup->request};
  if (const int err = getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr); err != 0) {
    delete lookup;
    return err;
  }
  int err;
  while ((err = gai_error(&lookup->request)) == EAI_INPROGRESS && Clock::now() < deadline) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
    const timespec left{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    gai_suspend(list, 1, &left);
  }
  if (err == EAI_INPROGRESS) {
    // A lookup that cannot be cancelled still writes into its request when
    // it ends: that memory is left to it.
    if (gai_cancel(&lookup->request) == EAI_NOTCANCELED) return EAI_AGAIN;
    err = gai_error(&lookup->request);  // it may have ended meanwhile
    if (err == EAI_CANCELED || err == EAI_INPROGRESS) err = EAI_AGAIN;
  }
  found = err == 0 ? lookup->request.ar_result : nullptr;
  delete lookup;
  return err;
}

std::vector<const addrinfo*> AttemptOrder(const addrinfo* list) {
  std::vector<const addrinfo*> first, other;
  for (const addrinfo* a = list; a; a = a->ai_next) (a->ai_family == list->ai_family ? first : other).push_back(a);
  std::vector<const addrinfo*> order;
  for (size_t i = 0; i < std::max(first.size(), other.size()); ++i) {
    if (i < first.size()) order.push_back(first[i]);
    if (i < other.size()) order.push_back(other[i]);
  }
  return order;
}

Connection ConnectFirst(const std::vector<const addrinfo*>& order, Clock::time_point deadline) {
  std::vector<pollfd> pending;
  std::vector<Clock::time_point> began;
  Connection result{-1, ETIMEDOUT, {}};
  size_t next = 0;
  Clock::time_point nextAt = Clock::now();
  const auto finish = [&](int winner) {
    for (const pollfd& p : pending)
      if (p.fd != winner) close(p.fd);
    result.fd = winner;
    return result;
  };
  while (Clock::now() < deadline) {
    if (next < order.size() && (pending.empty() || Clock::now() >= nextAt)) {
      const addrinfo* a = order[next++];
      const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
      if (fd < 0) {
        result.err = errno;
        continue;
      }
      const auto start = Clock::now();
      if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
        result.took = Clock::now() - start;
        return finish(fd);
      }
      if (errno != EINPROGRESS) {  // refused at once, no route: the next one now
        result.err = errno;
        close(fd);
        continue;
      }
      pending.push_back({fd, POLLOUT, 0});
      began.push_back(start);
      nextAt = start + kAttemptDelay;
      continue;
    }
    if (pending.empty()) break;
    const Clock::time_point until = next < order.size() ? std::min(nextAt, deadline) : deadline;
    if (poll(pending.data(), pending.size(), MillisecondsUntil(until)) < 0 && errno != EINTR) break;
    for (size_t i = 0; i < pending.size();) {
      if (pending[i].revents == 0) {
        ++i;
        continue;
      }
      int err = 0;
      socklen_t size = sizeof err;
      if (getsockopt(pending[i].fd, SOL_SOCKET, SO_ERROR, &err, &size) != 0) err = errno;
      if (err == 0) {
        result.took = Clock::now() - began[i];
        return finish(pending[i].fd);
      }
      result.err = err;
      close(pending[i].fd);
      pending.erase(pending.begin() + static_cast<long>(i));
      began.erase(began.begin() + static_cast<long>(i));
      nextAt = Clock::now();  // a failed attempt hands over at once
    }
  }
  if (!pending.empty()) result.err = ETIMEDOUT;
  return finish(-1);
}

}  // namespace qv::net
