// The procedure buttons in the main window and the ID editor window.
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <filesystem>
#include <set>
#include <unistd.h>

#include "procedures/procedure_buttons.h"
#include "tests/gui/gui_fixture.h"
#include "tests/support/quiet_startup.h"
#include "ui/app_windows.h"
#include "ui/form5_id_editor.h"
#include "ui/naming.h"

namespace qv::test {
namespace {

TEST_F(GuiFixture, EveryProcedureButtonIsThereByNameInsideItsArea) {
  QWidget* area = Find<QWidget>("procedureArea");
  ASSERT_NE(area, nullptr);
  const QRect bounds(QPoint(0, 0), area->size());
  std::set<QString> seen;
  for (const ButtonDef* def : ProcedureButtons()) {
    const QString name = ui::Q(def->name);
    auto* button = window->findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << def->name;
    seen.insert(name);
    EXPECT_EQ(button->text(), ui::Q(def->caption));
    EXPECT_EQ(button->accessibleName(), ui::Q(def->caption));
    EXPECT_EQ(button->accessibleDescription(), name);
    EXPECT_TRUE(button->toolTip().startsWith(ui::Q(def->caption))) << def->name;
    // Wholly visible inside its group, and the group inside the area.
    auto* group = qobject_cast<QGroupBox*>(button->parentWidget());
    ASSERT_NE(group, nullptr) << def->name;
    EXPECT_TRUE(QRect(QPoint(0, 0), group->size()).contains(button->geometry())) << def->name;
    EXPECT_TRUE(bounds.contains(group->geometry())) << group->objectName().toStdString();
    for (QPushButton* other : group->findChildren<QPushButton*>()) {
      if (other == button) continue;
      EXPECT_FALSE(other->geometry().intersects(button->geometry())) << def->name;
    }
  }
  EXPECT_EQ(seen.size(), ProcedureButtons().size());
  EXPECT_TRUE(window->findChild<QPushButton*>("Button27")->toolTip().contains(QStringLiteral("没有对应的驱动器命令")));
}

TEST_F(GuiFixture, EditBoxesFollowTheConsoleBothWays) {
  const std::pair<const char*, std::string TFrmMain::*> edits[] = {
      {"Edit1", &TFrmMain::Edit1}, {"Edit2", &TFrmMain::Edit2}, {"Edit3", &TFrmMain::Edit3},
      {"Edit4", &TFrmMain::Edit4}, {"Edit8", &TFrmMain::Edit8}, {"Edit9", &TFrmMain::Edit9},
      {"Edit10", &TFrmMain::Edit10}};
  OpenDrive();  // the boxes take keys while the lower panel is enabled
  for (const auto& [name, text] : edits) {
    auto* edit = Find<QLineEdit>(name);
    ASSERT_NE(edit, nullptr);
    EXPECT_FALSE(edit->accessibleName().isEmpty());
    TypeText(edit, QStringLiteral("12"));
    EXPECT_EQ((*main).*text, "12") << name;
    (*main).*text = "abc";
    main->Notify(MainView::What::Edits);
    EXPECT_EQ(edit->text(), QStringLiteral("abc")) << name;
  }
  EXPECT_EQ(Find<QLineEdit>("Edit2")->accessibleName(), QStringLiteral("Modify"));
  EXPECT_EQ(Find<QLineEdit>("Edit3")->accessibleName(), QStringLiteral("HEAD"));
  EXPECT_EQ(Find<QLineEdit>("Edit4")->accessibleName(), QStringLiteral("Dan"));
}

TEST_F(GuiFixture, ProcedureClicksReachTheDrive) {
  OpenDrive();
  drive->ClearReceived();
  Find<QPushButton>("Button24")->click();
  EXPECT_EQ(ReceivedAtLeast(5), "/TV4\r");
  drive->ClearReceived();
  Find<QPushButton>("Button27")->click();  // no command
  Find<QPushButton>("Button33")->click();  // its question answered No
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions.back().text, "确认清空P表吗?");
  dialogs.answers.push_back(true);
  Find<QPushButton>("Button33")->click();
  EXPECT_EQ(ReceivedAtLeast(6), "/1G6A\r");
  TypeText(Find<QLineEdit>("Edit1"), QStringLiteral("1000"));
  drive->ClearReceived();
  Find<QPushButton>("Button54")->click();
  EXPECT_EQ(ReceivedAtLeast(18), "/2\rF000003E8,A1\r\n");
}

ui::Form5IdEditor* OpenIdEditor(ui::AppWindows& app) {
  auto* entry = app.mainWindow->findChild<QAction*>(QStringLiteral("MenuWindow_TForm5"));
  if (!entry) return nullptr;
  entry->trigger();
  return app.form5.get();
}

TEST(IdEditorWindow, OpensFromTheMenuWithItsControlsAndDefaults) {
  const auto empty = std::filesystem::temp_directory_path() / ("qv-gui-id-" + std::to_string(getpid()));
  std::filesystem::create_directories(empty);
  auto app = ui::CreateWindows(test::QuietStartup(empty.string()));
  ui::Form5IdEditor* form = OpenIdEditor(*app);
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->isModal() || form->windowModality() != Qt::NonModal);
  EXPECT_EQ(form->windowTitle(), QStringLiteral("HDD ID 编辑"));
  EXPECT_EQ(form->objectName(), QStringLiteral("TForm5"));
  EXPECT_EQ(form->size(), QSize(334, 139));
  for (const char* name : {"Panel1", "Label1", "Label2", "Label3", "Edit1", "Edit2", "CheckBox1", "CheckBox2",
                           "CheckBox3", "CheckBox4", "Button7"})
    EXPECT_NE(form->findChild<QWidget*>(name), nullptr) << name;
  auto* edit1 = form->findChild<QLineEdit*>("Edit1");
  auto* edit2 = form->findChild<QLineEdit*>("Edit2");
  EXPECT_EQ(edit1->text(), QStringLiteral("ST380016A"));
  EXPECT_EQ(edit1->maxLength(), 14);
  EXPECT_EQ(edit2->text(), QStringLiteral("80"));
  EXPECT_EQ(edit2->maxLength(), 10);
  EXPECT_EQ(edit2->accessibleName(), QStringLiteral("容量："));

  // Shown again: model and capacity ticked, the others cleared, whatever they were.
  form->findChild<QCheckBox*>("CheckBox1")->setChecked(false);
  form->findChild<QCheckBox*>("CheckBox3")->setChecked(true);
  form->findChild<QCheckBox*>("CheckBox4")->setChecked(true);
  form->hide();
  OpenIdEditor(*app);
  EXPECT_TRUE(form->findChild<QCheckBox*>("CheckBox1")->isChecked());
  EXPECT_TRUE(form->findChild<QCheckBox*>("CheckBox2")->isChecked());
  EXPECT_FALSE(form->findChild<QCheckBox*>("CheckBox3")->isChecked());
  EXPECT_FALSE(form->findChild<QCheckBox*>("CheckBox4")->isChecked());
  EXPECT_TRUE(form->Model().CheckBox1 && form->Model().CheckBox2 && !form->Model().CheckBox3);

  // Key filters: capitals in the model box, digits only in the capacity box.
  edit1->clear();
  auto type = [](QWidget* target, int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(target, &press);
  };
  type(edit1, Qt::Key_S, QStringLiteral("s"));
  type(edit1, Qt::Key_1, QStringLiteral("1"));
  EXPECT_EQ(edit1->text(), QStringLiteral("S1"));
  EXPECT_EQ(form->Model().Edit1, "S1");
  edit2->clear();
  type(edit2, Qt::Key_A, QStringLiteral("a"));
  type(edit2, Qt::Key_Minus, QStringLiteral("-"));
  type(edit2, Qt::Key_Z, QStringLiteral("\x1A"), Qt::ControlModifier);
  type(edit2, Qt::Key_4, QStringLiteral("4"));
  type(edit2, Qt::Key_2, QStringLiteral("2"));
  type(edit2, Qt::Key_Backspace, QStringLiteral("\b"));
  EXPECT_EQ(edit2->text(), QStringLiteral("4"));
  EXPECT_EQ(form->Model().Edit2, "4");
  // Text committed by an input method is typed too: full-width digits or
  // letters from a Chinese input method must not get past the filter.
  QInputMethodEvent composed;
  composed.setCommitString(QStringLiteral("８a"));
  QApplication::sendEvent(edit2, &composed);
  EXPECT_EQ(edit2->text(), QStringLiteral("4"));
  EXPECT_EQ(form->Model().Edit2, "4");

  form->close();
  app.reset();
  std::filesystem::remove_all(empty);
}

TEST_F(GuiFixture, IdEditorRefusalsAndConversionErrorsAreMessages) {
  ui::Form5IdEditor form(*main);
  form.show();
  form.findChild<QLineEdit*>("Edit2")->setText(QStringLiteral("9"));
  form.findChild<QPushButton*>("Button7")->click();
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_EQ(dialogs.shown.back().text, "硬盘容量不能大于2048G或小于10G！");
  form.findChild<QCheckBox*>("CheckBox2")->setChecked(false);
  form.findChild<QLineEdit*>("Edit2")->clear();
  form.findChild<QPushButton*>("Button7")->click();
  EXPECT_EQ(dialogs.shown.back().text, "'' is not a valid integer value");
  EXPECT_TRUE(form.findChild<QWidget*>("Panel1")->isEnabled());
}

}  // namespace
}  // namespace qv::test
