#include "console/session_log.h"

#include <cstdio>
#include <ctime>

#include "console/text.h"

namespace qv {

namespace {

using namespace std::chrono;

// A disk that is slow to take the text delays the file, never the pane.
constexpr auto kWriteEvery = seconds(1);

// How much of a line still arriving may be written now: whole characters
// only, and no further than the pane will keep on this line when it wraps it
// (a character's second byte may still be on its way, and the pane then
// moves the whole character to the next line). `done` bytes of the line were
// written already; `rest` holds the bytes after them.
size_t WritableNow(std::string_view rest, size_t done) {
  size_t pos = 0;
  while (pos < rest.size()) {
    const size_t size = GbkCharSize(rest, pos);
    if (done + pos + size > kPaneLineWidth) break;
    const auto byte = static_cast<unsigned char>(rest[pos]);
    if (pos + 1 == rest.size() && byte >= 0x81 && byte <= 0xFE) break;  // a first half, so far
    pos += size;
  }
  return pos;
}

}  // namespace

LocalTime LocalNow() {
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  return LocalTime(floor<milliseconds>(now.time_since_epoch() + std::chrono::seconds(local.tm_gmtoff)));
}

std::string FormatLocalTime(LocalTime time) {
  const auto day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss clock(time - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d.%03d", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}

std::string FileNameTime(LocalTime time) {
  std::string text = FormatLocalTime(time).substr(0, 19);  // "2026-12-07 11:02:28"
  std::string name;
  for (char c : text)
    if (c != '-' && c != ':') name += c == ' ' ? '-' : c;
  return name;
}

SessionLog::SessionLog(TextPane& pane, LocalClock clock) : pane_(pane), clock_(std::move(clock)) {}

SessionLog::~SessionLog() { Stop(); }

FileTrouble SessionLog::Start(const std::string& path) {
  Stop();
  auto file = std::make_unique<AppendFile>(path);
  if (!file->IsOpen()) return file->Trouble();
  file_ = std::move(file);
  path_ = path;
  reached_ = pane_.LineCount();
  taken_ = reached_ > 0 ? pane_.Lines().back().size() : 0;
  lineOpen_ = false;
  lineGbk_.clear();
  lineHanded_ = 0;
  ready_.clear();
  flushNow_ = false;
  stopping_ = false;
  failed_ = false;
  pane_.AddListener(this);
  writer_ = std::thread([this] { WriterLoop(); });
  return {};
}

FileTrouble SessionLog::Stop() {
  if (!Active()) return {};
  pane_.RemoveListener(this);
  {
    std::lock_guard lock(mutex_);
    EndLine();
    stopping_ = true;
  }
  wake_.notify_one();
  writer_.join();
  FileTrouble trouble;
  if (failed_) trouble = file_->Trouble();
  else if (!file_->Close()) trouble = file_->Trouble();
  file_.reset();
  return trouble;
}

void SessionLog::Flush() {
  if (!Active()) return;
  {
    std::lock_guard lock(mutex_);
    flushNow_ = true;
  }
  wake_.notify_one();
}

void SessionLog::PaneChanged(size_t firstLine) {
  const std::vector<std::string>& lines = pane_.Lines();
  std::lock_guard lock(mutex_);
  if (failed_) return;
  if (lines.size() < reached_) {  // cleared
    EndLine();
    reached_ = 0;
    taken_ = 0;
  }
  // Lines the log has moved on from: only a progress line's late verdict
  // changes one. Written again whole, as they stand now.
  for (size_t i = firstLine; i + 1 < reached_; ++i) {
    StartLine();
    lineGbk_ = lines[i];
    EndLine();
  }
  if (reached_ > 0) {
    const std::string& line = lines[reached_ - 1];
    if (line.size() < taken_) {
      // The pane wrapped it: the rest went on to the lines that follow. The
      // writer never had that rest (WritableNow), so it is still here to drop.
      if (lineOpen_) lineGbk_.resize(line.size() > lineHanded_ ? line.size() - lineHanded_ : 0);
    } else if (line.size() > taken_) {
      if (lineOpen_) {
        lineGbk_.append(line, taken_);
      } else {  // continued after the log had left it, or from before the log began
        StartLine();
        lineGbk_ = line;
      }
    }
    taken_ = line.size();
  }
  for (size_t i = reached_; i < lines.size(); ++i) {
    StartLine();
    lineGbk_ = lines[i];
  }
  if (lines.size() > reached_) {
    reached_ = lines.size();
    taken_ = lines.back().size();
  }
}

void SessionLog::StartLine() {
  EndLine();
  ready_ += FormatLocalTime(clock_());
  ready_ += ' ';
  lineOpen_ = true;
  lineGbk_.clear();
  lineHanded_ = 0;
}

void SessionLog::EndLine() {
  if (!lineOpen_) return;
  ready_ += Utf8AsShown(lineGbk_);
  ready_ += '\n';
  lineOpen_ = false;
  lineGbk_.clear();
  lineHanded_ = 0;
}

void SessionLog::HandOverOpenLine() {
  if (!lineOpen_) return;
  const size_t n = WritableNow(lineGbk_, lineHanded_);
  ready_ += Utf8AsShown(std::string_view(lineGbk_).substr(0, n));
  lineGbk_.erase(0, n);
  lineHanded_ += n;
}

void SessionLog::WriterLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait_for(lock, kWriteEvery, [this] { return flushNow_ || stopping_; });
    flushNow_ = false;
    HandOverOpenLine();
    const bool last = stopping_;
    std::string text;
    text.swap(ready_);
    lock.unlock();
    const bool written = text.empty() || file_->Append(text);
    lock.lock();
    if (!written) {
      // What is collected from now on has nowhere to go.
      failed_ = true;
      ready_.clear();
      lineOpen_ = false;
      lineGbk_.clear();
      return;
    }
    if (last) return;
  }
}

}  // namespace qv
