#pragma once
// The record of the line, and the one function that decides from it what the
// main thread is handed.
//
// The record. Every lump of bytes the line brings is entered with the time it
// was read; every send of the PC is a mark, entered before its first byte
// goes out, after what the device already held has been entered. So each
// byte lies exactly before or after each send, whatever the two threads were
// doing. Rate changes and a quiet set by hand are entered too. The record
// keeps only what is undecided, and a short summary of what is decided: the
// line under way, the burst under way, the sends since the last prompt.
//
// The decision. The drive answers each command with a burst of output and
// waits, ending with its prompt ("F3 T>") or, in the block protocol, with one
// of its answers ("w" 0x88, 0x06, 0x15). The function decides, from the
// record, the time now and what is known of the transport's lumps:
//  - A burst ends when the line has been quiet for the burst quiet: two
//    character times (at least kQuietFloor), plus the longest gap the
//    transport leaves inside a burst (a USB adapter's latency timer and
//    frame, a UART's FIFO trigger and time-out, see burst_timing.h), at
//    least what the arrivals taught and what was set by hand. A send ends it
//    too: what came before a command cannot answer it.
//  - A prompt is the line under way, ending in ">" (blanks after it aside),
//    when its burst ends; a line break after it makes it data. A line with
//    the shape of the drive's prompts ("F3 T>", "2>") is taken at once when
//    it is the last thing received, since the drive prints one only to wait,
//    unless two or more sends are unanswered: then it may answer the earlier
//    one, and the burst's end decides (the later answer, cut off by a lump
//    edge, joins the burst and its prompt is the one taken). A send does not
//    decide another line ending in ">" ("Zone 3 ->" may go on with " Cyl").
//  - A burst that is exactly "w" 0x88, "w" or 0x88 is a ready, 0x06 an
//    acknowledgement, 0x15 a refusal. A 0x88 alone after a burst that was
//    "w" alone is that ready's second half, not another ready.
//  - On a transport nothing is known of, a burst whose end could still change
//    its meaning ("w" alone, a line ending in ">" that may go on, a prompt
//    with sends unanswered) waits at least kUnknownLumpGap before it counts.
//  - Chunks: the bytes of a burst go over when it ends, when a prompt is
//    taken, at a send, 10 ms after the chunk's first byte (long output comes
//    in pieces), or at kLargestChunk bytes.
// Each chunk says what it decided and how many sends came before its bytes
// and before its prompt line began; the console lets only what came after
// the latest send answer a wait begun after it.
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "serial/burst_timing.h"

namespace qv {

// Why a chunk ended.
enum class ChunkEnd {
  Quiet,      // the line fell quiet: the burst is over
  TimeLimit,  // the burst was still going kChunkLimit after the chunk's first byte
  Full,       // the chunk reached kLargestChunk bytes
  Sent,       // the PC sent: the output before its command ends here
  Prompt,     // a line with a prompt's shape, the last thing received
};

// The block protocol's answers, each a burst of its own.
enum class Reply { None, Ready, Ack, Nak };

struct ReceivedChunk {
  std::string bytes;
  ChunkEnd end = ChunkEnd::Quiet;
  int sends = 0;              // the sends made before these bytes came
  std::string prompt;         // a prompt decided with this chunk ("T>", "->"), or empty
  int promptSends = 0;        // the sends made before the prompt's line began
  Reply reply = Reply::None;  // the burst this chunk ends is one of the answers
  std::chrono::steady_clock::time_point decided{};
};

// Whether a line (trimmed) has the shape of the drive's prompts: a level
// ("T", "2", "F", "A") and ">", after an optional tag such as "F3 ".
// "Zone 3 ->" and the identity editor's "->" do not.
bool HasPromptShape(std::string_view trimmed);

// Told of every entry as it is made (a trace of the session).
class RecordObserver {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~RecordObserver() = default;
  virtual void Opened(TimePoint at, int rate, const TransportGaps& gaps, std::chrono::nanoseconds manual,
                      const LumpLearner& learned) = 0;
  virtual void Arrived(TimePoint at, std::string_view bytes, bool seenArriving) = 0;
  virtual void Sent(TimePoint at, std::string_view bytes) = 0;
  virtual void RateChanged(TimePoint at, int rate) = 0;
  virtual void ManualQuietSet(TimePoint at, std::chrono::nanoseconds quiet) = 0;
};

class ReceiveRecord {
 public:
  using Clock = std::chrono::steady_clock;
  using TimePoint = Clock::time_point;
  static constexpr std::chrono::microseconds kChunkLimit{10'000};
  static constexpr size_t kLargestChunk = 4095;
  // The least quiet that ends a burst: a pseudo-terminal passes a burst
  // written back to back on with gaps of up to about 50 us (see the
  // PtyBurstSpread benchmark). It rules from about 200 kbaud up.
  static constexpr std::chrono::microseconds kQuietFloor{100};
  // The longest gap inside a burst on a transport nothing is known of: an
  // adapter's latency timer as it comes (16 ms), its frame and the host's.
  static constexpr std::chrono::milliseconds kUnknownLumpGap{20};

  void SetObserver(RecordObserver* observer) { observer_ = observer; }
  // Starts afresh on a port opened at `rate`; what was learned before goes on.
  void Open(TimePoint at, int rate, const TransportGaps& gaps, std::chrono::nanoseconds manual,
            const LumpLearner& learned);
  // Bytes read at `at`: by a reader that was waiting for them
  // (`seenArriving`), or taken in before a send (their gap teaches nothing).
  void Arrived(TimePoint at, std::string_view bytes, bool seenArriving);
  // The PC sends `bytes`.
  void Sent(TimePoint at, std::string_view bytes);
  void RateChanged(TimePoint at, int rate);
  void SetManualQuiet(TimePoint at, std::chrono::nanoseconds quiet);
  // Decides what the time `now` decides.
  void Advance(TimePoint now);
  // When Advance will next decide something without more input (max: never).
  TimePoint NextDecision() const;
  // Decides everything still open as if the line had fallen quiet (the
  // device has gone).
  void Flush(TimePoint at);

  bool ChunkReady() const { return !ready_.empty(); }
  ReceivedChunk TakeChunk();
  uint64_t ChunksDecided() const { return decided_; }
  // Bytes not handed over yet, or a burst or a line whose end is to come.
  bool Undecided() const;
  // A line with a prompt's shape waits for its burst's end.
  bool PromptPending() const;
  int Sends() const { return sends_; }
  int Rate() const { return rate_; }
  std::chrono::nanoseconds BurstQuiet() const;
  // Neither sysfs, nor the arrivals, nor a quiet set by hand tell how the
  // transport passes bytes on.
  bool TransportUnknown() const;
  const LumpLearner& Learner() const { return learner_; }

 private:
  enum class Line { None, Shaped, Other };  // what the line under way would be if the burst ended now
  Line LineUnderWay() const;
  std::string_view LineText() const;
  void Scan(char c);
  std::chrono::nanoseconds QuietFor() const;
  TimePoint QuietEnds() const;
  TimePoint LimitEnds() const;
  Reply BurstReply() const;
  void EndChunk(ChunkEnd end, TimePoint at);  // without deciding anything else
  void EndBurst(ChunkEnd end, TimePoint at);

  RecordObserver* observer_ = nullptr;
  int rate_ = 9600;
  TransportGaps gaps_;
  std::chrono::nanoseconds manual_{0};
  LumpLearner learner_;

  // The chunk under way: bytes not handed over yet.
  std::string pending_;
  TimePoint pendingFirst_{};
  // The burst under way: its first bytes and its length; the latest byte's time.
  std::string burstHead_;
  size_t burstBytes_ = 0;
  TimePoint lastByte_{};
  bool lastBurstLoneW_ = false;
  // The line under way, from its first byte that is not blank (its last
  // kLineKept bytes): what the prompt decisions look at.
  std::string line_;
  bool lineCut_ = false;
  bool lineEndsInCr_ = false;
  int lineSends_ = 0;
  bool textStopped_ = false;  // a NUL ended the chunk's text
  // The PC's sends, and those since the drive last showed a prompt.
  int sends_ = 0;
  int unanswered_ = 0;
  TimePoint lastSent_{};

  std::deque<ReceivedChunk> ready_;
  uint64_t decided_ = 0;
};

}  // namespace qv
