// The batch runner on the simulated drive: what reaches the drive, the pane,
// the window's states, the error path and the stop flag.
#include <gtest/gtest.h>

#include "batch/form4.h"
#include "batch/script_file.h"
#include "files/file_io.h"
#include "tests/core/transfer_sim_support.h"

namespace qv {
namespace {

using End = TForm4::RunResult::End;

class BatchRunTest : public test::TransferSim {
 protected:
  void SetUp() override {
    TransferSim::SetUp();
    if (HasFatalFailure()) return;
    form = std::make_unique<TForm4>(*main);
    OpenAt("9600");
    Settle();
    TakeReceived();
  }
  void TearDown() override {
    form.reset();
    TransferSim::TearDown();
  }
  TForm4::RunResult Run(std::vector<std::string> lines) {
    form->Memo1 = std::move(lines);
    return form->Button9Click();
  }
  void ExpectIdle() const {
    EXPECT_TRUE(form->Panel1Enabled);
    EXPECT_FALSE(form->Button10Enabled);
    EXPECT_EQ(main->receiveMode, ReceiveMode::usercmd);
    EXPECT_EQ(main->stopFlag, 0);
  }
  std::string Shown() const { return dialogs.shown.empty() ? "" : dialogs.shown.back().text; }

  std::unique_ptr<TForm4> form;
};

TEST_F(BatchRunTest, StatementsSendExactlyTheirBytes) {
  // The window is running (Panel1 off, Button10 on) while statements execute.
  bool sawRunning = false;
  hookPump.hook = [&] { sawRunning = sawRunning || (!form->Panel1Enabled && form->Button10Enabled); };
  const auto result = Run({
      "// a comment is not shown",
      "  just a note  ",
      "LEVEL/T",
      "LEVEL/2x",
      "STR//1",
      "HEX/1A",
      "DEC/269",  // the low 8 bits: 0x0D
      "STR/",
      "echo/x",
      "ECHO/读取开始",
      "SLEEP/5",
      "BAUDRATE/115200",
      "STR/lost at the wrong rate",
      "BAUDRATE/abc",
      "",
  });
  EXPECT_EQ(result.end, End::Finished);
  EXPECT_TRUE(sawRunning);
  Settle(20);
  EXPECT_EQ(TakeReceived(), std::string("/\r/2\r/1\r\x1A\r\r") + "\r");
  EXPECT_EQ(form->Edit1, "BAUDRATE/abc");
  EXPECT_EQ(main->ComboBox2.Text(), "9600");
  ExpectIdle();
  const std::string pane = PaneText();
  EXPECT_NE(pane.find("读取开始"), std::string::npos);
  // The doubtful lines are told before the run, which goes on as the language says.
  EXPECT_NE(pane.find("line 9 (echo/x): echo is not a keyword (ECHO?); the line is shown and does nothing\r\n"
                      "line 14 (BAUDRATE/abc): not a rate; 9600 is used\r\n"),
            std::string::npos)
      << pane;
  EXPECT_EQ(pane.find("\necho/x"), std::string::npos);
  EXPECT_EQ(pane.find("note"), std::string::npos);
  // Replies during the run are not shown; the prompt after the closing CR is.
  EXPECT_EQ(pane.find("/2"), std::string::npos) << pane;
  EXPECT_NE(pane.find(">"), std::string::npos) << pane;
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(BatchRunTest, EmptyAndCommentOnlyScripts) {
  EXPECT_EQ(Run({" ", "\t", ""}).end, End::EmptyScript);
  EXPECT_EQ(Shown(), "请输入要执行的命令脚本！");
  EXPECT_EQ(Run({}).end, End::EmptyScript);
  Settle();
  EXPECT_EQ(TakeReceived(), "");

  EXPECT_EQ(Run({"// only", "/ comments"}).end, End::Finished);
  Settle();
  EXPECT_EQ(TakeReceived(), "\r");
  ExpectIdle();
}

TEST_F(BatchRunTest, SpeedMovesDriveAndPortTogether) {
  EXPECT_EQ(Run({"LEVEL/T", "SPEED/115200", "STR/at115200"}).end, End::Finished);
  Settle(10);
  EXPECT_EQ(drive->Rate(), 115200);
  EXPECT_EQ(main->ComboBox2.Text(), "115200");
  std::string received = TakeReceived();
  EXPECT_NE(received.find("B0115\r"), std::string::npos);
  EXPECT_NE(received.find("at115200\r"), std::string::npos);

  // Any text that is not a faster rate means 9600. The level test's Ctrl-Z
  // brings the terminal levels back to T, so only the monitor (F) takes the
  // other-level command.
  EXPECT_EQ(Run({"LEVEL/F", "SPEED/38400", "STR/at38400", "SPEED/abc", "STR/at9600"}).end, End::Finished);
  Settle(10);
  EXPECT_EQ(drive->Rate(), 9600);
  EXPECT_EQ(main->ComboBox2.Text(), "9600");
  received = TakeReceived();
  EXPECT_NE(received.find("b0384\r"), std::string::npos);
  EXPECT_NE(received.find("at38400\r"), std::string::npos);
  EXPECT_NE(received.find("b0096\r"), std::string::npos);
  EXPECT_NE(received.find("at9600\r"), std::string::npos);
}

TEST_F(BatchRunTest, LevelFSwitchesToTheMonitor) {
  EXPECT_EQ(Run({"LEVEL/F"}).end, End::Finished);
  EXPECT_EQ(drive->Level(), "F");
  EXPECT_NE(PaneText().find("转换至F级...........成功！"), std::string::npos) << PaneText();
}

TEST_F(BatchRunTest, ARaisedErrorEndsTheRunAndReturnsToIdle) {
  auto result = Run({"STR/a", "SLEEP/zz", "STR/b"});
  EXPECT_EQ(result.end, End::Failed);
  EXPECT_EQ(result.line, 1u);
  // The message names the line, counted from 1 as an editor counts, and the field.
  EXPECT_EQ(result.error, "line 2 (SLEEP/zz): the time 'zz' is not a decimal number");
  EXPECT_EQ(Shown(), result.error);
  EXPECT_EQ(form->Edit1, "SLEEP/zz");
  Settle(10);
  EXPECT_EQ(TakeReceived(), "a\r\r");
  ExpectIdle();

  const struct {
    const char* line;
    const char* messagePart;
    const char* paneEnd = "";  // the operation's line, with its verdict
  } failing[] = {
      {"HEX/", "the byte is missing"},
      {"DEC/1.5", "the byte '1.5' is not a decimal number"},
      {"LEVEL/", "LEVEL"},
      {"SEND_FILE/x/a.bin", "the block size 'x' is not a decimal number"},
      {"R_BUF/0/zz/out.bin", "the block count 'zz' is not a hexadecimal number", "正在读取缓冲区......失败！\r\n"},
      {"W_BUF/0/1/missing.bin", "missing.bin"},
      {"SEND_FILE/512/missing.bin", "missing.bin"},
      {"CREAT_FILE/a/0/1/b/0/1/no/such/folder/out.bin", "no/such/folder/out.bin"},
  };
  for (const auto& f : failing) {
    dialogs.shown.clear();
    result = Run({f.line, "STR/never"});
    EXPECT_EQ(result.end, End::Failed) << f.line;
    EXPECT_NE(Shown().find(f.messagePart), std::string::npos) << f.line << " -> " << Shown();
    EXPECT_NE(PaneText().find(f.paneEnd), std::string::npos) << PaneText();
    ExpectIdle();
  }
  Settle(10);
  EXPECT_EQ(TakeReceived().find("never"), std::string::npos);
}

TEST_F(BatchRunTest, StopDuringALongSleepEndsTheRunAfterIt) {
  long pumped = 0;
  hookPump.hook = [&] {
    if (++pumped == 5) form->Button10Click();
  };
  const auto result = Run({"SLEEP/300", "STR/after"});
  EXPECT_EQ(result.end, End::Stopped);
  EXPECT_EQ(result.line, 0u);
  EXPECT_GT(pumped, 20);  // the whole sleep and the pause after it ran
  Settle(10);
  EXPECT_EQ(TakeReceived(), "\r");
  ExpectIdle();
}

TEST_F(BatchRunTest, StopDuringABufferReadEndsTheReadAndTheRun) {
  // Stop once the second block has been asked for.
  StopWhen([this] { return drive->Received().find("B1,1\r") != std::string::npos; });
  const auto result = Run({"R_BUF/0/40/" + Path("buf.bin"), "STR/after"});
  hookPump.hook = nullptr;
  EXPECT_EQ(result.end, End::Stopped);
  EXPECT_NE(PaneText().find("被用户中止！"), std::string::npos) << PaneText();
  Settle(10);
  const std::string received = TakeReceived();
  EXPECT_EQ(received.find("after"), std::string::npos);
  EXPECT_EQ(received.find("B3,3\r"), std::string::npos);
  ExpectIdle();
}

TEST_F(BatchRunTest, ALostPortEndsTheRun) {
  hookPump.hook = [this] {
    if (drive->Received().find("x\r") != std::string::npos) drive->CloseMaster();
  };
  const auto result = Run({"STR/x", "SLEEP/100", "R_BUF/0/1/" + Path("never.bin")});
  hookPump.hook = nullptr;
  EXPECT_EQ(result.end, End::Failed);
  EXPECT_EQ(Shown(), "line 1 (STR/x): 串口已断开，批处理已中止！");
  EXPECT_FALSE(Exists("never.bin"));
  ExpectIdle();
}

TEST_F(BatchRunTest, CreateFileBuildsFromSectorRanges) {
  std::string ten;
  for (int k = 0; k < 10; ++k) ten.append(512, static_cast<char>('a' + k));
  ASSERT_TRUE(WriteFileBytes(Path("ten.bin"), ten));
  // Relative names resolve against the working folder; the output may be a source.
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  const auto relative = Run({"CREAT_FILE/ten.bin/1/9/ten.bin/0/1/ten.bin"});
  std::filesystem::current_path(here);
  EXPECT_EQ(relative.end, End::Finished);
  EXPECT_EQ(ReadFileBytes(Path("ten.bin"), 1 << 20).bytes, ten.substr(512) + ten.substr(0, 512));
}

// CMP_FILE says in the pane whether two files are the same; a file it cannot
// read ends the run, naming the line.
TEST_F(BatchRunTest, CompareFilesSaysWhetherTheyAreTheSame) {
  ASSERT_TRUE(WriteFileBytes(Path("a.bin"), "abcdef"));
  ASSERT_TRUE(WriteFileBytes(Path("b.bin"), "abXdef"));
  std::filesystem::create_directories(dir / "sub");
  ASSERT_TRUE(WriteFileBytes(Path("sub/a.bin"), "abcdef"));
  const struct {
    const char* line;
    End end;
    const char* said;  // the pane's line, or the message
  } cases[] = {
      {"CMP_FILE/a.bin/sub/a.bin", End::Finished, "a.bin 与 sub/a.bin：相同"},
      {"CMP_FILE/a.bin/b.bin", End::Finished, "a.bin 与 b.bin：不同：1字节不同，首处在0x2"},
      {"CMP_FILE/a.bin/none.bin", End::Failed, "line 1 (CMP_FILE/a.bin/none.bin): 无法读取文件“none.bin”：文件不存在！"},
  };
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const auto result = Run({c.line});
    EXPECT_EQ(result.end, c.end);
    if (c.end == End::Failed) EXPECT_EQ(Shown(), c.said);
    else EXPECT_NE(PaneText().find(std::string(c.said) + "\r\n"), std::string::npos) << PaneText();
  }
  std::filesystem::current_path(here);
}

TEST_F(BatchRunTest, WindowLoadsSavesAndClearsScripts) {
  const std::vector<std::string> lines{"ECHO/第一行", "STR//2", ""};
  dialogs.paths = {Path("s.cmd"), Path("s.cmd"), Path("none/s.cmd"), Path("missing.cmd")};
  form->Memo1 = lines;
  form->Button1Click();
  EXPECT_EQ(ReadFileBytes(Path("s.cmd"), 1 << 20).bytes, ScriptBytesFromLines(lines));
  form->Button11Click();
  EXPECT_TRUE(form->Memo1.empty());
  form->Button51Click();
  EXPECT_EQ(form->Memo1, lines);
  form->Button1Click();
  EXPECT_EQ(Shown(), "保存文件" + Path("none/s.cmd") + "失败！");
  form->Button51Click();
  EXPECT_EQ(Shown(), "打开文件" + Path("missing.cmd") + "失败：文件不存在！");
  EXPECT_EQ(form->Memo1, lines);
}

}  // namespace
}  // namespace qv
