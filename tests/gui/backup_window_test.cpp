// The backup window: its controls and defaults, its place in the "窗口" menu,
// the lists it copies from the main window, and a backup run from its button.
#include <QAction>
#include <QCheckBox>
#include <QTimer>
#include <filesystem>

#include "console/text.h"
#include "files/file_io.h"
#include "tests/gui/gui_fixture.h"
#include "tests/support/quiet_startup.h"
#include "ui/app_windows.h"
#include "ui/form6_backup.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

TEST(BackupWindow, OpensFromTheMenuWithItsControlsAndDefaults) {
  const auto empty = fs::temp_directory_path() / ("qv-gui-backup-" + std::to_string(getpid()));
  fs::create_directories(empty);
  auto app = ui::CreateWindows(QuietStartup(empty.string()));
  ASSERT_TRUE(app->form6);
  auto* entry = app->mainWindow->findChild<QAction*>(QStringLiteral("MenuWindow_TForm6"));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text(), QStringLiteral("备份固件"));
  entry->trigger();
  ui::Form6Backup* form = app->form6.get();
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->objectName(), QStringLiteral("TForm6"));

  // The family names of the main window's table, the first chosen.
  auto* types = In<QComboBox>(form, "ComboBox7");
  EXPECT_EQ(types->count(), static_cast<int>(app->main->ComboBox3.items.size()));
  EXPECT_EQ(types->currentText(), QStringLiteral("4200.2 MERCURY"));
  EXPECT_EQ(types->accessibleName(), QStringLiteral("固件类型:"));
  // The main window's rates, the last chosen.
  auto* rates = In<QComboBox>(form, "ComboBox2");
  EXPECT_EQ(rates->count(), static_cast<int>(app->main->ComboBox2.items.size()));
  EXPECT_EQ(rates->currentIndex(), rates->count() - 1);
  EXPECT_EQ(rates->accessibleName(), QStringLiteral("备份速率:"));
  // The save folder starts where the program keeps its own files.
  auto* folder = In<QLineEdit>(form, "Edit1");
  EXPECT_EQ(folder->text(), QString::fromStdString(app->main->firmwareFolder));
  EXPECT_EQ(folder->accessibleName(), QStringLiteral("保存位置："));

  const std::pair<const char*, const char*> buttons[] = {
      {"Button2", "A"}, {"Button51", "..."}, {"Button7", "开始备份"}};
  for (const auto& [name, caption] : buttons) EXPECT_EQ(In<QPushButton>(form, name)->text(), QString::fromUtf8(caption));
  EXPECT_EQ(In<QPushButton>(form, "Button2")->toolTip(), QStringLiteral("分析固件版本"));
  EXPECT_EQ(In<QPushButton>(form, "Button51")->toolTip(), QStringLiteral("选择固件保存位置"));
  const std::pair<const char*, const char*> boxes[] = {{"CheckBox1", "App Code"},
                                                       {"CheckBox2", "Cert"},
                                                       {"CheckBox3", "Cert Table"},
                                                       {"CheckBox4", "ATA Ovl"},
                                                       {"CheckBox5", "Vendor"}};
  for (const auto& [name, caption] : boxes) {
    auto* box = In<QCheckBox>(form, name);
    EXPECT_EQ(box->text(), QString::fromUtf8(caption));
    EXPECT_TRUE(box->isChecked()) << name;
  }
  // Read twice: off, on the first row of the options beside the rate.
  auto* verify = In<QCheckBox>(form, "CheckBox6");
  EXPECT_EQ(verify->text(), QStringLiteral("读两遍核对"));
  EXPECT_FALSE(verify->isChecked());
  EXPECT_EQ(verify->y(), rates->y());
  EXPECT_GT(verify->x(), rates->geometry().right());
  for (const char* hidden : {"Edit2", "Edit3", "Edit4"}) {
    EXPECT_FALSE(In<QLineEdit>(form, hidden)->isVisible()) << hidden;
    EXPECT_TRUE(In<QLineEdit>(form, hidden)->text().isEmpty()) << hidden;
  }
  EXPECT_TRUE(In<QWidget>(form, "Panel1")->isEnabled());
  form->close();
  app->mainWindow->close();
  app.reset();
  fs::remove_all(empty);
}

class BackupWindowOnDrive : public GuiFixture {
 protected:
  sim::SimOptions DriveOptions() const override {
    sim::SimOptions options;
    options.family.word = "QVTEST";  // the family the test's table names
    options.family.vendor = {0x23, 0, 6};
    return options;
  }
};

TEST_F(BackupWindowOnDrive, FollowsThePortChoosesAFolderAndBacksUp) {
  families.Parse("[QVTEST]\r\nVEN=23 0 6\r\n");
  main->ComboBox3.items = families.Names();
  ui::Form6Backup form(*main, families);
  form.show();
  auto* rates = In<QComboBox>(&form, "ComboBox2");
  const int before = rates->count();

  // A new port brings its own rate list; the window's list follows.
  OpenDrive();
  EXPECT_EQ(Items(rates).size(), static_cast<qsizetype>(main->ComboBox2.items.size()));
  EXPECT_GE(rates->count(), before);
  EXPECT_EQ(rates->currentIndex(), rates->count() - 1);

  // The chosen folder (trimmed, with its "/") is the save folder and the firmware base folder.
  const fs::path out = emptyTtyFolder / "chosen";
  dialogs.paths = {" " + out.string() + " "};
  In<QPushButton>(&form, "Button51")->click();
  EXPECT_EQ(In<QLineEdit>(&form, "Edit1")->text(), QString::fromStdString(out.string() + "/"));
  EXPECT_EQ(main->firmwareFolder, out.string() + "/");

  // Vendor alone, at the slowest rate the list offers.
  for (const char* name : {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4"}) In<QCheckBox>(&form, name)->click();
  rates->setCurrentIndex(0);
  QWidget* panel = In<QWidget>(&form, "Panel1");
  bool disabledWhileWorking = false;
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] { disabledWhileWorking |= !panel->isEnabled(); });
  sampler.start(20);
  In<QPushButton>(&form, "Button7")->click();
  sampler.stop();
  EXPECT_TRUE(disabledWhileWorking);
  EXPECT_TRUE(panel->isEnabled());
  EXPECT_TRUE(Utf8FromGbk(main->memo1.Text()).find("正在备份Vendor..........完成！\r\n备份完成!") != std::string::npos)
      << Utf8FromGbk(main->memo1.Text());
  EXPECT_TRUE(FileExists((out / "Vendor.BIN").string()));
  EXPECT_EQ(ReadFileBytes((out / "ID.BIN").string(), 1 << 20).bytes.size(), 512u);
  EXPECT_EQ(In<QLineEdit>(&form, "Edit2")->text(), QStringLiteral("7F"));

  // A refusal is a message box; the window stays usable.
  In<QLineEdit>(&form, "Edit1")->clear();
  dialogs.shown.clear();
  In<QPushButton>(&form, "Button7")->click();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "请选择保存位置！");
  EXPECT_TRUE(panel->isEnabled());
}

}  // namespace
}  // namespace qv::test
