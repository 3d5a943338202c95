// Receive routing, prompt scan, reply markers, the waits and the level tests.
#include <optional>

#include "console/convert.h"
#include "console/main.h"
#include "console/text.h"
#include "lang/translate.h"

namespace qv {

namespace {
// With auto-clear on, a pane longer than this is cleared before more text.
constexpr size_t kAutoClearLines = 200;
// The longest reply marker ("w" 0x88); a burst one byte longer is none.
constexpr size_t kLongestMarker = 2;

// Turns on, for as long as it lives, the hand-over of each lump while a
// prompt is awaited. A wait that runs within another (a click handled during
// it) leaves it on for the outer one.
class PromptAwaited {
 public:
  PromptAwaited(SerialLink& link, int& depth) : link_(link), depth_(depth) {
    if (depth_++ == 0) link_.SetPromptAwaited(true);
  }
  ~PromptAwaited() {
    if (--depth_ == 0) link_.SetPromptAwaited(false);
  }
  PromptAwaited(const PromptAwaited&) = delete;
  PromptAwaited& operator=(const PromptAwaited&) = delete;

 private:
  SerialLink& link_;
  int& depth_;
};
}  // namespace

void TFrmMain::ReceiveNotify() {
  const std::string chunk = ReadAvailable();
  const ChunkEnd end = link_.LastChunkEnd();
  HandleChunk(chunk, end == ChunkEnd::Quiet || end == ChunkEnd::Sent, end == ChunkEnd::Sent);
}

bool TFrmMain::BurstEndInDoubt() const {
  // A transport nothing is known of may still hold back the 0x88 of a ready
  // or the rest of a line ("Zone 3 ->" | " Cyl 1A2B").
  const bool unknown = link_.TransportUnknown();
  if (unknown && burstHead_ == "w") return true;
  switch (Memo2.Candidate()) {
    case PromptScanner::Pending::None: return false;
    case PromptScanner::Pending::PromptShaped: return commandsOutstanding_ > 1;
    case PromptScanner::Pending::Other: return unknown || commandsOutstanding_ > 1;
  }
  return false;
}

bool TFrmMain::PromptInSight() const {
  return LastPrompt.size() >= 2 || Memo2.Candidate() == PromptScanner::Pending::PromptShaped;
}

void TFrmMain::HandleChunk(std::string_view chunk, bool burstEnded, bool sent) {
  // A notification without bytes after a burst whose end was in doubt: the
  // line has stayed quiet long enough, the burst is over.
  const bool settled = settling_ && chunk.empty();
  settling_ = false;
  // Bursts follow one another: a chunk after one that ended a burst opens the next.
  if (burstOver_) burstHead_.clear();
  if (burstHead_.size() <= kLongestMarker) burstHead_.append(chunk.substr(0, kLongestMarker + 1 - burstHead_.size()));
  const std::string_view text = TextOfChunk(chunk);

  // A line ending in ">" is a prompt only once the drive has stopped sending:
  // a chunk handed over while its burst went on may end inside a line such as
  // "Zone 3 -> Cyl 1A2B". When such a burst ends, a notification without
  // bytes says so. A line with a prompt's shape counts at once, unless more
  // than one command is outstanding: it may answer the earlier one. Prompts
  // are watched for while one is latched too, to know when the drive has
  // answered.
  std::string prompt = Memo2.Scan(text, false, commandsOutstanding_ <= 1);
  if (prompt.empty() && burstEnded && !sent) {
    if (!settled && BurstEndInDoubt()) {
      settling_ = true;
      settleFor_ = link_.SettleQuiet();
      burstEnded = false;
    } else {
      prompt = Memo2.Scan({}, true);
    }
  }
  burstOver_ = burstEnded;
  if (!prompt.empty()) {
    commandsOutstanding_ = 0;
    if (LastPrompt.empty()) LastPrompt = prompt;
    // It ends the output it closes: what comes next answers the next command
    // and may be a reply marker of its own.
    burstOver_ = true;
  }

  // The protocol's answers are recognised only when they come as a burst of
  // their own, as they do between two steps of a block transfer, however the
  // transport cut them into chunks.
  if (burstEnded) {
    if (burstHead_ == "w\x88" || burstHead_ == "w" || burstHead_ == "\x88") WbReply = "OK";
    else if (burstHead_ == "\x06") WeReply = "OK";
    else if (burstHead_ == "\x15") WeReply = "ER";
  }
  if (chunk.empty()) return;

  if (receiveMode == ReceiveMode::syscmd || receiveMode == ReceiveMode::R_DATA) {
    Memo3.append(text);
  } else if (receiveMode == ReceiveMode::usercmd) {
    if (CheckBox2 && memo1.LineCount() > kAutoClearLines) memo1.Clear();
    std::string_view shown = text;
    if (!shown.empty() && shown.back() == '\r') shown.remove_suffix(1);
    // A CR LF split over two chunks must still make one line break.
    if (!shown.empty() && shown.front() == '\n') memo1.AppendText("\r" + std::string(shown));
    else memo1.AppendText(shown);
    memo1.WrapLastLine(kPaneLineWidth);
  }

  RxCount = AddWrapping(RxCount, chunk.size());
  ShowRx();
}

bool TFrmMain::WaitFor(std::string& marker, int n, bool forPrompt) {
  marker.clear();
  std::optional<PromptAwaited> awaited;
  if (forPrompt) {
    Memo2.Clear();
    awaited.emplace(link_, promptWaits_);
  }
  ProcessEvents();
  const auto done = [&marker] { return !marker.empty(); };
  for (int i = 0;;) {
    if (done()) return true;
    if (linkGone_) return false;
    ++i;
    if (Tick(done, waitTick)) return true;
    if (i > n) return false;
    ProcessEvents();
  }
}

bool TFrmMain::WaitHD(int n) { return WaitFor(LastPrompt, n, true); }

bool TFrmMain::WaitWB(int n) { return WaitFor(WbReply, n, false); }

bool TFrmMain::WaitWE(int n) { return WaitFor(WeReply, n, false); }

bool TFrmMain::WaitPrompt() {
  const ReceiveMode remembered = receiveMode;
  receiveMode = ReceiveMode::syscmd;
  bool prompted = false;
  for (int attempt = 0; attempt < 30 && !prompted; ++attempt) {
    SendString("\x1A");
    WaitHD(2);
    SendString("/\r");
    prompted = WaitHD(5);
  }
  receiveMode = remembered;
  return prompted;
}

// Brings the drive to show a prompt, asks once more and compares the level.
bool TFrmMain::PromptIs(std::string_view prompt) {
  WaitPrompt();
  const ReceiveMode remembered = receiveMode;
  receiveMode = ReceiveMode::syscmd;
  SendString("/\r");
  WaitHD(10);
  const bool result = LastPrompt == prompt;
  receiveMode = remembered;
  return result;
}

bool TFrmMain::isT() { return PromptIs("T>"); }

bool TFrmMain::isF() { return PromptIs("F>"); }

bool TFrmMain::ToF() {
  AddLine(Tr("转换至F级..........."));
  receiveMode = ReceiveMode::Empty;
  Delay(10);
  SendString("\x1A");
  Delay(20);
  if (isF()) {
    SendString("/\r");
    Delay(20);
    receiveMode = ReceiveMode::syscmd;
    Memo3.clear();
    SendString("\x03");
  } else {
    SendString("/\r");
    Delay(20);
    SendString("N50,,22\r");
    WaitHD(500);
    SendString("/\r");
    Delay(20);
    receiveMode = ReceiveMode::syscmd;
    Memo3.clear();
    SendString("\x14");
  }
  // After the switch the drive talks at 9600 without being told.
  Speed(kRates[0]);
  // Nothing answers a port that closed under us, however often it is asked.
  for (int i = 0; i <= 500 && Memo3.empty(); ++i) {
    Delay(2);
    if (stopFlag || !PortOpen()) break;
  }
  // Escape until the monitor shows a prompt. Each press draws one, so with
  // presses outstanding a prompt is not taken as an answer; it is enough to
  // see one: which press it answers does not matter, and the "/" after the
  // loop is answered, and awaited, on its own.
  LastPrompt.clear();
  Memo2.Clear();
  for (int i = 0; i < 501 && !stopFlag && PortOpen(); ++i) {
    SendString("\x1B");
    Delay(2);
    if (PromptInSight()) break;
  }
  SendString("/\r");
  WaitHD(20);
  if (LastPrompt == "F>") {
    SendString("\x1A");
    Delay(2);
    SendString("Z");
    Delay(20);
    SendString("Z");
    Delay(20);
    AppendToLastLine(Tr("成功！"));
    return true;
  }
  AppendToLastLine(Tr("失败！"));
  return false;
}

}  // namespace qv
