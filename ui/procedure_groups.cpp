#include "ui/procedure_groups.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>
#include <functional>
#include <string>
#include <vector>

#include "console/main.h"
#include "procedures/procedure_buttons.h"
#include "ui/fonts.h"
#include "ui/main_window.h"
#include "ui/naming.h"
#include "ui/tr.h"

namespace qv::ui {

namespace {

// About seventy buttons share a 624 x 236 area, so they are small and stand
// in rows whose cells share the row's width in proportion to their captions;
// every button also names its full caption and its commands in a tooltip,
// which matters where a caption is still cut short.
constexpr int kFontPixels = 11;
constexpr int kRowHeight = 17;
constexpr int kRowPitch = 19;
constexpr int kLabelHeight = 13;
constexpr int kTitleHeight = 14;
constexpr int kMargin = 3;
constexpr int kGap = 2;
constexpr int kEditWeight = 64;  // an edit box's share of a row, as if it were a caption this wide

// One cell of a group's row: a button, an edit box bound to one of the
// console's inputs, or a label for the edit below it.
struct Cell {
  enum Kind { Button, Edit, Label } kind;
  const char* name;  // control name (buttons, edits) or the label's text
};

Cell B(const char* name) { return {Cell::Button, name}; }
Cell E(const char* name) { return {Cell::Edit, name}; }
Cell L(const char* text) { return {Cell::Label, text}; }

struct Group {
  const char* name;   // control name of the group box
  const char* title;  // short title of the family
  QRect rect;         // within the procedure area
  std::vector<std::vector<Cell>> rows;
};

// Four columns: the T-level tables with level 7 and the level buttons; the m
// procedures; levels 1, 2, 5 and A; the adjustments and the identity. The
// one-key repairs run under the two middle columns.
const std::vector<Group>& Groups() {
  static const std::vector<Group> groups = {
      {"GroupTables", N_("V 表"), QRect(0, 0, 170, 92),
       {{B("Button24"), B("Button23"), B("Button27")},
        {B("Button30"), B("Button42"), B("Button77")},
        {B("Button25"), B("Button43"), B("Button29")},
        {B("Button26"), B("Button28")}}},
      {"GroupLevel7", N_("7 级 · 自适应表"), QRect(0, 94, 170, 73),
       {{B("Button21"), B("Button78"), B("Button61")},
        {B("Button66"), B("Button67"), B("Button62")},
        {B("Button90"), B("Button63"), B("Button64")}}},
      {"GroupLevels", N_("级别 · 转表"), QRect(0, 169, 170, 54),
       {{B("Button4"), B("Button9"), B("Button55"), B("Button56")},
        {B("Button86"), B("Button83")}}},
      {"GroupFormat", N_("T 级 m 流程"), QRect(172, 0, 149, 167),
       {{B("Button34"), B("Button37")},
        {B("Button35"), B("Button40")},
        {B("Button36"), B("Button38")},
        {B("Button41"), B("Button39")},
        {B("Button57"), B("Button58")},
        {B("Button81"), B("Button82")},
        {B("Button84")},
        {B("Button85")}}},
      {"GroupLevel125A", N_("1 / 2 / 5 / A 级"), QRect(323, 0, 156, 167),
       {{B("Button20"), B("Button22")},
        {B("Button32"), B("Button33")},
        {B("Button48"), B("Button53"), B("Button52")},
        {B("Button80"), B("Button31")},
        {B("Button44")},
        {B("Button50"), B("Button51")},
        {B("Button73")},
        {B("Button72")}}},
      {"GroupRepair", N_("一键修复 · V40 清除"), QRect(172, 169, 307, 54),
       {{B("Button45"), B("Button49"), B("Button70")},
        {B("Button79"), B("Button46"), B("Button47")}}},
      {"GroupAdjust", N_("参数调整"), QRect(481, 0, 143, 142),
       {{L("Modify"), L("HEAD"), L(N_("Dan"))},
        {E("Edit2"), E("Edit3"), E("Edit4")},
        {B("Button59"), B("Button60"), B("Button65")},
        {B("Button89")},
        {B("Button69")},
        {B("Button68")},
        {B("Button75")}}},
      {"GroupIdentity", "LBA · ID", QRect(481, 144, 143, 92),
       {{B("Button54"), E("Edit1")},
        {B("Button91"), E("Edit8")},
        {B("Button92"), E("Edit9")},
        {B("Button93"), E("Edit10")}}},
  };
  return groups;
}

// The console's input behind an edit box, and how a screen reader names it.
struct Input {
  const char* name;
  std::string TFrmMain::*text;
  const char* accessibleName;
  const char* placeholder;
};

const Input kInputs[] = {
    {"Edit2", &TFrmMain::Edit2, "Modify", ""},
    {"Edit3", &TFrmMain::Edit3, "HEAD", ""},
    {"Edit4", &TFrmMain::Edit4, N_("Dan"), ""},
    {"Edit1", &TFrmMain::Edit1, "LBA", "LBA"},
    {"Edit8", &TFrmMain::Edit8, N_("型号"), N_("型号")},
    {"Edit9", &TFrmMain::Edit9, "SN", "SN"},
    {"Edit10", &TFrmMain::Edit10, N_("容量（扇区数）"), N_("扇区数")},
};

const Input* FindInput(std::string_view name) {
  for (const Input& input : kInputs)
    if (name == input.name) return &input;
  return nullptr;
}

QPushButton* MakeButton(QWidget* parent, const ButtonDef& def, MainWindow& window, TFrmMain& main) {
  auto* button = new QPushButton(ButtonCaption(def), parent);
  const std::string name(def.name);
  Name(button, name.c_str(), ButtonCaption(def));
  button->setToolTip(ButtonTooltip(def));
  button->setFocusPolicy(Qt::StrongFocus);
  if (def.name == "Button27") return button;  // no command behind it
  if (def.name == "Button83") {
    // Bound to the batch window by SetLoadingProcessWindow once that exists.
    button->setEnabled(false);
    return button;
  }
  QObject::connect(button, &QPushButton::clicked, &window,
                   [&window, &main, &def] { window.Run([&main, &def] { RunButton(main, def); }); });
  return button;
}

QLineEdit* MakeEdit(QWidget* parent, const Input& input, MainWindow& window, TFrmMain& main) {
  auto* edit = new QLineEdit(parent);
  Name(edit, input.name, QTr(input.accessibleName));
  if (*input.placeholder) edit->setPlaceholderText(QTr(input.placeholder));
  edit->setText(Q(main.*input.text));
  std::string TFrmMain::*text = input.text;
  // The procedures read the console's copy, so it follows every change.
  QObject::connect(edit, &QLineEdit::textChanged, edit, [&main, text](const QString& now) { main.*text = U8(now); });
  QObject::connect(&window, &MainWindow::modelChanged, edit, [edit, &main, text](int what) {
    if (what != static_cast<int>(MainView::What::Edits)) return;
    const QString now = Q(main.*text);
    if (edit->text() != now) edit->setText(now);
  });
  return edit;
}

}  // namespace

QString ButtonCaption(const ButtonDef& def) { return Q(Tr(def.caption)); }

QString ButtonTooltip(const ButtonDef& def) {
  const QString caption = ButtonCaption(def);
  if (def.name == "Button27") return QTrFormat("{1}\n此按钮没有对应的驱动器命令，按下不做任何事。", U8(caption));
  if (def.name == "Button83") return QTrFormat("{1}\n打开批处理窗口", U8(caption));
  QString tip = caption;
  const std::string sends = DescribeSends(def.steps);
  if (!sends.empty()) tip += QStringLiteral("\n") + Q(sends);
  if (!def.question.empty()) tip += QTrFormat("\n（先询问：{1}）", Tr(def.question));
  return tip;
}

void SetLoadingProcessWindow(MainWindow& window, std::function<void()> open) {
  auto* button = window.findChild<QPushButton*>(QStringLiteral("Button83"));
  if (!button || !open) return;
  button->setEnabled(true);
  QObject::connect(button, &QPushButton::clicked, &window, [&window, open = std::move(open)] { window.Run(open); });
}

void AddProcedureGroups(QWidget* area, MainWindow& window, TFrmMain& main) {
  const QFont font = CjkFont(kFontPixels, false);
  const QFontMetrics metrics(font);
  for (const Group& group : Groups()) {
    auto* box = new QGroupBox(QTr(group.title), area);
    box->setGeometry(group.rect);
    box->setFont(font);
    box->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; padding: 0px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0px 2px; }"
        "QPushButton { padding: 0px 1px; }"
        "QLineEdit { padding: 0px 1px; }"));
    Name(box, group.name, box->title());

    const int inner = group.rect.width() - 2 * kMargin;
    int y = kTitleHeight;
    for (const std::vector<Cell>& row : group.rows) {
      const bool labels = row.front().kind == Cell::Label;
      // Labels and edits share a row evenly; buttons by the width of their captions.
      std::vector<int> weights;
      std::vector<const ButtonDef*> defs;
      int total = 0;
      for (const Cell& cell : row) {
        const ButtonDef* def = cell.kind == Cell::Button ? FindProcedure(cell.name) : nullptr;
        defs.push_back(def);
        const int weight = def ? metrics.horizontalAdvance(ButtonCaption(*def)) + 8 : kEditWeight;
        weights.push_back(weight);
        total += weight;
      }
      const int free = inner - kGap * (static_cast<int>(row.size()) - 1);
      int x = kMargin, used = 0;
      for (size_t i = 0; i < row.size(); ++i) {
        used += weights[i];
        const int right = kMargin + free * used / total + kGap * static_cast<int>(i);
        const Cell& cell = row[i];
        QWidget* widget = nullptr;
        if (cell.kind == Cell::Button && defs[i]) {
          widget = MakeButton(box, *defs[i], window, main);
        } else if (cell.kind == Cell::Edit) {
          if (const Input* input = FindInput(cell.name)) widget = MakeEdit(box, *input, window, main);
        } else if (cell.kind == Cell::Label) {
          auto* label = new QLabel(QTr(cell.name), box);
          label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
          widget = label;
        }
        if (widget) {
          widget->setFont(font);
          widget->setGeometry(x, y, right - x, labels ? kLabelHeight : kRowHeight);
        }
        x = right + kGap;
      }
      y += labels ? kLabelHeight : kRowPitch;
    }
  }
}

}  // namespace qv::ui
