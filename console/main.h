#pragma once
// TFrmMain: the console. It owns the serial link, the received-text stores
// and every drive operation; the window only draws its controls and forwards
// clicks and keys. Secondary windows, the batch runner and the tests call its
// methods directly.
//
// Everything runs on one thread. Long operations wait only through Delay and
// the Wait* methods, which keep handling received bytes and window events, so
// a STOP click lands inside a running transfer.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "console/command_history.h"
#include "console/controls.h"
#include "console/dialogs.h"
#include "console/event_pump.h"
#include "console/own_files.h"
#include "console/session_log.h"
#include "console/text_store.h"
#include "serial/link.h"
#include "serial/rates.h"

namespace qv {

// Where received text goes.
enum class ReceiveMode {
  Empty,    // nowhere (set-up, rate changes, the start of the F-level switch)
  usercmd,  // the terminal pane: replies the user reads
  syscmd,   // the capture buffer: replies the program examines
  R_DATA,   // the capture buffer: hexadecimal dumps
};

// What a window draws from the console's state; told whenever it changes.
class MainView {
 public:
  enum class What {
    Port,      // btnSwitch caption and enabled state, ComboBox1 enabled, Panel2, the images
    Rates,     // ComboBox2 and ComboBox7 items and selection (and the followers')
    Ports,     // ComboBox1 items and selection
    Status,    // edStatus
    Counters,  // edRx, edTx
    Progress,  // ProgressBar1
    Edits,     // the edit boxes' texts changed from the console side
    Log,       // the session log or the trace started or stopped
    Families,  // ComboBox3 items and selection
  };
  virtual ~MainView() = default;
  virtual void Changed(What what) = 0;
  virtual void FocusRateList() {}
};

// Binds the whole process, threads already running included, to one of the
// processors it may run on, chosen at random. The receive thread inherits the
// binding, so the reader of the line and the main thread share one cache.
void BindToRandomProcessor();

struct StartupOptions {
  bool bindToOneProcessor = true;
  std::string sysClassTty = "/sys/class/tty";
  std::string programFolder;   // empty: the folder of the running program
  std::string userDataFolder;  // empty: UserDataFolder()
};

class TFrmMain {
 public:
  TFrmMain(EventPump& pump, Dialogs& dialogs);
  TFrmMain(const TFrmMain&) = delete;
  TFrmMain& operator=(const TFrmMain&) = delete;
  ~TFrmMain();

  void AddView(MainView* view);
  void RemoveView(MainView* view);
  // Rate lists of other windows that copy ComboBox2 after every port probe.
  void AddRateFollower(ListControl* list);
  void RemoveRateFollower(ListControl* list);
  EventPump& Pump() { return pump_; }
  Dialogs& Dlg() { return dialogs_; }
  SerialLink& Link() { return link_; }

  // --- start-up and shutdown ---
  void FormCreate(const StartupOptions& options = {});
  // The program folder, where the program's own files live, and the firmware
  // base folder that starts there. Part of FormCreate; the headless runner,
  // which has no start-up of its own, calls it directly.
  void SetUpFolders(const std::string& programFolder, const std::string& userDataFolder);
  void FormClose();

  // --- controls ---
  ListControl ComboBox1;  // ports
  ListControl ComboBox2;  // line rate
  ListControl ComboBox7;  // transfer rate (highest selected)
  ListControl ComboBox3;  // drive families, as the firmware layer's table names them
  bool CheckBox1 = true;   // "USB to COM": DTR and RTS asserted while open
  bool CheckBox2 = false;  // "自动清空": clear the pane past 200 lines
  std::string btnSwitch;   // "打开串口" while closed, "关闭串口" while open
  bool btnSwitchEnabled = true;
  bool Panel2Enabled = false;
  bool ImageOn = false;    // ImageOff is shown while this is false
  std::string edStatus, edRx, edTx;
  ProgressBar ProgressBar1;
  TextPane memo1;  // the terminal pane
  SessionLog sessionLog{memo1};  // "文件" → "记录到文件…"
  // Inputs of the procedure buttons, as typed (UTF-8).
  std::string Edit1, Edit2, Edit3, Edit4, Edit8, Edit9, Edit10;
  // Single-byte sender.
  std::string Edit21;
  bool Edit21Hex = false;   // RadioButton2 "HEX" chosen; RadioButton1 "DEC" otherwise
  int Edit21MaxLength = 0;  // 0: no limit

  // --- shared state ---
  ReceiveMode receiveMode = ReceiveMode::Empty;
  std::string LastPrompt;
  std::string WbReply;
  std::string WeReply;
  uint8_t stopFlag = 0;
  int32_t RxCount = 0;
  int32_t TxCount = 0;
  std::string programFolder;   // ends in '/'
  OwnFiles ownFiles;           // where the program's own files live
  std::string firmwareFolder;  // ends in '/'; starts as the folder the program's own files go to
  std::string Memo3;    // capture buffer (GBK text; see SplitLines)

  // --- the link ---
  bool OpenPort(const std::string& portName, int rate);
  void ClosePort();
  bool PortOpen() const { return link_.IsOpen(); }
  // The device went away while the port was open (unplugged, an I/O error),
  // or the program is closing. From then until a port is next opened every
  // wait answers false at once and every pause returns at once, so a running
  // operation goes straight down its own failure path instead of waiting out
  // each of its waits.
  bool LinkGone() const { return linkGone_; }
  // Moves the port to `rate`; false when it refused. A network port's answer
  // is awaited handling events, as the waits do.
  bool SetPortBaud(int rate);
  bool SetModemLines(bool on);
  // n ticks: each waits pauseTick (handling received bytes as they come) and
  // then handles all pending events. n <= 0 returns at once.
  void Delay(int n);
  // The prescribed tick of the pauses and the waits.
  static constexpr std::chrono::microseconds kTick{10000};
  // How long one tick of Delay lasts. The drive needs the prescribed pauses;
  // only tests and benchmarks shorten them, to run operations whose pauses
  // add up to minutes (a pause after each of 65536 ROM bytes).
  std::chrono::microseconds pauseTick{kTick};
  // Delay(n) at the prescribed tick, however pauseTick is shortened: for a
  // pause the drive cannot do without, such as the one in which it hears a
  // rate command at the old rate before the port moves.
  void FullDelay(int n);
  // How long one tick of a wait (WaitHD, WaitWB, WaitWE) lasts. A wait ends
  // as soon as what it waits for arrives, so only a drive that stays silent
  // makes it run its full length (up to 15 s); tests of such drives shorten
  // it. Real drives keep the prescribed 10 ms.
  std::chrono::microseconds waitTick{kTick};
  // Handles a pending receive notification, a lost device, then the toolkit's events.
  void ProcessEvents();
  // Only the link's part of ProcessEvents: a pending receive notification and
  // a lost device. A window toolkit idling in its own loop calls this when the
  // link's wake hook fires.
  void ServiceReceive() { ServiceLink(); }
  void SendString(std::string_view bytes);
  void Sendbuffer(const void* data, uint16_t count);
  void ShowStatus();
  void ShowRx();
  void ShowTx();
  // Takes the next chunk the link has decided and handles it.
  void ReceiveNotify();
  // Routes a chunk's text, takes its prompt and its reply as the record
  // decided them (serial/receive_record.h), and counts its bytes.
  void HandleChunk(const ReceivedChunk& chunk);

  // --- waits, levels ---
  bool WaitHD(int n);
  bool WaitWB(int n);
  bool WaitWE(int n);
  // True once the drive showed a prompt, false after the last attempt.
  bool WaitPrompt();
  bool isT();
  bool isF();
  bool ToF();

  // --- rates ---
  // Each true only when the change is done: the port took the rate (Speed),
  // and the drive showed its prompt at it (the others). A port that refuses
  // the rate stops the change at once: nothing more is sent, the pane says
  // which rate, why, and where that leaves the drive, and a running
  // operation is stopped.
  bool Speed(const Rate& rate);  // port side only; the drive's rate is the caller's
  bool Set(const Rate& rate);    // drive at level T, then port
  bool SetF(const Rate& rate);   // drive at another level, then port
  bool SetSpeed();               // to ComboBox2's rate
  bool AdSpeed();                // to ComboBox7's rate
  bool AdMySpeed(std::string_view rateText);
  bool SetSpeed9600();
  // How many rate changes the port has refused since the program started, and
  // the pane line of the latest: a caller that counts before and after a step
  // knows whether the step ended on one.
  int RateRefusals() const { return rateRefusals_; }
  const std::string& LastRateRefusal() const { return lastRateRefusal_; }

  // --- the pane (texts in UTF-8) ---
  void AddLine(std::string_view text);
  void AppendToLastLine(std::string_view text);
  void Button6Click();  // "清空接收区"
  void Button8Click();  // "关于软件"

  // --- port bar ---
  void btnSwitchClick();
  void ComboBox1Change();
  void ComboBox2Change();
  // The technician picks entry `index` of the rate list: refused while an
  // operation runs (the list keeps showing the rate in use), else
  // ComboBox2Change.
  void ComboBox2Choose(int index);
  void CheckBox1Click();
  // Brings ComboBox1 up to date with the serial devices present, as adapters
  // are plugged in and pulled out; the window calls it twice a second. Only
  // while no port is open: an open port is never disturbed, and the list
  // catches up at the first call after it closes. Devices added by path and
  // SIM stay. The selection stays on its device; when that device has gone,
  // nothing is selected (the rates stay those of the last probe, which runs
  // again only when the technician chooses a port).
  void FollowPortDevices();
  // SIM is open: what the drive answers comes from the built-in simulation.
  bool SimulatedDriveOpen() const;
  // "端口" → "接收间隔…", quorvane-batch --gap: how long the line must be
  // quiet before the drive's output counts as over, set by hand for this and
  // later opens; zero: decided automatically. While set, the pane says so.
  void SetReceiveGap(std::chrono::microseconds gap);
  std::chrono::microseconds ReceiveGap() const { return link_.ManualQuiet(); }
  // What the port list says is behind a port (UTF-8), or an empty text.
  std::string PortDescription(const std::string& portName) const;

  // --- the pane's files ---
  void SavePaneClick();  // "保存终端内容…"
  void LogClick();       // "记录到文件…": starts a log, or stops the one running
  // "记录收发时序…": starts a trace of the line (serial/receive_trace.h), or
  // stops the one running.
  void TraceClick();
  // After a log or trace write failed: stops it and says why in the pane.
  // Runs with every ProcessEvents; an idle window calls it from a timer.
  void ServiceLog();

  // --- command entry ---
  // A key typed into CMD. Returns true when the key is to be inserted into
  // the line; Enter sends the line and empties `line`.
  bool CMDKeyPress(char key, std::string& line);
  // Up or Down in CMD walk the lines sent before. True when `line` was replaced.
  enum class HistoryKey { Up, Down };
  bool CMDKeyDown(HistoryKey key, std::string& line);
  CommandHistory CMDHistory;
  void RadioButton1Click();  // DEC
  void RadioButton2Click();  // HEX
  // Filters a key for Edit21; returns the key to insert, or 0 to drop it.
  char Edit21KeyPress(char key);
  void Edit21Enter();
  void Button5Click();   // "CLEAR": counters to zero
  void Button16Click();  // "STOP"

  // --- progress ---
  void SetProgress(int max, int position);
  void SetProgressPosition(int position);
  void StepProgress(int by = 1);

  // The long operation running ("备份固件"), empty when none; see LongOperation.
  const std::string& BusyWith() const { return busyWith_; }
  // edStatus tells of a refusal (until the operation ends), not of the port.
  bool StatusTellsRefusal() const { return statusRefusal_; }
  // While one runs, the controls that would talk to the drive outside it
  // (the command line, the single-byte sender, the rate list, opening the
  // port) refuse: a notice in the pane and the status line says why. Never a
  // message box: its own event loop would hold the operation's waits until
  // it is closed. True when `control` was refused.
  bool RefusedWhileBusy(std::string_view control);

  // --- for other windows and tests ---
  // Tells the views. Counters and progress change with every exchange; they
  // are told at most kViewRefresh apart, and the last change always follows.
  void Notify(MainView::What what);
  static constexpr std::chrono::milliseconds kViewRefresh{33};
  // Tells the views of every counter or progress change not yet told.
  void RefreshViews();
  void SetReceiveMode(ReceiveMode mode) { receiveMode = mode; }
  std::vector<std::string_view> CaptureLines() const { return SplitLines(Memo3); }

 private:
  void ServiceLink();
  // Waits one tick of `length`, handling received bytes as they arrive;
  // returns early with true once `done` holds.
  bool Tick(const std::function<bool()>& done, std::chrono::microseconds length);
  // `forPrompt`: prompts handed over before it do not count as in sight.
  bool WaitFor(std::string& marker, int n, bool forPrompt);
  bool PromptIs(std::string_view prompt);
  bool DispatchRate(std::string_view rateText);
  // The drive command of `rate` at the old rate, then the port, then a prompt.
  bool ChangeRate(const Rate& rate, std::string_view driveCommand);
  // Refuses `rate` (RefuseRate) when the port is known not to take it before
  // anything is sent: a network port without rate control, a rate its
  // server did not confirm at open, a drive already out of step.
  bool RefusedBeforehand(const Rate& rate);
  // Says so (see the rates above), shows the port's rate again and returns false.
  enum class DriveTold { No, Yes, Unknown };
  bool RefuseRate(const Rate& rate, const std::string& why, DriveTold told);
  // The port side of Speed, without a word when the port refuses.
  bool MovePort(const Rate& rate);
  // Why the port refused the rate it was last asked for.
  std::string PortRateProblem() const;
  void ProbeRates(const std::string& port);
  // The rate list copied into the transfer list and the other windows' lists.
  void ShareRateList();
  // After a network port opened: the rates its server confirmed become the
  // rate list, and the pane says which it refused, or that it has no rate
  // control at all.
  void AnnounceNetworkPort(const std::string& port);
  // The errors a network port's server saw on its line, as a pane line at
  // most once per kLineNoticeSpacing.
  void ServiceNetworkNotices();
  static constexpr std::chrono::seconds kLineNoticeSpacing{1};
  void ShowClosedState();
  void PortLost();
  // The open/close button while an operation runs: the port closes as a lost
  // one does, so the operation goes down its failure path at once instead of
  // waiting out every timeout; its STOP stays as it is.
  void CloseUnderOperation();
  // A notice in the pane and the status line (see RefusedWhileBusy).
  void Refuse(const std::string& text);
  // Why the port named `port` did not open, for the pane.
  std::string OpenFailureText(const std::string& port) const;
  // A line in the pane when the link's timing is set by hand, or when a USB
  // adapter's latency timer will slow every exchange down.
  void AnnounceLinkTiming();
  void StopLog();
  void StopTrace();
  // A line about something that happened meanwhile, put between a running
  // operation's progress line and its verdict without taking the verdict.
  void AddNotice(std::string_view text);

  friend class LongOperation;

  EventPump& pump_;
  Dialogs& dialogs_;
  SerialLink link_;
  std::vector<MainView*> views_;
  std::vector<ListControl*> rateFollowers_;
  bool linkGone_ = false;
  int rateRefusals_ = 0;
  std::string lastRateRefusal_;
  // The drive was told this rate and the port refused it: they are out of
  // step until the port is opened again, and no rate command goes out.
  int driveToldRate_ = 0;
  std::chrono::steady_clock::time_point lineNoticeAt_{};
  // The notices that may have cut into a running operation (the port was
  // lost, the log stopped), as the pane holds them (GBK); the latest few.
  static constexpr size_t kRememberedNotices = 8;
  std::vector<std::string> notices_;
  // Counter and progress changes not yet told to the views (bits of What),
  // and when they were last told.
  unsigned owedViews_ = 0;
  std::chrono::steady_clock::time_point viewsRefreshed_{};
  bool refreshScheduled_ = false;
  // Prompts handed over since a wait for one began (or the F-level switch's
  // Escape presses did), taken or not.
  int promptsSinceScan_ = 0;
  // Whether the drive has shown a prompt since the scan began, taken or not:
  // enough for a key pressed until any prompt comes, whichever press it answers.
  bool PromptInSight() const;
  std::string sysClassTty_ = "/sys/class/tty";  // where the port list comes from
  std::string busyWith_;  // the long operation running
  bool statusRefusal_ = false;  // edStatus tells of a refusal until the operation ends
  int busyAtDepth_ = 0;   // eventDepth_ when it began
  int eventDepth_ = 0;    // how many of the toolkit's event passes run within each other
};

// An operation that borrows the capture buffer: whatever receive mode the
// caller had set is back when it returns or throws.
class ReceiveModeGuard {
 public:
  explicit ReceiveModeGuard(TFrmMain& main) : main_(main), remembered_(main.receiveMode) {}
  ~ReceiveModeGuard() { main_.receiveMode = remembered_; }
  ReceiveModeGuard(const ReceiveModeGuard&) = delete;
  ReceiveModeGuard& operator=(const ReceiveModeGuard&) = delete;

 private:
  TFrmMain& main_;
  ReceiveMode remembered_;
};

// Texts of the receive mode as the system names them ("usercmd", "R_DATA", "").
std::string_view ReceiveModeName(ReceiveMode mode);

}  // namespace qv
