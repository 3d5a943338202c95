// The main window's 文件 menu and the command line's history.
#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

#include "tests/gui/gui_fixture.h"
#include "tests/support/temp_dir.h"
#include "ui/terminal_pane.h"

namespace qv::test {
namespace {

TEST_F(GuiFixture, FileMenuComesFirstAndTheCommandLineWalksItsHistory) {
  const QList<QAction*> menus = window->menuBar()->actions();
  ASSERT_GE(menus.size(), 2);
  EXPECT_EQ(menus[0]->text(), QStringLiteral("文件"));
  EXPECT_EQ(menus[1]->text(), QStringLiteral("端口"));
  auto* save = window->findChild<QAction*>(QStringLiteral("MenuSavePane"));
  auto* log = window->findChild<QAction*>(QStringLiteral("MenuLog"));
  auto* trace = window->findChild<QAction*>(QStringLiteral("MenuTrace"));
  ASSERT_TRUE(save && log && trace);
  EXPECT_EQ(menus[0]->menu()->actions(), (QList<QAction*>{save, log, trace}));
  EXPECT_EQ(save->text(), QStringLiteral("保存终端内容…"));
  EXPECT_EQ(save->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  EXPECT_EQ(log->text(), QStringLiteral("记录到文件…"));
  EXPECT_TRUE(window->Pane()->PopupMenu()->actions().contains(save));

  // Checked while logging; a cancelled chooser leaves it unchecked.
  TempDir dir;
  dialogs.paths.push_back(dir / "gui.log");
  log->trigger();
  EXPECT_TRUE(log->isChecked());
  EXPECT_TRUE(main->sessionLog.Active());
  log->trigger();
  EXPECT_FALSE(log->isChecked());
  // The trace the same way.
  EXPECT_EQ(trace->text(), QStringLiteral("记录收发时序…"));
  dialogs.paths.push_back(dir / "gui.trace");
  trace->trigger();
  EXPECT_TRUE(trace->isChecked());
  EXPECT_TRUE(main->Link().Tracing());
  trace->trigger();
  EXPECT_FALSE(trace->isChecked());
  EXPECT_FALSE(main->Link().Tracing());
  EXPECT_FALSE(main->sessionLog.Active());
  log->trigger();
  EXPECT_FALSE(log->isChecked());

  OpenDrive();
  auto* cmd = Find<QLineEdit>("CMD");
  for (const QString& command : {QStringLiteral("/2"), QStringLiteral("/1")}) {
    TypeText(cmd, command);
    TypeKey(cmd, Qt::Key_Return, QStringLiteral("\r"));
  }
  ReceivedAtLeast(6);
  drive->ClearReceived();
  TypeText(cmd, QStringLiteral("ty"));
  QStringList shown;
  for (int key : {Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_Down, Qt::Key_Down}) {
    TypeKey(cmd, key, QString());
    shown << cmd->text();
  }
  EXPECT_EQ(shown, (QStringList{"/1", "/2", "/2", "/1", "ty"}));
  // The control keys still go to the drive, Ctrl+S too: the line takes it
  // before the menu's shortcut would.
  TypeKey(cmd, Qt::Key_Escape, QStringLiteral("\x1b"));
  EXPECT_EQ(ReceivedAtLeast(1), "\x1B");
  QKeyEvent ctrlS(QEvent::ShortcutOverride, Qt::Key_S, Qt::ControlModifier, QStringLiteral("\x13"));
  ctrlS.ignore();
  QApplication::sendEvent(cmd, &ctrlS);
  EXPECT_TRUE(ctrlS.isAccepted());
  EXPECT_EQ(cmd->text(), QStringLiteral("ty"));
}

}  // namespace
}  // namespace qv::test
