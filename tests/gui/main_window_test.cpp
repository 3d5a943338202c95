// The main window against the console and a simulated drive.
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QRadioButton>
#include <QHelpEvent>
#include <QTimer>
#include <QToolTip>
#include <fstream>

#include <signal.h>
#include <unistd.h>

#include "console/convert.h"
#include "console/stop_signals.h"
#include "console/text.h"
#include "serial/port_list.h"
#include "serial/rates.h"
#include "tests/gui/gui_fixture.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/quiet_startup.h"
#include "tests/support/ser2net_server.h"
#include "ui/app_windows.h"
#include "ui/device_path.h"
#include "ui/qt_dialogs.h"
#include "ui/stop_on_signals.h"
#include "ui/terminal_pane.h"

namespace qv::test {
namespace {

std::vector<std::string> AllRates() {
  std::vector<std::string> rates;
  for (const Rate& rate : kRates) rates.emplace_back(rate.text);
  return rates;
}

QStringList ToQ(const std::vector<std::string>& items) {
  QStringList list;
  for (const std::string& item : items) list << QString::fromStdString(item);
  return list;
}

// Closed: what the window shows before the first open and after every close.
void ExpectClosed(ui::MainWindow& window) {
  EXPECT_EQ(window.findChild<QPushButton*>("btnSwitch")->text(), QStringLiteral("打开串口"));
  EXPECT_FALSE(window.findChild<QWidget*>("Panel2")->isEnabled());
  EXPECT_FALSE(window.findChild<QWidget*>("CMD")->isEnabled());
  EXPECT_TRUE(window.findChild<QComboBox*>("ComboBox1")->isEnabled());
  EXPECT_TRUE(window.findChild<QWidget*>("ImageOff")->isVisibleTo(&window));
  EXPECT_FALSE(window.findChild<QWidget*>("ImageOn")->isVisibleTo(&window));
  EXPECT_TRUE(window.findChild<QWidget*>("Button16")->isEnabled());
  EXPECT_TRUE(window.findChild<QWidget*>("CheckBox1")->isEnabled());
}

TEST_F(GuiFixture, StartUpShowsTheProbedRatesAndAClosedPort) {
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quorvane Version 7.0"));
  EXPECT_EQ(window->centralWidget()->size(), QSize(960, 688));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());  // not resizable

  // The only listed port is the built-in drive; it takes 921600, so all eight rates.
  EXPECT_EQ(Items(Find<QComboBox>("ComboBox1")), QStringList{QStringLiteral("SIM")});
  auto* rates = Find<QComboBox>("ComboBox2");
  EXPECT_EQ(Items(rates), ToQ(AllRates()));
  EXPECT_EQ(rates->currentText(), QStringLiteral("9600"));
  auto* transfer = Find<QComboBox>("ComboBox7");
  EXPECT_EQ(Items(transfer), ToQ(AllRates()));
  EXPECT_EQ(transfer->currentText(), QStringLiteral("921600"));
  EXPECT_FALSE(rates->isEditable());

  ExpectClosed(*window);
  EXPECT_EQ(Find<QLineEdit>("edStatus")->text(), QStringLiteral("COM STATUS："));
  EXPECT_EQ(Find<QLineEdit>("edRx")->text(), QStringLiteral("Rx:0"));
  EXPECT_EQ(Find<QLineEdit>("edTx")->text(), QStringLiteral("Tx:0"));
  EXPECT_TRUE(Find<QCheckBox>("CheckBox1")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>("CheckBox2")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>("RadioButton1")->isChecked());
  EXPECT_TRUE(Find<QWidget>("ComboBox3")->isHidden());
  EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
}

TEST_F(GuiFixture, OpensAndClosesTheDriveEnteredByPath) {
  OpenDrive();
  EXPECT_EQ(Find<QPushButton>("btnSwitch")->text(), QStringLiteral("关闭串口"));
  EXPECT_TRUE(Find<QWidget>("Panel2")->isEnabled());
  EXPECT_TRUE(Find<QWidget>("CMD")->isEnabled());
  EXPECT_FALSE(Find<QComboBox>("ComboBox1")->isEnabled());
  EXPECT_TRUE(Find<QWidget>("ImageOn")->isVisibleTo(window.get()));
  EXPECT_FALSE(Find<QWidget>("ImageOff")->isVisibleTo(window.get()));
  EXPECT_EQ(Find<QLineEdit>("edStatus")->text(),
            QString::fromStdString(" STATUS: " + drive->SlavePath() + " Opened 9600 None 8 1"));
  // No other device while one is open.
  EXPECT_FALSE(window->AddDeviceByPath(QStringLiteral("/dev/null")));

  Find<QPushButton>("btnSwitch")->click();
  EXPECT_FALSE(main->PortOpen());
  ExpectClosed(*window);
  EXPECT_EQ(Find<QLineEdit>("edStatus")->text(), QStringLiteral(" STATUS: COM Port Closed"));
}

TEST_F(GuiFixture, TypedCommandSendsExactlyItsBytesAndTheReplyReachesThePane) {
  OpenDrive();
  auto* cmd = Find<QLineEdit>("CMD");
  TypeText(cmd, QStringLiteral("  /2 "));
  EXPECT_EQ(cmd->text(), QStringLiteral("  /2 "));
  EXPECT_EQ(drive->Received(), "");  // nothing goes out before Enter
  TypeKey(cmd, Qt::Key_Return, QStringLiteral("\r"));
  EXPECT_EQ(cmd->text(), QString());
  EXPECT_EQ(ReceivedAtLeast(3), "/2\r");

  ASSERT_TRUE(PumpUntil([&] { return main->memo1.Text().find("2>") != std::string::npos; }));
  window->Pane()->Flush();
  EXPECT_TRUE(window->Pane()->toPlainText().contains(QStringLiteral("F3 2>")));
  // The counters are drawn at most 30 times a second; their last values follow.
  EXPECT_TRUE(PumpUntil([&] { return Find<QLineEdit>("edRx")->text() == QString::fromStdString(main->edRx); }));
  EXPECT_EQ(Find<QLineEdit>("edTx")->text(), QStringLiteral("Tx:3"));
  EXPECT_NE(Find<QLineEdit>("edRx")->text(), QStringLiteral("Rx:0"));

  // Ctrl-Z goes out at once and leaves the line as it is.
  drive->ClearReceived();
  TypeText(cmd, QStringLiteral("ab"));
  TypeKey(cmd, Qt::Key_Z, QStringLiteral("\x1a"), Qt::ControlModifier);
  EXPECT_EQ(ReceivedAtLeast(1), "\x1A");
  EXPECT_EQ(cmd->text(), QStringLiteral("ab"));

  Find<QPushButton>("Button5")->click();
  EXPECT_EQ(Find<QLineEdit>("edTx")->text(), QStringLiteral("Tx:0"));
}

TEST_F(GuiFixture, ConsoleButtonsAndTheSingleByteSenderSendTheirBytes) {
  OpenDrive();
  Find<QPushButton>("Button13")->click();  // "Disk Info"
  EXPECT_EQ(ReceivedAtLeast(4), "/TJ\r");

  drive->ClearReceived();
  Find<QRadioButton>("RadioButton2")->click();  // HEX
  auto* edit = Find<QLineEdit>("Edit21");
  EXPECT_EQ(edit->maxLength(), 2);
  TypeText(edit, QStringLiteral("1ag"));  // g is no hex digit
  EXPECT_EQ(edit->text(), QStringLiteral("1A"));
  TypeKey(edit, Qt::Key_Return, QStringLiteral("\r"));
  EXPECT_EQ(ReceivedAtLeast(1), "\x1A");
  EXPECT_EQ(edit->text(), QString());

  // An empty field is no number: the conversion error is shown, nothing is sent.
  drive->ClearReceived();
  Find<QRadioButton>("RadioButton1")->click();  // DEC
  TypeKey(edit, Qt::Key_Return, QStringLiteral("\r"));
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_EQ(dialogs.shown.back().text, "'' is not a valid integer value");

  // "Implementation process" answered with No sends nothing.
  dialogs.answers = {false};
  Find<QPushButton>("Button10")->click();
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions.back().caption, "提示");
  main->Delay(5);
  EXPECT_EQ(drive->Received(), "");
}

TEST_F(GuiFixture, HandlerExceptionsBecomeMessageBoxes) {
  window->Run([] { throw EConvertError("x1"); });
  window->Run([] { throw EFileError("无法写入文件 a.bin"); });
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[0].text, "'x1' is not a valid integer value");
  EXPECT_EQ(dialogs.shown[1].text, "无法写入文件 a.bin");
}

// The drive answers the first five command lines of the F-level switch and
// then falls silent, so the switch waits for the monitor until STOP.
class SilentDriveGui : public GuiFixture {
 protected:
  sim::SimOptions DriveOptions() const override {
    sim::SimOptions options;
    options.silentAfterCommand = 5;
    return options;
  }
};

TEST_F(SilentDriveGui, StopEndsAWaitingOperation) {
  OpenDrive();
  auto* stop = Find<QPushButton>("Button16");
  QTimer::singleShot(300, stop, [stop] { stop->click(); });
  const bool switched = main->ToF();
  EXPECT_FALSE(switched);
  EXPECT_EQ(main->stopFlag, 1);
  // Without STOP the switch would go on to knock with up to 501 ESC bytes.
  const std::string sent = drive->Received();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), '\x1B'), 0);
  const std::string last = Utf8FromGbk(main->memo1.Lines().back());
  EXPECT_EQ(last, "转换至F级...........失败！");
}

// SIGTERM, sent twice at once as timeout sends it, while an operation waits:
// one request, which closes the window as its close button does: the
// operation ends and the port is closed.
TEST_F(SilentDriveGui, AStopSignalClosesTheWindowAndItsPort) {
  OpenDrive();
  stop_signals::Catch();
  stop_signals::Accept();
  new ui::CloseOnStopSignals(*window);
  bool closed = false;
  QObject::connect(window.get(), &ui::MainWindow::closed, [&closed] { closed = true; });
  QTimer::singleShot(300, window.get(), [] {
    kill(getpid(), SIGTERM);
    kill(getpid(), SIGTERM);
  });
  EXPECT_FALSE(main->ToF());
  EXPECT_TRUE(PumpUntil([&] { return closed; }));
  EXPECT_FALSE(main->PortOpen());
  EXPECT_EQ(stop_signals::Requests(), 1);
  EXPECT_EQ(stop_signals::Status(), 128 + SIGTERM);
  const std::string sent = drive->Received();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), '\x1B'), 0);
}

// The status shows whole in its tool tip too (where a long path is cut short),
// with the port open and with it closed (the panel disabled).
TEST_F(GuiFixture, StatusShowsWholeInItsToolTip) {
  window->show();
  auto* status = Find<QLineEdit>("edStatus");
  for (const bool open : {true, false}) {
    SCOPED_TRACE(open);
    if (open) OpenDrive();
    else Find<QPushButton>("btnSwitch")->click();
    ASSERT_EQ(main->PortOpen(), open);
    const QString text = status->text();
    QToolTip::hideText();
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), status->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(status, &hover);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), text);
  }
}

TEST_F(GuiFixture, LostDeviceReturnsTheWindowToClosed) {
  OpenDrive();
  drive->CloseMaster();
  ASSERT_TRUE(PumpUntil([&] { return !main->PortOpen(); }));
  ExpectClosed(*window);
  EXPECT_EQ(Find<QLineEdit>("edStatus")->text(), QStringLiteral(" STATUS: COM Port Closed"));
  window->Pane()->Flush();
  EXPECT_TRUE(window->Pane()->toPlainText().contains(QStringLiteral("已断开")));
}

// An adapter plugged in shows up by itself; SIM open is marked as simulated
// wherever it could pass for a real drive, and unmarked again once closed.
TEST_F(GuiFixture, AdaptersShowUpAndTheSimulatedDriveIsMarked) {
  std::filesystem::create_directories(emptyTtyFolder / "ttyUSB90/device");
  auto* ports = Find<QComboBox>("ComboBox1");
  EXPECT_TRUE(PumpUntil([&] { return Items(ports).contains(QStringLiteral("ttyUSB90")); })) << Items(ports).join(' ').toStdString();
  EXPECT_EQ(ports->currentText(), QStringLiteral("SIM"));
  EXPECT_FALSE(window->windowIcon().isNull());

  const QString notice = QString::fromUtf8(kSimDriveNotice);
  Find<QPushButton>("btnSwitch")->click();
  ASSERT_TRUE(main->SimulatedDriveOpen());
  EXPECT_TRUE(window->windowTitle().endsWith(notice));
  EXPECT_EQ(Find<QLabel>("ImageOn")->toolTip(), notice);
  EXPECT_TRUE(Find<QLineEdit>("edStatus")->text().startsWith(notice));
  EXPECT_EQ(main->edStatus, " STATUS: SIM Opened 9600 None 8 1");
  window->Pane()->Flush();
  EXPECT_EQ(window->Pane()->toPlainText(), notice + QStringLiteral("。"));

  Find<QPushButton>("btnSwitch")->click();
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quorvane Version 7.0"));
  EXPECT_EQ(Find<QLabel>("ImageOn")->toolTip(), QString());
  EXPECT_EQ(Find<QLineEdit>("edStatus")->text(), QStringLiteral(" STATUS: COM Port Closed"));
}

// The open port list says what is behind a USB port, as sysfs tells it; the
// receive gap set by hand shows in the menu and in the pane.
TEST_F(GuiFixture, PortListNamesTheAdapterAndTheReceiveGapIsSetByHand) {
  test::FakeSysfs sysfs((emptyTtyFolder / "devices-root").string(), emptyTtyFolder.string());
  test::FakeUsbAdapter usb;
  sysfs.AddUsbAdapter(usb);
  auto* ports = Find<QComboBox>("ComboBox1");
  ASSERT_TRUE(PumpUntil([&] { return Items(ports).contains(QStringLiteral("qvUSB0")); }));
  const int adapter = ports->findText(QStringLiteral("qvUSB0"));
  EXPECT_EQ(ports->itemData(adapter, Qt::ToolTipRole).toString(),
            QStringLiteral("qvUSB0：FT232R USB UART · 0403:6001 · ftdi_sio · 序列号 A9QV0001"));
  EXPECT_EQ(ports->itemData(ports->findText(QStringLiteral("SIM")), Qt::ToolTipRole).toString(), QStringLiteral("SIM"));

  auto* gap = window->findChild<QAction*>(QStringLiteral("MenuReceiveGap"));
  ASSERT_NE(gap, nullptr);
  EXPECT_EQ(gap->text(), QStringLiteral("接收间隔（自动）…"));
  window->SetReceiveGap(2.5);
  EXPECT_EQ(gap->text(), QStringLiteral("接收间隔（2.5 ms）…"));
  OpenDrive();
  EXPECT_EQ(main->Link().BurstQuiet(), std::chrono::microseconds(2500));
  window->SetReceiveGap(0);
  EXPECT_EQ(main->Link().BurstQuiet(), SerialLink::QuietTime(9600));
  window->Pane()->Flush();
  EXPECT_TRUE(window->Pane()->toPlainText().endsWith(
      QStringLiteral("接收间隔：手动设为至少 2.5 ms（自动判断得出更长时用更长的）。\n接收间隔：自动判断。")))
      << window->Pane()->toPlainText().toStdString();
}

// The simulated drive behind an adapter of the technician's choice, and back
// to none.
TEST_F(GuiFixture, SimulatedDriveAdapterIsChosenFromThePortMenu) {
  auto* action = window->findChild<QAction*>(QStringLiteral("MenuSimAdapter"));
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text(), QStringLiteral("模拟驱动器的适配器（无（逐字节送达））…"));
  EXPECT_FALSE(sim::SimPortDrive().Options().adapter);
  window->SetSimAdapter(2);
  const auto adapter = sim::SimPortDrive().Options().adapter;
  ASSERT_TRUE(adapter);
  EXPECT_EQ(adapter->kind, sim::AdapterTiming::Kind::UsbChip);
  EXPECT_EQ(adapter->packetSize, 62);
  EXPECT_EQ(adapter->latency, std::chrono::milliseconds(1));
  EXPECT_EQ(action->text(), QStringLiteral("模拟驱动器的适配器（FT232 类，延迟定时器 1 ms）…"));
  window->SetSimAdapter(4);
  ASSERT_TRUE(sim::SimPortDrive().Options().adapter);
  EXPECT_EQ(sim::SimPortDrive().Options().adapter->kind, sim::AdapterTiming::Kind::UartFifo);
  window->SetSimAdapter(0);
  EXPECT_FALSE(sim::SimPortDrive().Options().adapter);
}

TEST_F(GuiFixture, PathEntryTakesOnlyCharacterDevices) {
  const std::vector<std::string> portsBefore = main->ComboBox1.items;
  EXPECT_FALSE(window->AddDeviceByPath(QStringLiteral("/dev/quorvane-no-such-device")));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown.back().caption, "警告");
  EXPECT_NE(dialogs.shown.back().text.find("不存在"), std::string::npos);

  const std::filesystem::path file = emptyTtyFolder / "plain.txt";
  std::ofstream(file) << "not a device";
  EXPECT_FALSE(window->AddDeviceByPath(QString::fromStdString(file.string())));
  EXPECT_NE(dialogs.shown.back().text.find("不是字符设备"), std::string::npos);
  EXPECT_FALSE(window->AddDeviceByPath(QStringLiteral("   ")));
  EXPECT_EQ(main->ComboBox1.items, portsBefore);

  // Short names mean the device under /dev.
  EXPECT_TRUE(ui::CheckDevicePath("null").ok);
  EXPECT_EQ(ui::CheckDevicePath("null").path, "/dev/null");

  // A pseudo-terminal is taken, selected and probed: it takes 921600.
  main->ComboBox2.items = {"9600"};
  main->Notify(MainView::What::Rates);
  const QString pty = QString::fromStdString(drive->SlavePath());
  ASSERT_TRUE(window->AddDeviceByPath(pty));
  EXPECT_EQ(Find<QComboBox>("ComboBox1")->currentText(), pty);
  EXPECT_EQ(Items(Find<QComboBox>("ComboBox2")), ToQ(AllRates()));
  EXPECT_EQ(Find<QComboBox>("ComboBox7")->currentText(), QStringLiteral("921600"));
  EXPECT_FALSE(main->PortOpen());  // the probe closes it again
  // Entering it again selects the listed entry instead of adding another.
  ASSERT_TRUE(window->AddDeviceByPath(pty));
  EXPECT_EQ(main->ComboBox1.items.size(), portsBefore.size() + 1);

  // A port served over the network: only its form is checked here; it is
  // reached when opened, which asks its server for the rates (no server on
  // that port: refused, said so), and it stays in the list like other added
  // devices.
  EXPECT_FALSE(window->AddDeviceByPath(QStringLiteral("rfc2217://bench-3")));
  EXPECT_NE(dialogs.shown.back().text.find("rfc2217://主机:端口"), std::string::npos);
  const std::string remote = "rfc2217://127.0.0.1:" + std::to_string(test::FreeTcpPort());
  EXPECT_TRUE(window->AddDeviceByPath(QString::fromStdString(remote)));
  EXPECT_EQ(Items(Find<QComboBox>("ComboBox2")), ToQ(AllRates()));
  main->btnSwitchClick();
  EXPECT_EQ(dialogs.shown.back().text, "选择的端口正在被使用或不存在！");
  EXPECT_NE(Utf8FromGbk(main->memo1.Text()).find("无法连接 " + remote + "：主机 127.0.0.1 拒绝了连接"),
            std::string::npos);
  main->FollowPortDevices();
  EXPECT_EQ(Find<QComboBox>("ComboBox1")->currentText(), QString::fromStdString(remote));
}

TEST_F(GuiFixture, RateChoiceReachesTheConsole) {
  auto* rates = Find<QComboBox>("ComboBox2");
  rates->setCurrentIndex(3);
  emit rates->activated(3);
  EXPECT_EQ(main->ComboBox2.Text(), "115200");
  // A selection made by the console is not taken for the user's.
  main->ComboBox2.index = 0;
  main->Notify(MainView::What::Rates);
  EXPECT_EQ(rates->currentText(), QStringLiteral("9600"));
  EXPECT_EQ(main->ComboBox2.index, 0);
}

// The pane redraws only from the first changed line; whatever the changes,
// the view must read exactly like the console's pane.
TEST_F(GuiFixture, PaneFollowsEveryKindOfChange) {
  ui::TerminalPane* pane = window->Pane();
  auto expect = [&] {
    pane->Flush();
    QStringList lines;
    for (const std::string& line : main->memo1.Lines()) lines << ui::DisplayLine(line);
    EXPECT_EQ(pane->toPlainText(), lines.join(QLatin1Char('\n')));
  };
  main->AddLine("正在读取缓冲区......");
  expect();
  main->AppendToLastLine("成功！");
  main->memo1.AppendText("F3 T>abc\r\ndef");
  expect();
  main->memo1.AppendText(std::string(300, 'x'));
  main->memo1.WrapLastLine(110);
  main->memo1.AppendText("\r\n");
  main->memo1.AppendText("ctl\x01\x1b" " end");
  expect();
  for (int i = 0; i < 2000; ++i) main->memo1.AddLine("line " + std::to_string(i));
  expect();
  main->Button6Click();
  expect();
  EXPECT_EQ(pane->toPlainText(), QString());
  main->AddLine("after clear");
  main->memo1.AppendText("\xC4\xE3\xBA\xC3");  // GBK for 你好
  expect();
  EXPECT_TRUE(pane->toPlainText().endsWith(QStringLiteral("after clear\n你好")));
  // The caret stays at the end, so the newest output is in view.
  EXPECT_TRUE(pane->textCursor().atEnd());
}

TEST(QtDialogsTest, FiltersBecomeQtFilters) {
  EXPECT_EQ(ui::QtFilter("CMD|*.CMD|所有文件|*.*"), QStringLiteral("CMD (*.CMD);;所有文件 (*.*)"));
  EXPECT_EQ(ui::QtFilter("ROM|*.bin;*.rom"), QStringLiteral("ROM (*.bin *.rom)"));
  EXPECT_EQ(ui::QtFilter(""), QString());
  // A default extension as the windows write it adds the bare suffix.
  for (const char* ext : {"*.bin", ".bin", "bin"}) EXPECT_EQ(ui::DefaultSuffix(ext), QStringLiteral("bin")) << ext;
}

// Every control of every window carries its control name (object name and
// accessible description) and an accessible name, so that it can be found.
bool IsInternal(const QWidget* widget, const QWidget* window) {
  for (const QWidget* up = widget->parentWidget(); up && up != window; up = up->parentWidget())
    if (qobject_cast<const QComboBox*>(up) || qobject_cast<const QAbstractSpinBox*>(up) ||
        qobject_cast<const QAbstractScrollArea*>(up) || qobject_cast<const QMenuBar*>(up))
      return true;
  return false;
}

bool IsControl(const QWidget* widget) {
  return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
         qobject_cast<const QComboBox*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
         qobject_cast<const QProgressBar*>(widget) || qobject_cast<const QAbstractScrollArea*>(widget) ||
         qobject_cast<const QAbstractSlider*>(widget);
}

TEST(WindowNamesTest, EveryControlOfEveryWindowCanBeFoundByName) {
  const std::filesystem::path tty = std::filesystem::temp_directory_path() / "qv-gui-names-tty";
  std::filesystem::create_directories(tty);
  std::unique_ptr<ui::AppWindows> app = ui::CreateWindows(test::QuietStartup(tty.string()));

  int windows = 0;
  int controls = 0;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    // Pop-ups (menus, the open list of a combo box) belong to their control.
    if (!top->isWindow() || top->windowType() == Qt::Popup) continue;
    ++windows;
    EXPECT_FALSE(top->objectName().isEmpty()) << top->metaObject()->className();
    EXPECT_EQ(top->accessibleDescription(), top->objectName());
    for (QWidget* widget : top->findChildren<QWidget*>()) {
      if (!IsControl(widget) || IsInternal(widget, top)) continue;
      ++controls;
      const QString where = top->objectName() + QStringLiteral(" / ") + widget->metaObject()->className() +
                            QStringLiteral(" '") + widget->objectName() + QStringLiteral("'");
      EXPECT_FALSE(widget->objectName().isEmpty()) << where.toStdString();
      EXPECT_EQ(widget->accessibleDescription(), widget->objectName()) << where.toStdString();
      EXPECT_FALSE(widget->accessibleName().isEmpty()) << where.toStdString();
    }
  }
  EXPECT_GE(windows, 1);
  EXPECT_GE(controls, 30);
  ASSERT_NE(app->mainWindow->findChild<QWidget*>("memo1"), nullptr);
  EXPECT_EQ(app->mainWindow->objectName(), QStringLiteral("TFrmMain"));
  EXPECT_EQ(app->mainWindow->findChild<QWidget*>("ComboBox1")->accessibleName(), QStringLiteral("端口选择："));
  EXPECT_EQ(app->mainWindow->findChild<QWidget*>("CMD")->accessibleName(), QStringLiteral("Input"));

  app.reset();
  std::filesystem::remove_all(tty);
}

}  // namespace
}  // namespace qv::test
