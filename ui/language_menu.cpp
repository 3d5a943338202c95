#include "ui/language_menu.h"

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include <optional>

#include "console/dialogs.h"
#include "console/language_setup.h"
#include "lang/language_choice.h"
#include "ui/tr.h"

namespace qv::ui {

void AddLanguageMenu(QMenuBar* bar, std::function<std::string()> settingsPath, Dialogs& dialogs) {
  // Named in both languages: whoever cannot read the one finds the other.
  QMenu* menu = bar->addMenu(QStringLiteral("语言 / Language"));
  menu->setObjectName(QStringLiteral("MenuLanguage"));
  auto* group = new QActionGroup(menu);
  struct Entry {
    const char* name;
    QString caption;
    std::optional<Language> language;
  };
  // The languages by their own names; only "the system's" is translated.
  const Entry entries[] = {{"MenuLanguageSystem", QTr("跟随系统"), std::nullopt},
                           {"MenuLanguageChinese", QStringLiteral("中文"), Language::Chinese},
                           {"MenuLanguageEnglish", QStringLiteral("English"), Language::English}};
  for (const Entry& entry : entries) {
    QAction* action = menu->addAction(entry.caption);
    action->setObjectName(QString::fromLatin1(entry.name));
    action->setCheckable(true);
    action->setData(entry.language ? QString::fromLatin1(LanguageCode(*entry.language)) : QString());
    group->addAction(action);
    QObject::connect(action, &QAction::triggered, menu, [&dialogs, settingsPath, language = entry.language] {
      const std::string path = settingsPath();
      if (SaveLanguage(path, language))
        dialogs.ShowMessage(Tr("界面语言将在下次启动时更改。"));
      else
        dialogs.ShowMessage(TrFormat("无法保存设置文件“{1}”！", path));
    });
  }
  // The check shows what the file says, which another instance may have changed.
  QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, settingsPath] {
    const std::optional<Language> saved = SavedLanguage(settingsPath());
    const QString code = saved ? QString::fromLatin1(LanguageCode(*saved)) : QString();
    for (QAction* action : menu->actions()) action->setChecked(action->data().toString() == code);
  });
}

}  // namespace qv::ui
