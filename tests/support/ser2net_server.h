#pragma once
// ser2net, as Debian ships it, serving one device on 127.0.0.1 for a test or
// benchmark: its own configuration, a free port, in the foreground, stopped
// (or killed) by the test.
#include <sys/types.h>

#include <string>

namespace qv::test {

class Ser2NetServer {
 public:
  struct Options {
    bool rfc2217 = true;  // false: a plain TCP bridge, no Telnet
  };
  // Starts ser2net for `device`; Running() tells whether it came up, Why() why not.
  explicit Ser2NetServer(const std::string& device, Options options);
  explicit Ser2NetServer(const std::string& device) : Ser2NetServer(device, Options{}) {}
  ~Ser2NetServer();
  Ser2NetServer(const Ser2NetServer&) = delete;
  Ser2NetServer& operator=(const Ser2NetServer&) = delete;

  bool Running() const { return pid_ > 0; }
  const std::string& Why() const { return why_; }
  int Port() const { return port_; }
  // The port's name for the console: rfc2217://127.0.0.1:PORT, or
  // tcp://127.0.0.1:PORT for a plain bridge.
  std::string Name() const;
  // Ends the server at once (SIGKILL): its connections drop as a crashed
  // server's or a pulled network cable's would.
  void Kill();

 private:
  std::string dir_;
  int port_ = 0;
  bool rfc2217_ = true;
  pid_t pid_ = -1;
  std::string why_;
};

// A TCP port on 127.0.0.1 that nothing listens on (a moment ago at least).
int FreeTcpPort();

}  // namespace qv::test
