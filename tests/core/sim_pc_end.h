// The PC's end of a simulated drive's line, opened the plain way (raw fd,
// termios2 rate), so the drive's tests don't depend on the serial code.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "sim/sim_drive.h"

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

// A drive of its own and the PC's end of its line, opened at 9600.
class SimLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(drive.Start());
    ASSERT_TRUE(pc.Open(drive.SlavePath()));
  }
  // Sends the bytes and reads until the answer ends with `tail`.
  std::string Cmd(const std::string& bytes, const std::string& tail) {
    pc.Send(bytes);
    return pc.ReadUntilEnd(tail);
  }

  SimDrive drive;
  PcEnd pc;
};

}  // namespace qv::sim::testing
