// Moving the drive and the port to another line rate together.
#include <chrono>

#include "console/main.h"
#include "lang/translate.h"
#include "serial/rfc2217_port.h"

namespace qv {

namespace {
// How often a network port's answer is looked for while events are handled.
constexpr std::chrono::milliseconds kAnswerTick{1};
}  // namespace

bool TFrmMain::SetPortBaud(int rate) {
  // The server's answer travels while clicks (STOP) and received bytes are
  // handled: a slow or silent server never freezes the window.
  if (Rfc2217Port* remote = link_.Remote(); remote && remote->KnownRefusal(rate).empty() && remote->RequestBaud(rate)) {
    const auto deadline = std::chrono::steady_clock::now() + Rfc2217Port::kReplyLimit;
    while (!linkGone_ && link_.Remote() == remote && !remote->BaudAnswered() &&
           std::chrono::steady_clock::now() < deadline) {
      Tick(nullptr, kAnswerTick);
      ProcessEvents();
    }
  }
  return !linkGone_ && link_.SetBaud(rate);
}

bool TFrmMain::MovePort(const Rate& rate) {
  Delay(1);
  ComboBox2.SelectText(std::string(rate.text));
  const bool moved = SetPortBaud(rate.baud);
  // The list and the status line keep showing the rate the port is at.
  if (!moved && PortOpen()) ComboBox2.SelectText(std::to_string(link_.Rate()));
  Notify(MainView::What::Rates);
  ShowStatus();
  Delay(1);
  return moved;
}

std::string TFrmMain::PortRateProblem() const {
  const Rfc2217Port* remote = link_.Remote();
  return remote ? remote->RateProblem() : Tr("适配器的驱动不接受这个速率");
}

bool TFrmMain::Speed(const Rate& rate) {
  if (MovePort(rate)) return true;
  // No port, or one lost on the way (the pane says why already).
  if (!PortOpen() || LinkGone()) return false;
  return RefuseRate(rate, PortRateProblem(), driveToldRate_ != 0 ? DriveTold::Yes : DriveTold::Unknown);
}

bool TFrmMain::RefusedBeforehand(const Rate& rate) {
  const Rfc2217Port* remote = link_.Remote();
  const std::string known = driveToldRate_ != 0 ? Tr("驱动器与端口的速率已不一致，不再发送速率命令")
                            : remote            ? remote->KnownRefusal(rate.baud)
                                                : std::string();
  if (known.empty()) return false;
  RefuseRate(rate, known, driveToldRate_ != 0 ? DriveTold::Yes : DriveTold::No);
  return true;
}

bool TFrmMain::RefuseRate(const Rate& rate, const std::string& why, DriveTold told) {
  std::string text = TrFormat("端口不能切换到 {1} 波特：{2}。", rate.text, why);
  if (told == DriveTold::Yes)
    text += TrFormat("驱动器已被告知 {1} 波特：请给驱动器断电重启，或手动把端口设为 {1} 波特。", driveToldRate_);
  else if (told == DriveTold::No && PortOpen())
    text += TrFormat("驱动器没有被告知，仍在 {1} 波特。", link_.Rate());
  // An operation that goes on would send at a rate the drive may not share.
  if (!busyWith_.empty()) {
    text += Tr("操作已停止。");
    stopFlag = 1;
  }
  AddNotice(text);
  lastRateRefusal_ = text;
  ++rateRefusals_;
  if (PortOpen()) ComboBox2.SelectText(std::to_string(link_.Rate()));
  Notify(MainView::What::Rates);
  ShowStatus();
  return false;
}

// The drive is told at the old rate; after about 100 ms it has switched and
// the port follows, then a prompt is asked for at the new rate. Only that
// prompt says the drive is there.
bool TFrmMain::ChangeRate(const Rate& rate, std::string_view driveCommand) {
  if (!PortOpen() || RefusedBeforehand(rate)) return false;
  WaitPrompt();
  SendString(driveCommand);
  // The drive must hear the whole command at the old rate before the port moves.
  FullDelay(10);
  if (!MovePort(rate)) {
    driveToldRate_ = rate.baud;
    // A port lost on the way has said why in the pane already.
    return RefuseRate(rate, LinkGone() ? Tr("端口已断开") : PortRateProblem(), DriveTold::Yes);
  }
  return WaitPrompt();
}

bool TFrmMain::Set(const Rate& rate) { return ChangeRate(rate, rate.tCommand); }

bool TFrmMain::SetF(const Rate& rate) { return ChangeRate(rate, rate.fCommand); }

bool TFrmMain::DispatchRate(std::string_view rateText) {
  const Rate& rate = RateFromText(rateText);
  // Not even the level test goes out for a rate known to be refused.
  if (RefusedBeforehand(rate)) return false;
  return isT() ? Set(rate) : SetF(rate);
}

bool TFrmMain::SetSpeed() { return DispatchRate(ComboBox2.Text()); }

bool TFrmMain::AdSpeed() { return DispatchRate(ComboBox7.Text()); }

bool TFrmMain::AdMySpeed(std::string_view rateText) { return DispatchRate(rateText); }

bool TFrmMain::SetSpeed9600() { return DispatchRate(kRates[0].text); }

void TFrmMain::ComboBox2Choose(int index) {
  if (RefusedWhileBusy(Tr("波特率选择"))) {
    Notify(MainView::What::Rates);  // back to the rate in use
    return;
  }
  ComboBox2.index = index;
  ComboBox2Change();
}

void TFrmMain::ComboBox2Change() {
  // A port re-timed under a transfer would garble it.
  if (RefusedWhileBusy(Tr("波特率选择"))) return;
  if (btnSwitch != "关闭串口") return;  // the next open uses the new rate
  btnSwitchEnabled = false;
  Notify(MainView::What::Port);
  receiveMode = ReceiveMode::Empty;
  AddLine(Tr("正在调整速率，请稍候........"));
  const bool done = SetSpeed();
  // A device lost on the way was never moved to the new rate.
  AppendToLastLine(done && !LinkGone() ? Tr("完成！") : Tr("失败！"));
  receiveMode = ReceiveMode::usercmd;
  // A drive told a rate the port did not take hears nothing more.
  if (driveToldRate_ == 0) SendString("\r");
  btnSwitchEnabled = true;
  Notify(MainView::What::Port);
}

}  // namespace qv
