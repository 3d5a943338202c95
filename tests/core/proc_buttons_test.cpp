// The procedure buttons against the simulated drive: what the drive receives,
// what the technician is asked and sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>

#include "console/text.h"
#include "procedures/procedure_buttons.h"
#include "tests/support/sim_fixture.h"

namespace qv {
namespace {

struct Expected {
  const char* name;
  std::string bytes;
};

const std::string kAdjustTail =
    "AD\rA8,001000,,00\rA9,00100A,,00\rAE,00\rAA,00\r/AY,6,6,8\r/2W,,,,11\r/2R,,,,11\r|\r/6B0\r\n";

// Every button, with the edit boxes as ProcButtons::SetUp fills them.
const Expected kExpected[] = {
    {"Button24", "/TV4\r"},
    {"Button23", "/TV2\r"},
    {"Button30", "/TV10\r"},
    {"Button42", "/TV10,,0,10\r"},
    {"Button25", "/TV40\r"},
    {"Button43", "/TV40,,0,10\r"},
    {"Button77", "/TJ\r"},
    {"Button26", "/Ti4,1,22\r"},
    {"Button28", "/Ti4,1,22\r"},
    {"Button29", "/Ti5,1,22\r"},
    {"Button27", ""},
    {"Button34", "/Tm0,5,1,3,5,,,22\r"},
    {"Button35", "/Tm0,5,1,,,,,22\r"},
    {"Button36", "/Tm0,8,3,0,0,0,0,22\r"},
    {"Button37", "/Tm0,11,2,2,2,,,22\r"},
    {"Button38", "/Tm,18,3,,,,,22\r"},
    {"Button39", "/Tm0,D,1,,,,,22\r"},
    {"Button40", "/Tm,D,3,,,,,22\r"},
    {"Button41", "/Tm0,4,3,,,,,22\r"},
    {"Button57", "/Tm0,3D,,,,,,22\r"},
    {"Button58", "/Tm,10,,,,,,22\r"},
    {"Button81", "/Tm0,6,3,,,,,22\r"},
    {"Button82", "/Tm0,6,2,,,,,22\r"},
    {"Button84", "/Tm0,15,3,,,,,22\r"},
    {"Button85", "/Tm0,38,2,,,,,22\r"},
    {"Button20", "/1N0b,,22\r"},
    {"Button22", "/1N8\r"},
    {"Button32", "/1G6A\r"},
    {"Button33", "/1G6A\r"},
    {"Button44", "/2Y,,,,1C0\r"},
    {"Button48", "/2I,3,00\r"},
    {"Button53", "/2I,3,01\r"},
    {"Button80", "/2I,3\r"},
    {"Button50", "/2T2000,0,0\r"},
    {"Button51", "/2T880\r"},
    {"Button52", "/2x0\r"},
    {"Button73", "/2a\r"},
    {"Button72", "/5B,,,,,,1\r"},
    {"Button31", "/AP\r"},
    {"Button21", "/7m100\r"},
    {"Button90", "/7X\r"},
    {"Button78", "/7I,1\r"},
    {"Button66", "/7I,1,0F,00\r"},
    {"Button67", "/7I,1,0F,01\r"},
    {"Button62", "/7w1,,22\r"},
    {"Button63", "/7w2,,22\r"},
    {"Button64", "/7w3,,22\r"},
    {"Button61", "/7\rw0,,22\r"},
    {"Button55", "/\rm,2,3,,,,,22\r"},
    {"Button56", "/A\rP\r"},
    {"Button86", "/AD\r/AW,,,11\r"},
    {"Button4", "\x1A/2\r"},
    {"Button9", "\x1A/7\r"},
    {"Button83", ""},
    {"Button45", "/\r/6E0\r/1N8\r/Ti4,1,22\r/Ti4,1,22\r/1N1\r/Tm0,6,2,,,,,22\r/2Z\r|\r/6B0\r\n"},
    {"Button49", "/\r/6E0\r/Ti4,1,22\r/1N1\r/Tm0,6,3,,,,,22\r/2Z\r/2U\r/Tm0,4,2,,,0,0,22\r/2Z\r|\r/6B0\r\n"},
    {"Button70",
     "/\r/6E0\r/Ti4,1,22\r/1N1\r/Tm0,6,3,,,,,22\r/2Z\r/2U\r/Tm0,4,2,,,0,0,22\r/AW,,,11\r/7m100\r/2Z\r|\r/6B0\r\n"},
    {"Button79",
     "/\r/6E0\r/Ti4,1,22\r/1N1\r/2Z\r/2U\r/TF00A2,C1\r/AP\r/Tm0,2,2,,,,,22\r/Tm0,2,2,,,,,22\r/2Z\r/2U\r"
     "/Tm0,6,3,,,,,22\r|\r/6B0\r\n"},
    {"Button46",
     "/\r/AR4FA6,0001,,20\r/2B232A,232A\r/1U0044,7400,0\r/1U0044,7401,0\r/1U0044,7402,0\r/1U0044,7403,0\r"
     "/2C232A,298C\r/AW4FA6,1,,20\r\n"},
    {"Button47",
     "/\r/AR4FA6,0001,,20\r/2B232B,232B\r/1U0044,7600,0\r/1U0044,7601,0\r/1U0044,7602,0\r/1U0044,7603,0\r"
     "/2C232B,298C\r/AW4FA6,1,,20\r\n"},
    {"Button59", "/\r/6E0\r/7\rI5,3,0,4,12\r" + kAdjustTail},
    {"Button60", "/\r/6E0\r/7\rI5,3,0,5,12\r" + kAdjustTail},
    {"Button65", "/\r/6E0\r/7\rI5,3,0,6,12\r" + kAdjustTail},
    {"Button89", "/\r/6E0\r/7\rI5,3,0,4,12\rI5,3,0,5,12\rI5,3,0,6,12\r" + kAdjustTail},
    {"Button69", "/7\rI5,1,0F,0,4,12,,1\r/7\r/\r\n"},
    {"Button68", "/7\rI5,1,0F,0,3,12,,1\r/7\r/\r\n"},
    {"Button75", "/7\rI5,1,6,0,0,0,12,1\r/7\rw2,,22\r/\r\n"},
    {"Button54", "/2\rF000003E8,A1\r\n"},
    {"Button91", "/\rJ\"MODEL1\",15\rJ\"MODEL1\",16\r/T\rW0,,22\r\n"},
    {"Button92", "/\rJ\"SN-42\",01\r/T\rW0,,22\r\n"},
    {"Button93", "/\rJ000007D0,17\r/T\rW0,,22\r\n"},
};

class ProcButtons : public test::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    OpenAt();
    main->Edit1 = "1000";
    main->Edit2 = "5";
    main->Edit3 = " 0 ";  // head and zone lose their blanks, the value keeps its own
    main->Edit4 = "12 ";
    main->Edit8 = "MODEL1";
    main->Edit9 = "SN-42";
    main->Edit10 = "2000";
    Settle();
    TakeReceived();
  }

  // Runs a button answering its question with Yes; returns what the drive got.
  std::string Press(const ButtonDef& button, size_t expectedSize) {
    dialogs.answers.push_back(true);
    RunButton(*main, button);
    // The last bytes may still be on their way through the pty.
    SettleUntil([&] { return drive->Received().size() >= expectedSize; });
    Settle(2);
    return TakeReceived();
  }
};

// The drive receives the same bytes however long the pauses between them
// are, so the table runs with the pauses cut short; the pacing itself is
// exercised by the pane tests below.
ButtonDef Hurried(const ButtonDef& button) {
  ButtonDef copy = button;
  for (Step& step : copy.steps)
    if (step.kind == Step::Kind::Delay || step.kind == Step::Kind::WaitHD) step.ticks = std::min(step.ticks, 3);
  return copy;
}

TEST_F(ProcButtons, DriveReceivesExactlyEachButtonsBytes) {
  for (const Expected& expected : kExpected) {
    SCOPED_TRACE(expected.name);
    const ButtonDef* button = FindProcedure(expected.name);
    ASSERT_NE(button, nullptr);
    const size_t asked = dialogs.questions.size();
    main->receiveMode = ReceiveMode::R_DATA;
    EXPECT_EQ(Press(Hurried(*button), expected.bytes.size()), expected.bytes);
    // Every button leaves the answers visible; the inert ones touch nothing.
    EXPECT_EQ(main->receiveMode, expected.bytes.empty() ? ReceiveMode::R_DATA : ReceiveMode::usercmd);
    EXPECT_EQ(dialogs.questions.size() - asked, button->question.empty() ? 0u : 1u);
    dialogs.answers.clear();
  }
}

TEST(ProcTable, EveryButtonOnceWithItsExpectation) {
  std::set<std::string_view> names;
  for (const ButtonDef* button : ProcedureButtons()) {
    EXPECT_TRUE(names.insert(button->name).second) << button->name;
    bool listed = false;
    for (const Expected& e : kExpected) listed |= button->name == e.name;
    EXPECT_TRUE(listed) << button->name;
  }
  EXPECT_EQ(names.size(), std::size(kExpected));
}

TEST(ProcTable, TypedNumbersBecomeEightHexDigits) {
  EXPECT_EQ(HexOfTyped("1000"), "000003E8");
  EXPECT_EQ(HexOfTyped("abc"), "00000000");
  EXPECT_EQ(HexOfTyped("-1"), "FFFFFFFF");
  EXPECT_EQ(HexOfTyped("2000"), "000007D0");
  EXPECT_EQ(HexOfTyped(""), "00000000");
  EXPECT_EQ(HexOfTyped("4294967296"), "00000000");  // past 32 bits: not a number
  EXPECT_EQ(HexOfTyped("2147483647"), "7FFFFFFF");
}

TEST_F(ProcButtons, QuestionsAnsweredNoSendNothingAndKeepTheMode) {
  int asked = 0;
  for (const ButtonDef* button : ProcedureButtons()) {
    if (button->question.empty()) continue;
    main->receiveMode = ReceiveMode::syscmd;
    RunButton(*main, *button);  // no answer queued: No
    ++asked;
    ASSERT_EQ(dialogs.questions.size(), static_cast<size_t>(asked));
    EXPECT_EQ(dialogs.questions.back().caption, "提示");
    EXPECT_EQ(dialogs.questions.back().text, button->question);
    EXPECT_EQ(main->receiveMode, ReceiveMode::syscmd) << button->name;
  }
  EXPECT_EQ(asked, 9);
  Settle();
  EXPECT_EQ(TakeReceived(), "");
}

TEST_F(ProcButtons, SilentProcedureShowsOnlyItsAnnouncementAndEnd) {
  const ButtonDef* button = FindProcedure("Button45");
  Press(*button, 60);
  const std::string pane = PaneText();
  // The announcement breaks where its CR is.
  EXPECT_NE(pane.find("正在ALT表快速清除，完成后会自动停转，请等待完\r\n成............"), std::string::npos);
  // The drive's answers went to the capture buffer; only the late ones of the
  // last commands, which the drive prints while the closing block runs, may
  // reach the pane.
  EXPECT_EQ(pane.find("/6E0"), std::string::npos) << pane;
  EXPECT_NE(main->Memo3.find("/6E0"), std::string::npos);
  EXPECT_NE(main->Memo3.find("/1N8"), std::string::npos);
  EXPECT_NE(pane.find("/6B0"), std::string::npos) << pane;
  EXPECT_NE(main->memo1.Text().find("\xA1\xA1"), std::string::npos);
}

TEST_F(ProcButtons, AdjustmentSendsTheValueAsTypedAndTheAnswersShow) {
  main->Edit2 = " 7";
  main->Edit3 = "\t1";
  main->Edit4 = "3";
  const std::string got = Press(*FindProcedure("Button65"), 100);
  EXPECT_NE(got.find("/7\rI 7,3,1,6,3\rAD\r"), std::string::npos) << got;
  EXPECT_NE(PaneText().find("I 7,3,1,6,3"), std::string::npos);  // the drive's echo is shown
  EXPECT_NE(PaneText().find("正在生成批处理，请等待完成............"), std::string::npos);
}

}  // namespace
}  // namespace qv
