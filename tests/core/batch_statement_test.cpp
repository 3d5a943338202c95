// The batch language: line forms, keywords and the field rules of each keyword,
// and script files.
#include <gtest/gtest.h>

#include "batch/script_file.h"
#include "batch/statement.h"
#include "console/text.h"

namespace qv {
namespace {

using Kind = ScriptLine::Kind;

TEST(BatchLine, FormsOfALine) {
  EXPECT_EQ(ParseLine("").kind, Kind::Empty);
  EXPECT_EQ(ParseLine(" \t\x01\r").kind, Kind::Empty);
  EXPECT_EQ(ParseLine("  // STR/x").kind, Kind::Comment);
  EXPECT_EQ(ParseLine("/T").kind, Kind::Comment);

  const ScriptLine text = ParseLine("\t just words ");
  EXPECT_EQ(text.kind, Kind::Text);
  EXPECT_EQ(text.text, "just words");

  const ScriptLine st = ParseLine("  STR//2Z  \r");
  EXPECT_EQ(st.kind, Kind::Statement);
  EXPECT_EQ(st.text, "STR//2Z");
  EXPECT_EQ(st.keyword, "STR");
  EXPECT_EQ(st.argument, "/2Z");

  // The keyword is taken verbatim: a blank before the "/" makes it another word.
  const ScriptLine spaced = ParseLine("LEVEL /T");
  EXPECT_EQ(spaced.keyword, "LEVEL ");
  EXPECT_EQ(KeywordOf(spaced.keyword), Keyword::None);
  EXPECT_EQ(ParseLine("LEVEL/ T").argument, " T");
  EXPECT_EQ(ParseLine("STR/").argument, "");
}

TEST(BatchLine, KeywordsAreExactAndCaseSensitive) {
  const std::pair<const char*, Keyword> known[] = {
      {"ECHO", Keyword::ECHO},       {"LEVEL", Keyword::LEVEL},         {"SLEEP", Keyword::SLEEP},
      {"SPEED", Keyword::SPEED},     {"BAUDRATE", Keyword::BAUDRATE},   {"STR", Keyword::STR},
      {"HEX", Keyword::HEX},         {"DEC", Keyword::DEC},             {"SEND_FILE", Keyword::SEND_FILE},
      {"R_SECTORS", Keyword::R_SECTORS}, {"W_SECTORS", Keyword::W_SECTORS}, {"R_BUF", Keyword::R_BUF},
      {"W_BUF", Keyword::W_BUF},     {"CREAT_FILE", Keyword::CREAT_FILE},
  };
  for (const auto& [text, keyword] : known) EXPECT_EQ(KeywordOf(text), keyword) << text;
  for (const char* other : {"echo", "Echo", "ECHO ", " ECHO", "ECH", "ECHOS", "CREATE_FILE", "", "R_BUF "})
    EXPECT_EQ(KeywordOf(other), Keyword::None) << other;
}

TEST(BatchFields, SplitStepTrimsAndKeepsRemainderWithoutSlash) {
  std::string rest = " 10 / 0 /x ";
  std::string after;
  EXPECT_EQ(SplitStep(rest, &after), "10");
  EXPECT_EQ(rest, "0 /x");
  EXPECT_EQ(after, " 0 /x ");
  EXPECT_EQ(SplitStep(rest), "0");
  EXPECT_EQ(rest, "x");
  EXPECT_EQ(SplitStep(rest, &after), "");
  EXPECT_EQ(rest, "x");
  EXPECT_EQ(after, "x");
}

TEST(BatchFields, SendFileTakesTheFileVerbatim) {
  SendFileArgs a = SplitSendFileArgs(" 512 / dir/ module.bin");
  EXPECT_EQ(a.blockSize, "512");
  EXPECT_EQ(a.file, " dir/ module.bin");
  a = SplitSendFileArgs("512");
  EXPECT_EQ(a.blockSize, "");
  EXPECT_EQ(a.file, "512");
}

TEST(BatchFields, BufferArgumentsKeepTheFileVerbatimAfterTheSecondSlash) {
  BufferArgs a = SplitBufferArgs("0 / 20 / buf.bin");
  EXPECT_EQ(a.startBlock, "0");
  EXPECT_EQ(a.blockCount, "20");
  EXPECT_EQ(a.file, " buf.bin");
  a = SplitBufferArgs("10/2//tmp/buf.bin");  // an absolute path survives whole
  EXPECT_EQ(a.file, "/tmp/buf.bin");
  a = SplitBufferArgs("10/2");
  EXPECT_EQ(a.startBlock, "10");
  EXPECT_EQ(a.blockCount, "");
  EXPECT_EQ(a.file, "2");
}

TEST(BatchFields, TrackArgumentsDropAnExtraSeventhField) {
  TrackArgs a = SplitTrackArgs("10/0/0/80/0/400/track.bin");
  EXPECT_EQ(a.cylinder, "10");
  EXPECT_EQ(a.head, "0");
  EXPECT_EQ(a.buffer, "0");
  EXPECT_EQ(a.chunk, "80");
  EXPECT_EQ(a.startSector, "0");
  EXPECT_EQ(a.sectorCount, "400");
  EXPECT_EQ(a.file, "track.bin");
  EXPECT_EQ(SplitTrackArgs("10/0/0/80/0/400/x/track.bin").file, "track.bin");
  EXPECT_EQ(SplitTrackArgs("10/0/0/80/0/400/x//tmp/t.bin").file, "/tmp/t.bin");
  EXPECT_EQ(SplitTrackArgs("10/ 1 /0/80/0/ 400 / t.bin").file, "t.bin");
  a = SplitTrackArgs("10/0/0");  // missing fields are empty
  EXPECT_EQ(a.head, "0");
  EXPECT_EQ(a.buffer, "");
  EXPECT_EQ(a.sectorCount, "");
  EXPECT_EQ(a.file, "0");
}

TEST(BatchFields, CreateFileTakesTheWholeRemainderAsOutput) {
  CutJoinRequest r = SplitCreateFileArgs("a.bin/1/9/a.bin/0/1/out/table.bin");
  EXPECT_EQ(r.source1, "a.bin");
  EXPECT_EQ(r.start1, "1");
  EXPECT_EQ(r.count1, "9");
  EXPECT_EQ(r.source2, "a.bin");
  EXPECT_EQ(r.start2, "0");
  EXPECT_EQ(r.count2, "1");
  EXPECT_EQ(r.output, "out/table.bin");
  r = SplitCreateFileArgs("v.bin/4/1////id.bin");
  EXPECT_EQ(r.source2 + r.start2 + r.count2, "");
  EXPECT_EQ(r.output, "id.bin");
}

TEST(ScriptFile, LineEndsAndEncodings) {
  EXPECT_EQ(SplitScriptText("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitScriptText("a\n\n\r\n"), (std::vector<std::string>{"a", "", ""}));
  EXPECT_TRUE(SplitScriptText("").empty());

  const std::string utf8 = "ECHO/读取缓冲区";
  EXPECT_EQ(ScriptLinesFromBytes(Gbk(utf8) + "\r\nSTR//2\r\n"), (std::vector<std::string>{utf8, "STR//2"}));
  EXPECT_EQ(ScriptLinesFromBytes(utf8 + "\n"), std::vector<std::string>{utf8});
  EXPECT_EQ(ScriptLinesFromBytes("\xEF\xBB\xBF" "ECHO/x"), std::vector<std::string>{"ECHO/x"});

  // Saved as GBK with CR LF after every line; what GBK can't hold stays UTF-8.
  EXPECT_EQ(ScriptBytesFromLines({utf8, ""}), Gbk(utf8) + "\r\n\r\n");
  const std::vector<std::string> emoji{"ECHO/ok 😀"};
  EXPECT_EQ(ScriptLinesFromBytes(ScriptBytesFromLines(emoji)), emoji);
}

TEST(ScriptFile, GarbageAndLongLinesLoad) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) & 0xFF);
  const auto lines = ScriptLinesFromBytes(garbage);
  EXPECT_FALSE(lines.empty());
  for (const auto& line : lines) EXPECT_TRUE(IsValidUtf8(line));

  const std::string longLine = "STR/" + std::string(1 << 20, 'A');
  const auto big = ScriptLinesFromBytes(longLine + "\r\nECHO/x");
  ASSERT_EQ(big.size(), 2u);
  EXPECT_EQ(big[0], longLine);
  EXPECT_EQ(ParseLine(big[0]).argument.size(), size_t{1} << 20);
}

}  // namespace
}  // namespace qv
