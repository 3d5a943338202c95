// The PC's end of a simulated drive's line, opened the plain way (raw fd,
// termios2 rate), so the drive's tests don't depend on the serial code.
#pragma once

#include <string>

namespace qv::sim::testing {

class PcEnd {
 public:
  PcEnd() = default;
  ~PcEnd();
  PcEnd(const PcEnd&) = delete;
  PcEnd& operator=(const PcEnd&) = delete;

  bool Open(const std::string& path, int rate = 9600);
  void Close();
  bool SetRate(int rate);
  void Send(const std::string& bytes);
  // Everything that arrives within ms.
  std::string ReadFor(int ms);
  // Reads until the text received so far ends with `tail` (or timeoutMs passes).
  std::string ReadUntilEnd(const std::string& tail, int timeoutMs = 2000);
  // One read() of what is queued once something arrives; empty on time-out.
  std::string ReadChunk(int timeoutMs = 2000);
  // Whether the line reports a hang-up within timeoutMs.
  bool HangUp(int timeoutMs);

 private:
  int fd_ = -1;
};

}  // namespace qv::sim::testing
