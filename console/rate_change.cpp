// Moving the drive and the port to another line rate together.
#include "console/main.h"
#include "lang/translate.h"

namespace qv {

void TFrmMain::Speed(const Rate& rate) {
  Delay(1);
  ComboBox2.SelectText(std::string(rate.text));
  SetPortBaud(rate.baud);
  Notify(MainView::What::Rates);
  ShowStatus();
  Delay(1);
}

// The drive is told at the old rate; after about 100 ms it has switched and
// the port follows, then a prompt is asked for at the new rate.
bool TFrmMain::RefuseFixedRate(const Rate& rate) {
  if (link_.RateChangeable() || !PortOpen() || rate.baud == link_.Rate()) return false;
  AddNotice(TrFormat("{1} 没有速率控制，不能切换到 {2} 波特：操作已停止。", ComboBox1.Text(), rate.text));
  stopFlag = 1;
  return true;
}

void TFrmMain::Set(const Rate& rate) {
  if (RefuseFixedRate(rate)) return;
  WaitPrompt();
  SendString(rate.tCommand);
  Delay(10);
  Speed(rate);
  WaitPrompt();
}

void TFrmMain::SetF(const Rate& rate) {
  if (RefuseFixedRate(rate)) return;
  WaitPrompt();
  SendString(rate.fCommand);
  Delay(10);
  Speed(rate);
  WaitPrompt();
}

void TFrmMain::DispatchRate(std::string_view rateText) {
  const Rate& rate = RateFromText(rateText);
  if (isT()) Set(rate);
  else SetF(rate);
}

void TFrmMain::SetSpeed() { DispatchRate(ComboBox2.Text()); }

void TFrmMain::AdSpeed() { DispatchRate(ComboBox7.Text()); }

void TFrmMain::AdMySpeed(std::string_view rateText) { DispatchRate(rateText); }

void TFrmMain::SetSpeed9600() { DispatchRate(kRates[0].text); }

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
  const bool fixed = !link_.RateChangeable() && RateFromText(ComboBox2.Text()).baud != link_.Rate();
  SetSpeed();
  // A device lost on the way was never moved to the new rate.
  AppendToLastLine(LinkGone() || fixed ? Tr("失败！") : Tr("完成！"));
  receiveMode = ReceiveMode::usercmd;
  SendString("\r");
  btnSwitchEnabled = true;
  Notify(MainView::What::Port);
}

}  // namespace qv
