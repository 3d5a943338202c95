// The simulated drive's firmware area: its family report, the buffer and
// "%" answers, and what its ATA and vendor modules hold.
#include <gtest/gtest.h>

#include <string>

#include "sim/sim_drive.h"
#include "sim_pc_end.h"

namespace qv::sim {
namespace {

class SimFirmware : public testing::SimLineTest {};

TEST_F(SimFirmware, ReportAndQueriesAnsweredAtTheirLevels) {
  // Ctrl-A and Ctrl-L are answered at the keystroke, at level T and elsewhere.
  EXPECT_EQ(Cmd("\x01", "F3 T>"), "\r\nBoot 0001\r\nNHPLUS2HD Family_Disk 3.AAC Dec 07 2026\r\nF3 T>");
  Cmd("/2\r", "F3 2>");
  EXPECT_EQ(Cmd("\x0C", "F3 2>"), "\r\nMask Rom Rev = S-1A\r\nServo Rev = 0001\r\nHeads = 2\r\nF3 2>");
  // So is "%", with the serial number after " AX".
  const std::string percent = Cmd("%", "F3 2>");
  EXPECT_NE(percent.find("\r\nDrive AX: QV0000000001' 3.AAC\r\n"), std::string::npos) << percent;
  EXPECT_NE(percent.find("\r\n: \"SYSTEM\" 0007F-00083"), std::string::npos) << percent;
  EXPECT_EQ(Cmd("\r", "F3 2>"), "\r\nF3 2>");
  // The buffer: "?" at level T, "B0" in the boot monitor; level 2's "B0" is a dump.
  EXPECT_NE(Cmd("B0\r", "F3 2>").find("ADDR"), std::string::npos);
  EXPECT_EQ(Cmd("/T?\r", "F3 T>"), "/T?\r\nBuffer segments\r\nRD:0000:0080\r\nWR:0000:0080\r\nF3 T>");
  drive.SetOptions(SimOptions{.trackBufferBase = 0x400, .trackChunk = 0x20});
  EXPECT_EQ(Cmd("/F\r", "F>"), "/F\r\nF>");
  EXPECT_EQ(Cmd("B0\r", "F>"), "B0\r\nBuffer segments\r\nSeg 0 RD:0400:0020:8080 WR:0400:0020\r\nF>");
  // The monitor knows no family report.
  EXPECT_EQ(Cmd("\x01\r", "F>"), "\r\nF>");
}

TEST_F(SimFirmware, ModulesHoldOverlaysAndTheIdentityRecord) {
  const SimFamily family;
  const int ata = SimDrive::kReservedFirst + family.ata.sa;
  const AtaLayout layout = *AtaLayoutFor(family.ata.count);
  // The second overlay begins at a sector start; each overlay ends in FF with zeros after it.
  const std::vector<uint8_t> second = drive.SectorBytes(ata, 0, layout.second);
  EXPECT_EQ(std::vector<uint8_t>(second.begin(), second.begin() + 4), (std::vector<uint8_t>{0, 0, 0x16, 0}));
  EXPECT_GE(layout.second * 512, 25600);
  for (int end : {layout.firstEnd, layout.secondEnd}) {
    EXPECT_EQ(drive.SectorBytes(ata, 0, end)[511], 0xFF);
    EXPECT_EQ(drive.SectorBytes(ata, 0, end + 1), std::vector<uint8_t>(512, 0));
  }
  EXPECT_NE(drive.SectorBytes(ata, 1, layout.second), second);  // head 1 holds no module
  EXPECT_FALSE(AtaLayoutFor(AtaLayout::kMinSectors - 1));

  // Sector 4 of the vendor module is the identity record, low bytes first.
  const std::vector<uint8_t> id = drive.SectorBytes(SimDrive::kReservedFirst + family.vendor.sa, 0, 4);
  const std::vector<uint16_t> words = drive.IdWords();
  for (size_t i = 0; i < words.size(); ++i) ASSERT_EQ(id[2 * i] | id[2 * i + 1] << 8, words[i]) << i;

  // Track reads put their sectors at the buffer's base.
  drive.SetOptions(SimOptions{.trackBufferBase = 0x400});
  Cmd("/2\r", "F3 2>");
  Cmd("s0,0,22\r", "F3 2>");
  Cmd("r,3,1\r", "F3 2>");
  EXPECT_EQ(drive.BufferBytes(0x400 * 512, 512), drive.SectorBytes(0, 0, 3));
}

}  // namespace
}  // namespace qv::sim
