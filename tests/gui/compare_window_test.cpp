// The comparison window: its place in the "窗口" menu, the list of verdicts
// that follows two folder choices, and a 1 MiB module side by side with its
// differing bytes marked and the jump to the next difference.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "files/file_io.h"
#include "tests/gui/gui_fixture.h"
#include "tests/support/quiet_startup.h"
#include "tests/support/temp_dir.h"
#include "ui/app_windows.h"
#include "ui/backup_comparison_window.h"

namespace qv::test {
namespace {

bool Marked(QTableView* view, int row, int column) {
  return view->model()->data(view->model()->index(row, column), Qt::BackgroundRole).isValid();
}

TEST(CompareWindow, OpensFromTheMenu) {
  TempDir dir;
  auto app = ui::CreateWindows(QuietStartup(dir.Path()));
  auto* entry = app->mainWindow->findChild<QAction*>(QStringLiteral("MenuWindow_BackupComparisonWindow"));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text(), QStringLiteral("比较备份"));
  entry->trigger();
  EXPECT_TRUE(app->comparison->isVisible());
  EXPECT_EQ(app->comparison->objectName(), QStringLiteral("BackupComparisonWindow"));
  EXPECT_EQ(app->comparison->windowModality(), Qt::NonModal);
  app->comparison->close();
}

TEST(CompareWindow, VerdictsThenAModuleSideBySide) {
  TempDir dir;
  std::string module(1 << 20, '\0');
  for (size_t i = 0; i < module.size(); ++i) module[i] = static_cast<char>(i * 7);
  std::string patient = module;
  for (size_t at : {0x10, 0x11, 0x80000}) patient[at] = static_cast<char>(~patient[at]);
  const struct {
    const char* path;
    std::string bytes;
  } files[] = {{"donor/APP.BIN", module},           {"patient/APP.BIN", patient}, {"donor/CERT.BIN", "same"},
               {"patient/CERT.BIN", "same"},         {"donor/ID.BIN", "only here"}};
  std::filesystem::create_directories(dir / "donor");
  std::filesystem::create_directories(dir / "patient");
  for (const auto& f : files) ASSERT_TRUE(WriteFileBytes(dir / f.path, f.bytes));

  ScriptedDialogs dialogs;
  ui::BackupComparisonWindow form(dialogs);
  form.show();
  EXPECT_EQ(In<QLineEdit>(&form, "Edit1")->accessibleName(), QStringLiteral("第一个文件夹:"));
  dialogs.shown.clear();
  In<QPushButton>(&form, "Button3")->click();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "请选择要比较的两个备份文件夹！");

  // The list follows the second choice at once; its verdicts come while the
  // window goes on answering.
  dialogs.paths = {dir / "donor", dir / "patient"};
  In<QPushButton>(&form, "Button1")->click();
  In<QPushButton>(&form, "Button2")->click();
  auto* list = In<QTableView>(&form, "ListView1");
  ASSERT_EQ(list->model()->rowCount(), 3);
  EXPECT_EQ(form.Model().Pending(), 3u);
  EXPECT_EQ(Cell(list, 0, 1), QStringLiteral("…"));
  QElapsedTimer waited;
  waited.start();
  while (form.Model().Pending() > 0 && waited.elapsed() < 5000) QApplication::processEvents();
  EXPECT_EQ(Cell(list, 0, 0), QStringLiteral("APP.BIN"));
  EXPECT_EQ(Cell(list, 0, 1), QStringLiteral("不同：3字节不同，首处在0x10、0x11、0x80000"));
  EXPECT_EQ(Cell(list, 1, 1), QStringLiteral("相同"));
  EXPECT_EQ(Cell(list, 2, 1), QStringLiteral("仅在第一个文件夹中"));
  EXPECT_TRUE(Marked(list, 0, 1));
  EXPECT_FALSE(Marked(list, 1, 1));

  // APP.BIN: 65536 rows of 16 bytes, the view at the first difference.
  list->setCurrentIndex(list->model()->index(0, 0));
  auto* grid = In<QTableView>(&form, "DrawGrid1");
  ASSERT_EQ(grid->model()->rowCount(), 65536);
  EXPECT_EQ(grid->currentIndex().row(), 1);
  EXPECT_EQ(Cell(grid, 1, 0), QStringLiteral("000010"));
  EXPECT_EQ(Cell(grid, 1, 1), QString::asprintf("%02X", static_cast<uint8_t>(module[0x10])));
  EXPECT_EQ(Cell(grid, 1, 18), QString::asprintf("%02X", static_cast<uint8_t>(patient[0x10])));
  EXPECT_TRUE(Marked(grid, 1, 1) && Marked(grid, 1, 2) && Marked(grid, 1, 18) && Marked(grid, 1, 19));
  EXPECT_FALSE(Marked(grid, 1, 3) || Marked(grid, 1, 20) || Marked(grid, 0, 1));
  EXPECT_TRUE(In<QLabel>(&form, "Label3")->text().startsWith(QStringLiteral("APP.BIN：不同：3字节不同")));

  // The next difference, then from the top again.
  auto* next = In<QPushButton>(&form, "Button4");
  next->click();
  EXPECT_EQ(grid->currentIndex().row(), 0x8000);
  EXPECT_TRUE(Marked(grid, 0x8000, 1));
  next->click();
  EXPECT_EQ(grid->currentIndex().row(), 1);

  // A file of one folder alone shows its bytes against nothing.
  list->setCurrentIndex(list->model()->index(2, 0));
  EXPECT_EQ(grid->model()->rowCount(), 1);
  EXPECT_EQ(Cell(grid, 0, 18), QString());
  EXPECT_TRUE(Marked(grid, 0, 1));
}

}  // namespace
}  // namespace qv::test
