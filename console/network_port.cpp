// What only a port on another machine has: the rates its server confirmed,
// and the errors the server sees on its line.
#include "console/main.h"
#include "lang/translate.h"
#include "serial/rfc2217_port.h"

namespace qv {

void TFrmMain::ShareRateList() {
  ComboBox7.items = ComboBox2.items;
  ComboBox7.SelectLast();
  for (ListControl* follower : rateFollowers_) {
    follower->items = ComboBox2.items;
    follower->SelectLast();
  }
  Notify(MainView::What::Rates);
}

void TFrmMain::AnnounceNetworkPort(const std::string& port) {
  const Rfc2217Port* remote = link_.Remote();
  if (!remote) return;
  if (!remote->RateControl()) {
    AddLine(remote->Telnet() ? TrFormat("{1} 没有速率控制（服务器不支持 RFC 2217 的 COM-PORT-OPTION）：线路按服务器一方设定的速率"
                                        "工作，速率不能改变；改变速率的操作将作为失败被拒绝。",
                                        port)
                             : TrFormat("{1} 是普通 TCP 转发，没有速率控制：线路按服务器一方设定的速率工作，速率不能改变；"
                                        "改变速率的操作将作为失败被拒绝。",
                                        port));
    return;
  }
  std::vector<std::string> offered;
  std::string refused;
  for (const Rate& rate : kRates) {
    if (remote->KnownRefusal(rate.baud).empty()) offered.emplace_back(rate.text);
    else refused += (refused.empty() ? "" : Tr("、")) + std::string(rate.text);
  }
  const std::string openRate = ComboBox2.Text();
  ComboBox2.items = std::move(offered);
  ComboBox2.SelectText(openRate);
  ShareRateList();
  if (!refused.empty()) AddLine(TrFormat("{1} 的服务器不接受 {2} 波特：速率列表中只列出它确认的速率。", port, refused));
}

void TFrmMain::ServiceNetworkNotices() {
  Rfc2217Port* remote = link_.Remote();
  if (!remote || !remote->LineErrorsPending()) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lineNoticeAt_ < kLineNoticeSpacing) return;
  const Rfc2217Port::LineErrors errors = remote->TakeLineErrors();
  if (!errors.Any()) return;
  lineNoticeAt_ = now;
  AddNotice(TrFormat("{1} 的服务器报告其串口线路出错（溢出 {2} 次，奇偶校验错 {3} 次，帧错误 {4} 次，中断信号 {5} 次）："
                     "工作台一方有字节丢失或出错。",
                     ComboBox1.Text(), errors.overrun, errors.parity, errors.framing, errors.breaks));
}

}  // namespace qv
