#pragma once
// An RFC 2217 server of the tests' own, for what ser2net does not show: it
// waits for the client to begin the negotiation, may answer SET-BAUDRATE with
// the rate it kept, may stop reading, and may send a line-state notice or a
// subnegotiation that never ends. It serves one device (the simulated drive's
// pseudo-terminal) on 127.0.0.1, one connection at a time, on a thread of its own.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace qv::test {

class Rfc2217TestServer {
 public:
  explicit Rfc2217TestServer(const std::string& device);
  ~Rfc2217TestServer();
  Rfc2217TestServer(const Rfc2217TestServer&) = delete;
  Rfc2217TestServer& operator=(const Rfc2217TestServer&) = delete;

  std::string Name() const;  // rfc2217://127.0.0.1:PORT

  // A rate above this is answered with the rate the line keeps (0: every rate taken).
  std::atomic<int> keptAbove{0};
  // From now on nothing more is read from the client.
  void StopReading() { reading_ = false; }
  // Bytes to the client as they stand (Telnet commands of the test's making).
  void SendRaw(const std::string& bytes);

 private:
  void Serve();
  void Converse(int client);

  int listener_ = -1;
  int port_ = 0;
  int device_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<bool> reading_{true};
  std::mutex mutex_;
  std::string raw_;  // waiting for SendRaw's turn
  std::thread thread_;
};

}  // namespace qv::test
