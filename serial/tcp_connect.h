#pragma once
// Reaching a host over TCP within a time limit. The name lookup runs in the
// background and is given up at the deadline; a host with several addresses
// (::1 and 127.0.0.1 for localhost, an IPv6 and an IPv4 address for a bench
// box) has them tried as RFC 8305 does: IPv6 and IPv4 in turn, each attempt
// begun kAttemptDelay after the one before (at once when that one failed),
// the earlier ones still running, the first to connect taken. An address that
// never answers so costs a quarter of a second instead of the whole limit.
#include <netdb.h>

#include <chrono>
#include <string>
#include <vector>

namespace qv::net {

using Clock = std::chrono::steady_clock;

inline constexpr std::chrono::milliseconds kAttemptDelay{250};

// Looks up `host` and `service` (a port number) for a stream socket: 0 with
// `found` set (free it with freeaddrinfo), or an EAI_ code; EAI_AGAIN when
// the deadline passed first.
int Resolve(const std::string& host, const std::string& service, Clock::time_point deadline, addrinfo*& found);

// The order the addresses are tried in: the families in turn, beginning with
// the family of the first address the lookup gave.
std::vector<const addrinfo*> AttemptOrder(const addrinfo* list);

struct Connection {
  int fd = -1;    // non-blocking, close-on-exec; -1 when none connected
  int err = 0;    // fd < 0: why the last attempt to end failed (ETIMEDOUT at the deadline)
  Clock::duration took{};  // how long the winning attempt took: about one round trip
};

// Tries `order` as above until one connects or the deadline passes.
Connection ConnectFirst(const std::vector<const addrinfo*>& order, Clock::time_point deadline);

}  // namespace qv::net
