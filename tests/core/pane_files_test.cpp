// The pane saved to a file and the session log: what a line of the log is,
// its stamps, a disk that is full, and logging across port close and open.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "console/main.h"
#include "console/text.h"
#include "files/file_io.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

const LocalTime kStart = local_days{2026y / December / 7} + 11h + 2min + 28s + 123ms;

// A chunk that decided nothing: text for the pane.
ReceivedChunk Bytes(std::string bytes) {
  ReceivedChunk chunk;
  chunk.bytes = std::move(bytes);
  return chunk;
}

std::string FileText(const std::string& path) { return ReadFileBytes(path, 1 << 20).bytes; }

// What happens to the pane, and when (milliseconds after kStart).
struct PaneStep {
  int atMs;
  std::function<void(TFrmMain&, SessionLog&)> act;
};
PaneStep Chunk(int atMs, std::string bytes) {
  return {atMs, [bytes](TFrmMain& main, SessionLog&) { main.HandleChunk(Bytes(bytes)); }};
}
PaneStep Line(int atMs, std::string utf8) {
  return {atMs, [utf8](TFrmMain& main, SessionLog&) { main.AddLine(utf8); }};
}
PaneStep Verdict(int atMs, std::string utf8) {
  return {atMs, [utf8](TFrmMain& main, SessionLog&) { main.AppendToLastLine(utf8); }};
}
PaneStep Clear(int atMs) {
  return {atMs, [](TFrmMain& main, SessionLog&) { main.Button6Click(); }};
}
// The writer takes what has come so far (a line still arriving, as far as it goes).
PaneStep Written(int atMs, std::string expected) {
  return {atMs, [expected](TFrmMain&, SessionLog& log) {
            log.Flush();
            const std::string path = log.Path();
            for (int i = 0; i < 400 && FileText(path) != expected; ++i) std::this_thread::sleep_for(5ms);
            EXPECT_EQ(FileText(path), expected);
          }};
}

TEST(SessionLog, LinesAreThePanesLinesStampedWhenTheirFirstByteCame) {
  const std::string x109(109, 'x');
  struct Case {
    const char* what;
    std::string before;  // on the pane before the log starts (GBK)
    std::vector<PaneStep> steps;
    std::string log;
  };
  const Case cases[] = {
      {"a line in pieces is one line; CR LF split over chunks is one break",
       "",
       {Chunk(0, "F3 T>/2"), Chunk(7, "\r"), Chunk(9, "\nF3 2>")},
       "2026-12-07 11:02:28.123 F3 T>/2\n"
       "2026-12-07 11:02:28.132 F3 2>\n"},
      {"lone CR and lone LF end lines; an empty line is a line",
       "",
       {Chunk(0, "a\rb\nc\r\n\r\nd")},
       "2026-12-07 11:02:28.123 a\n2026-12-07 11:02:28.123 b\n2026-12-07 11:02:28.123 c\n"
       "2026-12-07 11:02:28.123 \n2026-12-07 11:02:28.123 d\n"},
      {"wrapped at 110 bytes, the rest stamped when it came",
       "",
       {Chunk(0, std::string(250, 'x')), Chunk(40, "\r\n" + std::string(100, 'y')), Chunk(60, std::string(20, 'z'))},
       "2026-12-07 11:02:28.123 " + std::string(110, 'x') + "\n2026-12-07 11:02:28.123 " + std::string(110, 'x') +
           "\n2026-12-07 11:02:28.123 " + std::string(30, 'x') + "\n2026-12-07 11:02:28.163 " +
           std::string(100, 'y') + std::string(10, 'z') + "\n2026-12-07 11:02:28.183 " + std::string(10, 'z') + "\n"},
      {"control bytes as the pane shows them; GBK as UTF-8",
       "",
       {Chunk(0, "ab\bc\x1b[0m\x7f\r\n"), Line(5, "正在读取数据.........")},
       "2026-12-07 11:02:28.123 ab\u2408c\u241b[0m\u2421\n2026-12-07 11:02:28.128 正在读取数据.........\n"},
      {"a verdict stays on its progress line; clearing the pane ends a line",
       "",
       {Line(0, "转换至F级..........."), Verdict(900, "成功！"), Chunk(950, "abc"), Clear(960), Chunk(970, "def")},
       "2026-12-07 11:02:28.123 转换至F级...........成功！\n2026-12-07 11:02:29.073 abc\n"
       "2026-12-07 11:02:29.093 def\n"},
      {"a verdict behind a later line: that line again, whole",
       "",
       {Line(0, "正在读取数据........."), Line(10, "串口已断开"),
        {20, [](TFrmMain& main, SessionLog&) { main.memo1.AppendToLine(0, Gbk("失败！")); }}},
       "2026-12-07 11:02:28.123 正在读取数据.........\n2026-12-07 11:02:28.133 串口已断开\n"
       "2026-12-07 11:02:28.143 正在读取数据.........失败！\n"},
      {"what the pane showed before is not written; its open line, continued, is written whole",
       "earlier\r\nF3 T>",
       {Chunk(0, "/2\r\n")},
       "2026-12-07 11:02:28.123 F3 T>/2\n"},
      {"a line still arriving is written as far as it goes, its break when the next begins",
       "",
       {Chunk(0, "F3 T>"), Written(1, "2026-12-07 11:02:28.123 F3 T>"), Chunk(500, "/2\r\nnext")},
       "2026-12-07 11:02:28.123 F3 T>/2\n2026-12-07 11:02:28.623 next\n"},
      {"half a character waits: the pane moves it whole to the next line",
       "",
       {Chunk(0, x109 + "\xD6"), Written(1, "2026-12-07 11:02:28.123 " + x109), Chunk(30, "\xD0" "abc")},
       "2026-12-07 11:02:28.123 " + x109 + "\n2026-12-07 11:02:28.153 中abc\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    NoToolkitPump pump;
    test::ScriptedDialogs dialogs;
    TFrmMain main(pump, dialogs);
    main.receiveMode = ReceiveMode::usercmd;
    main.memo1.AppendText(c.before);
    LocalTime now = kStart;
    SessionLog log(main.memo1, [&now] { return now; });
    ASSERT_FALSE(log.Start(dir / "session.log"));
    for (const PaneStep& step : c.steps) {
      now = kStart + milliseconds(step.atMs);
      step.act(main, log);
    }
    EXPECT_FALSE(log.Stop());
    EXPECT_EQ(FileText(dir / "session.log"), c.log);
  }
}

// Adds to a file that is there; a folder or a pipe is refused with the reason.
TEST(SessionLog, AddsToAnExistingFileAndRefusesWhatIsNoFile) {
  test::TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir / "old.log", "earlier session\n"));
  TextPane pane;
  SessionLog log(pane, [] { return kStart; });
  ASSERT_FALSE(log.Start(dir / "old.log"));
  pane.AddLine("more");
  EXPECT_FALSE(log.Stop());
  EXPECT_EQ(FileText(dir / "old.log"), "earlier session\n2026-12-07 11:02:28.123 more\n");

  EXPECT_EQ(log.Start(dir.Path()).reason, "这是一个文件夹，不是文件");
  EXPECT_FALSE(log.Active());
}

class LogOnConsole : public ::testing::Test {
 protected:
  void SetUp() override { main.receiveMode = ReceiveMode::usercmd; }
  void TearDown() override { main.FormClose(); }

  test::TempDir dir;
  NoToolkitPump pump;
  test::ScriptedDialogs dialogs;
  TFrmMain main{pump, dialogs};
};

// A disk that takes nothing: one line in the pane says so, the log stops,
// and the pane and the console go on as before; the running operation's
// verdict still lands on its progress line.
TEST_F(LogOnConsole, AFullDiskStopsTheLogWithOneLine) {
  main.HandleChunk(Bytes("F3 T>"));
  dialogs.paths.push_back("/dev/full");
  main.LogClick();
  ASSERT_TRUE(main.sessionLog.Active());
  EXPECT_EQ(dialogs.choosers.back().kind, "append");
  main.HandleChunk(Bytes("/2\r\nF3 2>"));
  main.AddLine("正在读取数据.........");
  for (int i = 0; i < 300 && main.sessionLog.Active(); ++i) main.Delay(1);
  ASSERT_FALSE(main.sessionLog.Active());
  main.AppendToLastLine("完成！");
  EXPECT_EQ(Utf8FromGbk(main.memo1.Text()),
            "F3 T>/2\r\nF3 2>\r\n正在读取数据.........完成！\r\n"
            "会话记录已停止：无法写入文件“/dev/full”：磁盘空间不足！\r\n");
  EXPECT_TRUE(dialogs.shown.empty());

  main.HandleChunk(Bytes("more"));
  main.Delay(2);
  EXPECT_EQ(main.memo1.Lines().size(), 5u);
  EXPECT_EQ(main.memo1.Lines().back(), "more");
  EXPECT_EQ(main.RxCount, 5 + 9 + 4);
}

// With no notice in between, a verdict goes on the last line, even an empty one.
TEST_F(LogOnConsole, VerdictWithoutANoticeGoesOnTheLastLine) {
  main.HandleChunk(Bytes("F3 T>\r\n\r\n"));
  main.AppendToLastLine("完成！");
  EXPECT_EQ(Utf8FromGbk(main.memo1.Text()), "F3 T>\r\n完成！\r\n");
}

// Each encoding of the save chooser; a place that cannot be written says why.
TEST_F(LogOnConsole, SavesThePaneInEitherEncoding) {
  main.HandleChunk(Bytes("F3 T>ab\bc\r\n"));
  main.AddLine("正在读取数据.........");
  main.AppendToLastLine("完成！");
  main.HandleChunk(Bytes("F3 2>"));
  const std::string before = main.memo1.Text();

  dialogs.paths = {dir / "utf8.txt", dir / "gbk.txt", dir.Path()};
  dialogs.filterIndexes = {0, 1};
  main.SavePaneClick();
  main.SavePaneClick();
  EXPECT_EQ(FileText(dir / "utf8.txt"), "F3 T>ab\u2408c\n正在读取数据.........完成！\nF3 2>\n");
  EXPECT_EQ(FileText(dir / "gbk.txt"), "F3 T>ab\bc\r\n" + Gbk("正在读取数据.........完成！") + "\r\nF3 2>\r\n");
  EXPECT_EQ(dialogs.choosers[0].kind, "save");
  EXPECT_EQ(dialogs.choosers[0].defaultExt, "txt");

  main.SavePaneClick();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "无法写入文件“" + dir.Path() + "”：这是一个文件夹，不是文件！");
  EXPECT_EQ(main.memo1.Text(), before);
}

class LogOnDrive : public test::SimFixture {};

// The log follows the pane, not the port: it goes on across close and open,
// and what came before the close is on disk at once.
TEST_F(LogOnDrive, GoesOnAcrossPortCloseAndOpen) {
  test::TempDir dir;
  const std::string path = dir / "drive.log";
  dialogs.paths.push_back(path);
  main->LogClick();
  ASSERT_TRUE(main->sessionLog.Active());
  OpenAt("9600");
  std::string line = "/2";
  main->CMDKeyPress('\r', line);
  ASSERT_TRUE(main->WaitHD(300));
  main->btnSwitchClick();  // closes
  for (int i = 0; i < 200 && FileText(path).find("2>") == std::string::npos; ++i) main->Delay(1);
  EXPECT_NE(FileText(path).find("2>"), std::string::npos);

  OpenAt("9600");
  line = "/1";
  main->CMDKeyPress('\r', line);
  ASSERT_TRUE(main->WaitHD(300));
  main->LogClick();  // stops
  EXPECT_FALSE(main->sessionLog.Active());
  const std::string log = FileText(path);
  EXPECT_NE(log.find("1>"), std::string::npos) << log;
  EXPECT_EQ(log.back(), '\n');
  // Every line is stamped.
  for (std::string_view rest = log; !rest.empty();) {
    const std::string_view stamped = rest.substr(0, rest.find('\n'));
    ASSERT_GE(stamped.size(), 24u) << stamped;
    EXPECT_EQ(stamped.substr(4, 1), "-");
    EXPECT_EQ(stamped.substr(19, 1), ".");
    EXPECT_EQ(stamped.substr(23, 1), " ");
    rest.remove_prefix(std::min(rest.size(), stamped.size() + 1));
  }
}

// Notices in a row (the log stopped, then the port lost with the hub that
// carried both) never take the running operation's verdict.
TEST_F(LogOnDrive, VerdictGoesAboveEveryNoticeThatCameBetween) {
  OpenAt("9600");
  dialogs.paths.push_back("/dev/full");
  main->LogClick();
  main->AddLine("正在读取数据.........");
  for (int i = 0; i < 300 && main->sessionLog.Active(); ++i) main->Delay(1);
  ASSERT_FALSE(main->sessionLog.Active());
  drive->CloseMaster();
  for (int i = 0; i < 300 && !main->LinkGone(); ++i) {
    main->ProcessEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(main->LinkGone());
  main->AppendToLastLine("失败！");
  const auto& lines = main->memo1.Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(Utf8FromGbk(lines[lines.size() - 3]), "正在读取数据.........失败！");
  EXPECT_TRUE(Utf8FromGbk(lines[lines.size() - 2]).starts_with("会话记录已停止"));
  EXPECT_TRUE(Utf8FromGbk(lines.back()).starts_with("串口 "));
}

}  // namespace
}  // namespace qv
