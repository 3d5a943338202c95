// The dump parser and the download sums, without a drive.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "console/convert.h"
#include "transfer/checksum.h"
#include "transfer/dump_parser.h"

namespace qv {
namespace {

// One dump line: address, a blank, the pairs.
std::string Line(unsigned address, const std::vector<uint8_t>& bytes, const char* digits = "%02X") {
  char text[16];
  std::snprintf(text, sizeof text, "%06X", address);
  std::string line = text;
  for (uint8_t b : bytes) {
    std::snprintf(text, sizeof text, digits, b);
    line += ' ';
    line += text;
  }
  return line;
}

std::vector<uint8_t> Pattern(unsigned address) {
  std::vector<uint8_t> bytes(32);
  for (unsigned i = 0; i < 32; ++i) bytes[i] = static_cast<uint8_t>((address + i) * 7);
  return bytes;
}

// A block as the drive shows it, with the echo before it and the prompt after.
std::string Dump(unsigned firstAddress, int lines = 16) {
  std::string text = "B0,0\r\nADDR   00 01 02 03\r\n";
  for (int l = 0; l < lines; ++l) text += Line(firstAddress + 0x20 * l, Pattern(firstAddress + 0x20 * l)) + "\r\n";
  return text + "F3 2>";
}

std::vector<uint8_t> Expected(unsigned firstAddress, int lines = 16) {
  std::vector<uint8_t> all;
  for (int l = 0; l < lines; ++l) {
    const auto b = Pattern(firstAddress + 0x20 * l);
    all.insert(all.end(), b.begin(), b.end());
  }
  return all;
}

std::vector<uint8_t> ParseOne(const std::string& capture) {
  std::vector<uint8_t> out;
  DumpParser parser(out);
  parser.Parse(capture);
  return out;
}

std::string ConvertMessage(const std::string& capture) {
  try {
    ParseOne(capture);
  } catch (const EConvertError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(DumpParser, WholeBlockAndWhatItSkips) {
  EXPECT_EQ(ParseOne(Dump(0x400)), Expected(0x400));
  // Without a header nothing is taken, however dump-like the lines are.
  std::string noHeader = Dump(0);
  noHeader.replace(noHeader.find("ADDR"), 4, "ADRS");
  EXPECT_TRUE(ParseOne(noHeader).empty());
  // Stray text, blank lines and the prompt around the dump change nothing.
  std::string noisy = "junk\r\n\r\n" + Dump(0x200);
  noisy.insert(noisy.rfind("F3 2>"), "\r\nstray 0123 text\r\n");
  EXPECT_EQ(ParseOne(noisy), Expected(0x200));
  // A header in any letter case, with blanks before it.
  std::string lower = Dump(0);
  lower.replace(lower.find("ADDR"), 4, "   addr");
  EXPECT_EQ(ParseOne(lower), Expected(0));
}

TEST(DumpParser, LineRules) {
  // A 17th line with the next address is left for the next block.
  std::vector<uint8_t> out;
  DumpParser parser(out);
  parser.Parse(Dump(0, 17));
  EXPECT_EQ(out, Expected(0));
  EXPECT_EQ(parser.AcceptedLines(), 16);
  EXPECT_EQ(parser.ExpectedAddress(), "000200");

  // A gap: the lines after it no longer carry the expected address.
  std::string gap = Dump(0);
  const size_t at = gap.find("0000A0");
  gap.erase(at, gap.find("\r\n", at) + 2 - at);
  EXPECT_EQ(ParseOne(gap), Expected(0, 5));

  // A short line gives its bytes and the address still advances by 0x20.
  std::string shortLine = "ADDR\r\n" + Line(0, std::vector<uint8_t>(16, 0xAB)) + "\r\n" + Line(0x20, {1, 2}) + "\r\n";
  std::vector<uint8_t> want(16, 0xAB);
  want.push_back(1);
  want.push_back(2);
  EXPECT_EQ(ParseOne(shortLine), want);

  // Lower-case data digits are fine; in the address column only the first line may use them.
  const std::string lowerData = "ADDR\r\n" + Line(0xA0, {0xAB, 0xCD}, "%02x") + "\r\n";
  EXPECT_EQ(ParseOne(lowerData), (std::vector<uint8_t>{0xAB, 0xCD}));
  EXPECT_EQ(ParseOne("ADDR\r\n0000a0 01\r\n0000C0 02\r\n"), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(ParseOne("ADDR\r\n0000A0 01\r\n0000c0 02\r\n"), (std::vector<uint8_t>{1}));

  // A lone digit at the end of a line is a byte of its own.
  EXPECT_EQ(ParseOne("ADDR\r\n000000 AB C\r\n"), (std::vector<uint8_t>{0xAB, 0x0C}));
  // Only the first header counts; a later one is just a line without the address.
  EXPECT_EQ(ParseOne("ADDR\r\n000000 01\r\nADDR\r\n000020 02\r\n"), (std::vector<uint8_t>{1, 2}));
  // Lines may end in LF alone, and a last line without any break still counts.
  EXPECT_EQ(ParseOne("ADDR\n000000 01\n000020 02"), (std::vector<uint8_t>{1, 2}));
}

TEST(DumpParser, AddressRunsOnAcrossBlocksUntilReset) {
  // The blocks of one track chunk: one address from start to end.
  std::vector<uint8_t> out;
  DumpParser parser(out);
  parser.Parse(Dump(0));
  parser.ResetLineCount();
  parser.Parse(Dump(0x200));
  EXPECT_EQ(out.size(), 1024u);
  // A block whose addresses start afresh brings nothing.
  parser.ResetLineCount();
  parser.Parse(Dump(0));
  EXPECT_EQ(out.size(), 1024u);
  parser.ResetAddress();
  parser.ResetLineCount();
  parser.Parse(Dump(0));
  EXPECT_EQ(out.size(), 1536u);

  // Past the six-digit column's top no line can match any more.
  std::vector<uint8_t> top;
  DumpParser wrap(top);
  wrap.Parse("ADDR\r\nFFFFE0 01\r\n000000 02\r\n");
  EXPECT_EQ(top, std::vector<uint8_t>{1});
  EXPECT_EQ(wrap.ExpectedAddress(), "1000000");
}

TEST(DumpParser, NotHexadecimalRaises) {
  EXPECT_EQ(ConvertMessage("ADDR\r\n000000 01 G2 03\r\n"), "'G2' is not a valid integer value");
  EXPECT_EQ(ConvertMessage("ADDR\r\nXYZ000 01\r\n"), "'XYZ000' is not a valid integer value");
  // A blank first line leaves no address to count on from.
  EXPECT_EQ(ConvertMessage("ADDR\r\n\r\n000000 01\r\n"), "'' is not a valid integer value");
  // Single digits with blanks between them are not pairs.
  EXPECT_EQ(ConvertMessage("ADDR\r\n000000 1 2\r\n"), "'1 ' is not a valid integer value");
  // The bytes before the bad pair are kept.
  std::vector<uint8_t> out;
  DumpParser parser(out);
  EXPECT_THROW(parser.Parse("ADDR\r\n000000 01 02 ZZ\r\n"), EConvertError);
  EXPECT_EQ(out, (std::vector<uint8_t>{1, 2}));
}

TEST(DumpParser, NeverReadsPastTheText) {
  // The text lives in a block of exactly its size, so a read past its end
  // trips the address sanitizer; every cut of the dump must parse cleanly.
  const std::string full = Dump(0x600) + "\r\n";
  for (size_t cut = 0; cut <= full.size(); cut += 7) {
    auto exact = std::make_unique<char[]>(cut + 1);
    std::memcpy(exact.get(), full.data(), cut);
    std::vector<uint8_t> out;
    DumpParser parser(out);
    parser.Parse(std::string_view(exact.get(), cut));
    EXPECT_LE(out.size(), 512u);
  }
  // A cut that ends right after the first digit of a pair gives that digit alone.
  EXPECT_EQ(ParseOne("ADDR\r\n000000 01 0"), (std::vector<uint8_t>{1, 0}));
  // Very long lines: after each pair only the next 200 characters are kept.
  const std::string longLine = "ADDR\r\n000000 " + std::string(600, 'A') + "\r\n";
  EXPECT_EQ(ParseOne(longLine).size(), 101u);
}

TEST(DownloadSums, WorkedValues) {
  const uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(RunningSum(abc, 3), 0x164u);
  EXPECT_EQ(BlockChecksum(abc, 3, 0), 0x0184);
  EXPECT_EQ(BlockChecksum(abc, 3, 1), 0x0185);
  const std::vector<uint8_t> zeros(512, 0), ones(512, 0xFF);
  EXPECT_EQ(BlockChecksum(zeros.data(), 512, 0), 0x0000);
  EXPECT_EQ(BlockChecksum(zeros.data(), 512, 1), 0x0001);
  EXPECT_EQ(BlockChecksum(ones.data(), 512, 0), 0xE000);
  // The seed carries a sum on, so a sum can be taken in pieces.
  EXPECT_EQ(RunningSum(abc + 1, 2, RunningSum(abc, 1)), 0x164u);
  EXPECT_EQ(ClosingChecksum(abc, 3), 0x0164);
}

}  // namespace
}  // namespace qv
