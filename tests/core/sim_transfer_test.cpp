// Buffer dumps, the block download and the disk of the simulated drive.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sim_checksum.h"
#include "sim/sim_drive.h"
#include "sim_pc_end.h"

namespace qv::sim {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string kReady = "\x77\x88";
const std::string kAck = "\x06";
const std::string kNak = "\x15";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) lines.push_back(text.substr(at, end - at));
  lines.push_back(text.substr(at));
  return lines;
}

std::string DumpLine(size_t addr, const Bytes& data) {
  char text[8];
  std::snprintf(text, sizeof text, "%06zX", addr);
  std::string line = text;
  for (uint8_t b : data) {
    std::snprintf(text, sizeof text, " %02X", b);
    line += text;
  }
  return line;
}

Bytes Pattern(size_t n, unsigned seed) {
  Bytes data(n);
  for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>((i * seed + (i >> 7)) ^ 0xCC);
  return data;
}

TEST(SimChecksum, WorkedValues) {
  const uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(RunningSum(abc, 3), 0x164u);
  EXPECT_EQ(BlockChecksum(abc, 3, 0), 0x0184);
  EXPECT_EQ(BlockChecksum(abc, 3, 1), 0x0185);
  const Bytes zeros(512, 0), ones(512, 0xFF);
  EXPECT_EQ(BlockChecksum(zeros.data(), 512, 0), 0x0000);
  EXPECT_EQ(BlockChecksum(zeros.data(), 512, 1), 0x0001);
  EXPECT_EQ(BlockChecksum(ones.data(), 512, 0), 0xE000);
  // The seed carries a sum across pieces.
  EXPECT_EQ(RunningSum(abc + 1, 2, RunningSum(abc, 1)), 0x164u);
}

class SimTransfer : public testing::SimLineTest {
 protected:
  // Sends one frame the way the PC does, step by step; returns the verdict chunk.
  std::string Frame(int k, const Bytes& block, uint16_t checksum) {
    pc.Send("\xCC\x33");
    if (pc.ReadChunk() != kReady) return "no ready after start";
    std::string frame(1, static_cast<char>(k));
    frame.append(block.begin(), block.end());
    pc.Send(frame);
    pc.Send("\xCC\x33");
    if (pc.ReadChunk() != kReady) return "no ready after end";
    pc.Send(std::string{static_cast<char>(checksum >> 8), static_cast<char>(checksum & 0xFF)});
    return pc.ReadChunk();
  }
  std::string Frame(int k, const Bytes& block) { return Frame(k, block, BlockChecksum(block.data(), block.size(), k)); }
  void Open(const std::string& dCommand) {
    Cmd(dCommand, ">");
    pc.Send("\xCC");
    ASSERT_EQ(pc.ReadChunk(), kReady);
    pc.Send("3");
    ASSERT_EQ(pc.ReadChunk(), kReady);
  }
  void Close(const Bytes& data, int delta = 0) {
    const uint16_t sum = static_cast<uint16_t>(RunningSum(data.data(), data.size()) + delta);
    pc.Send(std::string{static_cast<char>(sum >> 8), static_cast<char>(sum & 0xFF)});
  }
  Bytes Slice(const Bytes& data, int k, size_t size = 512) {
    return Bytes(data.begin() + k * size, data.begin() + (k + 1) * size);
  }

};

TEST_F(SimTransfer, DumpLayout) {
  Cmd("/2\r", "F3 2>");
  const std::vector<std::string> lines = Lines(Cmd("B1,2\r", "F3 2>"));
  ASSERT_EQ(lines.size(), 1u + 1 + 32 + 1);  // echo, header, two blocks, prompt
  EXPECT_EQ(lines[0], "B1,2");
  EXPECT_EQ(lines[1].substr(0, 4), "ADDR");
  EXPECT_EQ(lines.back(), "F3 2>");
  const Bytes data = drive.BufferBytes(512, 1024);
  for (int l = 0; l < 32; ++l) {
    const size_t addr = 512 + l * 32;
    EXPECT_EQ(lines[2 + l], DumpLine(addr, Bytes(data.begin() + l * 32, data.begin() + l * 32 + 32)));
  }
  // Either case is read; a block past the buffer isn't dumped.
  EXPECT_EQ(Lines(Cmd("Ba,a\r", "F3 2>")).size(), 1u + 1 + 16 + 1);
  EXPECT_EQ(Lines(Cmd("B8800,8800\r", "F3 2>"))[1], "Block out of range");
}

TEST_F(SimTransfer, DumpDamageForParserTests) {
  drive.SetBufferBytes(0, Bytes(512, 0xAB));
  Cmd("/2\r", "F3 2>");
  drive.SetOptions(SimOptions{.dumpSkipLine = true});
  std::vector<std::string> lines = Lines(Cmd("B0\r", "F3 2>"));
  ASSERT_EQ(lines.size(), 2u + 15 + 1);
  EXPECT_EQ(lines[7].substr(0, 6), "0000C0");  // 0000A0 is missing

  drive.SetOptions(SimOptions{.dumpLowerCase = true});
  lines = Lines(Cmd("B0\r", "F3 2>"));
  std::string lower = "0000C0";
  for (int i = 0; i < 32; ++i) lower += " ab";
  EXPECT_EQ(lines[8], lower);

  drive.SetOptions(SimOptions{.dumpExtraLines = true});
  lines = Lines(Cmd("B0\r", "F3 2>"));
  EXPECT_EQ(lines[1], "Buffer display");
  EXPECT_EQ(lines[2].substr(0, 4), "ADDR");
  EXPECT_EQ(lines[19].substr(0, 6), "000200");  // a 17th line, in sequence
  EXPECT_EQ(lines.back(), "F3 2>");

  drive.SetOptions(SimOptions{.dumpMissingPrompt = true});
  pc.Send("B0\r");
  const std::string text = pc.ReadFor(150);
  EXPECT_EQ(Lines(text).size(), 2u + 16 + 1);
  EXPECT_EQ(text.find('>'), std::string::npos);
}

TEST_F(SimTransfer, DownloadIntoTheBuffer) {
  const Bytes data = Pattern(3 * 512, 7);
  Open("d20\r");
  // Blocks 1..n-1 first, block 0 last; each answer comes as a read of its own.
  EXPECT_EQ(Frame(1, Slice(data, 1)), kAck);
  EXPECT_EQ(Frame(2, Slice(data, 2)), kAck);
  EXPECT_EQ(Frame(0, Slice(data, 0)), kAck);
  EXPECT_EQ(drive.DownloadsCompleted(), 0);
  Close(data);
  // Nothing is printed when the download ends; the next CR gets the prompt.
  EXPECT_EQ(pc.ReadFor(50), "");
  EXPECT_EQ(Cmd("\r", "F3 T>"), "\r\nF3 T>");
  EXPECT_EQ(drive.DownloadsCompleted(), 1);
  EXPECT_EQ(drive.LastDownload(), data);
  EXPECT_EQ(drive.BufferBytes(0x20 * 512, data.size()), data);
  EXPECT_EQ(drive.Rate(), 9600);
}

TEST_F(SimTransfer, RefusedBlocksAreSentAgain) {
  const Bytes data = Pattern(2 * 512, 11);
  Open("d0\r");
  const Bytes one = Slice(data, 1);
  const uint16_t right = BlockChecksum(one.data(), 512, 1);
  EXPECT_EQ(Frame(1, one, right ^ 0x0100), kNak);
  EXPECT_EQ(Frame(1, one, right), kAck);
  drive.RefuseNextBlocks(2);
  EXPECT_EQ(Frame(0, Slice(data, 0)), kNak);
  EXPECT_EQ(Frame(0, Slice(data, 0)), kNak);
  EXPECT_EQ(Frame(0, Slice(data, 0)), kAck);
  Close(data);
  Cmd("\r", "F3 T>");
  EXPECT_EQ(drive.LastDownload(), data);
}

TEST_F(SimTransfer, WrongClosingChecksumKeepsTheBuffer) {
  const Bytes before = drive.BufferBytes(0, 512);
  const Bytes data = Pattern(512, 3);
  Open("d0\r");
  ASSERT_EQ(Frame(0, data), kAck);
  Close(data, 1);
  EXPECT_EQ(Cmd("\r", "F3 T>"), "\r\nF3 T>");
  EXPECT_EQ(drive.DownloadsRejected(), 1);
  EXPECT_TRUE(drive.LastDownload().empty());
  EXPECT_EQ(drive.BufferBytes(0, 512), before);
}

TEST_F(SimTransfer, FallBackTo9600AfterTheClosingChecksum) {
  drive.SetOptions(SimOptions{.fallBackTo9600AfterDownload = true});
  Cmd("B0115\r", "F3 T>");
  pc.SetRate(115200);
  const Bytes data = Pattern(512, 5);
  Open("/2d0\r");
  ASSERT_EQ(Frame(0, data), kAck);
  EXPECT_EQ(drive.Rate(), 115200);
  Close(data);
  pc.Send("\r");
  const std::string noise = pc.ReadFor(100);
  EXPECT_EQ(noise.size(), 1u);
  EXPECT_EQ(drive.Rate(), 9600);
  pc.SetRate(9600);
  EXPECT_EQ(Cmd("\r", "F3 2>"), "\r\nF3 2>");
  EXPECT_EQ(drive.LastDownload(), data);
}

TEST_F(SimTransfer, BlockSizeFieldAndAbandonedDownloads) {
  // "d<pos>,<k>" takes blocks of 512 << k bytes.
  const Bytes data = Pattern(2 * 1024, 9);
  Open("d4,1\r");
  EXPECT_EQ(Frame(1, Slice(data, 1, 1024)), kAck);
  EXPECT_EQ(Frame(0, Slice(data, 0, 1024)), kAck);
  Close(data);
  EXPECT_EQ(Cmd("\r", "F3 T>"), "\r\nF3 T>");
  EXPECT_EQ(drive.BufferBytes(4 * 512, data.size()), data);

  // A download given up between frames hands the terminal back at once.
  Open("d0\r");
  EXPECT_EQ(Cmd("/\r", "F3 T>"), "/\r\nF3 T>");
  // So does anything but the opening byte after "d".
  Cmd("d0\r", "F3 T>");
  EXPECT_EQ(Cmd("/2\r", "F3 2>"), "/2\r\nF3 2>");
  EXPECT_EQ(Lines(Cmd("dz\r", "F3 2>"))[1], "Bad download address");
  EXPECT_EQ(drive.DownloadsCompleted(), 1);
}

TEST_F(SimTransfer, TrackWriteAndReadBack) {
  const Bytes untouched = drive.SectorBytes(0x10, 1, 5);
  EXPECT_NE(untouched, drive.SectorBytes(0x10, 1, 6));
  EXPECT_NE(untouched, drive.SectorBytes(0x10, 0, 5));
  const Bytes data = Pattern(2 * 512, 13);
  drive.SetBufferBytes(0, data);
  Cmd("/2\r", "F3 2>");
  Cmd("s10,1,22\r", "F3 2>");
  EXPECT_EQ(Lines(Cmd("w,5,2\r", "F3 2>"))[1], "Wrote 2 sectors from 5 OK");
  EXPECT_EQ(drive.SectorBytes(0x10, 1, 5), Slice(data, 0));
  EXPECT_EQ(drive.SectorBytes(0x10, 1, 6), Slice(data, 1));

  drive.SetBufferBytes(0, Bytes(3 * 512, 0));
  Cmd("s10,1,22\r", "F3 2>");
  Cmd("r,4,3\r", "F3 2>");
  Bytes expected = drive.SectorBytes(0x10, 1, 4);
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(drive.BufferBytes(0, 3 * 512), expected);
  // Another track reads the pattern, not what was written here.
  Cmd("s11,1,22\r", "F3 2>");
  Cmd("r,5,1\r", "F3 2>");
  EXPECT_EQ(drive.BufferBytes(0, 512), drive.SectorBytes(0x11, 1, 5));
  EXPECT_EQ(Lines(Cmd("r,5\r", "F3 2>"))[1], "Bad sector range");
}

}  // namespace
}  // namespace qv::sim
