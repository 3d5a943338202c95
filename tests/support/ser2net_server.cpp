#include "tests/support/ser2net_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace qv::test {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

// True once somebody listens on the port: it can no longer be bound.
bool Bound(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in a = Loopback(port);
  const bool free = bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return !free;
}

const char* Ser2NetProgram() {
  for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net"})
    if (access(path, X_OK) == 0) return path;
  return nullptr;
}

}  // namespace

int FreeTcpPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(0);
  socklen_t size = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

Ser2NetServer::Ser2NetServer(const std::string& device, Options options) {
  const char* program = Ser2NetProgram();
  if (!program) {
    why_ = "ser2net is not installed (scripts/deps.sh installs it)";
    return;
  }
  char dir[] = "/tmp/qv-ser2net-XXXXXX";
  if (!mkdtemp(dir)) {
    why_ = "no scratch folder";
    return;
  }
  dir_ = dir;
  port_ = FreeTcpPort();
  rfc2217_ = options.rfc2217;
  // The settings the README gives a bench: no Nagle delay on the socket and
  // no character delay (either would hold bytes back hoping for more), one
  // user at a time.
  const std::string config = dir_ + "/ser2net.yaml";
  std::ofstream(config) << "%YAML 1.1\n---\nconnection: &bench\n  accepter: "
                        << (options.rfc2217 ? "telnet(rfc2217),tcp(nodelay)," : "tcp(nodelay),") << "127.0.0.1," << port_
                        << "\n  connector: serialdev," << device
                        << ",9600n81,local\n  options:\n    max-connections: 1\n    kickolduser: false\n"
                        << "    chardelay: false\n";
  const std::string log = dir_ + "/ser2net.log";
  pid_ = fork();
  if (pid_ == 0) {
    // -n: foreground, -d: messages to stderr, -u: no UUCP lock files.
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    execl(program, "ser2net", "-n", "-d", "-u", "-c", config.c_str(), "-P", (dir_ + "/pid").c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  // Up as soon as it listens.
  for (int i = 0; i < 300 && pid_ > 0; ++i) {
    if (Bound(port_)) return;
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    else std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  why_ = "ser2net did not start listening (see " + log + ")";
  Kill();
}

Ser2NetServer::~Ser2NetServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  if (!dir_.empty() && why_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
}

std::string Ser2NetServer::Name() const {
  return (rfc2217_ ? "rfc2217://127.0.0.1:" : "tcp://127.0.0.1:") + std::to_string(port_);
}

void Ser2NetServer::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace qv::test
