// The loading window "F级引导" with its controls.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QInputMethodEvent>
#include <QTimer>
#include <filesystem>

#include "console/text.h"
#include "files/file_io.h"
#include "tests/gui/gui_fixture.h"
#include "tests/support/quiet_startup.h"
#include "ui/app_windows.h"
#include "ui/form2_loading.h"

namespace qv::test {
namespace {

TEST_F(GuiFixture, LoadingWindowControlsEnableAndFilterAsTheyShould) {
  ui::Form2Loading form(*main, families);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("F级引导"));
  EXPECT_EQ(form.objectName(), QStringLiteral("TForm2"));
  const std::pair<const char*, const char*> captions[] = {
      {"Button5", "A"},      {"Button7", "..."},     {"CheckBox1", "APP"},  {"Button51", "..."},
      {"CheckBox10", "存盘"}, {"CheckBox2", "CERT"},  {"Button1", "..."},    {"CheckBox9", "存盘"},
      {"CheckBox3", "TABLE"}, {"Button2", "..."},     {"CheckBox8", "存盘"}, {"CheckBox4", "ATA0"},
      {"Button3", "..."},    {"CheckBox5", "存盘"},  {"CheckBox6", "ATA1"}, {"Button4", "..."},
      {"Button6", "加载"}};
  for (const auto& [name, caption] : captions)
    EXPECT_EQ(In<QAbstractButton>(&form, name)->text(), QString::fromUtf8(caption)) << name;
  EXPECT_EQ(In<QPushButton>(&form, "Button7")->toolTip(), QStringLiteral("选择固件保存位置"));
  EXPECT_EQ(In<QLineEdit>(&form, "Edit7")->text(), QString::fromStdString(main->firmwareFolder));

  auto* type = In<QComboBox>(&form, "ComboBox7");
  EXPECT_EQ(type->count(), 23);
  EXPECT_EQ(type->currentText(), QString());
  auto* buffer = In<QComboBox>(&form, "ComboBox1");
  auto* appBlock = In<QComboBox>(&form, "ComboBox3");
  EXPECT_EQ(Items(buffer), QStringList({"60", "80"}));
  EXPECT_EQ(buffer->currentText(), QStringLiteral("60"));
  EXPECT_EQ(Items(appBlock), QStringList({"1024", "2048", "4096"}));
  EXPECT_EQ(appBlock->currentText(), QStringLiteral("2048"));
  EXPECT_EQ(In<QComboBox>(&form, "ComboBox4")->currentText(), QStringLiteral("4096"));
  EXPECT_TRUE(In<QLineEdit>(&form, "Edit3")->isHidden());
  auto* rate = In<QComboBox>(&form, "ComboBox2");
  EXPECT_EQ(rate->count(), static_cast<int>(main->ComboBox2.items.size()));
  EXPECT_EQ(rate->currentIndex(), rate->count() - 1);

  // Each module's fields are usable while its box is ticked; ATA1 needs ATA0.
  const char* appFields[] = {"Edit1", "Button51", "CheckBox10", "ComboBox1", "ComboBox3"};
  for (const char* name : appFields) EXPECT_FALSE(In<QWidget>(&form, name)->isEnabled()) << name;
  In<QCheckBox>(&form, "CheckBox1")->click();
  for (const char* name : appFields) EXPECT_TRUE(In<QWidget>(&form, name)->isEnabled()) << name;
  In<QCheckBox>(&form, "CheckBox6")->click();
  EXPECT_TRUE(In<QCheckBox>(&form, "CheckBox4")->isChecked());
  EXPECT_TRUE(In<QWidget>(&form, "Edit4")->isEnabled());
  EXPECT_TRUE(In<QWidget>(&form, "Edit5")->isEnabled());
  In<QCheckBox>(&form, "CheckBox4")->click();
  EXPECT_FALSE(In<QCheckBox>(&form, "CheckBox6")->isChecked());
  EXPECT_FALSE(In<QWidget>(&form, "Edit5")->isEnabled());

  // Hexadecimal digits only, typed or committed by an input method; the
  // buffer sets the block sizes.
  buffer->setEditText(QString());
  TypeText(buffer, QStringLiteral("8g-0"));
  EXPECT_EQ(buffer->currentText(), QStringLiteral("80"));
  EXPECT_EQ(appBlock->currentText(), QStringLiteral("1024"));
  QInputMethodEvent composed;
  composed.setCommitString(QStringLiteral("８扇a"));
  QApplication::sendEvent(buffer->lineEdit(), &composed);
  EXPECT_EQ(buffer->currentText(), QStringLiteral("80a"));
  EXPECT_EQ(form.Model().ComboBox1, "80a");

  // A family chosen sets the buffer; a typed name of none leaves it.
  type->setCurrentIndex(type->findText(QStringLiteral("TONKA")));
  EXPECT_EQ(buffer->currentText(), QStringLiteral("60"));
  type->setEditText(QStringLiteral("AVALANCHE"));
  EXPECT_EQ(buffer->currentText(), QStringLiteral("80"));
  type->setEditText(QStringLiteral("NO SUCH"));
  EXPECT_EQ(buffer->currentText(), QStringLiteral("80"));

  // The file chooser for BIN files; the path with the caret at its end.
  const std::string file = (emptyTtyFolder / "APP.BIN").string();
  ASSERT_TRUE(WriteFileBytes(file, std::string(1024, 'a')));
  dialogs.paths = {file, std::nullopt};
  In<QPushButton>(&form, "Button51")->click();
  auto* edit1 = In<QLineEdit>(&form, "Edit1");
  EXPECT_EQ(edit1->text(), QString::fromStdString(file));
  EXPECT_EQ(edit1->cursorPosition(), edit1->text().size());
  EXPECT_EQ(dialogs.choosers.back().filter, "BIN文件|*.bin|所有文件|*.*");
  In<QPushButton>(&form, "Button7")->click();
  EXPECT_EQ(dialogs.choosers.back().kind, "folder");
  EXPECT_EQ(dialogs.choosers.back().filter, "选择固件文件夹");
}

TEST_F(GuiFixture, LoadingWindowFollowsTheRateListLooksUpTheFamilyAndIsDisabledWhileLoading) {
  main->ComboBox2.items = {"9600", "38400"};  // as after a port that took no more
  ui::Form2Loading form(*main, families);
  auto* rate = In<QComboBox>(&form, "ComboBox2");
  EXPECT_EQ(rate->count(), 2);
  OpenDrive();  // choosing the drive's port probes it: all eight rates
  EXPECT_EQ(rate->count(), 8);
  EXPECT_EQ(rate->currentText(), QStringLiteral("921600"));

  // "A" asks the drive for its family and shows it, with the family's buffer.
  In<QComboBox>(&form, "ComboBox1")->setEditText(QStringLiteral("80"));
  In<QPushButton>(&form, "Button5")->click();
  EXPECT_EQ(In<QComboBox>(&form, "ComboBox7")->currentText(), QStringLiteral("NHPLUS2HD_S-1A"));
  EXPECT_EQ(In<QComboBox>(&form, "ComboBox1")->currentText(), QStringLiteral("60"));

  const std::string table = (emptyTtyFolder / "Table.BIN").string();
  ASSERT_TRUE(WriteFileBytes(table, std::string(512, 't')));
  form.Model().timing.percent = 1;
  In<QCheckBox>(&form, "CheckBox3")->click();
  In<QLineEdit>(&form, "Edit6")->setText(QString::fromStdString(table));
  In<QLineEdit>(&form, "Edit6")->textEdited(QString::fromStdString(table));
  QWidget* panel1 = In<QWidget>(&form, "Panel1");
  bool enabledDuringLoad = true;
  QTimer::singleShot(0, &form, [&] { enabledDuringLoad = panel1->isEnabled(); });
  In<QPushButton>(&form, "Button6")->click();
  EXPECT_FALSE(enabledDuringLoad);
  EXPECT_TRUE(panel1->isEnabled());
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_NE(main->memo1.Text().find(Gbk("请先加载CERT模块！")), std::string::npos);
  EXPECT_EQ(main->ComboBox2.Text(), "9600");
}

TEST(AppWindows, LoadingWindowInTheWindowMenu) {
  const auto empty = std::filesystem::temp_directory_path() / ("qv-gui-app2-" + std::to_string(getpid()));
  std::filesystem::create_directories(empty);
  auto app = ui::CreateWindows(test::QuietStartup(empty.string()));
  ASSERT_TRUE(app->form2);
  auto* entry = app->mainWindow->findChild<QAction*>(QStringLiteral("MenuWindow_TForm2"));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text(), QStringLiteral("F级引导"));
  entry->trigger();
  EXPECT_TRUE(app->form2->isVisible());
  // The family list is the main window's, copied at creation.
  EXPECT_EQ(app->form2->Model().ComboBox7.items, app->main->ComboBox3.items);
  app->form2->close();
  app.reset();
  std::filesystem::remove_all(empty);
}

}  // namespace
}  // namespace qv::test
