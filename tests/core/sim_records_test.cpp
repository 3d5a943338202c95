// The reserved-area queries and the identity editor of the simulated drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim/sim_drive.h"
#include "sim_pc_end.h"

namespace qv::sim {
namespace {


std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// How the PC reads the start of the reserved area from a "%" line: past the
// first quoted name, the text before "-".
std::string StartAfterFirstName(std::string line) {
  line = Trim(line);
  line = Trim(line.substr(line.find('"') + 1));
  line = Trim(line.substr(line.find('"') + 1));
  return Trim(line.substr(0, line.find('-')));
}

class SimRecords : public testing::SimLineTest {
 protected:
  std::vector<std::string> LinesStarting(const std::string& text, const std::string& start) {
    std::vector<std::string> found;
    size_t at = 0;
    for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
      if (text.compare(at, start.size(), start) == 0) found.push_back(text.substr(at, end - at));
    return found;
  }

};

TEST_F(SimRecords, ReservedAreaQueries) {
  // "%" is answered at its keystroke.
  const std::vector<std::string> colon = LinesStarting(Cmd("%", "F3 T>"), ":");
  ASSERT_EQ(colon.size(), 1u);
  EXPECT_EQ(std::count(colon[0].begin(), colon[0].end(), '"'), 4);
  EXPECT_EQ(StartAfterFirstName(colon[0]), "0007F");

  // Without an answer to "%" the directory at level 2 still names it.
  drive.SetOptions(SimOptions{.answerReservedQuery = false});
  EXPECT_TRUE(LinesStarting(Cmd("%\r", "Unknown command\r\nF3 T>"), ":").empty());
  Cmd("/2\r", "F3 2>");
  const std::string dir = Cmd("x\r", "F3 2>");
  EXPECT_EQ(LinesStarting(dir, "Reserve:"), std::vector<std::string>{"Reserve:0007F-00083"});
  EXPECT_EQ(LinesStarting(dir, "Sys="), std::vector<std::string>{"Sys=0007F-00083"});
}

TEST_F(SimRecords, IdentityEditor) {
  EXPECT_EQ(Cmd("F,,22\r", "F3 T>"), "F,,22\r\nOK\r\nF3 T>");
  EXPECT_FALSE(drive.InIdentityEditor());
  EXPECT_EQ(Cmd("F\r", "->"), "F\r\n->");
  EXPECT_TRUE(drive.InIdentityEditor());
  EXPECT_EQ(Cmd("\r", "->"), "\r\n->");
  EXPECT_EQ(Cmd("F\r", "->"), "F\r\n->");
  // Word numbers come in the even-digit hex form: "1B", "3C", "0100".
  EXPECT_EQ(Cmd("ASCI1B5354\r", "->"), "ASCI1B5354\r\n->");
  Cmd("F\r", "->");
  Cmd("ASCI3c2800\r", "->");
  Cmd("ASCI00FF0950\r", "->");
  EXPECT_EQ(Cmd("ASCI0100ABCD\r", "->"), "ASCI0100ABCD\r\nBad identity command\r\n->");
  EXPECT_EQ(Cmd("ASCI1B53\r", "->"), "ASCI1B53\r\nBad identity command\r\n->");
  std::vector<uint16_t> words = drive.IdWords();
  ASSERT_EQ(words.size(), 256u);
  EXPECT_EQ(words[0x1B], 0x5354);
  EXPECT_EQ(words[0x3C], 0x2800);
  EXPECT_EQ(words[0xFF], 0x0950);

  // "FE" puts the record back as it was made.
  Cmd("ASCIFE\r", "->");
  words = drive.IdWords();
  EXPECT_EQ(words[1], 0x3FFF);
  EXPECT_EQ(words[0x1B], ('Q' << 8) | 'U');
  EXPECT_EQ(words[0xFF], 0);

  EXPECT_EQ(Cmd("\x1A", "F3 T>"), "\r\nF3 T>");
  EXPECT_FALSE(drive.InIdentityEditor());
  // A level command leaves the editor too.
  Cmd("F\r", "->");
  EXPECT_EQ(Cmd("/2\r", "F3 2>"), "/2\r\nF3 2>");
  EXPECT_FALSE(drive.InIdentityEditor());
}

}  // namespace
}  // namespace qv::sim
