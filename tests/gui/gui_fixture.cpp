#include "tests/gui/gui_fixture.h"

#include <QKeyEvent>
#include <QThread>
#include <unistd.h>

#include "tests/support/quiet_startup.h"
#include "ui/terminal_pane.h"

namespace qv::test {

void GuiFixture::SetUp() {
  emptyTtyFolder = std::filesystem::temp_directory_path() /
                   ("qv-gui-tty-" + std::to_string(getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::create_directories(emptyTtyFolder);
  drive = std::make_unique<sim::SimDrive>(DriveOptions());
  ASSERT_TRUE(drive->Start());
  main = std::make_unique<TFrmMain>(pump, dialogs);
  pump.Attach(*main);
  window = std::make_unique<ui::MainWindow>(*main);
  main->FormCreate(QuietStartup(emptyTtyFolder.string()));
  LoadFamilyTable(*main, families);
}

void GuiFixture::TearDown() {
  if (window) window->close();  // runs FormClose
  window.reset();
  main.reset();
  pump.Detach();
  drive.reset();
  std::error_code ec;
  std::filesystem::remove_all(emptyTtyFolder, ec);
}

void GuiFixture::OpenDrive() {
  ASSERT_TRUE(window->AddDeviceByPath(QString::fromStdString(drive->SlavePath())));
  Find<QPushButton>("btnSwitch")->click();
  ASSERT_TRUE(main->PortOpen()) << (dialogs.shown.empty() ? "" : dialogs.shown.back().text);
}

bool GuiFixture::PumpUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 400; ++i) {
    QCoreApplication::processEvents();
    if (done()) return true;
    QThread::msleep(5);
  }
  return done();
}

std::string GuiFixture::ReceivedAtLeast(size_t expected) {
  PumpUntil([&] { return drive->Received().size() >= expected; });
  return drive->Received();
}

void GuiFixture::TypeKey(QWidget* target, int key, const QString& text, Qt::KeyboardModifiers mods) {
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QApplication::sendEvent(target, &release);
}

void GuiFixture::TypeText(QWidget* target, const QString& text) {
  for (QChar c : text) {
    const int key = c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - 'A') : c.unicode();
    TypeKey(target, key, QString(c));
  }
}

QString Cell(QTableView* view, int row, int column, int role) {
  return view->model()->data(view->model()->index(row, column), role).toString();
}

}  // namespace qv::test
