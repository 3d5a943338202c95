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
