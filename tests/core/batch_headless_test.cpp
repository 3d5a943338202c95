// Pieces of the headless runner: the pane printer, dialogs on a stream and
// the command line.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "batch/cli_options.h"
#include "batch/headless.h"
#include "console/text.h"

namespace qv {
namespace {

TEST(PanePrinter, PrintsEachLineWholeOnceComplete) {
  TextPane pane;
  std::ostringstream out;
  PanePrinter printer(pane, out);
  pane.AddListener(&printer);

  pane.AddLine(Gbk("正在读取缓冲区......"));
  EXPECT_EQ(out.str(), "");  // the last line may still grow
  pane.AppendToLastLine(Gbk("成功！"));
  pane.AddLine("");
  EXPECT_EQ(out.str(), "正在读取缓冲区......成功！\n");
  pane.AppendText("F3 T>");  // a reply as it arrives
  pane.AppendText("abc");
  EXPECT_EQ(out.str(), "正在读取缓冲区......成功！\n\n");
  printer.Flush();
  EXPECT_EQ(out.str(), "正在读取缓冲区......成功！\n\nF3 T>abc\n");
  printer.Flush();  // nothing twice
  EXPECT_EQ(out.str(), "正在读取缓冲区......成功！\n\nF3 T>abc\n");

  // After a clear, the new lines are printed; the old ones are not repeated.
  out.str("");
  pane.Clear();
  pane.AddLine("one");
  pane.AddLine("two");
  pane.AddLine("three");
  printer.Flush();
  EXPECT_EQ(out.str(), "one\ntwo\nthree\n");
}

TEST(StreamDialogs, BoxesAsCaptionAndText) {
  std::ostringstream out;
  StreamDialogs no(out, false);
  no.ShowMessage("'zz' is not a valid integer value");
  no.Warning("警告", "波特率设定有误\r 请重新输入");
  EXPECT_FALSE(no.AskYesNo("提示", "确定吗？"));
  EXPECT_FALSE(no.ChooseOpenFile("所有文件|*.*", ""));
  EXPECT_EQ(no.BoxesShown(), 4u);
  EXPECT_EQ(out.str().substr(0, out.str().find("quorvane-batch")),
            "Quorvane: 'zz' is not a valid integer value\n"
            "警告: 波特率设定有误\n 请重新输入\n"
            "提示: 确定吗？ [No]\n");
  std::ostringstream yesOut;
  StreamDialogs yes(yesOut, true);
  EXPECT_TRUE(yes.AskYesNo("提示", "确定吗？"));
  EXPECT_EQ(yesOut.str(), "提示: 确定吗？ [Yes]\n");
}

TEST(ProgressLine, ShownOnlyWhileTheBarMoves) {
  EXPECT_EQ(ProgressLine(0, 128, 0, 20), "[............]    0%");
  EXPECT_EQ(ProgressLine(0, 128, 64, 20), "[######......]   50%");
  EXPECT_EQ(ProgressLine(0, 65536, 65535, 20), "[###########.]   99%");
  // Nothing to show: no range, or the bar at its end (a finished operation leaves none).
  for (const auto& [max, position] : {std::pair{0, 0}, {128, 128}, {128, 200}})
    EXPECT_EQ(ProgressLine(0, max, position, 20), "") << max << " " << position;
}

TEST(BatchOptions, CommandLine) {
  BatchOptions o = ParseBatchOptions({"--port", "ttyUSB0", "s.cmd"});
  EXPECT_EQ(o.error, "");
  EXPECT_EQ(o.mode, BatchMode::Script);
  EXPECT_EQ(o.port, "ttyUSB0");
  EXPECT_EQ(o.rate, "9600");
  EXPECT_FALSE(o.yes);
  EXPECT_EQ(o.script, "s.cmd");

  o = ParseBatchOptions({"--port", "/dev/pts/7", "--rate=115200", "--yes", "--", "-odd.cmd"});
  EXPECT_EQ(o.error, "");
  EXPECT_EQ(o.port, "/dev/pts/7");
  EXPECT_EQ(o.rate, "115200");
  EXPECT_TRUE(o.yes);
  EXPECT_EQ(o.script, "-odd.cmd");
  EXPECT_TRUE(ParseBatchOptions({"--help"}).help);

  // The operations: what each call asks for, or why it is refused.
  const auto want = [](BatchMode mode, const std::string& path, const std::function<void(BatchOptions&)>& set = {}) {
    BatchOptions w;
    w.mode = mode;
    w.path = path;
    if (mode != BatchMode::ListPorts && mode != BatchMode::ListFamilies) w.port = "ttyUSB0";
    if (set) set(w);
    return w;
  };
  struct Case {
    std::vector<std::string> args;
    std::string error;  // a part of the refusal; empty: accepted as `want`
    BatchOptions want;
  };
  // A drive operation names its port; the lists need none.
  const std::string p = "--port", usb = "ttyUSB0";
  const Case cases[] = {
      {{p, usb, "--rom-read", "rom.bin"}, "", want(BatchMode::RomRead, "rom.bin")},
      {{p, usb, "--rate", "921600", "--rom-read=r.bin", "--by-instruction"}, "",
       want(BatchMode::RomRead, "r.bin", [](BatchOptions& w) { w.rate = "921600", w.byInstruction = true; })},
      {{p, usb, "--rom-write", "w.bin", "--entry", "800"}, "",
       want(BatchMode::RomWrite, "w.bin", [](BatchOptions& w) { w.entry = "800"; })},
      {{p, usb, "--backup", "out", "--modules", "app,vendor", "--family=TONKA"}, "",
       want(BatchMode::Backup, "out",
            [](BatchOptions& w) { w.family = "TONKA", w.modulesGiven = true, w.modules.app = w.modules.vendor = true; })},
      {{p, usb, "--load", "fw", "--family", "auto", "--modules=cert,table,ata", "--save"}, "",
       want(BatchMode::Load, "fw",
            [](BatchOptions& w) {
              w.family = "auto", w.modulesGiven = w.save = true;
              w.modules.cert = w.modules.table = w.modules.ata = true;
            })},
      {{"--list-ports"}, "", want(BatchMode::ListPorts, "")},
      {{"--port", "SIM", "--rom-read", "r.bin", "--gap", "2.5", "--sim-adapter=ft232-1ms"}, "",
       want(BatchMode::RomRead, "r.bin", [](BatchOptions& w) {
         w.port = "SIM", w.gap = std::chrono::microseconds(2500), w.simAdapter = sim::AdapterTiming::Ft232(std::chrono::milliseconds(1));
       })},
      {{"--list-families"}, "", want(BatchMode::ListFamilies, "")},
      // Without a port: never the simulated drive by default.
      {{"s.cmd"}, "a script needs --port", {}},
      {{"--rom-read", "r.bin"}, "--rom-read needs --port", {}},
      {{"--rom-write", "w.bin"}, "--rom-write needs --port", {}},
      {{"--backup", "out"}, "--backup needs --port", {}},
      {{"--load", "fw"}, "--load needs --port", {}},
      // Bad usage.
      {{}, "no script", {}},
      {{"a.cmd", "b.cmd"}, "one script at a time", {}},
      {{"--port"}, "--port needs a value", {}},
      {{"--port=", "a.cmd"}, "--port needs a value", {}},
      {{"--fast", "a.cmd"}, "unknown option --fast", {}},
      {{"a.cmd", "--rate"}, "--rate needs a value", {}},
      {{"--rom-read"}, "--rom-read needs a value", {}},
      {{"--rom-read", "r.bin", "--backup", "out"}, "one operation at a time", {}},
      {{"--backup", "out", "s.cmd"}, "one at a time", {}},
      {{"--rom-write", "w.bin", "--entry", "600"}, "--entry takes 400 or 800", {}},
      {{"--rom-write", "w.bin", "--entry", "800", "--by-instruction"}, "--by-instruction writes without it", {}},
      {{"--rom-read", "r.bin", "--entry", "800"}, "--entry does not go with --rom-read", {}},
      {{"--backup", "out", "--by-instruction"}, "--by-instruction does not go with --backup", {}},
      {{"--backup", "out", "--save"}, "--save does not go with --backup", {}},
      {{"--rom-read", "r.bin", "--family", "TONKA"}, "--family does not go with --rom-read", {}},
      {{"s.cmd", "--modules", "app"}, "--modules does not go with a script", {}},
      {{"--backup", "out", "--modules", "app,,cert"}, "'' is not one of app,cert,table,ata,vendor", {}},
      {{"--load", "fw", "--modules", "app,vendor"}, "'vendor' is not one of app,cert,table,ata", {}},
      {{"--gap", "soon", "a.cmd"}, "--gap takes milliseconds from 0 to 1000, not soon", {}},
      {{"--gap=1001", "a.cmd"}, "--gap takes milliseconds", {}},
      {{"--gap", "-1", "a.cmd"}, "--gap takes milliseconds", {}},
      {{"--sim-adapter", "usb", "a.cmd"}, "--sim-adapter takes ft232[-Nms], ch340[-Nms] or uart[-N], not usb", {}},
      {{"--port", "/dev/pts/7", "--sim-adapter", "uart", "a.cmd"}, "--sim-adapter goes with --port SIM", {}},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    SCOPED_TRACE(shown);
    o = ParseBatchOptions(c.args);
    if (!c.error.empty()) {
      EXPECT_NE(o.error.find(c.error), std::string::npos) << o.error;
      continue;
    }
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.mode, c.want.mode);
    EXPECT_EQ(o.port, c.want.port);
    EXPECT_EQ(o.path, c.want.path);
    EXPECT_EQ(o.rate, c.want.rate);
    EXPECT_EQ(o.entry, c.want.entry);
    EXPECT_EQ(o.family, c.want.family);
    EXPECT_EQ(o.byInstruction, c.want.byInstruction);
    EXPECT_EQ(o.modulesGiven, c.want.modulesGiven);
    EXPECT_EQ(o.save, c.want.save);
    EXPECT_TRUE(o.modules == c.want.modules);
    EXPECT_EQ(o.gap, c.want.gap);
    EXPECT_EQ(o.simAdapter.has_value(), c.want.simAdapter.has_value());
    if (o.simAdapter && c.want.simAdapter) {
      EXPECT_EQ(o.simAdapter->packetSize, c.want.simAdapter->packetSize);
      EXPECT_EQ(o.simAdapter->latency, c.want.simAdapter->latency);
    }
  }
}

}  // namespace
}  // namespace qv
