#include "tests/support/rfc2217_test_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "serial/telnet_codec.h"
#include "serial/tty_io.h"

namespace qv::test {

using namespace telnet;

Rfc2217TestServer::Rfc2217TestServer(const std::string& device) {
  device_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  tty::MakeRaw(device_);
  tty::SetBaud(device_, 9600);
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  // A small window: the socket of a client this server stops reading fills soon.
  const int small = 4096;
  setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
  listen(listener_, 4);
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread(&Rfc2217TestServer::Serve, this);
}

Rfc2217TestServer::~Rfc2217TestServer() {
  stop_ = true;
  thread_.join();
  close(listener_);
  close(device_);
}

std::string Rfc2217TestServer::Name() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }

void Rfc2217TestServer::SendRaw(const std::string& bytes) {
  std::lock_guard lock(mutex_);
  raw_ += bytes;
}

void Rfc2217TestServer::Serve() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Converse(client);
    close(client);
  }
}

void Rfc2217TestServer::Converse(int client) {
  Decoder decoder;
  int rate = 9600;
  const auto give = [client](const std::string& bytes) { send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL); };
  while (!stop_) {
    {
      std::lock_guard lock(mutex_);
      give(raw_);
      raw_.clear();
    }
    pollfd p[2] = {{device_, POLLIN, 0}, {client, POLLIN, 0}};
    const nfds_t watched = reading_ ? 2 : 1;
    if (poll(p, watched, 5) <= 0) continue;
    char buffer[4096];
    if (p[0].revents & POLLIN) {
      if (const ssize_t n = read(device_, buffer, sizeof buffer); n > 0)
        give(Escape(std::string_view(buffer, static_cast<size_t>(n))));
    }
    if (watched < 2 || !(p[1].revents & (POLLIN | POLLHUP))) continue;
    const ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    std::string data, answer;
    std::vector<Event> events;
    decoder.Feed(std::string_view(buffer, static_cast<size_t>(n)), data, events);
    for (const Event& e : events) {
      if (e.verb == kWill || e.verb == kDo) answer += Negotiation(e.verb == kWill ? kDo : kWill, e.option);
      if (e.verb != kSb || e.option != kComPort || e.payload.empty()) continue;
      const auto code = static_cast<uint8_t>(e.payload[0]);
      std::string value = e.payload.substr(1);
      if (code == comport::kSetBaudRate) {
        if (const auto asked = static_cast<int>(RateOf(value)); keptAbove == 0 || asked <= keptAbove) {
          rate = asked;
          tty::SetBaud(device_, rate);
        }
        value = RateValue(static_cast<uint32_t>(rate));
      }
      answer += ComPortCommand(static_cast<uint8_t>(code + comport::kServerOffset), value);
    }
    if (!data.empty() && write(device_, data.data(), data.size()) < 0) return;
    give(answer);
  }
}

}  // namespace qv::test
