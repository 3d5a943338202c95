// The pseudo-terminal pair behind the simulated drive.
#pragma once

#include <string>

namespace qv::sim {

class SimLine {
 public:
  SimLine() = default;
  ~SimLine();
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  // Opens the pair, puts the line into raw mode at 9600 baud and keeps a slave
  // descriptor of our own so that the master never sees a hang-up just because
  // no PC program holds the port at the moment.
  bool Open();
  void Close();  // closes both ends: a PC holding the slave sees a hang-up
  bool IsOpen() const { return master_ >= 0; }
  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

  // The rate the PC has set on its side of the line, in baud; 0 if unreadable.
  int PcRate() const;

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

}  // namespace qv::sim
