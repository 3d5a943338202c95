#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QAbstractItemView>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "console/console_buttons.h"
#include "console/language_setup.h"
#include "serial/port_list.h"
#include "sim/sim_drive.h"
#include "ui/device_path.h"
#include "ui/fonts.h"
#include "ui/handler.h"
#include "ui/language_menu.h"
#include "ui/naming.h"
#include "ui/procedure_groups.h"
#include "ui/signs.h"
#include "ui/terminal_pane.h"
#include "ui/tr.h"

// The icon lives in the ui library, which is linked statically: the program
// has to ask for its resources to be kept.
static void LoadIconResource() { Q_INIT_RESOURCE(icons); }

namespace qv::ui {

namespace {

const char* const kCaptionOpen = N_("关闭串口");
const char* const kTitle = "Quorvane Version 7.0";
// How often the port list looks for adapters plugged in or pulled out.
constexpr int kPortWatchMs = 500;
// STOP, in the client area; Panel2 starts at its left edge, so the bottom
// row shares these x coordinates.
constexpr QRect kStopGeometry{896, 670, 65, 16};

// What is behind a port (an adapter's product, ids, driver and serial
// number), shown beside its name in the open list; the name stays the item's
// text, and what is opened.
constexpr int kPortDescriptionRole = Qt::UserRole + 1;

// How the simulated drive's answers reach the program: as they come, or in
// the lumps of an adapter, to try the program as a real adapter delivers.
struct SimAdapterChoice {
  const char* caption;
  const char* timing;  // as quorvane-batch --sim-adapter takes it; empty: no adapter
};
constexpr SimAdapterChoice kSimAdapters[] = {
    {N_("无（逐字节送达）"), ""},
    {N_("FT232 类，延迟定时器 16 ms"), "ft232"},
    {N_("FT232 类，延迟定时器 1 ms"), "ft232-1ms"},
    {N_("CH340 类，1 ms"), "ch340"},
    {N_("本机串口 UART，FIFO 触发 14"), "uart"},
};

class PortListDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString description = index.data(kPortDescriptionRole).toString();
    if (!description.isEmpty()) option->text += QStringLiteral("    ") + description;
  }
};

QFrame* MakePanel(QWidget* parent, const char* name, const QRect& geometry) {
  auto* panel = new QFrame(parent);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setGeometry(geometry);
  Name(panel, name, QString());
  return panel;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->move(x, y);
  label->adjustSize();
  if (name) Name(label, name, text);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setGeometry(geometry);
  button->setFocusPolicy(Qt::StrongFocus);
  Name(button, name, caption);
  return button;
}

QComboBox* MakeList(QWidget* parent, const char* name, const QString& label, const QRect& geometry) {
  auto* box = new QComboBox(parent);
  box->setEditable(false);  // a drop-down list: only its items can be chosen
  box->setGeometry(geometry);
  Name(box, name, label);
  return box;
}

// A read-only edit that reports state: it stays legible while its panel is disabled.
QLineEdit* MakeDisplay(QWidget* parent, const char* name, const QString& label, const QRect& geometry) {
  auto* edit = new QLineEdit(parent);
  edit->setReadOnly(true);
  edit->setGeometry(geometry);
  edit->setFocusPolicy(Qt::ClickFocus);
  QPalette palette = edit->palette();
  for (QPalette::ColorRole role : {QPalette::Text, QPalette::Base, QPalette::WindowText})
    palette.setColor(QPalette::Disabled, role, palette.color(QPalette::Active, role));
  edit->setPalette(palette);
  Name(edit, name, label);
  return edit;
}

// The width a line edit draws its text in: the style's contents rect less
// the text margins, the 2 px the edit keeps on each side and 1 for the caret.
int TextRoom(const QLineEdit* edit) {
  QStyleOptionFrame option;
  option.initFrom(edit);
  option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
  const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
  return contents.marginsRemoved(edit->textMargins()).width() - 2 * 2 - 1;
}

// The byte a key types, as the console's key handlers take it; -1 for keys
// that only edit or move (arrows, Home, Tab ...).
int KeyByte(const QKeyEvent* key) {
  switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return -1;
    default: break;
  }
  const Qt::KeyboardModifiers mods = key->modifiers();
  if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier)) {
    const int k = key->key();
    if (k >= Qt::Key_A && k <= Qt::Key_Z) return k - Qt::Key_A + 1;
    switch (k) {
      case Qt::Key_BracketLeft: return 0x1B;
      case Qt::Key_Backslash: return 0x1C;
      case Qt::Key_BracketRight: return 0x1D;
      case Qt::Key_AsciiCircum: return 0x1E;
      case Qt::Key_Underscore: return 0x1F;
      default: return -1;
    }
  }
  const QByteArray text = key->text().toUtf8();
  if (text.isEmpty()) return -1;
  return static_cast<unsigned char>(text[0]);
}

// Lays out one row of buttons across `width`, each as wide as its caption asks.
void LayRow(const std::vector<QPushButton*>& row, int x, int y, int width, int height) {
  constexpr int kGap = 4;
  int wanted = 0;
  std::vector<int> widths;
  for (QPushButton* button : row) {
    widths.push_back(button->fontMetrics().horizontalAdvance(button->text()) + 14);
    wanted += widths.back();
  }
  const int free = width - kGap * (static_cast<int>(row.size()) - 1);
  int left = x;
  for (size_t i = 0; i < row.size(); ++i) {
    const int w = i + 1 == row.size() ? x + width - left : widths[i] * free / wanted;
    row[i]->setGeometry(left, y, w, height);
    left += w + kGap;
  }
}

}  // namespace

MainWindow::MainWindow(TFrmMain& main, QWidget* parent) : QMainWindow(parent), main_(main) {
  setWindowTitle(QString::fromUtf8(kTitle));
  LoadIconResource();
  setWindowIcon(QIcon(QStringLiteral(":/icons/quorvane.svg")));
  NameWindow(this, "TFrmMain");
  setFont(CjkFont(12, true));

  auto* client = new QWidget(this);
  Name(client, "ClientArea", QString());
  client->setFixedSize(kClientWidth, kClientHeight);
  client->setAutoFillBackground(true);
  QPalette palette = client->palette();
  palette.setColor(QPalette::Window, QColor(192, 220, 192));
  client->setPalette(palette);
  setCentralWidget(client);

  const int panel2Height = 264;
  QFrame* panel1 = MakePanel(client, "Panel1", QRect(0, 0, kClientWidth, kClientHeight - panel2Height));
  QFrame* panel3 = MakePanel(panel1, "Panel3", QRect(0, 0, kClientWidth, 33));
  BuildPortBar(panel3, client);

  memo1_ = new TerminalPane(main_.memo1, panel1);
  memo1_->setGeometry(0, 33, kClientWidth, panel1->height() - 33);
  Name(memo1_, "memo1", QTr("接收区"));
  connect(memo1_, &TerminalPane::emptyRequested, this, [this] { Run([this] { main_.Button6Click(); }); });

  QFrame* panel2 = MakePanel(client, "Panel2", QRect(0, kClientHeight - panel2Height, kClientWidth, panel2Height));
  panel2_ = panel2;
  BuildPanel2(panel2);

  // STOP lies outside the lower panel so that it is usable at all times.
  QPushButton* stop = MakeButton(client, "Button16", QStringLiteral("STOP"), kStopGeometry);
  stop->setFont(CjkFont(11, true));
  stop->raise();
  connect(stop, &QPushButton::clicked, this, [this] { Run([this] { main_.Button16Click(); }); });

  BuildMenus();
  // The menu bar sits above the client area, which keeps its full size.
  setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  if (QScreen* screen = QApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

  main_.AddView(this);
  AddProcedureGroups(procedureArea_, *this, main_);
  for (What what : {What::Port, What::Rates, What::Ports, What::Status, What::Counters, What::Progress, What::Edits})
    Changed(what);

  auto* portWatch = new QTimer(this);
  portWatch->setObjectName(QStringLiteral("portWatch"));
  connect(portWatch, &QTimer::timeout, this, [this] { Run([this] { main_.FollowPortDevices(); }); });
  portWatch->start(kPortWatchMs);
}

MainWindow::~MainWindow() { main_.RemoveView(this); }

void MainWindow::BuildPortBar(QWidget* panel3, QWidget* client) {
  imageOff_ = new QLabel(panel3);
  imageOff_->setGeometry(5, 1, 32, 32);
  imageOff_->setPixmap(PortSign(false));
  Name(imageOff_, "ImageOff", QTr("串口已关闭"));
  imageOn_ = new QLabel(panel3);
  imageOn_->setGeometry(5, 1, 32, 32);
  imageOn_->setPixmap(PortSign(true));
  Name(imageOn_, "ImageOn", QTr("串口已打开"));
  imageOn_->hide();

  const QString portLabel = QTr("端口选择：");
  MakeLabel(panel3, "Label3", portLabel, 42, 9);
  comboBox1_ = MakeList(panel3, "ComboBox1", portLabel, QRect(108, 6, 77, 22));
  // Device paths and what is behind a port are longer than the box: the open
  // list shows them whole.
  comboBox1_->view()->setTextElideMode(Qt::ElideNone);
  comboBox1_->setItemDelegate(new PortListDelegate(comboBox1_));
  connect(comboBox1_, &QComboBox::activated, this, [this](int index) {
    if (updating_) return;
    main_.ComboBox1.index = index;
    comboBox1_->setToolTip(comboBox1_->itemData(index, Qt::ToolTipRole).toString());
    Run([this] { main_.ComboBox1Change(); });
  });

  const QString rateLabel = QTr("波特率选择：");
  MakeLabel(panel3, "Label4", rateLabel, 190, 9);
  comboBox2_ = MakeList(panel3, "ComboBox2", rateLabel, QRect(277, 6, 92, 22));
  connect(comboBox2_, &QComboBox::activated, this, [this](int index) {
    if (updating_) return;
    Run([this, index] { main_.ComboBox2Choose(index); });
  });

  btnSwitch_ = MakeButton(panel3, "btnSwitch", QTr("打开串口"), QRect(378, 3, 62, 27));
  connect(btnSwitch_, &QPushButton::clicked, this, [this] {
    Run([this] { main_.btnSwitchClick(); });
    btnSwitch_->setAccessibleName(btnSwitch_->text());
  });

  // A child of the window, not of the port bar: it stays usable while the port is open.
  checkBox1_ = new QCheckBox(QStringLiteral("USB to COM"), client);
  checkBox1_->setFont(CjkFont(11, true));
  checkBox1_->setGeometry(444, 8, 88, 18);
  checkBox1_->setChecked(main_.CheckBox1);
  Name(checkBox1_, "CheckBox1", checkBox1_->text());
  connect(checkBox1_, &QCheckBox::clicked, this, [this](bool checked) {
    main_.CheckBox1 = checked;
    Run([this] { main_.CheckBox1Click(); });
  });

  const QRect rateButtons[] = {QRect(533, 5, 54, 23), QRect(589, 5, 50, 23)};
  size_t slot = 0;
  for (const ButtonDef& def : PortBarButtons()) {
    if (slot >= std::size(rateButtons)) break;
    const std::string name(def.name);
    QPushButton* button = MakeButton(panel3, name.c_str(), Q(def.caption), rateButtons[slot++]);
    connect(button, &QPushButton::clicked, this, [this, &def] { Run([this, &def] { RunButton(main_, def); }); });
  }

  QLabel* panel5 = MakeLabel(panel3, "Panel5", QTr("接收区"), 645, 9);
  panel5->setGeometry(642, 5, 54, 23);
  panel5->setAlignment(Qt::AlignCenter);
  panel5->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  QPushButton* button6 = MakeButton(panel3, "Button6", QTr("清空接收区"), QRect(700, 4, 74, 25));
  connect(button6, &QPushButton::clicked, this, [this] { Run([this] { main_.Button6Click(); }); });

  checkBox2_ = new QCheckBox(QTr("自动清空"), panel3);
  checkBox2_->setGeometry(782, 8, 90, 18);
  checkBox2_->setChecked(main_.CheckBox2);
  Name(checkBox2_, "CheckBox2", checkBox2_->text());
  connect(checkBox2_, &QCheckBox::clicked, this, [this](bool checked) { main_.CheckBox2 = checked; });

  QPushButton* button8 = MakeButton(panel3, "Button8", QTr("关于软件"), QRect(880, 4, 74, 25));
  connect(button8, &QPushButton::clicked, this, [this] { Run([this] { main_.Button8Click(); }); });
  checkBox1_->raise();
}

void MainWindow::BuildPanel2(QWidget* panel2) {
  const QString inputLabel = QStringLiteral("Input");
  QLabel* panel4 = MakeLabel(panel2, "Panel4", inputLabel, 8, 9);
  panel4->setGeometry(8, 8, 74, 24);
  panel4->setAlignment(Qt::AlignCenter);
  panel4->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  cmd_ = new QLineEdit(panel2);
  cmd_->setGeometry(88, 8, 233, 24);
  cmd_->setFont(CjkFont(14, false));
  Name(cmd_, "CMD", inputLabel);
  cmd_->installEventFilter(this);

  // The console buttons, in rows as wide as their captions ask.
  auto* group = new QGroupBox(QTr("控制台命令"), panel2);
  group->setGeometry(5, 38, 318, 128);
  group->setStyleSheet(QStringLiteral(
      "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 7px; }"
      "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0px 2px; }"));
  Name(group, "GroupConsole", group->title());
  std::vector<QPushButton*> buttons;
  for (const ButtonDef& def : ConsoleButtons()) {
    const std::string name(def.name);
    QPushButton* button = MakeButton(group, name.c_str(), ButtonCaption(def), QRect());
    button->setToolTip(ButtonTooltip(def));
    connect(button, &QPushButton::clicked, this, [this, &def] { Run([this, &def] { RunButton(main_, def); }); });
    buttons.push_back(button);
  }
  // T Stage ? 。 /1 /6 | Disk Info, Restore Setting, 11 Series | 12 Series, View SMART, Clear SMART | the rest.
  const size_t rowSizes[] = {5, 3, 3, buttons.size()};
  size_t next = 0;
  int y = 16;
  for (size_t size : rowSizes) {
    std::vector<QPushButton*> row;
    while (row.size() < size && next < buttons.size()) row.push_back(buttons[next++]);
    if (row.empty()) break;
    LayRow(row, 6, y, group->width() - 12, 24);
    y += 27;
  }

  // The single-byte sender.
  const QString byteLabel = QTr("单字节：");
  MakeLabel(panel2, nullptr, byteLabel, 10, 178);
  edit21_ = new QLineEdit(panel2);
  edit21_->setGeometry(74, 174, 46, 22);
  Name(edit21_, "Edit21", byteLabel);
  edit21_->setToolTip(QTr("回车发送一个字节"));
  edit21_->installEventFilter(this);
  connect(edit21_, &QLineEdit::textEdited, this, [this](const QString& text) {
    // Pasted text passes the same key filter as typed text.
    std::string kept;
    for (char c : U8(text))
      if (char k = main_.Edit21KeyPress(c); k != 0 && k != 0x08) kept += k;
    main_.Edit21 = kept;
    if (Q(kept) != text) edit21_->setText(Q(kept));
  });
  radioButton1_ = new QRadioButton(QStringLiteral("DEC"), panel2);
  radioButton1_->setGeometry(128, 176, 52, 18);
  Name(radioButton1_, "RadioButton1", radioButton1_->text());
  radioButton2_ = new QRadioButton(QStringLiteral("HEX"), panel2);
  radioButton2_->setGeometry(184, 176, 52, 18);
  Name(radioButton2_, "RadioButton2", radioButton2_->text());
  radioButton1_->setChecked(true);
  connect(radioButton1_, &QRadioButton::clicked, this, [this] { Run([this] { main_.RadioButton1Click(); }); });
  connect(radioButton2_, &QRadioButton::clicked, this, [this] { Run([this] { main_.RadioButton2Click(); }); });

  // The transfer rate that AdSpeed moves drive and port to.
  const QString transferLabel = QTr("读写速率：");
  MakeLabel(panel2, nullptr, transferLabel, 10, 208);
  comboBox7_ = MakeList(panel2, "ComboBox7", transferLabel, QRect(88, 204, 92, 22));
  comboBox7_->setToolTip(QTr(N_("Set to read and write data rate tracks")));
  connect(comboBox7_, &QComboBox::activated, this, [this](int index) {
    if (!updating_) main_.ComboBox7.index = index;
  });

  comboBox3_ = MakeList(panel2, "ComboBox3", QTr("硬盘系列"), QRect(190, 204, 120, 22));
  comboBox3_->hide();
  connect(comboBox3_, &QComboBox::activated, this, [this](int index) {
    if (!updating_) main_.ComboBox3.index = index;
  });

  procedureArea_ = new QWidget(panel2);
  procedureArea_->setGeometry(kProcedureArea);
  Name(procedureArea_, "procedureArea", QString());

  // The bottom row: status, counters, CLEAR, progress up to STOP. The status
  // field takes what the others leave, so that a port's state shows whole in
  // either language, the simulated drive's notice before it included.
  constexpr int kProgressWidth = 140;
  const int progressLeft = kStopGeometry.left() - 4 - kProgressWidth;
  const int countAt = progressLeft - 260;  // "Count:", Rx, Tx and CLEAR
  edStatus_ = MakeDisplay(panel2, "edStatus", QStringLiteral("Status"), QRect(5, 240, countAt - 8, 21));
  const QString countLabel = QStringLiteral("Count:");
  QLabel* label31 = MakeLabel(panel2, "Label31", countLabel, countAt, 243);
  label31->setPalette(edStatus_->palette());
  edRx_ = MakeDisplay(panel2, "edRx", countLabel, QRect(countAt + 42, 240, 70, 21));
  edTx_ = MakeDisplay(panel2, "edTx", countLabel, QRect(countAt + 116, 240, 72, 21));
  QPushButton* button5 = MakeButton(panel2, "Button5", QStringLiteral("CLEAR"), QRect(countAt + 196, 239, 56, 23));
  connect(button5, &QPushButton::clicked, this, [this] { Run([this] { main_.Button5Click(); }); });
  progressBar1_ = new QProgressBar(panel2);
  progressBar1_->setGeometry(progressLeft, 247, kProgressWidth, 11);
  progressBar1_->setTextVisible(false);
  Name(progressBar1_, "ProgressBar1", QTr("进度"));
}

void MainWindow::BuildMenus() {
  QMenu* fileMenu = menuBar()->addMenu(QTr("文件"));
  fileMenu->setObjectName(QStringLiteral("MenuFile"));
  fileMenu->setToolTipsVisible(true);  // the log's item names its file while logging
  QAction* savePane = fileMenu->addAction(QTr("保存终端内容…"));
  savePane->setObjectName(QStringLiteral("MenuSavePane"));
  // In CMD, Ctrl+S stays the byte 0x13 for the drive (the line takes its
  // control keys first); elsewhere in the window it saves.
  savePane->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  connect(savePane, &QAction::triggered, this, [this] { Run([this] { main_.SavePaneClick(); }); });
  memo1_->PopupMenu()->addSeparator();
  memo1_->PopupMenu()->addAction(savePane);
  logAction_ = fileMenu->addAction(QTr("记录到文件…"));
  logAction_->setObjectName(QStringLiteral("MenuLog"));
  logAction_->setCheckable(true);
  connect(logAction_, &QAction::triggered, this, [this] {
    Run([this] { main_.LogClick(); });
    ShowLog();  // a cancelled chooser leaves the check as it was
  });
  traceAction_ = fileMenu->addAction(QTr("记录收发时序…"));
  traceAction_->setObjectName(QStringLiteral("MenuTrace"));
  traceAction_->setCheckable(true);
  connect(traceAction_, &QAction::triggered, this, [this] {
    Run([this] { main_.TraceClick(); });
    ShowLog();
  });
  logTimer_ = new QTimer(this);
  logTimer_->setInterval(500);
  connect(logTimer_, &QTimer::timeout, this, [this] { Run([this] { main_.ServiceLog(); }); });

  QMenu* portMenu = menuBar()->addMenu(QTr("端口"));
  portMenu->setObjectName(QStringLiteral("MenuPort"));
  otherDevice_ = portMenu->addAction(QTr("其他设备…"));
  otherDevice_->setObjectName(QStringLiteral("MenuOtherDevice"));
  connect(otherDevice_, &QAction::triggered, this, &MainWindow::AskForDevicePath);
  receiveGap_ = portMenu->addAction(QString());
  receiveGap_->setObjectName(QStringLiteral("MenuReceiveGap"));
  connect(receiveGap_, &QAction::triggered, this, &MainWindow::AskForReceiveGap);
  simAdapter_ = portMenu->addAction(QString());
  simAdapter_->setObjectName(QStringLiteral("MenuSimAdapter"));
  connect(simAdapter_, &QAction::triggered, this, &MainWindow::AskForSimAdapter);
  SetSimAdapter(0);

  windowMenu_ = menuBar()->addMenu(QTr("窗口"));
  windowMenu_->setObjectName(QStringLiteral("MenuWindow"));
  windowMenu_->menuAction()->setVisible(false);  // shown once a window is registered
  AddLanguageMenu(menuBar(), [this] { return SettingsPath(main_.ownFiles.UserDir()); }, main_.Dlg());
}

QAction* MainWindow::AddWindowMenuEntry(const QString& caption, QWidget* window, bool modal) {
  if (modal) window->setWindowModality(Qt::ApplicationModal);
  QAction* action = windowMenu_->addAction(caption);
  action->setObjectName(QStringLiteral("MenuWindow_") + window->objectName());
  connect(action, &QAction::triggered, window, [window] {
    window->show();
    window->raise();
    window->activateWindow();
  });
  windowMenu_->menuAction()->setVisible(true);
  return action;
}

void MainWindow::AskForDevicePath() {
  bool ok = false;
  const QString path = QInputDialog::getText(
      this, QTr("其他设备"),
      QTr("串口设备的路径（例如 /dev/ttyUSB0、/dev/pts/3、/dev/rfcomm0、/dev/serial/by-id/…），\n"
          "或另一台机器上由 ser2net 提供的网络串口（rfc2217://主机:端口，普通 TCP 转发为 tcp://主机:端口）："),
      QLineEdit::Normal, QStringLiteral("/dev/"), &ok);
  if (ok) AddDeviceByPath(path);
}

bool MainWindow::AddDeviceByPath(const QString& path) {
  if (main_.btnSwitch == kCaptionOpen) {
    main_.Dlg().Warning(Tr("警告"), Tr("请先关闭串口，再选择其他设备。"));
    return false;
  }
  const DevicePathCheck check = CheckDevicePath(U8(path));
  if (!check.ok) {
    main_.Dlg().Warning(Tr("警告"), check.message);
    return false;
  }
  std::vector<std::string>& items = main_.ComboBox1.items;
  // A device that is listed already (by short name or by path) is selected, not repeated.
  auto it = std::find_if(items.begin(), items.end(),
                         [&](const std::string& item) { return DevicePathFor(item) == check.path; });
  if (it == items.end()) it = items.insert(items.end(), check.path);
  main_.ComboBox1.index = static_cast<int>(it - items.begin());
  main_.Notify(What::Ports);
  Run([this] { main_.ComboBox1Change(); });
  return true;
}

void MainWindow::AskForReceiveGap() {
  bool ok = false;
  const double ms = QInputDialog::getDouble(
      this, QTr("接收间隔"),
      QTr("线路至少静默多久才算驱动器的一段输出结束（毫秒）。\n"
          "自动判断（按 USB 适配器的延迟定时器、串口的 FIFO 和收到数据的规律）得出更长时用更长的；"
          "程序发送时上一段输出总算结束。0 为只用自动判断。"),
      std::chrono::duration<double, std::milli>(main_.ReceiveGap()).count(), 0, 1000, 1, &ok);
  if (ok) SetReceiveGap(ms);
}

void MainWindow::SetReceiveGap(double milliseconds) {
  const auto gap = std::chrono::microseconds(std::llround(std::clamp(milliseconds, 0.0, 1000.0) * 1000));
  Run([this, gap] { main_.SetReceiveGap(gap); });
  ShowPort();
}

void MainWindow::AskForSimAdapter() {
  QStringList captions;
  for (const SimAdapterChoice& choice : kSimAdapters) captions << QTr(choice.caption);
  bool ok = false;
  const QString picked = QInputDialog::getItem(this, QTr("模拟驱动器的适配器"),
                                               QTr("模拟驱动器（SIM）的应答经哪种适配器送到本程序："),
                                               captions, simAdapterChoice_, false, &ok);
  if (ok) SetSimAdapter(static_cast<int>(captions.indexOf(picked)));
}

void MainWindow::SetSimAdapter(int choice) {
  if (choice < 0 || choice >= static_cast<int>(std::size(kSimAdapters))) return;
  sim::SimOptions options = sim::SimPortDrive().Options();
  sim::AdapterTiming timing;
  if (sim::AdapterTiming::Parse(kSimAdapters[choice].timing, timing)) options.adapter = timing;
  else options.adapter.reset();
  sim::SimPortDrive().SetOptions(options);
  simAdapterChoice_ = choice;
  simAdapter_->setText(QTrFormat("模拟驱动器的适配器（{1}）…", Tr(kSimAdapters[choice].caption)));
}

void MainWindow::Run(const std::function<void()>& handler) { RunHandler(main_.Dlg(), handler); }

void MainWindow::FillList(QComboBox* box, const ListControl& list) {
  updating_ = true;
  bool same = box->count() == static_cast<int>(list.items.size());
  for (int i = 0; same && i < box->count(); ++i) same = box->itemText(i) == Q(list.items[i]);
  if (!same) {
    box->clear();
    for (const std::string& item : list.items) box->addItem(Q(item));
  }
  box->setCurrentIndex(list.index < box->count() ? list.index : -1);
  updating_ = false;
}

void MainWindow::ShowPort() {
  const bool open = main_.btnSwitch == kCaptionOpen;
  btnSwitch_->setText(QTr(main_.btnSwitch.c_str()));
  btnSwitch_->setAccessibleName(btnSwitch_->text());
  btnSwitch_->setEnabled(main_.btnSwitchEnabled);
  comboBox1_->setEnabled(!open);
  otherDevice_->setEnabled(!open);
  const auto gap = main_.ReceiveGap();
  receiveGap_->setText(gap.count() == 0 ? QTr("接收间隔（自动）…")
                                        : QTrFormat("接收间隔（{1} ms）…", U8(QString::number(gap.count() / 1000.0))));
  panel2_->setEnabled(main_.Panel2Enabled);
  imageOn_->setVisible(main_.ImageOn);
  imageOff_->setVisible(!main_.ImageOn);
  // The simulated drive must never pass for a real one.
  const bool sim = main_.SimulatedDriveOpen();
  const QString notice = QTr(kSimDriveNotice);
  setWindowTitle(sim ? QString::fromUtf8(kTitle) + QStringLiteral(" — ") + notice : QString::fromUtf8(kTitle));
  imageOn_->setToolTip(sim ? notice : QString());
  // Once the port opens, typing goes straight to the command line.
  if (open && !shownOpen_ && isActiveWindow()) cmd_->setFocus();
  shownOpen_ = open;
}

void MainWindow::ShowPortDescriptions() {
  int widest = 220;
  for (int i = 0; i < comboBox1_->count(); ++i) {
    const std::string& name = main_.ComboBox1.items[static_cast<size_t>(i)];
    const QString description = name == kSimPortName ? QString() : Q(main_.PortDescription(name));
    comboBox1_->setItemData(i, description, kPortDescriptionRole);
    widest = std::max(widest, comboBox1_->fontMetrics().horizontalAdvance(Q(name) + QStringLiteral("    ") + description) + 32);
    comboBox1_->setItemData(i, description.isEmpty() ? Q(name) : QTrFormat("{1}：{2}", name, U8(description)),
                            Qt::ToolTipRole);
  }
  comboBox1_->view()->setMinimumWidth(widest);
  const int current = comboBox1_->currentIndex();
  comboBox1_->setToolTip(current < 0 ? QString() : comboBox1_->itemData(current, Qt::ToolTipRole).toString());
}

void MainWindow::ShowStatus() {
  QString status = Q(main_.edStatus);
  const bool sim = main_.SimulatedDriveOpen();
  // The notice goes before the port's state; before a refusal it would
  // crowd the refusal out of the field (the colour still tells).
  if (sim && !main_.StatusTellsRefusal()) status = QTrFormat("{1}：{2}", Tr(kSimDriveNotice), U8(status.trimmed()));
  edStatus_->setStyleSheet(sim ? QStringLiteral("QLineEdit { background: #ffd678; }") : QString());
  // What is still too long (a path by id, a refusal, also told in the pane)
  // loses its middle: the port's name and its settings stay in sight.
  edStatus_->setText(edStatus_->fontMetrics().elidedText(status, Qt::ElideMiddle, TextRoom(edStatus_)));
  edStatus_->setToolTip(status);
  edStatus_->setCursorPosition(0);
}

void MainWindow::ShowEdit21() {
  if (edit21_->text() != Q(main_.Edit21)) edit21_->setText(Q(main_.Edit21));
  edit21_->setMaxLength(main_.Edit21MaxLength > 0 ? main_.Edit21MaxLength : 32767);
  QRadioButton* chosen = main_.Edit21Hex ? radioButton2_ : radioButton1_;
  if (!chosen->isChecked()) chosen->setChecked(true);
}

void MainWindow::ShowLog() {
  const bool logging = main_.sessionLog.Active();
  logAction_->setChecked(logging);
  logAction_->setToolTip(logging ? QTrFormat("正在记录到 {1}，点击停止", main_.sessionLog.Path())
                                 : QString());
  const bool tracing = main_.Link().Tracing();
  traceAction_->setChecked(tracing);
  traceAction_->setToolTip(tracing ? QTrFormat("正在记录收发时序到 {1}，点击停止", main_.Link().TracePath())
                                   : QTr("每次发送和收到的每批字节，连同微秒时间和波特率，写入文件"));
  if (logging || tracing) logTimer_->start();
  else logTimer_->stop();
}

void MainWindow::Changed(What what) {
  switch (what) {
    case What::Port: ShowPort(); break;
    case What::Rates:
      FillList(comboBox2_, main_.ComboBox2);
      FillList(comboBox7_, main_.ComboBox7);
      break;
    case What::Ports:
      FillList(comboBox1_, main_.ComboBox1);
      ShowPortDescriptions();
      break;
    case What::Status: ShowStatus(); break;
    case What::Counters:
      edRx_->setText(Q(main_.edRx));
      edTx_->setText(Q(main_.edTx));
      break;
    case What::Progress: {
      const ProgressBar& bar = main_.ProgressBar1;
      progressBar1_->setRange(bar.min, std::max(bar.min, bar.max));
      progressBar1_->setValue(std::clamp(bar.position, bar.min, std::max(bar.min, bar.max)));
      break;
    }
    case What::Edits: ShowEdit21(); break;
    case What::Log: ShowLog(); break;
    case What::Families: FillList(comboBox3_, main_.ComboBox3); break;
  }
  emit modelChanged(static_cast<int>(what));
}

void MainWindow::FocusRateList() { comboBox2_->setFocus(); }

bool MainWindow::CmdKey(QKeyEvent* key) {
  if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
    const auto historyKey = key->key() == Qt::Key_Up ? TFrmMain::HistoryKey::Up : TFrmMain::HistoryKey::Down;
    std::string line = U8(cmd_->text());
    bool replaced = false;
    Run([&] { replaced = main_.CMDKeyDown(historyKey, line); });
    if (replaced) cmd_->setText(Q(line));
    return true;
  }
  const int byte = KeyByte(key);
  if (byte < 0 || byte == 0x08) return false;  // editing keys: the line edit does them
  std::string line = U8(cmd_->text());
  bool insert = false;
  Run([&] { insert = main_.CMDKeyPress(static_cast<char>(byte), line); });
  if (insert) return false;  // the line edit inserts the typed text
  if (Q(line) != cmd_->text()) cmd_->setText(Q(line));
  return true;
}

bool MainWindow::Edit21Key(QKeyEvent* key) {
  const int byte = KeyByte(key);
  if (byte < 0 || byte == 0x08) return false;
  if (byte == 0x0D) {
    main_.Edit21 = U8(edit21_->text());
    Run([this] { main_.Edit21Enter(); });
    ShowEdit21();
    return true;
  }
  const char typed = main_.Edit21KeyPress(static_cast<char>(byte));
  if (typed == 0) return true;
  if (typed == static_cast<char>(byte)) return false;
  // Upper-cased in HEX mode.
  if (edit21_->text().size() < edit21_->maxLength() || edit21_->hasSelectedText())
    edit21_->insert(QString(QChar(typed)));
  main_.Edit21 = U8(edit21_->text());
  return true;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == cmd_ || watched == edit21_) {
    if (event->type() == QEvent::ShortcutOverride) {
      // Ctrl-Z, Ctrl-C ... are bytes for the drive here, not the edit's undo or copy.
      auto* key = static_cast<QKeyEvent*>(event);
      const int byte = KeyByte(key);
      if (byte >= 0 && byte < 0x20 && byte != 0x08) {
        event->accept();
        return true;
      }
    } else if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      return watched == cmd_ ? CmdKey(key) : Edit21Key(key);
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A long operation still running somewhere below, started here or from
  // another window, ends at its next test of the flag.
  main_.stopFlag = 1;
  Run([this] { main_.FormClose(); });
  event->accept();
  emit closed();
}

}  // namespace qv::ui
