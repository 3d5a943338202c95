// Every window in English: no caption wider than its control with the font
// the window uses, and no Chinese left in a caption, tooltip or list item but
// the drive terms (the captions of the procedure and console buttons) and
// the language menu's own name. Windows are created after the language is
// chosen, as the program does at start-up.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QStyle>
#include <filesystem>

#include "console/console_buttons.h"
#include "console/language_setup.h"
#include "console/long_operation.h"
#include "procedures/procedure_buttons.h"
#include "serial/port_list.h"
#include "tests/gui/gui_fixture.h"
#include "tests/support/quiet_startup.h"
#include "ui/app_windows.h"
#include "ui/tr.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

bool HasChinese(const QString& text) {
  for (QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= 0x3000 && u <= 0x303F) || (u >= 0x3400 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF)) return true;
  }
  return false;
}

// Texts that stay as they are in every language.
QStringList KeptTexts() {
  QStringList kept = {QStringLiteral("语言 / Language"), QStringLiteral("中文")};
  for (const ButtonDef* def : ProcedureButtons()) kept << ui::QTr(std::string(def->caption).c_str());
  for (const ButtonDef& def : ConsoleButtons()) kept << ui::QTr(std::string(def.caption).c_str());
  return kept;
}

// The widest line of `text` with `metrics`, without the '&' of a shortcut.
int TextWidth(const QFontMetrics& metrics, QString text) {
  text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
  int widest = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, metrics.horizontalAdvance(line));
  return widest;
}

// How wide `widget` must be for its caption, or -1 when it shows none that
// could be cut (empty, wrapped, rich or a picture).
int NeededWidth(QWidget* widget) {
  const QFontMetrics metrics = widget->fontMetrics();
  QStyle* style = widget->style();
  if (auto* box = qobject_cast<QCheckBox*>(widget); box || qobject_cast<QRadioButton*>(widget)) {
    auto* button = static_cast<QAbstractButton*>(widget);
    if (button->text().isEmpty()) return -1;
    const bool check = box != nullptr;
    return style->pixelMetric(check ? QStyle::PM_IndicatorWidth : QStyle::PM_ExclusiveIndicatorWidth, nullptr, widget) +
           style->pixelMetric(check ? QStyle::PM_CheckBoxLabelSpacing : QStyle::PM_RadioButtonLabelSpacing, nullptr,
                              widget) +
           TextWidth(metrics, button->text());
  }
  if (auto* button = qobject_cast<QPushButton*>(widget)) {
    if (button->text().isEmpty()) return -1;
    return TextWidth(metrics, button->text()) + 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, widget);
  }
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    if (label->text().isEmpty() || label->wordWrap() || Qt::mightBeRichText(label->text())) return -1;
    return TextWidth(metrics, label->text()) + 2 * label->frameWidth() + 2 * label->margin();
  }
  if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    if (group->title().isEmpty()) return -1;
    return TextWidth(metrics, group->title()) + 2 * metrics.averageCharWidth();
  }
  return -1;
}

// Every text of `window` a person reads.
QStringList Captions(QWidget* window) {
  QStringList texts = {window->windowTitle()};
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    texts << widget->toolTip();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) texts << button->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) texts << label->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) texts << group->title();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) texts << edit->placeholderText();
    if (auto* list = qobject_cast<QComboBox*>(widget))
      for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
    if (auto* header = qobject_cast<QHeaderView*>(widget); header && header->model())
      for (int i = 0; i < header->count(); ++i)
        texts << header->model()->headerData(i, header->orientation()).toString();
  }
  for (QMenu* menu : window->findChildren<QMenu*>())
    for (QAction* action : menu->actions()) texts << action->text() << action->toolTip();
  return texts;
}

enum class Check { Widths, WidthsAndChinese };

// What is wrong with `window` in English, one line each. The window is shown
// so that its layouts have placed every control; controls it hides (a hint
// that appears with its own text) are left out of the widths.
QStringList Faults(QWidget* window, Check check) {
  QStringList faults;
  const QString where = window->objectName() + QStringLiteral(": ");
  window->show();
  QApplication::processEvents();
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    const int needed = widget->isVisibleTo(window) ? NeededWidth(widget) : -1;
    if (needed > widget->width())
      faults << where + widget->objectName() + QStringLiteral(" needs %1 px, has %2").arg(needed).arg(widget->width());
  }
  const QStringList kept = KeptTexts();
  for (const QString& text : check == Check::WidthsAndChinese ? Captions(window) : QStringList()) {
    QString rest = text;
    for (const QString& term : kept) rest.replace(term, QString());
    if (HasChinese(rest))
      faults << where + QStringLiteral("Chinese left: ") + QString(text).replace(QLatin1Char('\n'), QStringLiteral(" | "));
  }
  window->hide();
  return faults;
}

class EnglishWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    UseLanguage(Language::English, CatalogueFolder(QV_BUILD_FOLDER));
    folder = fs::temp_directory_path() / ("qv-gui-english-" + std::to_string(getpid()));
    fs::create_directories(folder);
    app = ui::CreateWindows(QuietStartup(folder.string()));
  }
  void TearDown() override {
    app.reset();
    fs::remove_all(folder);
    UseLanguage(Language::Chinese, "");
  }
  fs::path folder;
  std::unique_ptr<ui::AppWindows> app;
};

QStringList FaultsOfAll(const ui::AppWindows& app, Check check) {
  QStringList faults;
  for (QWidget* window : std::initializer_list<QWidget*>{app.mainWindow.get(), app.form1.get(), app.form2.get(),
                                                         app.form3.get(), app.form4.get(), app.form5.get(),
                                                         app.form6.get(), app.form7.get(), app.comparison.get(),
                                                         app.library.get()})
    faults << Faults(window, check);
  return faults;
}

// Every caption fits its control, in whichever language it shows.
TEST_F(EnglishWindows, EveryCaptionFits) {
  const QStringList faults = FaultsOfAll(*app, Check::Widths);
  EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
}

// The port switch keeps its state in the untranslated caption and shows it in
// English: it opens SIM, says "Close", closes it again and says "Open"; both
// fit the button.
TEST_F(EnglishWindows, PortSwitchWorksAndFitsInEnglish) {
  auto* button = app->mainWindow->findChild<QPushButton*>(QStringLiteral("btnSwitch"));
  auto* ports = app->mainWindow->findChild<QComboBox*>(QStringLiteral("ComboBox1"));
  ASSERT_EQ(ports->currentText(), QStringLiteral("SIM"));
  for (bool open : {true, false}) {
    SCOPED_TRACE(open ? "open" : "closed");
    button->click();
    EXPECT_EQ(app->main->PortOpen(), open);
    EXPECT_EQ(button->text(), open ? QStringLiteral("Close") : QStringLiteral("Open"));
    EXPECT_EQ(ports->isEnabled(), !open);
    EXPECT_EQ(app->mainWindow->windowTitle().endsWith(ui::QTr(kSimDriveNotice)), open);
    EXPECT_TRUE(Faults(app->mainWindow.get(), Check::Widths).isEmpty());
  }
}

// The longest states of a port show whole in the status field, in the window's
// language: a network port's, and the simulated drive's at the top rate behind
// its notice; a refusal keeps its start and its end in sight.
void ExpectStatusShowsWhole(ui::MainWindow& window, TFrmMain& main) {
  auto* status = In<QLineEdit>(&window, "edStatus");
  main.edStatus = " STATUS: rfc2217://bench-3:3001 Opened 921600 None 8 1";
  main.Notify(MainView::What::Status);
  main.ComboBox2.index = static_cast<int>(main.ComboBox2.items.size()) - 1;
  for (const bool sim : {false, true}) {
    if (sim) In<QPushButton>(&window, "btnSwitch")->click();
    ASSERT_EQ(main.SimulatedDriveOpen(), sim);
    EXPECT_EQ(status->text().toStdString(), status->toolTip().toStdString());
    EXPECT_LE(status->fontMetrics().horizontalAdvance(status->text()) + 8, status->width());  // frame and margins
  }
  LongOperation busy(main, Tr("批处理流程"));
  main.RefusedWhileBusy(Tr("命令行"));  // SIM still open: no notice before it
  EXPECT_TRUE(status->text().startsWith(QStringLiteral(" “")) && status->text().endsWith(status->toolTip().right(12)));
}

TEST_F(EnglishWindows, LongestStatusShowsWhole) { ExpectStatusShowsWhole(*app->mainWindow, *app->main); }

// Lists every clipped caption and every Chinese text left, window by window,
// the texts the windows take from the core models included.
TEST_F(EnglishWindows, EveryWindowFitsAndIsEnglish) {
  EXPECT_EQ(app->form5->windowTitle(), QStringLiteral("HDD ID Editor"));
  const QStringList faults = FaultsOfAll(*app, Check::WidthsAndChinese);
  EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

TEST_F(GuiFixture, LongestStatusShowsWhole) { ExpectStatusShowsWhole(*window, *main); }  // in Chinese

// The 语言 / Language menu keeps its choice for the next start and shows the
// kept choice checked; "follow the system" removes it again.
TEST_F(GuiFixture, LanguageMenuKeepsTheChoiceForTheNextStart) {
  const std::string settings = SettingsPath(main->ownFiles.UserDir());
  auto* menu = Find<QMenu>("MenuLanguage");
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->title(), QStringLiteral("语言 / Language"));
  const struct {
    const char* action;
    std::optional<Language> saved;
  } choices[] = {{"MenuLanguageEnglish", Language::English},
                 {"MenuLanguageChinese", Language::Chinese},
                 {"MenuLanguageSystem", std::nullopt}};
  for (const auto& choice : choices) {
    SCOPED_TRACE(choice.action);
    Find<QAction>(choice.action)->trigger();
    EXPECT_EQ(SavedLanguage(settings), choice.saved);
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().text, "界面语言将在下次启动时更改。");
    emit menu->aboutToShow();
    for (QAction* action : menu->actions())
      EXPECT_EQ(action->isChecked(), action->objectName() == QLatin1String(choice.action)) << action->objectName().toStdString();
  }
  EXPECT_EQ(CurrentLanguage(), Language::Chinese);  // this run keeps its language
}

}  // namespace
}  // namespace qv::test
