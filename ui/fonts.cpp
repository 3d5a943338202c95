#include "ui/fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace qv::ui {

namespace {

QString FirstInstalled(const QStringList& wanted) {
  const QStringList families = QFontDatabase::families();
  for (const QString& family : wanted)
    if (families.contains(family, Qt::CaseInsensitive)) return family;
  const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
  return chinese.isEmpty() ? QString() : chinese.front();
}

QFont Make(const QString& family, int pixels, bool bold) {
  QFont font;
  if (!family.isEmpty()) font.setFamily(family);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

}  // namespace

QFont CjkFont(int pixels, bool bold) {
  static const QString family = FirstInstalled({QStringLiteral("Noto Serif CJK SC"), QStringLiteral("SimSun"),
                                                QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Serif CJK TC"),
                                                QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei")});
  return Make(family, pixels, bold);
}

QFont CjkFixedFont(int pixels) {
  static const QString family =
      FirstInstalled({QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("NSimSun"),
                      QStringLiteral("WenQuanYi Zen Hei Mono"), QStringLiteral("Noto Serif CJK SC")});
  QFont font = Make(family, pixels, false);
  font.setStyleHint(QFont::TypeWriter);
  return font;
}

}  // namespace qv::ui
