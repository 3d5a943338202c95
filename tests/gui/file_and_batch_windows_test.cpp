// The file window and the batch window with their controls.
#include <QAction>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <filesystem>

#include "files/file_io.h"
#include "tests/gui/gui_fixture.h"
#include "tests/support/quiet_startup.h"
#include "ui/app_windows.h"
#include "ui/form1_create_file.h"
#include "ui/form4_batch.h"

namespace qv::test {
namespace {

TEST_F(GuiFixture, FileWindowBuildsAndFiltersRangeKeys) {
  ui::Form1CreateFile form(dialogs);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("创建文件"));
  for (const char* name : {"Edit1", "Edit5", "Edit3", "Edit2", "Edit4", "Edit7", "Edit6"})
    EXPECT_TRUE(In<QLineEdit>(&form, name)->text().isEmpty()) << name;
  EXPECT_EQ(In<QPushButton>(&form, "Button3")->text(), QStringLiteral("生成文件"));
  EXPECT_EQ(In<QLineEdit>(&form, "Edit3")->accessibleName(), QStringLiteral("扇区数:"));

  QLineEdit* start = In<QLineEdit>(&form, "Edit5");
  TypeText(start, QStringLiteral("1g-Az f"));
  EXPECT_EQ(start->text(), QStringLiteral("1Af"));
  TypeKey(start, Qt::Key_Backspace, QStringLiteral("\b"));
  TypeKey(start, Qt::Key_X, QStringLiteral("\x18"), Qt::ControlModifier);  // cut is dropped
  EXPECT_EQ(start->text(), QStringLiteral("1A"));
  // An input method's text passes the same filter: full-width digits and
  // Chinese characters stay out, hexadecimal digits go in.
  QInputMethodEvent composed;
  composed.setCommitString(QStringLiteral("８扇b"));
  QApplication::sendEvent(start, &composed);
  EXPECT_EQ(start->text(), QStringLiteral("1Ab"));
  TypeKey(start, Qt::Key_Backspace, QStringLiteral("\b"));

  const auto dir = std::filesystem::temp_directory_path() / ("qv-gui-form1-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string data;
  for (int k = 0; k < 4; ++k) data.append(512, static_cast<char>('a' + k));
  ASSERT_TRUE(WriteFileBytes((dir / "src.bin").string(), data));
  dialogs.paths = {(dir / "src.bin").string(), (dir / "out.bin").string()};
  In<QPushButton>(&form, "Button51")->click();
  EXPECT_EQ(start->text(), QStringLiteral("0"));
  EXPECT_EQ(In<QLineEdit>(&form, "Edit3")->text(), QStringLiteral("4"));
  In<QPushButton>(&form, "Button2")->click();
  In<QLineEdit>(&form, "Edit5")->setText(QStringLiteral("2"));
  In<QPushButton>(&form, "Button3")->click();
  EXPECT_EQ(dialogs.shown.back().text, "源文件1的截取范围超出源文件1长度！");
  In<QLineEdit>(&form, "Edit3")->setText(QStringLiteral("2"));
  In<QPushButton>(&form, "Button3")->click();
  EXPECT_EQ(dialogs.shown.back().text, "生成文件完成！");
  EXPECT_EQ(ReadFileBytes((dir / "out.bin").string(), 1 << 20).bytes, data.substr(1024));
  In<QPushButton>(&form, "Button4")->click();
  EXPECT_TRUE(In<QLineEdit>(&form, "Edit1")->text().isEmpty());
  std::filesystem::remove_all(dir);
}

TEST_F(GuiFixture, BatchWindowRunsStopsAndReturnsToIdle) {
  OpenDrive();
  ui::Form4Batch batch(*main);
  batch.show();
  EXPECT_EQ(batch.windowTitle(), QStringLiteral("Quorvane 自定义批处理流程"));
  EXPECT_EQ(batch.size(), QSize(518, 230));
  QWidget* panel1 = In<QWidget>(&batch, "Panel1");
  QPushButton* stop = In<QPushButton>(&batch, "Button10");
  EXPECT_TRUE(panel1->isEnabled());
  EXPECT_FALSE(stop->isEnabled());

  In<QPushButton>(&batch, "Button9")->click();  // empty editor
  EXPECT_EQ(dialogs.shown.back().text, "请输入要执行的命令脚本！");

  In<QPlainTextEdit>(&batch, "Memo1")->setPlainText(QStringLiteral("STR/first\nSLEEP/2000\nSTR/never"));
  drive->ClearReceived();
  // Once the run shows its pause as the current statement (however long the
  // first statement took on a loaded machine), the window must be running.
  bool sawRunning = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, &batch, [&] {
    if (In<QLineEdit>(&batch, "Edit1")->text() != QStringLiteral("SLEEP/2000")) return;
    watch.stop();
    sawRunning = !panel1->isEnabled() && stop->isEnabled();
    batch.reject();  // ignored while running
    stop->click();
  });
  watch.start(10);
  In<QPushButton>(&batch, "Button9")->click();
  watch.stop();
  EXPECT_TRUE(sawRunning);
  EXPECT_TRUE(batch.isVisible());
  EXPECT_TRUE(panel1->isEnabled());
  EXPECT_FALSE(stop->isEnabled());
  EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
  EXPECT_EQ(ReceivedAtLeast(7), "first\r\r");

  // Clearing empties the editor; a cancelled load leaves it alone.
  In<QPushButton>(&batch, "Button11")->click();
  EXPECT_TRUE(In<QPlainTextEdit>(&batch, "Memo1")->toPlainText().isEmpty());
  In<QPushButton>(&batch, "Button51")->click();
  EXPECT_TRUE(In<QPlainTextEdit>(&batch, "Memo1")->toPlainText().isEmpty());
  batch.reject();
  EXPECT_FALSE(batch.isVisible());
}

TEST_F(GuiFixture, BatchWindowOpensAtItsPlaceModally) {
  ui::Form4Batch batch(*main);
  window->move(40, 30);
  window->show();
  QPoint at;
  bool modal = false;
  QTimer::singleShot(0, &batch, [&] {
    at = batch.pos();
    modal = batch.isModal();
    batch.reject();
  });
  ui::ShowBatchWindow(*window, batch);
  EXPECT_EQ(at, window->frameGeometry().topLeft() + QPoint(330, 445));
  EXPECT_TRUE(modal);
}

TEST(AppWindows, FileWindowInTheMenuBatchWindowFromLoadingProcess) {
  const auto empty = std::filesystem::temp_directory_path() / ("qv-gui-app-" + std::to_string(getpid()));
  std::filesystem::create_directories(empty);
  auto app = ui::CreateWindows(test::QuietStartup(empty.string()));
  ASSERT_TRUE(app->form1 && app->form4);
  EXPECT_EQ(app->form1->objectName(), QStringLiteral("TForm1"));
  EXPECT_EQ(app->form4->objectName(), QStringLiteral("TForm4"));
  auto* entry = app->mainWindow->findChild<QAction*>(QStringLiteral("MenuWindow_TForm1"));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text(), QStringLiteral("创建文件"));
  entry->trigger();
  EXPECT_TRUE(app->form1->isVisible());
  app->form1->close();

  // "Loading process" opens the batch window modally beside the main window.
  app->mainWindow->move(20, 10);
  app->mainWindow->show();
  app->mainWindow->findChild<QPushButton*>(QStringLiteral("btnSwitch"))->click();  // the built-in drive
  ASSERT_TRUE(app->main->PortOpen());
  auto* button83 = app->mainWindow->findChild<QPushButton*>(QStringLiteral("Button83"));
  ASSERT_NE(button83, nullptr);
  EXPECT_EQ(button83->text(), QStringLiteral("Loading process"));
  QPoint at;
  bool shownModal = false;
  QTimer::singleShot(0, app->form4.get(), [&] {
    shownModal = app->form4->isVisible() && app->form4->isModal();
    at = app->form4->pos();
    app->form4->reject();
  });
  button83->click();
  EXPECT_TRUE(shownModal);
  EXPECT_EQ(at, app->mainWindow->frameGeometry().topLeft() + QPoint(330, 445));
  app->mainWindow->close();
  app.reset();
  std::filesystem::remove_all(empty);
}

}  // namespace
}  // namespace qv::test
