#include "serial/receive_record.h"

#include <algorithm>

namespace qv {

namespace {
using std::chrono::nanoseconds;
using TimePoint = ReceiveRecord::TimePoint;

// Enough of a line for a prompt's shape and its last two characters.
constexpr size_t kLineKept = 16;

bool Blank(char c) { return static_cast<unsigned char>(c) <= 0x20; }
}  // namespace

bool HasPromptShape(std::string_view line) {
  const auto level = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); };
  if (line.size() == 5 && line[0] == 'F' && level(line[1]) && line[2] == ' ') line.remove_prefix(3);
  return line.size() == 2 && level(line[0]) && line[1] == '>';
}

void ReceiveRecord::Open(TimePoint at, int rate, const TransportGaps& gaps, nanoseconds manual,
                         const LumpLearner& learned) {
  RecordObserver* observer = observer_;
  *this = ReceiveRecord();
  observer_ = observer;
  rate_ = rate;
  gaps_ = gaps;
  manual_ = manual;
  learner_ = learned;
  learner_.Interrupted();  // no gap spans an open
  if (observer_) observer_->Opened(at, rate, gaps, manual, learner_);
}

nanoseconds ReceiveRecord::BurstQuiet() const {
  // A quiet set by hand is a floor: shorter than an adapter's packets it
  // would cut them apart.
  return std::max({gaps_.LumpGap(rate_) + BaseQuiet(rate_, kQuietFloor), learner_.Quiet(), manual_});
}

bool ReceiveRecord::TransportUnknown() const {
  return gaps_.transport == PortIdentity::Transport::Unknown && learner_.Quiet().count() == 0 && manual_.count() == 0;
}

std::string_view ReceiveRecord::LineText() const {
  std::string_view text = line_;
  while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
  return text;
}

ReceiveRecord::Line ReceiveRecord::LineUnderWay() const {
  const std::string_view text = LineText();
  if (text.empty() || text.back() != '>') return Line::None;
  return !lineCut_ && HasPromptShape(text) ? Line::Shaped : Line::Other;
}

bool ReceiveRecord::Undecided() const { return !pending_.empty() || burstBytes_ > 0 || LineUnderWay() != Line::None; }

bool ReceiveRecord::PromptPending() const { return LineUnderWay() == Line::Shaped; }

void ReceiveRecord::Scan(char c) {
  pending_ += c;
  if (burstBytes_++ < 3) burstHead_ += c;
  // The text of a chunk ends at a NUL: the rest is neither shown nor scanned.
  if (textStopped_ || c == '\0') {
    textStopped_ = true;
    return;
  }
  lineEndsInCr_ = c == '\r';
  if (c == '\n') {
    line_.clear();
    lineCut_ = false;
    return;
  }
  if (line_.empty()) {
    if (Blank(c)) return;
    lineSends_ = sends_;
  }
  line_ += c;
  if (line_.size() > kLineKept) {
    line_.erase(0, 1);
    lineCut_ = true;
  }
}

void ReceiveRecord::Arrived(TimePoint at, std::string_view bytes, bool seenArriving) {
  Advance(at);
  if (bytes.empty()) return;
  if (observer_) observer_->Arrived(at, bytes, seenArriving);
  if (seenArriving) learner_.Arrival(at, static_cast<int>(bytes.size()), rate_, lastSent_);
  else learner_.Interrupted();
  for (char c : bytes) {
    if (pending_.empty()) pendingFirst_ = at;
    Scan(c);
    if (pending_.size() == kLargestChunk) EndChunk(ChunkEnd::Full, at);
  }
  lastByte_ = at;
  if (unanswered_ < 2 && !lineEndsInCr_ && !textStopped_ && LineUnderWay() == Line::Shaped)
    EndBurst(ChunkEnd::Prompt, at);
}

void ReceiveRecord::Sent(TimePoint at, std::string_view bytes) {
  Advance(at);
  if (observer_) observer_->Sent(at, bytes);
  if (!pending_.empty() || burstBytes_ > 0) EndBurst(ChunkEnd::Sent, at);
  ++sends_;
  unanswered_ = std::min(unanswered_ + 1, 2);
  lastSent_ = at;
}

void ReceiveRecord::RateChanged(TimePoint at, int rate) {
  Advance(at);
  if (observer_) observer_->RateChanged(at, rate);
  // A FIFO's lumps follow the rate: what only held at the old one is forgotten.
  if (rate != rate_) learner_.RateChanged(rate_);
  rate_ = rate;
}

void ReceiveRecord::SetManualQuiet(TimePoint at, nanoseconds quiet) {
  Advance(at);
  if (observer_) observer_->ManualQuietSet(at, quiet);
  manual_ = quiet;
}

nanoseconds ReceiveRecord::QuietFor() const {
  const nanoseconds quiet = BurstQuiet();
  if (!TransportUnknown()) return quiet;
  const Line line = LineUnderWay();
  const bool loneW = burstBytes_ == 1 && burstHead_ == "w";
  const bool inDoubt = loneW || line == Line::Other || (line == Line::Shaped && unanswered_ >= 2);
  return inDoubt ? std::max(quiet, nanoseconds(kUnknownLumpGap)) : quiet;
}

TimePoint ReceiveRecord::QuietEnds() const {
  if (burstBytes_ == 0 && LineUnderWay() == Line::None) return TimePoint::max();
  return lastByte_ + QuietFor();
}

TimePoint ReceiveRecord::LimitEnds() const { return pending_.empty() ? TimePoint::max() : pendingFirst_ + kChunkLimit; }

TimePoint ReceiveRecord::NextDecision() const { return std::min(QuietEnds(), LimitEnds()); }

void ReceiveRecord::Advance(TimePoint now) {
  for (;;) {
    const TimePoint quiet = QuietEnds(), limit = LimitEnds();
    const TimePoint next = std::min(quiet, limit);
    if (next == TimePoint::max() || next > now) return;
    if (quiet <= limit) EndBurst(ChunkEnd::Quiet, quiet);
    else EndChunk(ChunkEnd::TimeLimit, limit);
  }
}

void ReceiveRecord::Flush(TimePoint at) {
  Advance(at);
  if (Undecided()) EndBurst(ChunkEnd::Quiet, at);
}

Reply ReceiveRecord::BurstReply() const {
  if (burstBytes_ > 2) return Reply::None;
  if (burstHead_ == "w\x88" || burstHead_ == "w") return Reply::Ready;
  if (burstHead_ == "\x88") return lastBurstLoneW_ ? Reply::None : Reply::Ready;
  if (burstHead_ == "\x06") return Reply::Ack;
  if (burstHead_ == "\x15") return Reply::Nak;
  return Reply::None;
}

void ReceiveRecord::EndChunk(ChunkEnd end, TimePoint at) {
  ReceivedChunk chunk;
  chunk.bytes = std::move(pending_);
  pending_.clear();
  textStopped_ = false;
  chunk.end = end;
  chunk.sends = sends_;
  chunk.decided = at;
  ready_.push_back(std::move(chunk));
  ++decided_;
}

void ReceiveRecord::EndBurst(ChunkEnd end, TimePoint at) {
  const Line line = LineUnderWay();
  const bool prompt = end == ChunkEnd::Quiet ? line != Line::None : line == Line::Shaped;
  std::string promptText;
  if (prompt) {
    const std::string_view text = LineText();
    promptText = text.substr(text.size() >= 2 ? text.size() - 2 : 0);
  }
  const Reply reply = burstBytes_ > 0 ? BurstReply() : Reply::None;
  if (pending_.empty() && promptText.empty() && reply == Reply::None) {
    // Nothing to tell: the burst's bytes went over already.
  } else {
    EndChunk(end, at);
    ReceivedChunk& chunk = ready_.back();
    chunk.prompt = promptText;
    chunk.promptSends = lineSends_;
    chunk.reply = reply;
  }
  if (burstBytes_ > 0) lastBurstLoneW_ = burstBytes_ == 1 && burstHead_ == "w";
  burstBytes_ = 0;
  burstHead_.clear();
  if (prompt) {
    // The drive waits for a command: what it sends next starts afresh.
    line_.clear();
    lineCut_ = false;
    unanswered_ = 0;
  }
}

ReceivedChunk ReceiveRecord::TakeChunk() {
  ReceivedChunk chunk = std::move(ready_.front());
  ready_.pop_front();
  return chunk;
}

}  // namespace qv
