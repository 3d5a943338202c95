#pragma once
// A bare pseudo-terminal whose master side the test writes by hand, so the
// console's receive path can be fed chunks with exact boundaries.
#include <string>

namespace qv::test {

class RawPty {
 public:
  RawPty();
  ~RawPty();
  RawPty(const RawPty&) = delete;
  RawPty& operator=(const RawPty&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  void Write(const std::string& bytes);
  // What the console sent, as far as it has arrived.
  std::string ReadAll();
  // Closes the master: the console's side sees a hang-up.
  void CloseMaster();

 private:
  int master_ = -1;
  int holder_ = -1;  // keeps the slave open so the master never sees a hang-up by itself
  std::string slavePath_;
};

}  // namespace qv::test
