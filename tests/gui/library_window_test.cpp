// The firmware library window: its place in the "窗口" menu, the table and its
// filter, the module matrix with its marks, the export, the settings it
// keeps, and the comparison window opened on two of its backups.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "console/language_setup.h"
#include "console/settings_file.h"
#include "firmware/manifest/manifest_check.h"
#include "library/library.h"
#include "tests/gui/gui_fixture.h"
#include "tests/support/generated_backup.h"
#include "tests/support/quiet_startup.h"
#include "tests/support/temp_dir.h"
#include "ui/app_windows.h"
#include "ui/library_window.h"

namespace qv::test {
namespace {


// Three drives of one family and firmware: APP alike, S3's CERT differs.
void FillLibrary(const TempDir& dir, const std::string& library) {
  auto opened = FirmwareLibrary::Open(library, FirmwareLibrary::Access::Write);
  ASSERT_NE(opened.library, nullptr) << opened.problem;
  for (int i = 1; i <= 3; ++i) {
    const std::string n = std::to_string(i);
    const std::string folder =
        MakeBackup(dir / "in", {"d" + n, "S" + n, "TONKA", "TONKA__3.AAC", i, "app", i == 3 ? "cert-3" : "cert"});
    ASSERT_EQ(opened.library->Add(folder).kind, LibraryAdd::Kind::Added);
  }
}

TEST(LibraryWindow, OpensFromTheMenuAndComparesTwoBackups) {
  TempDir dir;
  auto app = ui::CreateWindows(QuietStartup(dir.Path()));
  FillLibrary(dir, app->main->ownFiles.UserDir() + "library");
  auto* entry = app->mainWindow->findChild<QAction*>(QStringLiteral("MenuWindow_LibraryWindow"));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text(), QStringLiteral("固件库"));
  entry->trigger();
  ASSERT_TRUE(app->library->isVisible());
  auto* table = In<QTableView>(app->library.get(), "ListView1");
  ASSERT_EQ(table->model()->rowCount(), 3);
  EXPECT_EQ(Cell(table, 0, 4), QStringLiteral("S3"));  // newest first

  table->selectionModel()->select(table->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  table->selectionModel()->select(table->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  In<QPushButton>(app->library.get(), "Button4")->click();
  ASSERT_TRUE(app->comparison->isVisible());
  const BackupComparison& compare = app->comparison->Model();
  ASSERT_EQ(compare.ListView1.size(), 4u);  // APP.BIN CERT.BIN SN.TXT Vendor.BIN
  EXPECT_TRUE(CheckFolder(compare.Edit1).AllAgree());
  EXPECT_TRUE(CheckFolder(compare.Edit2).AllAgree());
  app->comparison->close();
  app->library->close();
}

TEST(LibraryWindow, FilterMatrixExportAndSettings) {
  TempDir dir;
  const std::string userData = dir / "user-data/";
  FillLibrary(dir, userData + "library");
  ScriptedDialogs dialogs;
  ui::LibraryWindow form(dialogs, userData);
  form.show();
  auto* table = In<QTableView>(&form, "ListView1");
  ASSERT_EQ(table->model()->rowCount(), 3);

  auto* serial = In<QLineEdit>(&form, "Edit3");
  serial->setText(QStringLiteral("s3"));
  emit serial->textEdited(serial->text());
  ASSERT_EQ(table->model()->rowCount(), 1);
  table->selectRow(0);

  // S3 first, its CERT the odd one out; the others share A.
  auto* matrix = In<QTableView>(&form, "ListView2");
  ASSERT_EQ(matrix->model()->rowCount(), 3);
  ASSERT_EQ(matrix->model()->columnCount(), 3);  // APP.BIN CERT.BIN Vendor.BIN
  EXPECT_EQ(matrix->model()->headerData(0, Qt::Vertical).toString(), QStringLiteral("S3"));
  EXPECT_EQ(Cell(matrix, 0, 1), QStringLiteral("B"));
  EXPECT_EQ(Cell(matrix, 0, 1, Qt::AccessibleDescriptionRole), QStringLiteral("唯一"));
  EXPECT_TRUE(matrix->model()->data(matrix->model()->index(0, 1), Qt::BackgroundRole).isValid());
  EXPECT_EQ(Cell(matrix, 1, 1, Qt::AccessibleDescriptionRole), QStringLiteral("变体"));
  EXPECT_EQ(Cell(matrix, 0, 0, Qt::AccessibleDescriptionRole), QStringLiteral("相同"));
  EXPECT_FALSE(matrix->model()->data(matrix->model()->index(0, 0), Qt::BackgroundRole).isValid());
  EXPECT_TRUE(Cell(matrix, 0, 1, Qt::ToolTipRole).startsWith(QStringLiteral("与其他2块硬盘的都不同（可疑）\n")));

  dialogs.paths = {dir / "out"};
  In<QPushButton>(&form, "Button3")->click();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "备份3（序列号S3）已导出到“" + (dir / "out") + "”。");
  EXPECT_TRUE(CheckFolder(dir / "out").AllAgree());

  In<QCheckBox>(&form, "CheckBox1")->setChecked(false);
  EXPECT_EQ(SavedSetting(SettingsPath(userData), "library-auto-add"), "no");
}

}  // namespace
}  // namespace qv::test
