// The console's side of the link: open and close, pacing, sending, counters.
#include <algorithm>
#include <chrono>
#include <utility>

#include "console/convert.h"
#include "console/main.h"
#include "serial/open_failure.h"
#include "serial/port_list.h"
#include "serial/rfc2217_port.h"

namespace qv {

bool TFrmMain::OpenPort(const std::string& portName, int rate) {
  const std::string path = DevicePathFor(portName);
  if (path.empty()) return false;
  if (!link_.Open(path, rate, sysClassTty_)) return false;
  linkGone_ = false;
  promptsSinceScan_ = 0;
  driveToldRate_ = 0;
  return true;
}

std::string TFrmMain::OpenFailureText(const std::string& port) const {
  if (Rfc2217Port::IsNetworkPort(port)) return link_.LastError();
  return DescribeOpenFailure(DevicePathFor(port), link_.LastErrno());
}

void TFrmMain::ClosePort() {
  if (!link_.IsOpen()) return;
  link_.SetModemLines(false);
  link_.RequestStop();
  // The receive thread may be parked on a notification; serving it lets the
  // thread see the stop request.
  while (!link_.ReceiverFinished()) Delay(1);
  link_.FinishClose();
  // The log goes on with the next port; what the drive said last is on disk now.
  sessionLog.Flush();
}

bool TFrmMain::SetModemLines(bool on) { return link_.SetModemLines(on); }

void TFrmMain::ServiceLink() {
  // What came before the device went is handled before its loss.
  if (link_.ChunkReady()) ReceiveNotify();
  else if (link_.Lost() && link_.IsOpen()) PortLost();
  ServiceNetworkNotices();
}

void TFrmMain::ProcessEvents() {
  ServiceLink();
  ServiceLog();
  if (owedViews_ && std::chrono::steady_clock::now() - viewsRefreshed_ >= kViewRefresh) RefreshViews();
  // A click handled in here runs within whatever waits: one level deeper.
  struct Deeper {
    int& depth;
    explicit Deeper(int& d) : depth(++d) {}
    ~Deeper() { --depth; }
  } deeper(eventDepth_);
  pump_.ProcessPendingEvents();
}

bool TFrmMain::Tick(const std::function<bool()>& done, std::chrono::microseconds length) {
  const auto deadline = std::chrono::steady_clock::now() + length;
  for (;;) {
    // Nothing more comes from a device that has gone.
    if (linkGone_) return done && done();
    const bool woke = link_.WaitForChunk(deadline);
    if (woke || link_.Lost()) {
      ServiceLink();
      if (done && done()) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return done && done();
  }
}

void TFrmMain::Delay(int n) {
  for (int i = 0; i < n; ++i) {
    // A tick of no length only handles what is pending.
    if (pauseTick.count() > 0) Tick(nullptr, pauseTick);
    ProcessEvents();
    // What the pause was for went away with the device.
    if (linkGone_) return;
  }
}

void TFrmMain::FullDelay(int n) {
  const auto shortened = std::exchange(pauseTick, kTick);
  Delay(n);
  pauseTick = shortened;
}

void TFrmMain::SendString(std::string_view bytes) {
  link_.WriteBytewise(bytes.data(), bytes.size());
  TxCount = AddWrapping(TxCount, bytes.size());
  ShowTx();
}

void TFrmMain::Sendbuffer(const void* data, uint16_t count) {
  link_.WriteBlock(static_cast<const char*>(data), count);
  TxCount = AddWrapping(TxCount, count);
  ShowTx();
}

void TFrmMain::ShowStatus() {
  if (btnSwitch == "关闭串口")
    edStatus = " STATUS: " + ComboBox1.Text() + " Opened " + ComboBox2.Text() + " None 8 1";
  else
    edStatus = " STATUS: COM Port Closed";
  Notify(MainView::What::Status);
}

void TFrmMain::ShowRx() {
  edRx = "Rx:" + std::to_string(RxCount);
  Notify(MainView::What::Counters);
}

void TFrmMain::ShowTx() {
  edTx = "Tx:" + std::to_string(TxCount);
  Notify(MainView::What::Counters);
}

void TFrmMain::Button5Click() {
  RxCount = 0;
  TxCount = 0;
  ShowRx();
  ShowTx();
  RefreshViews();  // the technician's own click shows at once
}

void TFrmMain::Button16Click() { stopFlag = 1; }

}  // namespace qv
