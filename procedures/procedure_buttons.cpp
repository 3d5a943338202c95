#include "procedures/procedure_buttons.h"

#include <initializer_list>

#include "console/convert.h"
#include "console/main.h"
#include "console/text.h"
#include "lang/translate.h"

namespace qv {

namespace {

// A wait that only paces the procedure: at most 51 ticks, whatever the drive says.
Step Wait() { return WaitPromptFor(50); }

std::vector<Step> Join(std::initializer_list<std::vector<Step>> parts) {
  std::vector<Step> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The end of the long procedures: the drive runs the loaded process and the
// pane gets a blank line so that its next prompt stands apart.
std::vector<Step> ClosingBlock() {
  return {SetMode(ReceiveMode::usercmd), Send("/6B0\r"), Pause(50), Append("　"), Send("\n")};
}

// The drive's answers are hidden between the announcement and the closing
// block; the technician only sees that the procedure was handed over.
std::vector<Step> Silent(std::string_view announcement, std::vector<Step> commands) {
  return Join({{Send("/\r"), Pause(10), Append(announcement), SetMode(ReceiveMode::syscmd), Pause(50)},
               std::move(commands),
               ClosingBlock()});
}

std::vector<Step> V40Clear(std::string_view announcement, std::initializer_list<std::string_view> commands) {
  std::vector<Step> steps = {Send("/\r"), Pause(10), Append(announcement), Pause(50)};
  for (std::string_view command : commands) {
    steps.push_back(Send(command));
    steps.push_back(Wait());
  }
  return Join({std::move(steps), {Send("/AW4FA6,1,,20\r"), Pause(50), Append("　"), Send("\n")}});
}

// The boxes under "Modify", "HEAD" and "Dan": the value as typed, head and
// zone without surrounding blanks. Read afresh for every command.
std::string Modify(const TFrmMain& main) { return Gbk(main.Edit2); }
std::string Head(const TFrmMain& main) { return Gbk(Trim(main.Edit3)); }
std::string Zone(const TFrmMain& main) { return Gbk(Trim(main.Edit4)); }

template <char Selector>
std::string AdjustLine(const TFrmMain& main) {
  return "I" + Modify(main) + ",3," + Head(main) + "," + Selector + "," + Zone(main) + "\r";
}

std::vector<Step> Adjustment(std::vector<Step> selectorLines) {
  std::vector<Step> steps = {Send("/\r"), Pause(10), Append(N_("正在生成批处理，请等待完成............")),
                             SetMode(ReceiveMode::usercmd), Pause(50),
                             Send("/6E0\r"), Pause(10), Send("/7\r"), Pause(10)};
  for (const Step& line : selectorLines) {
    steps.push_back(line);
    steps.push_back(Pause(10));
  }
  for (std::string_view command : {"AD\r", "A8,001000,,00\r", "A9,00100A,,00\r", "AE,00\r", "AA,00\r",
                                   "/AY,6,6,8\r", "/2W,,,,11\r", "/2R,,,,11\r"}) {
    steps.push_back(Send(command));
    steps.push_back(Pause(10));
  }
  return Join({std::move(steps), {Send("|\r"), Wait()}, ClosingBlock()});
}

const Step kAdvanceLine = Compose("I‹Modify›,3,‹HEAD›,4,‹Dan›↵", AdjustLine<'4'>);
const Step kWriteLine = Compose("I‹Modify›,3,‹HEAD›,5,‹Dan›↵", AdjustLine<'5'>);
const Step kReadLine = Compose("I‹Modify›,3,‹HEAD›,6,‹Dan›↵", AdjustLine<'6'>);

template <char Selector>
std::string AdaptiveLine(const TFrmMain& main) {
  return "I" + Modify(main) + ",1,0F," + Head(main) + "," + Selector + "," + Zone(main) + ",,1\r";
}

std::vector<Step> AdaptiveChange(Step line) {
  return {Send("/7\r"), WaitPromptFor(20),
          Append(N_("开始执行修改参数指令")), SetMode(ReceiveMode::usercmd), Pause(50),
          line, Pause(50),
          Send("/7\r"), Pause(50),
          SetMode(ReceiveMode::usercmd), Send("/\r"), Append(N_("段位修改成功，保存并重新上电生效!")), Send("\n")};
}

std::string RegisterLine(const TFrmMain& main) {
  return "I" + Modify(main) + ",1,6," + Head(main) + ",0,0," + Zone(main) + ",1\r";
}

std::string LbaToV4Line(const TFrmMain& main) { return "F" + HexOfTyped(main.Edit1) + ",A1\r"; }

// J, the text between double quotes, then the field number.
std::string Quoted(const std::string& typed, std::string_view field) {
  return "J\"" + Gbk(typed) + "\"," + std::string(field) + "\r";
}
std::string ModelLine15(const TFrmMain& main) { return Quoted(main.Edit8, "15"); }
std::string ModelLine16(const TFrmMain& main) { return Quoted(main.Edit8, "16"); }
std::string SerialLine(const TFrmMain& main) { return Quoted(main.Edit9, "01"); }
std::string CapacityLine(const TFrmMain& main) { return "J" + HexOfTyped(main.Edit10) + ",17\r"; }

std::vector<Step> IdentityWrite(std::string_view start, std::vector<Step> lines, std::string_view end) {
  std::vector<Step> steps = {Send("/\r"), WaitPromptFor(20), Append(start), SetMode(ReceiveMode::usercmd), Pause(50)};
  for (const Step& line : lines) {
    steps.push_back(line);
    steps.push_back(Pause(50));
  }
  return Join({std::move(steps),
               {Send("/T\r"), Pause(50), Send("W0,,22\r"), Pause(50),
                SetMode(ReceiveMode::usercmd), Pause(50), Append(end), Send("\n")}});
}

}  // namespace

std::string HexOfTyped(std::string_view typed) {
  return IntToHex(static_cast<uint32_t>(StrToIntDef(typed, 0)), 8);
}

const std::vector<ButtonDef>& CatalogueButtons() {
  static const std::vector<ButtonDef> table = {
      // T-level views and clears
      {"Button24", "Check V4", "", {Send("/TV4\r")}},
      {"Button23", "View V2", "", {Send("/TV2\r")}},
      {"Button30", "View V10", "", {Send("/TV10\r")}},
      {"Button42", "View V10", "", {Send("/TV10,,0,10\r")}},
      {"Button25", "View V40", "", {Send("/TV40\r")}},
      {"Button43", "View V40", "", {Send("/TV40,,0,10\r")}},
      {"Button77", "See CAP", "", {Send("/TJ\r")}},
      {"Button26", "Clear N8", "", {Send("/Ti4,1,22\r")}},
      {"Button28", "Clear V4", "", {Send("/Ti4,1,22\r")}},
      {"Button29", "Clr V1 V4", "", {Send("/Ti5,1,22\r")}},
      // There is no drive command behind it; it stays on the panel where
      // technicians expect it, and does nothing.
      {"Button27", "Clear V2", "", {}, true},
      // T-level m procedures
      {"Button34", "Quick clear", "", {Send("/Tm0,5,1,3,5,,,22\r")}},
      {"Button35", "Strong clear", "", {Send("/Tm0,5,1,,,,,22\r")}},
      {"Button36", "Overall erase", "", {Send("/Tm0,8,3,0,0,0,0,22\r")}},
      {"Button37", "Fork Issue", "", {Send("/Tm0,11,2,2,2,,,22\r")}},
      {"Button38", "Bad add P", "", {Send("/Tm,18,3,,,,,22\r")}},
      {"Button39", "Bad add G", "", {Send("/Tm0,D,1,,,,,22\r")}},
      {"Button40", "P format", "", {Send("/Tm,D,3,,,,,22\r")}},
      {"Button41", N_("Dan format"), "", {Send("/Tm0,4,3,,,,,22\r")}},
      {"Button57", "Fast repair", "", {Send("/Tm0,3D,,,,,,22\r")}},
      {"Button58", "Slow repair", "", {Send("/Tm,10,,,,,,22\r")}},
      {"Button81", "63 with P", "", {Send("/Tm0,6,3,,,,,22\r")}},
      {"Button82", "62 with GP", "", {Send("/Tm0,6,2,,,,,22\r")}},
      {"Button84", "11 reconstruction", "", {Send("/Tm0,15,3,,,,,22\r")}},
      {"Button85", "12 constructions", "", {Send("/Tm0,38,2,,,,,22\r")}},
      // Levels 1, 2, 5 and A
      {"Button20", "Initial SMART", "", {Send("/1N0b,,22\r")}},
      {"Button22", "View N8", "", {Send("/1N8\r")}},
      {"Button32", "Recon LBA", "", {Send("/1G6A\r")}},
      {"Button33", "Clear V10", N_("确认清空P表吗?"), {Send("/1G6A\r")}},
      {"Button44", "Head Map ", "", {Send("/2Y,,,,1C0\r")}},
      {"Button48", "RW-0", "", {Send("/2I,3,00\r")}},
      {"Button53", "RW-1", "", {Send("/2I,3,01\r")}},
      {"Button80", "RW Parameters", "", {Send("/2I,3\r")}},
      {"Button50", "11 Head Test", "", {Send("/2T2000,0,0\r")}},
      {"Button51", "12 Head test", "", {Send("/2T880\r")}},
      {"Button52", N_("Dan View"), "", {Send("/2x0\r")}},
      {"Button73", "Drift Measurement", N_("测试需要1小时左右，确认开始吗?"), {Send("/2a\r")}},
      {"Button72", "Servo Measurement", "", {Send("/5B,,,,,,1\r")}},
      {"Button31", "P to G", N_("确定要将V4转入V10吗?"), {Send("/AP\r")}},
      // Level 7 and the adaptive tables
      {"Button21", "Busy Ready", "", {Send("/7m100\r")}},
      {"Button90", "Head test", "", {Send("/7X\r")}},
      {"Button78", "See RAP", "", {Send("/7I,1\r")}},
      {"Button66", "0 Adapter", "", {Send("/7I,1,0F,00\r")}},
      {"Button67", "1 Adapter", "", {Send("/7I,1,0F,01\r")}},
      {"Button62", "W1 SAP", N_("确认保存SAP吗？每次上电只能保存一次，重新上电生效！"), {Send("/7w1,,22\r")}},
      {"Button63", "W2 RAP", N_("确认保存RAP吗？每次上电只能保存一次，重新上电生效！"), {Send("/7w2,,22\r")}},
      {"Button64", "W3 IAP", N_("确认保存IAP吗？每次上电只能保存一次，重新上电生效！"), {Send("/7w3,,22\r")}},
      // Short fixed lists
      {"Button61", "W0 CAP", N_("确认保存CAP吗？每次上电只能保存一次，重新上电生效！"),
       {Send("/7\r"), Pause(10), Send("w0,,22\r")}},
      {"Button55", N_("V4转V40"), N_("确定要将V4转入V40吗?"), {Send("/\r"), Pause(10), Send("m,2,3,,,,,22\r")}},
      {"Button56", "V4 turn V10", N_("确定要将V4转入V10吗?"), {Send("/A\r"), Pause(10), Send("P\r")}},
      {"Button86", "Overall zero", "", {Send("/AD\r"), Wait(), Send("/AW,,,11\r")}},
      {"Button4", "/2", "", {Send("\x1A"), Pause(10), Send("/2\r"), Pause(10)}},
      {"Button9", "/7", "", {Send("\x1A"), Pause(10), Send("/7\r"), Pause(10)}},
      // Opens the batch window; the window binds it.
      {"Button83", "Loading process", "", {}, true},
  };
  return table;
}

const std::vector<ButtonDef>& RepairButtons() {
  static const std::vector<ButtonDef> table = {
      {"Button45", "ALT Clear", "",
       Silent(N_("正在ALT表快速清除，完成后会自动停转，请等待完\n成............"),
              {Send("/6E0\r"), Wait(), Send("/1N8\r"), Send("/Ti4,1,22\r"), Send("/Ti4,1,22\r"), Send("/1N1\r"),
               Send("/Tm0,6,2,,,,,22\r"), Send("/2Z\r"), Wait(), Send("|\r"), Wait()})},
      {"Button49", "Universal Repair", "",
       Silent(N_("正在执行12代盘一键快修，用时2-3小时，完成后会自动停转，请等待完\n成............"),
              {Send("/6E0\r"), Wait(), Send("/Ti4,1,22\r"), Wait(), Send("/1N1\r"), Wait(),
               Send("/Tm0,6,3,,,,,22\r"), Wait(), Send("/2Z\r"), Wait(), Send("/2U\r"), Wait(),
               Send("/Tm0,4,2,,,0,0,22\r"), Wait(), Send("/2Z\r"), Wait(), Send("|\r"), Wait()})},
      {"Button70", "Universal Slow", "",
       Silent(N_("正在执行12代盘一键慢修，用时4-6小时，完成后会自动停转，请等待完\n成............"),
              {Send("/6E0\r"), Wait(), Send("/Ti4,1,22\r"), Wait(), Send("/1N1\r"), Wait(),
               Send("/Tm0,6,3,,,,,22\r"), Wait(), Send("/2Z\r"), Wait(), Send("/2U\r"), Wait(),
               Send("/Tm0,4,2,,,0,0,22\r"), Wait(), Send("/AW,,,11\r"), Wait(), Send("/7m100\r"), Wait(),
               Send("/2Z\r"), Wait(), Send("|\r"), Wait()})},
      {"Button79", "Check V10", "",
       Silent(N_("正在校验V10，请等待完成............"),
              {Send("/6E0\r"), Wait(), Send("/Ti4,1,22\r"), Wait(), Send("/1N1\r"), Wait(), Send("/2Z\r"), Wait(),
               Send("/2U\r"), Wait(), Send("/TF00A2,C1\r"), Wait(), Send("/AP\r"), Wait(),
               Send("/Tm0,2,2,,,,,22\r"), Wait(), Send("/Tm0,2,2,,,,,22\r"), Wait(), Send("/2Z\r"), Wait(),
               Send("/2U\r"), Wait(), Send("/Tm0,6,3,,,,,22\r"), Wait(), Send("|\r"), Wait()})},
      {"Button46", "232A clear V40", "",
       V40Clear(N_("正在执行缓冲地址为232A的V40表清除动作............"),
                {"/AR4FA6,0001,,20\r", "/2B232A,232A\r", "/1U0044,7400,0\r", "/1U0044,7401,0\r",
                 "/1U0044,7402,0\r", "/1U0044,7403,0\r", "/2C232A,298C\r"})},
      {"Button47", "232B V40 clear", "",
       V40Clear(N_("正在执行缓冲地址为232B的V40清除动作............"),
                {"/AR4FA6,0001,,20\r", "/2B232B,232B\r", "/1U0044,7600,0\r", "/1U0044,7601,0\r",
                 "/1U0044,7602,0\r", "/1U0044,7603,0\r", "/2C232B,298C\r"})},
      {"Button59", "Advance", "", Adjustment({kAdvanceLine})},
      {"Button60", "Write", "", Adjustment({kWriteLine})},
      {"Button65", "Read", "", Adjustment({kReadLine})},
      {"Button89", "Read - write adjustment", "", Adjustment({kAdvanceLine, kWriteLine, kReadLine})},
  };
  return table;
}

const std::vector<ButtonDef>& AdaptiveButtons() {
  static const std::vector<ButtonDef> table = {
      {"Button69", "Read Adapter", "",
       AdaptiveChange(Compose("I‹Modify›,1,0F,‹HEAD›,4,‹Dan›,,1↵", AdaptiveLine<'4'>)), true},
      {"Button68", "Write Adaptives", "",
       AdaptiveChange(Compose("I‹Modify›,1,0F,‹HEAD›,3,‹Dan›,,1↵", AdaptiveLine<'3'>)), true},
      {"Button75", "Register modification", "",
       {Send("/7\r"), WaitPromptFor(20),
        Append(N_("开始执行修改参数指令")), SetMode(ReceiveMode::usercmd), Pause(50),
        Compose("I‹Modify›,1,6,‹HEAD›,0,0,‹Dan›,1↵", RegisterLine), Pause(50),
        Send("/7\r"), Pause(50), Send("w2,,22\r"), Pause(50),
        SetMode(ReceiveMode::usercmd), Send("/\r"), Append(N_("段位修改成功，重新上电生效!")), Send("\n")},
       true},
      {"Button54", "LBA to V4", "",
       {Send("/2\r"), WaitPromptFor(20),
        Append(N_("正在将输入的LBA加入到V4列表中，请稍等片刻......")),
        SetMode(ReceiveMode::syscmd), Pause(50),
        Compose("F‹LBA, 8 hex digits›,A1↵", LbaToV4Line), Pause(50),
        SetMode(ReceiveMode::usercmd), Pause(50),
        Append(N_("你所输入的LBA已经加入到V4记录中")), Send("\n")},
       true},
      {"Button91", "Edit ID", "",
       IdentityWrite(N_("正在修改型号，请稍等片刻......"),
                     {Compose("J\"‹model›\",15↵", ModelLine15), Compose("J\"‹model›\",16↵", ModelLine16)},
                     N_("型号已修改成功，请重新上电生效")),
       true},
      {"Button92", "EDIT SN", "",
       IdentityWrite(N_("正在修改SN，请稍等片刻......"), {Compose("J\"‹SN›\",01↵", SerialLine)},
                     N_("SN已修改成功，请重新上电生效")),
       true},
      {"Button93", "Edit LBA", "",
       IdentityWrite(N_("正在修改容量，请稍等片刻......"), {Compose("J‹sectors, 8 hex digits›,17↵", CapacityLine)},
                     N_("容量已修改成功，请重新上电生效")),
       true},
  };
  return table;
}

const std::vector<const ButtonDef*>& ProcedureButtons() {
  static const std::vector<const ButtonDef*> all = [] {
    std::vector<const ButtonDef*> list;
    for (const auto* table : {&CatalogueButtons(), &RepairButtons(), &AdaptiveButtons()})
      for (const ButtonDef& button : *table) list.push_back(&button);
    return list;
  }();
  return all;
}

const ButtonDef* FindProcedure(std::string_view name) {
  for (const ButtonDef* button : ProcedureButtons())
    if (button->name == name) return button;
  return nullptr;
}

}  // namespace qv
