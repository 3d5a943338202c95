// Receive routing, prompt scan, reply markers, the waits and the level tests.
#include <optional>
#include <string>

#include "console/convert.h"
#include "console/main.h"
#include "console/text.h"
#include "lang/translate.h"

namespace qv {

namespace {
// With auto-clear on, a pane longer than this is cleared before more text.
constexpr size_t kAutoClearLines = 200;
}  // namespace

void TFrmMain::ReceiveNotify() {
  if (const std::optional<ReceivedChunk> chunk = link_.TakeChunk()) HandleChunk(*chunk);
}

void TFrmMain::HandleChunk(const ReceivedChunk& chunk) {
  // What came before the PC's latest send cannot answer it, though the
  // chunk reaches us only after it: a wait begun after a send sees only
  // what came after.
  const int sends = link_.Sends();
  if (!chunk.prompt.empty()) {
    ++promptsSinceScan_;
    if (LastPrompt.empty() && chunk.promptSends >= sends) LastPrompt = chunk.prompt;
  }
  if (chunk.sends >= sends) {
    switch (chunk.reply) {
      case Reply::Ready: WbReply = "OK"; break;
      case Reply::Ack: WeReply = "OK"; break;
      case Reply::Nak: WeReply = "ER"; break;
      case Reply::None: break;
    }
  }
  if (chunk.bytes.empty()) return;

  const std::string_view text = TextOfChunk(chunk.bytes);
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

  RxCount = AddWrapping(RxCount, chunk.bytes.size());
  ShowRx();
}

bool TFrmMain::PromptInSight() const { return !LastPrompt.empty() || promptsSinceScan_ > 0 || link_.PromptPending(); }

bool TFrmMain::WaitFor(std::string& marker, int n, bool forPrompt) {
  marker.clear();
  if (forPrompt) promptsSinceScan_ = 0;
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
  promptsSinceScan_ = 0;
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
