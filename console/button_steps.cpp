#include "console/button_steps.h"

#include <string>

#include "console/long_operation.h"
#include "console/main.h"
#include "lang/translate.h"

namespace qv {

namespace {

void AppendLines(TFrmMain& main, std::string_view text) {
  // Some announcements hold a line break so that they show on two lines.
  size_t start = 0;
  for (;;) {
    const size_t brk = text.find_first_of("\r\n", start);
    main.AddLine(text.substr(start, brk == std::string_view::npos ? std::string_view::npos : brk - start));
    if (brk == std::string_view::npos) return;
    start = brk + 1;
    if (text[brk] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
}

std::string Readable(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '\r') out += "↵";
    else if (b == '\n') out += "LF";
    else if (b < 0x20) out += std::string("^") + static_cast<char>('@' + b);
    else out += c;
  }
  return out;
}

}  // namespace

void RunSteps(TFrmMain& main, const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    switch (step.kind) {
      case Step::Kind::Send: main.SendString(step.text); break;
      case Step::Kind::Delay: main.Delay(step.ticks); break;
      case Step::Kind::WaitHD: main.WaitHD(step.ticks); break;
      case Step::Kind::Mode: main.receiveMode = step.mode; break;
      case Step::Kind::Append: AppendLines(main, Tr(step.text)); break;
      case Step::Kind::Compose: main.SendString(step.compose(main)); break;
    }
  }
}

void RunButton(TFrmMain& main, const ButtonDef& button) {
  // Even a button that only sends would put its command into another
  // operation's dialogue with the drive.
  LongOperation busy(main, TrFormat("“{1}”按钮", Tr(button.caption)));
  if (!busy) return;
  if (!button.question.empty() && !main.Dlg().AskYesNo(Tr("提示"), Tr(button.question))) return;
  if (!button.keepReceiveMode) main.receiveMode = ReceiveMode::usercmd;
  RunSteps(main, button.steps);
}

std::string DescribeSends(const std::vector<Step>& steps) {
  std::string out;
  for (const Step& step : steps) {
    if (step.kind != Step::Kind::Send && step.kind != Step::Kind::Compose) continue;
    if (!out.empty()) out += '\n';
    out += step.kind == Step::Kind::Send ? Readable(step.text) : std::string(step.text);
  }
  return out;
}

}  // namespace qv
