#include "serial/receive_trace.h"

#include <cstdlib>
#include <sstream>

namespace qv {

namespace {

using TimePoint = ReceiveRecord::TimePoint;
using std::chrono::nanoseconds;

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

bool FromHex(std::string_view hex, std::string& bytes) {
  if (hex.size() % 2) return false;
  bytes.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    const auto digit = [](char c) {
      return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    const int high = digit(hex[i]), low = digit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes += static_cast<char>(high * 16 + low);
  }
  return true;
}

std::string Micros(nanoseconds ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ns.count() / 1000),
                static_cast<long long>(ns.count() % 1000));
  return text;
}

std::string TransportText(const TransportGaps& gaps) {
  switch (gaps.transport) {
    case PortIdentity::Transport::Usb: return "usb/" + std::to_string(gaps.usbLatencyMs);
    case PortIdentity::Transport::Uart: return "uart/" + std::to_string(gaps.fifoTrigger);
    case PortIdentity::Transport::Unknown: break;
  }
  return "unknown";
}

bool ParseTransport(std::string_view text, TransportGaps& gaps) {
  gaps = TransportGaps();
  if (text == "unknown") return true;
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) return false;
  const int value = std::atoi(std::string(text.substr(slash + 1)).c_str());
  if (value <= 0) return false;
  if (text.substr(0, slash) == "usb") {
    gaps.transport = PortIdentity::Transport::Usb;
    gaps.usbLatencyMs = value;
  } else if (text.substr(0, slash) == "uart") {
    gaps.transport = PortIdentity::Transport::Uart;
    gaps.fifoTrigger = value;
  } else {
    return false;
  }
  return true;
}

// Microseconds with up to three decimals, as Micros writes them.
bool ParseMicros(const std::string& text, nanoseconds& at) {
  char* end = nullptr;
  const double us = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || us < 0) return false;
  at = nanoseconds(static_cast<long long>(us * 1000 + 0.5));
  return true;
}

std::string Escaped(std::string_view bytes) {
  std::string text;
  for (unsigned char b : bytes) {
    if (b == '\r') text += "\\r";
    else if (b == '\n') text += "\\n";
    else if (b == '"' || b == '\\') text += {'\\', static_cast<char>(b)};
    else if (b >= 0x20 && b < 0x7F) text += static_cast<char>(b);
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", b);
      text += hex;
    }
  }
  return text;
}

}  // namespace

namespace {
constexpr size_t kWrittenAtOnce = 16 * 1024;
}  // namespace

FileTrouble ReceiveTrace::Start(const std::string& path) {
  Stop();
  auto file = std::make_unique<AppendFile>(path);
  if (!file->IsOpen()) return file->Trouble();
  file_ = std::move(file);
  path_ = path;
  started_ = false;
  trouble_ = {};
  buffered_ = "# Quorvane line trace: microseconds since the trace began, bytes in hexadecimal\n";
  return {};
}

FileTrouble ReceiveTrace::Stop() {
  if (!file_) return trouble_;
  Flush();
  if (!file_->Close() && !Failed()) trouble_ = file_->Trouble();
  file_.reset();
  return trouble_;
}

void ReceiveTrace::Flush() {
  if (file_ && !Failed() && !buffered_.empty() && !file_->Append(buffered_)) trouble_ = file_->Trouble();
  buffered_.clear();
}

void ReceiveTrace::Line(std::string_view kind, TimePoint at, std::string_view rest) {
  if (!file_ || Failed()) return;
  if (!started_) {
    start_ = at;
    started_ = true;
  }
  buffered_.append(kind).append(" ").append(Micros(at - start_));
  if (!rest.empty()) buffered_.append(" ").append(rest);
  buffered_ += '\n';
  if (buffered_.size() >= kWrittenAtOnce) Flush();
}

void ReceiveTrace::Opened(TimePoint at, int rate, const TransportGaps& gaps, nanoseconds manual,
                          const LumpLearner& learned) {
  std::string gapsText;
  for (nanoseconds gap : learned.Gaps()) gapsText += (gapsText.empty() ? "" : ",") + Micros(gap);
  Line("open", at,
       std::to_string(rate) + ' ' + TransportText(gaps) + ' ' + Micros(manual) + ' ' +
           (gapsText.empty() ? "-" : gapsText));
}

void ReceiveTrace::Arrived(TimePoint at, std::string_view bytes, bool seenArriving) {
  Line(seenArriving ? "rx" : "take", at, Hex(bytes));
}

void ReceiveTrace::Sent(TimePoint at, std::string_view bytes) { Line("tx", at, Hex(bytes)); }

void ReceiveTrace::RateChanged(TimePoint at, int rate) { Line("rate", at, std::to_string(rate)); }

void ReceiveTrace::ManualQuietSet(TimePoint at, nanoseconds quiet) { Line("gap", at, Micros(quiet)); }

void ReceiveTrace::Closed(TimePoint at) {
  Line("close", at, "");
  Flush();
}

bool ReplayTrace(std::string_view text, std::vector<ReplayedChunk>& chunks, std::string& error) {
  const TimePoint origin{};
  ReceiveRecord record;
  bool open = false;
  const auto collect = [&] {
    while (record.ChunkReady()) {
      ReceivedChunk chunk = record.TakeChunk();
      chunks.push_back({std::chrono::duration<double, std::micro>(chunk.decided - origin).count(), std::move(chunk)});
    }
  };
  std::istringstream lines{std::string(text)};
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string kind, time, a, b, c, d;
    fields >> kind >> time >> a >> b >> c >> d;
    nanoseconds since{0};
    bool good = ParseMicros(time, since);
    const TimePoint at = origin + since;
    std::string bytes;
    if (good && kind == "open") {
      TransportGaps gaps;
      nanoseconds manual{0};
      std::vector<nanoseconds> learned;
      good = ParseTransport(b, gaps) && ParseMicros(c, manual) && std::atoi(a.c_str()) > 0;
      std::istringstream list(d == "-" ? std::string() : d);
      for (std::string gap; good && std::getline(list, gap, ',');) {
        nanoseconds value{0};
        good = ParseMicros(gap, value);
        learned.push_back(value);
      }
      if (good) {
        record.Open(at, std::atoi(a.c_str()), gaps, manual, LumpLearner::WithGaps(std::move(learned)));
        open = true;
      }
    } else if (good && !open) {
      good = false;
    } else if (good && (kind == "rx" || kind == "take")) {
      good = FromHex(a, bytes);
      if (good) record.Arrived(at, bytes, kind == "rx");
    } else if (good && kind == "tx") {
      good = FromHex(a, bytes);
      if (good) record.Sent(at, bytes);
    } else if (good && kind == "rate") {
      good = std::atoi(a.c_str()) > 0;
      if (good) record.RateChanged(at, std::atoi(a.c_str()));
    } else if (good && kind == "gap") {
      nanoseconds quiet{0};
      good = ParseMicros(a, quiet);
      if (good) record.SetManualQuiet(at, quiet);
    } else if (good && kind == "close") {
      // What was undecided at the close never reached the console.
      record.Advance(at);
      collect();
      open = false;
      continue;
    } else {
      good = false;
    }
    if (!good) {
      error = "line " + std::to_string(number) + ": " + line;
      return false;
    }
    collect();
  }
  if (open) record.Advance(TimePoint::max());
  collect();
  return true;
}

std::string DescribeReplayedChunk(const ReplayedChunk& replayed) {
  static const char* const kEnds[] = {"quiet", "time-limit", "full", "sent", "prompt"};
  static const char* const kReplies[] = {"", "ready", "ack", "nak"};
  const ReceivedChunk& chunk = replayed.chunk;
  char at[32];
  std::snprintf(at, sizeof at, "%.3f", replayed.atUs);
  std::string text = std::string(at) + ' ' + kEnds[static_cast<int>(chunk.end)] + " sends=" +
                     std::to_string(chunk.sends) + " \"" + Escaped(chunk.bytes) + '"';
  if (!chunk.prompt.empty()) text += " prompt=" + chunk.prompt + '/' + std::to_string(chunk.promptSends);
  if (chunk.reply != Reply::None) text += std::string(" reply=") + kReplies[static_cast<int>(chunk.reply)];
  return text;
}

}  // namespace qv
