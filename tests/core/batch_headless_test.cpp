// Pieces of the headless runner: the pane printer, dialogs on a stream and
// the command line.
#include <gtest/gtest.h>

#include <sstream>

#include "batch/headless.h"
#include "console/text.h"

namespace qv {
namespace {

TEST(PanePrinter, PrintsEachLineWholeOnceComplete) {
  TextPane pane;
  std::ostringstream out;
  PanePrinter printer(pane, out);
  pane.SetListener(&printer);

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

TEST(BatchOptions, CommandLine) {
  BatchOptions o = ParseBatchOptions({"s.cmd"});
  EXPECT_EQ(o.error, "");
  EXPECT_EQ(o.port, "SIM");
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
  for (const auto& bad : std::vector<std::vector<std::string>>{
           {}, {"a.cmd", "b.cmd"}, {"--port"}, {"--port=", "a.cmd"}, {"--fast", "a.cmd"}, {"a.cmd", "--rate"}})
    EXPECT_NE(ParseBatchOptions(bad).error, "") << (bad.empty() ? "" : bad.front());
}

}  // namespace
}  // namespace qv
