#pragma once
// The main window TFrmMain: the port bar, the terminal pane, the command line,
// the console buttons, counters, status line, progress bar and STOP. It draws
// the console's state (as a MainView) and hands every click and key to the
// console's handlers.
#include <QMainWindow>
#include <QRect>
#include <functional>

#include "console/main.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace qv::ui {

class TerminalPane;

class MainWindow : public QMainWindow, public MainView {
  Q_OBJECT
 public:
  // The client area below the menu bar.
  static constexpr int kClientWidth = 960;
  static constexpr int kClientHeight = 688;
  // Where the procedure buttons go, in Panel2's coordinates.
  static constexpr QRect kProcedureArea{334, 2, 624, 236};

  explicit MainWindow(TFrmMain& main, QWidget* parent = nullptr);
  ~MainWindow() override;

  TFrmMain& Main() { return main_; }

  // MainView
  void Changed(What what) override;
  void FocusRateList() override;

  // Runs a console handler; an exception escaping it becomes a message box.
  void Run(const std::function<void()>& handler);

  // The logic of "端口" → "其他设备…": checks that the path is an existing
  // character device (a warning box says why not), adds it to the port list,
  // selects it and runs what choosing a port runs. True when it was taken.
  bool AddDeviceByPath(const QString& path);

  // The logic of "端口" → "接收间隔…": milliseconds of quiet that end the
  // drive's output, 0 for the automatic choice.
  void SetReceiveGap(double milliseconds);

  // The logic of "端口" → "模拟驱动器的适配器…": the simulated drive answers
  // through the adapter of that row of the choice (0: none, bytes as they come).
  void SetSimAdapter(int choice);

  // An entry of the "窗口" menu that shows `window` (modal: blocking the others).
  QAction* AddWindowMenuEntry(const QString& caption, QWidget* window, bool modal);

  // The free area of Panel2 for the procedure buttons (at kProcedureArea).
  QWidget* ProcedureArea() const { return procedureArea_; }
  TerminalPane* Pane() const { return memo1_; }

 signals:
  // The console changed state (MainView::What as int); windows that draw more
  // of it (the procedure edits) refresh on this.
  void modelChanged(int what);
  // The window was closed: the program ends.
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildPortBar(QWidget* panel3, QWidget* client);
  void BuildPanel2(QWidget* panel2);
  void BuildMenus();
  void AskForDevicePath();
  void AskForReceiveGap();
  void AskForSimAdapter();
  void ShowPortDescriptions();
  bool CmdKey(QKeyEvent* key);
  bool Edit21Key(QKeyEvent* key);
  void FillList(QComboBox* box, const ListControl& list);
  void ShowPort();
  void ShowStatus();
  void ShowEdit21();
  void ShowLog();

  TFrmMain& main_;
  bool updating_ = false;  // lists being refilled from the console: not a user's choice
  bool shownOpen_ = false;  // the open state last drawn

  QLabel* imageOff_ = nullptr;
  QLabel* imageOn_ = nullptr;
  QComboBox* comboBox1_ = nullptr;
  QComboBox* comboBox2_ = nullptr;
  QComboBox* comboBox7_ = nullptr;
  QComboBox* comboBox3_ = nullptr;
  QPushButton* btnSwitch_ = nullptr;
  QCheckBox* checkBox1_ = nullptr;
  QCheckBox* checkBox2_ = nullptr;
  TerminalPane* memo1_ = nullptr;
  QWidget* panel2_ = nullptr;
  QLineEdit* cmd_ = nullptr;
  QLineEdit* edStatus_ = nullptr;
  QLineEdit* edRx_ = nullptr;
  QLineEdit* edTx_ = nullptr;
  QProgressBar* progressBar1_ = nullptr;
  QLineEdit* edit21_ = nullptr;
  QRadioButton* radioButton1_ = nullptr;
  QRadioButton* radioButton2_ = nullptr;
  QWidget* procedureArea_ = nullptr;
  QAction* otherDevice_ = nullptr;
  QAction* receiveGap_ = nullptr;
  QAction* simAdapter_ = nullptr;
  int simAdapterChoice_ = 0;
  QMenu* windowMenu_ = nullptr;
  QAction* logAction_ = nullptr;
  QAction* traceAction_ = nullptr;
  QTimer* logTimer_ = nullptr;  // runs while logging: a failed write is told even when all is idle
};

}  // namespace qv::ui
