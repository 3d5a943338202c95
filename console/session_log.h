#pragma once
// The session log: what the terminal pane shows, added to a file as it
// arrives, each line stamped with the local time its first byte came:
//
//   2026-12-07 11:02:28.123 F3 T>/2
//   2026-12-07 11:02:28.131 F3 2>
//
// A line of the log is a line of the pane, so the technician finds in the file
// the lines they saw:
//  - A line ends where the pane ends one: at the drive's CR LF, lone CR or
//    lone LF, and where the pane wraps a line at 110 bytes (the rest starts a
//    new line with the same stamp, as it arrived in the same chunk).
//  - The serial driver hands text over in chunks that end anywhere; a chunk
//    that ends mid-line does not end the line, the next one goes on with it.
//  - Lines the program puts in the pane (progress lines, notices) are lines
//    too; a verdict appended to a progress line ("完成！") stays on it.
//  - Control bytes are written as the pane shows them, as visible symbols: a
//    backspace from the drive is "␈" in the log as in the pane, not an erasure.
//  - A line that changes after the log has moved on from it (a verdict put on
//    a progress line above the notice of a lost port), or that was on the pane
//    before the log began and is then continued, is written again whole,
//    stamped with the time of the change.
//  - Clearing the pane ends the current line; the log goes on.
// A line still arriving is written as far as it has come (so `tail -f` shows
// a prompt at once); the line break follows when the next line begins.
//
// The log is UTF-8 with LF line ends whatever the pane holds (GBK): that is
// what the tools of a Linux workstation read. An existing file is added to,
// never replaced; each line carries its date, so sessions stay apart.
//
// The receive path never waits for the disk: lines collect in memory and a
// writer thread writes them at least once a second, at once when asked (the
// port closes) and when the log stops. A write that fails stops the writing;
// the main thread learns of it from Failed() and stops the log.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "console/text_store.h"
#include "files/file_io.h"

namespace qv {

// The technician's wall clock: local date and time, to the millisecond.
using LocalTime = std::chrono::local_time<std::chrono::milliseconds>;
using LocalClock = std::function<LocalTime()>;
LocalTime LocalNow();
// "2026-12-07 11:02:28.123"
std::string FormatLocalTime(LocalTime time);
// "20261207-110228": for file names.
std::string FileNameTime(LocalTime time);

class SessionLog : private TextPane::Listener {
 public:
  explicit SessionLog(TextPane& pane, LocalClock clock = LocalNow);
  ~SessionLog() override;
  SessionLog(const SessionLog&) = delete;
  SessionLog& operator=(const SessionLog&) = delete;

  // Opens `path` for adding and follows the pane from now on; what it already
  // shows is not written. The trouble when the file cannot be opened.
  FileTrouble Start(const std::string& path);
  // Writes what is still in memory, ends the last line and closes the file,
  // waiting for the writer. The trouble if a write failed.
  FileTrouble Stop();
  bool Active() const { return writer_.joinable(); }
  const std::string& Path() const { return path_; }
  // Has the writer write what has collected now rather than within the second.
  void Flush();
  // A write failed: nothing more is written; Stop() tells why.
  bool Failed() const { return failed_.load(); }

 private:
  void PaneChanged(size_t firstLine) override;
  // Under mutex_.
  void StartLine();
  void EndLine();
  void HandOverOpenLine();
  void WriterLoop();

  TextPane& pane_;
  LocalClock clock_;
  std::string path_;
  std::unique_ptr<AppendFile> file_;
  std::thread writer_;

  // Where the log is in the pane (main thread): lines [0, reached_) have been
  // met, and the log holds taken_ bytes of the last of them.
  size_t reached_ = 0;
  size_t taken_ = 0;

  // Shared with the writer.
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string ready_;     // UTF-8, ready to be written
  bool lineOpen_ = false;  // the log's last line is pane line reached_ - 1, still growing
  std::string lineGbk_;   // its bytes not yet in ready_
  size_t lineHanded_ = 0;  // its bytes already in ready_
  bool flushNow_ = false;
  bool stopping_ = false;
  std::atomic<bool> failed_{false};
};

}  // namespace qv
