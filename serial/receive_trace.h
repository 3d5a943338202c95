#pragma once
// A trace of the line: every entry of the receive record written as it is
// made, and read back into a record of its own, so that a session that went
// wrong can be decided again (and kept as a test).
//
// The file is plain text, one entry a line; times are microseconds since the
// trace began (three decimals: nanoseconds), bytes are hexadecimal:
//   open T RATE TRANSPORT MANUAL_US LEARNED   a port opened at RATE baud
//   rx T HEX                                  bytes the receive thread read
//   take T HEX                                bytes taken in before a send
//   tx T HEX                                  the PC sends
//   rate T RATE                               the line's rate changed
//   gap T US                                  a quiet set by hand (0: none)
//   close T                                   the port closed
// TRANSPORT is "unknown", "usb/MS" (the latency timer) or "uart/TRIGGER";
// LEARNED lists the gaps learned before the open in microseconds, comma
// separated, or "-". Lines starting with '#' are remarks. A trace goes on at
// the end of a file that exists: each session in it starts with its "open".
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_io.h"
#include "serial/receive_record.h"

namespace qv {

class ReceiveTrace : public RecordObserver {
 public:
  ReceiveTrace() = default;
  ReceiveTrace(const ReceiveTrace&) = delete;
  ReceiveTrace& operator=(const ReceiveTrace&) = delete;
  ~ReceiveTrace() override { Stop(); }

  // Starts writing at the end of `path`; a trouble when it cannot be opened.
  FileTrouble Start(const std::string& path);
  // Ends the file: the trouble of a write that failed on the way, if any.
  FileTrouble Stop();
  bool Active() const { return file_ != nullptr; }
  bool Failed() const { return trouble_.kind != FileTrouble::Kind::None; }
  const std::string& Path() const { return path_; }
  // The port closed: what is written so far goes to the file.
  void Closed(TimePoint at);

  void Opened(TimePoint at, int rate, const TransportGaps& gaps, std::chrono::nanoseconds manual,
              const LumpLearner& learned) override;
  void Arrived(TimePoint at, std::string_view bytes, bool seenArriving) override;
  void Sent(TimePoint at, std::string_view bytes) override;
  void RateChanged(TimePoint at, int rate) override;
  void ManualQuietSet(TimePoint at, std::chrono::nanoseconds quiet) override;

 private:
  void Line(std::string_view kind, TimePoint at, std::string_view rest);
  void Flush();

  std::unique_ptr<AppendFile> file_;
  std::string path_;
  std::string buffered_;  // lines not written yet: the file is written a few kilobytes at a time
  TimePoint start_{};
  bool started_ = false;
  FileTrouble trouble_;
};

// A chunk as decided again from a trace: `at` in microseconds since the trace began.
struct ReplayedChunk {
  double atUs;
  ReceivedChunk chunk;
};

// Decides the chunks of a trace's text again. False with `error` naming the
// line that cannot be read.
bool ReplayTrace(std::string_view text, std::vector<ReplayedChunk>& chunks, std::string& error);

// One line per chunk: "1234.500 quiet sends=2 \"\r\nF3 T>\" prompt=T>/2 reply=ready".
std::string DescribeReplayedChunk(const ReplayedChunk& replayed);

}  // namespace qv
