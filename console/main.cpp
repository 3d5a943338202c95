// Start-up, shutdown, the port bar and the pane's own commands.
#include "console/main.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <utility>

#include "console/convert.h"
#include "console/long_operation.h"
#include "console/text.h"
#include "lang/translate.h"
#include "serial/port_identity.h"
#include "serial/port_list.h"
#include "serial/rfc2217_port.h"

namespace qv {

namespace {
constexpr const char* kCaptionClosed = N_("打开串口");
constexpr const char* kCaptionOpen = N_("关闭串口");
constexpr const char* kPortBusy = N_("选择的端口正在被使用或不存在！");

// What changes with every exchange of a transfer.
constexpr MainView::What kFrequent[] = {MainView::What::Counters, MainView::What::Progress};
unsigned Bit(MainView::What what) { return 1u << static_cast<unsigned>(what); }

// "5 ms", "0.5 ms".
std::string MillisecondsText(std::chrono::microseconds time) {
  std::string text = std::to_string(time.count() / 1000);
  if (const auto rest = time.count() % 1000; rest != 0) {
    std::string fraction = std::to_string(1000 + rest).substr(1);
    while (fraction.back() == '0') fraction.pop_back();
    text += "." + fraction;
  }
  return text + " ms";
}

std::vector<std::string> BasicRates() {
  std::vector<std::string> items;
  for (size_t i = 0; i < kBasicRateCount; ++i) items.emplace_back(kRates[i].text);
  return items;
}

}  // namespace

void BindToRandomProcessor() {
  // Only processors the process may run on (taskset, a container's cpuset)
  // can be chosen; processor numbers need not be contiguous.
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
  std::vector<int> choices;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &allowed)) choices.push_back(cpu);
  if (choices.empty()) return;
  std::mt19937 rng(std::random_device{}());
  const int chosen = choices[std::uniform_int_distribution<size_t>(0, choices.size() - 1)(rng)];
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(chosen, &set);
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec))
    sched_setaffinity(static_cast<pid_t>(std::stol(task.path().filename().string())), sizeof set, &set);
  sched_setaffinity(0, sizeof set, &set);
}

std::string_view ReceiveModeName(ReceiveMode mode) {
  switch (mode) {
    case ReceiveMode::usercmd: return "usercmd";
    case ReceiveMode::syscmd: return "syscmd";
    case ReceiveMode::R_DATA: return "R_DATA";
    case ReceiveMode::Empty: break;
  }
  return "";
}

TFrmMain::TFrmMain(EventPump& pump, Dialogs& dialogs)
    : btnSwitch(kCaptionClosed), edStatus(Tr("COM STATUS：")), edRx("Rx:0"), edTx("Tx:0"),
      pump_(pump), dialogs_(dialogs) {}

TFrmMain::~TFrmMain() {
  if (link_.IsOpen()) {
    link_.RequestStop();
    link_.FinishClose();
  }
}

void TFrmMain::AddView(MainView* view) { views_.push_back(view); }

void TFrmMain::RemoveView(MainView* view) {
  views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end());
}

void TFrmMain::AddRateFollower(ListControl* list) {
  rateFollowers_.push_back(list);
  list->items = ComboBox2.items;
  list->SelectLast();
}

void TFrmMain::RemoveRateFollower(ListControl* list) {
  rateFollowers_.erase(std::remove(rateFollowers_.begin(), rateFollowers_.end(), list), rateFollowers_.end());
}

void TFrmMain::Notify(MainView::What what) {
  if (std::find(std::begin(kFrequent), std::end(kFrequent), what) == std::end(kFrequent)) {
    for (MainView* view : views_) view->Changed(what);
    return;
  }
  owedViews_ |= Bit(what);
  if (std::chrono::steady_clock::now() - viewsRefreshed_ >= kViewRefresh) {
    RefreshViews();
  } else if (!refreshScheduled_) {
    refreshScheduled_ = true;
    pump_.RefreshViewsLater(kViewRefresh);
  }
}

void TFrmMain::RefreshViews() {
  viewsRefreshed_ = std::chrono::steady_clock::now();
  refreshScheduled_ = false;
  const unsigned owed = std::exchange(owedViews_, 0u);
  for (MainView::What what : kFrequent)
    if (owed & Bit(what))
      for (MainView* view : views_) view->Changed(what);
}

void TFrmMain::FormCreate(const StartupOptions& options) {
  if (options.bindToOneProcessor) BindToRandomProcessor();
  SetUpFolders(options.programFolder.empty() ? ProgramFolder() : options.programFolder,
               options.userDataFolder.empty() ? UserDataFolder() : options.userDataFolder);
  receiveMode = ReceiveMode::Empty;
  RxCount = 0;
  TxCount = 0;
  ComboBox2.items = BasicRates();
  ComboBox2.index = 0;
  sysClassTty_ = options.sysClassTty;
  ComboBox1.items = ListComPorts(sysClassTty_);
  ComboBox1.index = ComboBox1.items.empty() ? -1 : 0;
  if (!ComboBox1.items.empty()) ProbeRates(ComboBox1.items.front());
  ShareRateList();
  Panel2Enabled = false;
  receiveMode = ReceiveMode::usercmd;
  Notify(MainView::What::Ports);
  Notify(MainView::What::Port);
}

void TFrmMain::SetUpFolders(const std::string& program, const std::string& userData) {
  ownFiles = OwnFiles(program, userData);
  programFolder = ownFiles.ProgramDir();
  firmwareFolder = ownFiles.WritableFolder();
  if (firmwareFolder.empty()) firmwareFolder = programFolder;
}

// Opens the port at 9600 and offers the four high rates only when it also
// takes 921600. A port that cannot be opened is skipped silently.
void TFrmMain::ProbeRates(const std::string& port) {
  if (OpenPort(port, 9600) && SetPortBaud(921600))
    for (size_t i = kBasicRateCount; i < kRates.size(); ++i) ComboBox2.items.emplace_back(kRates[i].text);
  ClosePort();
}

void TFrmMain::FormClose() {
  if (btnSwitch == kCaptionOpen) {
    try {
      ClosePort();
    } catch (...) {
      // Nothing is left to save at shutdown; a failed close must not keep the program alive.
    }
  }
  // An operation still running below the closing window must not go on
  // waiting for a drive the program no longer listens to.
  linkGone_ = true;
  // Its verdict still reaches the log, which stops when the console goes.
  sessionLog.Flush();
}

void TFrmMain::ShowClosedState() {
  btnSwitch = kCaptionClosed;
  Panel2Enabled = false;
  ImageOn = false;
  Notify(MainView::What::Port);
}

void TFrmMain::btnSwitchClick() {
  if (!busyWith_.empty()) {
    if (btnSwitch == kCaptionOpen) CloseUnderOperation();
    else RefusedWhileBusy(Tr(kCaptionClosed));
    return;
  }
  stopFlag = 0;
  if (btnSwitch == kCaptionClosed) {
    int32_t rate = 0;
    try {
      rate = StrToInt(ComboBox2.Text());
    } catch (const EConvertError&) {
      dialogs_.Warning(Tr("警告"), Tr("波特率设定有误\r 请重新输入"));
      for (MainView* view : views_) view->FocusRateList();
      return;
    }
    if (ComboBox1.index < 0) {
      dialogs_.ShowMessage(Tr(kPortBusy));
      return;
    }
    const std::string port = ComboBox1.Text();
    if (!OpenPort(port, rate)) {
      AddLine(OpenFailureText(port));
      dialogs_.ShowMessage(Tr(kPortBusy));
      return;
    }
    SetModemLines(CheckBox1);
    if (port == kSimPortName) AddLine(TrFormat("{1}。", Tr(kSimDriveNotice)));
    AnnounceNetworkPort(port);
    AnnounceLinkTiming();
    btnSwitch = kCaptionOpen;
    Panel2Enabled = true;
    ImageOn = true;
    Notify(MainView::What::Port);
  } else {
    ClosePort();
    ShowClosedState();
  }
  ShowStatus();
}

void TFrmMain::AnnounceLinkTiming() {
  if (const auto manual = link_.ManualQuiet(); manual.count() > 0)
    AddLine(TrFormat("接收间隔：手动设为至少 {1}（自动判断得出更长时用更长的）。", MillisecondsText(manual)));
  const PortIdentity& id = link_.Identity();
  const int latency = link_.LatencyTimerMs();
  if (id.transport != PortIdentity::Transport::Usb || latency <= 1) return;
  AddLine(TrFormat("USB 串口适配器 {1} 的延迟定时器为 {2} ms，每次问答最多要多等 {2} ms。改为 1 ms：sudo sh -c 'echo 1 > "
                   "{3}'，或安装本程序的软件包（其 udev 规则在插入 FT232 类适配器时设好）后重新插入适配器。",
                   id.ttyName, latency, id.latencyTimerPath));
}

void TFrmMain::SetReceiveGap(std::chrono::microseconds gap) {
  link_.SetManualQuiet(gap);
  if (!PortOpen()) return;
  if (gap.count() > 0) AnnounceLinkTiming();
  else AddLine(Tr("接收间隔：自动判断。"));
}

void TFrmMain::PortLost() {
  const std::string port = ComboBox1.Text();
  const std::string reason = link_.LostReason();
  link_.FinishClose();
  ShowClosedState();
  ShowStatus();
  linkGone_ = true;
  AddNotice(reason.empty() ? TrFormat("串口 {1} 已断开（设备被拔出或出错），端口已关闭。", port)
                            : TrFormat("{1}，端口已关闭。", reason));
  sessionLog.Flush();
}

void TFrmMain::CloseUnderOperation() {
  const std::string port = ComboBox1.Text();
  ClosePort();
  ShowClosedState();
  ShowStatus();
  linkGone_ = true;
  AddNotice(TrFormat("串口 {1} 已关闭，“{2}”随之中止。", port, busyWith_));
}

void TFrmMain::ComboBox1Change() {
  receiveMode = ReceiveMode::Empty;
  ComboBox2.items = BasicRates();
  ComboBox2.index = 0;
  const std::string port = ComboBox1.Text();
  if (Rfc2217Port::IsNetworkPort(port)) {
    // Every rate until the open asks the server for each.
    for (size_t i = kBasicRateCount; i < kRates.size(); ++i) ComboBox2.items.emplace_back(kRates[i].text);
  } else if (!OpenPort(port, 9600)) {
    AddLine(OpenFailureText(port));
    dialogs_.ShowMessage(Tr(kPortBusy));
  } else if (SetPortBaud(921600)) {
    for (size_t i = kBasicRateCount; i < kRates.size(); ++i) ComboBox2.items.emplace_back(kRates[i].text);
  }
  ClosePort();
  ShareRateList();
  receiveMode = ReceiveMode::usercmd;
}

void TFrmMain::FollowPortDevices() {
  if (PortOpen() || btnSwitch == kCaptionOpen) return;
  std::vector<std::string> items = ListComPorts(sysClassTty_);
  for (const std::string& item : ComboBox1.items)
    if (IsDevicePath(item) && std::find(items.begin(), items.end(), item) == items.end()) items.push_back(item);
  if (items == ComboBox1.items) return;
  const std::string selected = ComboBox1.Text();
  ComboBox1.items = std::move(items);
  // Moving the selection to another port would have the next open reach a
  // device the technician did not choose.
  ComboBox1.SelectText(selected);
  Notify(MainView::What::Ports);
}

std::string TFrmMain::PortDescription(const std::string& portName) const {
  if (portName == kSimPortName) return Tr(kSimDriveNotice);
  if (Rfc2217Port::IsPlainBridge(portName)) return Tr("网络串口（普通 TCP 转发，速率固定）");
  if (Rfc2217Port::IsNetworkPort(portName)) return Tr("网络串口（RFC 2217，例如 ser2net）");
  if (IsDevicePath(portName)) return DescribePort(IdentifyDevice(sysClassTty_, portName));
  return DescribePort(IdentifyPort(sysClassTty_, portName));
}

bool TFrmMain::SimulatedDriveOpen() const {
  return PortOpen() && btnSwitch == kCaptionOpen && ComboBox1.Text() == kSimPortName;
}

void TFrmMain::CheckBox1Click() { SetModemLines(CheckBox1); }

void TFrmMain::AddLine(std::string_view text) { memo1.AddLine(Gbk(text)); }

void TFrmMain::AddNotice(std::string_view text) {
  std::string line = Gbk(text);
  if (std::find(notices_.begin(), notices_.end(), line) == notices_.end()) {
    if (notices_.size() >= kRememberedNotices) notices_.erase(notices_.begin());
    notices_.push_back(line);
  }
  memo1.AddLine(line);
}

void TFrmMain::AppendToLastLine(std::string_view text) {
  // Notices (a lost device, then a log stopped with it) may cut into the
  // operation that was running, one after another; the operation's verdict
  // still belongs on its own progress line, above all of them.
  const auto& lines = memo1.Lines();
  size_t below = lines.size();
  while (below > 1 && std::find(notices_.begin(), notices_.end(), lines[below - 1]) != notices_.end()) --below;
  if (below == lines.size())
    memo1.AppendToLastLine(Gbk(text));
  else
    memo1.AppendToLine(below - 1, Gbk(text));
}

void TFrmMain::Button6Click() { memo1.Clear(); }

void TFrmMain::Button8Click() {
  LongOperation busy(*this, Tr("关于软件"));
  if (!busy) return;
  receiveMode = ReceiveMode::usercmd;
  SendString("/T\r");
  AddLine(Tr("Quorvane：硬盘串口终端维修工具，由 Quorvane 开发组编写。"));
  Delay(10);
  SendString("/\r");
  Delay(10);
  AddLine(Tr("更多信息请阅读随程序附带的 README 文件。"));
  SendString("\n");
}

void TFrmMain::SetProgress(int max, int position) {
  ProgressBar1.max = max;
  ProgressBar1.position = position;
  Notify(MainView::What::Progress);
}

void TFrmMain::SetProgressPosition(int position) {
  ProgressBar1.position = position;
  Notify(MainView::What::Progress);
}

void TFrmMain::StepProgress(int by) { SetProgressPosition(ProgressBar1.position + by); }

}  // namespace qv
