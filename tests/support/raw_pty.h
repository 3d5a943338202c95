#pragma once
// A bare pseudo-terminal whose master side the test writes by hand, so the
// console's receive path can be fed chunks with exact boundaries.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

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
  // The bytes written that wait on the console's side, not read yet.
  int QueuedForConsole() const;
  // Closes the master: the console's side sees a hang-up.
  void CloseMaster();

 private:
  int master_ = -1;
  int holder_ = -1;  // keeps the slave open so the master never sees a hang-up by itself
  std::string slavePath_;
};

// Writes to a RawPty on a thread of its own, each step at its moment to within
// a few microseconds, as a drive's line would deliver the bytes.
class PacedWriter {
 public:
  struct Step {
    std::chrono::microseconds at;  // after the start
    std::string bytes;             // written in one go
  };
  // Each byte of `text` on its own, `gap` apart, from `start` on.
  static std::vector<Step> Bytewise(const std::string& text, std::chrono::microseconds gap,
                                    std::chrono::microseconds start = {});

  PacedWriter(RawPty& pty, std::vector<Step> steps);
  ~PacedWriter();
  bool Done() const { return done_; }
  // Once Done(): the most by which the time between two steps exceeded the plan.
  std::chrono::microseconds Stretch() const { return stretch_; }

 private:
  std::thread thread_;
  std::chrono::microseconds stretch_{};
  std::atomic<bool> done_{false};
};

}  // namespace qv::test
