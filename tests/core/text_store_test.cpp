// The pane, the prompt scan and the number texts, without a line.
#include <gtest/gtest.h>

#include "console/convert.h"
#include "console/text.h"
#include "console/text_store.h"

namespace qv {
namespace {

TEST(TextPane, LineBreaksAndAppending) {
  TextPane pane;
  pane.AppendText("a\r\n\r\nb");
  EXPECT_EQ(pane.Lines(), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_FALSE(pane.EndsWithBreak());
  pane.AppendText("c\n");  // continues the open line, then ends it
  EXPECT_EQ(pane.Lines().back(), "bc");
  EXPECT_TRUE(pane.EndsWithBreak());
  pane.AddLine("progress......");
  pane.AppendToLastLine("OK");
  EXPECT_EQ(pane.Lines().back(), "progress......OK");
  pane.AppendText("next");  // after a line added with AddLine, text starts a new line
  EXPECT_EQ(pane.Lines().back(), "next");
  EXPECT_EQ(pane.Text(), "a\r\n\r\nbc\r\nprogress......OK\r\nnext");
}

TEST(TextPane, WrapsTheLastLineAt110) {
  TextPane pane;
  pane.AppendText(std::string(250, 'x'));
  pane.WrapLastLine(110);
  ASSERT_EQ(pane.LineCount(), 3u);
  EXPECT_EQ(pane.Lines()[0].size(), 110u);
  EXPECT_EQ(pane.Lines()[1].size(), 110u);
  EXPECT_EQ(pane.Lines()[2].size(), 30u);
}

// The pane holds GBK: a two-byte character must stay whole on one line, also
// when its first half came with an earlier chunk.
TEST(TextPane, WrapNeverSplitsAGbkCharacter) {
  const std::string zhong = "\xD6\xD0";  // a two-byte character; its second byte is also a lead byte
  const std::string x108(108, 'x'), x109(109, 'x');
  const auto times = [](const std::string& text, int n) {
    std::string all;
    while (n-- > 0) all += text;
    return all;
  };
  struct Case {
    const char* what;
    std::vector<std::string> chunks;
    std::vector<size_t> lineSizes;
  };
  const Case cases[] = {
      {"pair starts at byte 110", {x109 + zhong + "abc"}, {109, 5}},
      {"pair ends at byte 110", {x108 + zhong + "abc"}, {110, 3}},
      {"first half from an earlier chunk", {x109 + "\xD6", "\xD0" "abc"}, {109, 5}},
      {"pairs from the line start", {"x" + times(zhong, 60)}, {109, 12}},
      {"a lead byte without a trail byte is a byte of its own", {x109 + "\xD6" "123"}, {110, 3}},
      {"several wraps", {times(zhong, 120)}, {110, 110, 20}},
  };
  for (const Case& c : cases) {
    TextPane pane;
    for (const std::string& chunk : c.chunks) {
      pane.AppendText(chunk);
      pane.WrapLastLine(110);
    }
    std::vector<size_t> sizes;
    for (const std::string& line : pane.Lines()) sizes.push_back(line.size());
    EXPECT_EQ(sizes, c.lineSizes) << c.what;
    // A split character would show as two replacement marks instead of itself.
    std::string whole, shown;
    for (const std::string& chunk : c.chunks) whole += chunk;
    for (const std::string& line : pane.Lines()) shown += Utf8FromGbk(line);
    EXPECT_EQ(shown, Utf8FromGbk(whole)) << c.what;
  }
}

TEST(TextPane, ReportsTheFirstChangedLine) {
  struct Recorder : TextPane::Listener {
    std::vector<size_t> firsts;
    void PaneChanged(size_t firstLine) override { firsts.push_back(firstLine); }
  } recorder;
  TextPane pane;
  pane.AddListener(&recorder);
  pane.AppendText("one\r\ntwo");
  pane.AppendText(" more");
  pane.AppendText("\r\nthree");
  pane.Clear();
  EXPECT_EQ(recorder.firsts, (std::vector<size_t>{0, 1, 1, 0}));
}

TEST(PromptScanner, FindsPromptsAcrossChunksAndKeepsOnlyTheTail) {
  PromptScanner scan;
  EXPECT_EQ(scan.Scan("output line\r\nF3 "), "");
  EXPECT_EQ(scan.Tail(), "F3 ");
  EXPECT_EQ(scan.Scan("T>"), "T>");
  EXPECT_EQ(scan.Tail(), "");
  EXPECT_EQ(scan.Scan("done\r\nF3 2>\r\n\r\n"), "2>");  // blank lines after the prompt
  EXPECT_EQ(scan.Scan("a\r\nb\r\nc"), "");
  EXPECT_EQ(scan.Tail(), "c");
  EXPECT_EQ(scan.Scan("\r\n"), "");
  EXPECT_EQ(scan.Tail(), "c\r\n");
  EXPECT_EQ(scan.Scan("ab > cd"), "");  // '>' inside a line is no prompt
  // A wait starts afresh in the middle of that line: the rest of it is no prompt.
  scan.Clear();
  EXPECT_EQ(scan.Scan(" T>"), "");
  EXPECT_EQ(scan.Scan("\r\n->"), "->");
  // After a prompt the rest of its line is the echo of the next command.
  scan.Clear();
  EXPECT_EQ(scan.Scan("/2\r\nF3 2>"), "2>");
}

// A chunk handed over while the drive was still sending may end inside a line
// that merely contains '>'; only the end of the burst decides, except for a
// line that has the shape of the drive's prompts and is the last thing received.
TEST(PromptScanner, DecidesOnlyWhenTheBurstEnds) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, bool>> chunks;  // text, burst ended with it
    std::string prompt;
    size_t decidedWith;  // the chunk that decides (index)
  };
  const Case cases[] = {
      {"cut after an arrow inside a line", {{"Zone 3 ->", false}, {" Cyl 1A2B\r\nF3 2>", true}}, "2>", 1},
      {"cut after a dash and an arrow", {{"Zone 3 -", false}, {">", false}, {" Cyl 1A2B\r\n", true}}, "", 0},
      {"a prompt's shape, the last thing received", {{"Zone 3 -> Cyl 1A2B\r\nF3 2>", false}, {"", true}}, "2>", 0},
      {"the shape cut before its '>'", {{"x\r\nF3 T", false}, {">", false}}, "T>", 1},
      {"the shape with blanks after it", {{"x\r\nT> ", false}}, "T>", 0},
      {"prompt followed by blank lines in later chunks", {{"x\r\nF3 T>\r\n", false}, {" \r\n\r\n", false}, {"", true}}, "T>", 2},
      {"a line ending in '>' that the burst continues", {{"Cyl 1A2B ->", false}, {" Hd 0\r\n", true}}, "", 0},
      {"the shape followed by a line break and more text", {{"F3 T>\r\n", false}, {"more", true}}, "", 0},
      {"the identity editor's arrow waits for the end", {{"\r\n->", false}, {"", true}}, "->", 1},
      {"complete line ending in '>', then more text", {{"a ->\r\n", false}, {"more", true}}, "", 0},
  };
  for (const Case& c : cases) {
    PromptScanner scan;
    std::string found;
    size_t at = 0;
    for (; at < c.chunks.size(); ++at) {
      found = scan.Scan(c.chunks[at].first, c.chunks[at].second);
      if (!found.empty()) break;
    }
    EXPECT_EQ(found, c.prompt) << c.what;
    if (!c.prompt.empty()) {
      EXPECT_EQ(at, c.decidedWith) << c.what;
    }
  }
  const char* shaped[] = {"T>", "2>", "F>", "A>", "F3 T>", "F3 2>"};
  const char* unshaped[] = {"->", "Zone 3 ->", "t>", "F3T>", "F3  T>", "Hd 0 >", ">"};
  for (const char* line : shaped) EXPECT_TRUE(HasPromptShape(line)) << line;
  for (const char* line : unshaped) EXPECT_FALSE(HasPromptShape(line)) << line;
  // While more than one command is outstanding a prompt's shape is not
  // enough; what a burst would end with says why it waits.
  PromptScanner ahead;
  EXPECT_EQ(ahead.Scan("\r\nF3 T>", false, false), "");
  EXPECT_EQ(ahead.Candidate(), PromptScanner::Pending::PromptShaped);
  EXPECT_EQ(ahead.Scan("/2\r\nZone 3 ->", false, false), "");
  EXPECT_EQ(ahead.Candidate(), PromptScanner::Pending::Other);
  EXPECT_EQ(ahead.Scan("", true), "->");
  EXPECT_EQ(ahead.Candidate(), PromptScanner::Pending::None);
  // While a burst goes on the scan keeps a possible prompt line but no more.
  PromptScanner scan;
  scan.Scan("F3 T>\r\n", false);
  for (int i = 0; i < 100; ++i) scan.Scan("\r\n", false);
  EXPECT_EQ(scan.Tail(), "F3 T>\r\n\r\n");
}

TEST(Convert, NumberTextsAndTheirErrors) {
  EXPECT_EQ(HexToInt("1F"), 31);
  EXPECT_EQ(HexToInt("1f"), 31);
  EXPECT_EQ(HexToInt("FFFFFFFF"), -1);
  EXPECT_EQ(StrToInt(" -12"), -12);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToIntDef("abc", 0), 0);
  EXPECT_EQ(IntToHex(0), "0");
  EXPECT_EQ(IntToHex(1000, 8), "000003E8");
  EXPECT_EQ(IntToHex(static_cast<uint32_t>(-1), 8), "FFFFFFFF");
  for (const char* bad : {"", "zz", "1G", "100000000", "12 "}) {
    try {
      HexToInt(bad);
      ADD_FAILURE() << bad;
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
    }
  }
  EXPECT_THROW(StrToInt("2147483648"), EConvertError);
  EXPECT_THROW(StrToInt("-"), EConvertError);
}

TEST(Text, GbkRoundTripAndBrokenInput) {
  const std::string gbk = Gbk("正在读取缓冲区......成功！");
  EXPECT_EQ(Gbk("　"), "\xA1\xA1");
  EXPECT_EQ(Utf8FromGbk(gbk), "正在读取缓冲区......成功！");
  // A lone lead byte and bytes that are not GBK must still give valid UTF-8.
  const std::string shown = Utf8FromGbk(std::string("ab\xFF\x81", 4));
  EXPECT_TRUE(IsValidUtf8(shown));
  EXPECT_EQ(shown.substr(0, 2), "ab");
  EXPECT_EQ(Trim("\x1A /2 \r\n"), "/2");
}

}  // namespace
}  // namespace qv
