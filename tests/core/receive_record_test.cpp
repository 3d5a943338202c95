// The receive record decided from timed traces: each transport's lumps at
// its rates, sends as marks, exact times. Nothing here runs in real time, so
// a loaded machine decides as an idle one does.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "serial/receive_trace.h"
#include "tests/support/emulated_adapter.h"

namespace qv {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// A trace written by hand: times in microseconds after the open.
class Trace {
 public:
  Trace(int rate, const std::string& transport, double manualUs = 0, const std::string& learnedUs = "-") {
    text_ = "open 0 " + std::to_string(rate) + ' ' + transport + ' ' + Us(manualUs) + ' ' + learnedUs + '\n';
  }
  Trace& Rx(double us, std::string_view bytes) { return Line("rx", us, Hex(bytes)); }
  Trace& Take(double us, std::string_view bytes) { return Line("take", us, Hex(bytes)); }
  Trace& Tx(double us, std::string_view bytes) { return Line("tx", us, Hex(bytes)); }
  Trace& Rate(double us, int rate) { return Line("rate", us, std::to_string(rate)); }
  // The lumps of an emulated transport, from `startUs` on.
  Trace& Lumps(const std::vector<test::PacedWriter::Step>& steps, double startUs = 0) {
    for (const auto& step : steps) Rx(startUs + static_cast<double>(step.at.count()), step.bytes);
    return *this;
  }
  const std::string& Text() const { return text_; }

 private:
  static std::string Us(double us) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", us);
    return text;
  }
  static std::string Hex(std::string_view bytes) {
    std::string hex;
    for (unsigned char b : bytes) {
      char two[3];
      std::snprintf(two, sizeof two, "%02x", b);
      hex += two;
    }
    return hex;
  }
  Trace& Line(const char* kind, double us, const std::string& rest) {
    text_ += std::string(kind) + ' ' + Us(us) + ' ' + rest + '\n';
    return *this;
  }
  std::string text_;
};

std::vector<ReplayedChunk> Decide(const Trace& trace) {
  std::vector<ReplayedChunk> chunks;
  std::string error;
  EXPECT_TRUE(ReplayTrace(trace.Text(), chunks, error)) << error;
  return chunks;
}

// Each chunk as the replay prints it; a line of `expected` that starts with
// '*' leaves the time out.
void ExpectChunks(const Trace& trace, const std::vector<std::string>& expected) {
  std::vector<std::string> seen;
  for (const ReplayedChunk& chunk : Decide(trace)) seen.push_back(DescribeReplayedChunk(chunk));
  std::string all;
  for (const std::string& line : seen) all += "\n  " + line;
  ASSERT_EQ(seen.size(), expected.size()) << all;
  for (size_t i = 0; i < seen.size(); ++i) {
    if (expected[i][0] == '*') {
      EXPECT_EQ(seen[i].substr(seen[i].find(' ') + 1), expected[i].substr(1)) << all;
    } else {
      EXPECT_EQ(seen[i], expected[i]) << all;
    }
  }
}

struct Transport {
  const char* name;
  std::string trace;  // as the trace's open line names it
  sim::AdapterTiming timing;
  bool bytewise = false;  // a pseudo-terminal written a byte at a time
};

const Transport kTransports[] = {
    {"FT232-class, 1 ms", "usb/1", sim::AdapterTiming::Ft232(milliseconds(1))},
    {"FT232-class, 16 ms", "usb/16", sim::AdapterTiming::Ft232(milliseconds(16))},
    {"CH340-class, no timer shown", "usb/1", sim::AdapterTiming::Ch340(milliseconds(1))},
    {"CH340-class, 16 ms", "usb/16", sim::AdapterTiming::Ch340(milliseconds(16))},
    {"UART FIFO, trigger 14", "uart/14", sim::AdapterTiming::Uart(14)},
    {"a bridge nothing has taught, FT232-class 1 ms", "unknown", sim::AdapterTiming::Ft232(milliseconds(1))},
    {"a bridge nothing has taught, FT232-class 16 ms", "unknown", sim::AdapterTiming::Ft232(milliseconds(16))},
    {"a pseudo-terminal written a byte at a time", "unknown", {}, true},
};

// Wherever a transport ends a lump, the reply comes whole, its prompt is
// decided once and last, and a ready cut in two is one ready.
TEST(ReceiveRecord, EachTransportsLumpsKeepTheReplysMeaning) {
  const std::string reply = "\r\nZone 3 -> Cyl 1A2B Hd 0\r\nF3 T>";
  for (const Transport& transport : kTransports) {
    for (int rate : {9600, 115200, 921600}) {
      SCOPED_TRACE(std::string(transport.name) + " at " + std::to_string(rate));
      const auto lumps = [&](const std::string& bytes, size_t end) {
        return transport.bytewise ? test::PacedWriter::Bytewise(bytes, test::LineTime(1, rate))
                                  : test::AdapterLumps(bytes, transport.timing, rate, {end});
      };
      for (size_t end = 1; end < reply.size(); ++end) {
        const std::vector<ReplayedChunk> chunks =
            Decide(Trace(rate, transport.trace).Tx(0, "/\r").Lumps(lumps(reply, end), 100));
        std::string text, described;
        int prompts = 0;
        for (const ReplayedChunk& c : chunks) {
          text += c.chunk.bytes;
          prompts += !c.chunk.prompt.empty();
          described += "\n  " + DescribeReplayedChunk(c);
        }
        EXPECT_EQ(text, reply) << "a lump ends after byte " << end << described;
        EXPECT_EQ(prompts, 1) << "a lump ends after byte " << end << described;
        ASSERT_FALSE(chunks.empty());
        EXPECT_EQ(chunks.back().chunk.prompt, "T>") << "a lump ends after byte " << end << described;
        if (transport.bytewise) break;
      }
      const std::vector<ReplayedChunk> chunks =
          Decide(Trace(rate, transport.trace).Tx(0, "\xCC").Lumps(lumps("w\x88", 1), 100));
      int readies = 0;
      for (const ReplayedChunk& c : chunks) readies += c.chunk.reply == Reply::Ready;
      EXPECT_EQ(readies, 1);
    }
  }
}

// The rules of the decision, each a trace as a drive and a transport make it.
TEST(ReceiveRecord, TheRulesAsTraces) {
  struct Row {
    const char* what;
    Trace trace;
    std::vector<std::string> chunks;
  };
  const Row rows[] = {
      // A quiet set by hand after a byte the drive ignores: the prompt that
      // answers the next send waits one gap, not more, and the one after
      // that counts at once.
      {"60 ms by hand, an Escape the drive ignores",
       Trace(9600, "unknown", 60'000)
           .Tx(0, "\x1B")
           .Tx(300'000, "\x1A")
           .Rx(305'000, "\r\nF3 T>")
           .Tx(335'000, "/\r")
           .Rx(340'000, "/\r\nF3 T>"),
       {"315000.000 time-limit sends=2 \"\\r\\nF3 T>\"", "335000.000 sent sends=2 \"\" prompt=T>/2",
        "340000.000 prompt sends=3 \"/\\r\\nF3 T>\" prompt=T>/3"}},
      {"60 ms by hand, an Escape the drive ignores, then silence",
       Trace(9600, "unknown", 60'000).Tx(0, "\x1B").Tx(300'000, "\x1A").Rx(305'000, "\r\nF3 T>"),
       {"315000.000 time-limit sends=2 \"\\r\\nF3 T>\"", "365000.000 quiet sends=2 \"\" prompt=T>/2"}},
      // A ready in two bursts is one ready, whether or not the PC sent
      // between its halves; on a bridge that has taught its gaps the halves
      // join.
      {"a ready 50 ms apart on a pseudo-terminal",
       Trace(115200, "unknown").Tx(0, "3").Rx(1'000, "w").Rx(51'000, "\x88"),
       {"11000.000 time-limit sends=1 \"w\"", "21000.000 quiet sends=1 \"\" reply=ready", "*quiet sends=1 \"\\x88\""}},
      {"a ready 50 ms apart, the next step sent between",
       Trace(115200, "unknown").Tx(0, "3").Rx(1'000, "w").Tx(21'500, "\x01").Rx(51'000, "\x88"),
       {"11000.000 time-limit sends=1 \"w\"", "21000.000 quiet sends=1 \"\" reply=ready", "*quiet sends=2 \"\\x88\""}},
      {"a ready 3 ms apart on a bridge that has taught 3 ms",
       Trace(921600, "unknown", 0, "3000,3000").Tx(0, "3").Rx(1'000, "w").Rx(4'000, "\x88"),
       {"*quiet sends=1 \"w\\x88\" reply=ready"}},
      // The answer to a command never joins the output from before it, also
      // when the receive thread had not read that output when the PC sent.
      {"an echo, the next step, its ready",
       Trace(115200, "unknown", 300'000).Rx(0, "d800,0\r\n").Tx(5'000, "3").Rx(8'000, "w\x88"),
       {"5000.000 sent sends=0 \"d800,0\\r\\n\"", "18000.000 time-limit sends=1 \"w\\x88\"",
        "308000.000 quiet sends=1 \"\" reply=ready"}},
      {"an echo taken in at the send, its ready",
       Trace(115200, "unknown").Take(5'000, "d800,0\r\n").Tx(5'000, "3").Rx(8'000, "w\x88"),
       {"5000.000 sent sends=0 \"d800,0\\r\\n\"", "8173.610 quiet sends=1 \"w\\x88\" reply=ready"}},
      // A prompt before a send belongs to what came before it.
      {"a prompt with two sends unanswered, then a third",
       Trace(115200, "unknown").Tx(0, "\x1A").Tx(1'000, "\x1A").Rx(2'000, "\r\nF3 T>").Tx(3'000, "/2\r").Rx(
           4'000, "/2\r\nF3 2>"),
       {"3000.000 sent sends=2 \"\\r\\nF3 T>\" prompt=T>/2", "4000.000 prompt sends=3 \"/2\\r\\nF3 2>\" prompt=2>/3"}},
      // A line break after a line ending in ">" makes it data.
      {"a data line ending in '>', a line break, a pause",
       Trace(9600, "usb/1").Tx(0, "x\r").Rx(1'000, "x\r\nlevel 3 ->\r\n"),
       {"*quiet sends=1 \"x\\r\\nlevel 3 ->\\r\\n\""}},
      {"the shape followed by blank lines", Trace(9600, "usb/1").Tx(0, "x\r").Rx(1'000, "\r\nF3 T>\r\n \r\n"),
       {"*quiet sends=1 \"\\r\\nF3 T>\\r\\n \\r\\n\""}},
      // Commands typed ahead: the prompt that comes first may answer the
      // earlier one; the later answer, a lump behind, is the one taken.
      {"typed ahead, FT232-class 16 ms",
       Trace(115200, "usb/16").Tx(0, "\x1A").Tx(10, "/2\r").Rx(1'000, "\r\nF3 T>").Rx(17'000, "/2\r\nF3 2>"),
       {"11000.000 time-limit sends=2 \"\\r\\nF3 T>\"", "27000.000 time-limit sends=2 \"/2\\r\\nF3 2>\"",
        "35173.610 quiet sends=2 \"\" prompt=2>/2"}},
      {"typed ahead, a bridge nothing has taught",
       Trace(115200, "unknown").Tx(0, "\x1A").Tx(10, "/2\r").Rx(1'000, "\r\nF3 T>").Rx(17'000, "/2\r\nF3 2>"),
       {"11000.000 time-limit sends=2 \"\\r\\nF3 T>\"", "27000.000 time-limit sends=2 \"/2\\r\\nF3 2>\"",
        "37000.000 quiet sends=2 \"\" prompt=2>/2"}},
      // Prompts: a line ending in '>' counts when its burst ends; one of the
      // drive's shape at once, when nothing follows it.
      {"a lump edge after the arrow inside a line",
       Trace(9600, "usb/1").Tx(0, "/\r").Rx(1'000, "\r\nZone 3 ->").Rx(3'000, " Cyl 1A2B\r\nF3 2>"),
       {"3000.000 prompt sends=1 \"\\r\\nZone 3 -> Cyl 1A2B\\r\\nF3 2>\" prompt=2>/1"}},
      {"the shape cut before its '>'", Trace(9600, "usb/1").Rx(0, "x\r\nF3 T").Rx(2'000, ">"),
       {"2000.000 prompt sends=0 \"x\\r\\nF3 T>\" prompt=T>/0"}},
      {"the shape with blanks after it", Trace(9600, "usb/1").Rx(0, "x\r\nT> "),
       {"0.000 prompt sends=0 \"x\\r\\nT> \" prompt=T>/0"}},
      {"a CR after the shape waits for the burst's end", Trace(9600, "usb/1").Rx(0, "x\r\nT>\r"),
       {"5083.332 quiet sends=0 \"x\\r\\nT>\\r\" prompt=T>/0"}},
      {"the identity editor's arrow at the burst's end", Trace(9600, "usb/1").Tx(0, "F\r").Rx(1'000, "F\r\n->"),
       {"6083.332 quiet sends=1 \"F\\r\\n->\" prompt=->/1"}},
      {"... on a bridge nothing has taught, 20 ms", Trace(9600, "unknown").Tx(0, "F\r").Rx(1'000, "F\r\n->"),
       {"11000.000 time-limit sends=1 \"F\\r\\n->\"", "21000.000 quiet sends=1 \"\" prompt=->/1"}},
      {"a send does not decide a line that may go on",
       Trace(9600, "usb/1").Rx(0, "Zone 3 ->").Tx(1'000, "\r").Rx(2'000, " Cyl 1A2B\r\n"),
       {"1000.000 sent sends=0 \"Zone 3 ->\"", "*quiet sends=1 \" Cyl 1A2B\\r\\n\""}},
      {"... and when nothing follows, the quiet does",
       Trace(9600, "usb/1").Rx(0, "Zone 3 ->").Tx(1'000, "\r"),
       {"1000.000 sent sends=0 \"Zone 3 ->\"", "5083.332 quiet sends=1 \"\" prompt=->/0"}},
      {"a NUL hides the rest of its chunk", Trace(9600, "usb/1").Rx(0, std::string("x\0\r\nF3 T>", 9)),
       {"*quiet sends=0 \"x\\x00\\r\\nF3 T>\""}},
      // The block protocol's answers, each a burst of its own.
      {"answers", Trace(9600, "usb/1").Rx(0, "w").Rx(10'000, "\x06").Rx(20'000, "\x15").Rx(30'000, "\x88"),
       {"*quiet sends=0 \"w\" reply=ready", "*quiet sends=0 \"\\x06\" reply=ack", "*quiet sends=0 \"\\x15\" reply=nak",
        "*quiet sends=0 \"\\x88\" reply=ready"}},
      {"not answers", Trace(9600, "usb/1").Rx(0, "ww").Rx(10'000, "wx").Rx(20'000, "\x06\x06").Rx(30'000, "ok\x06"),
       {"*quiet sends=0 \"ww\"", "*quiet sends=0 \"wx\"", "*quiet sends=0 \"\\x06\\x06\"", "*quiet sends=0 \"ok\\x06\""}},
      {"a lone 'w' on a bridge nothing has taught waits for its 0x88",
       Trace(921600, "unknown").Rx(0, "w").Rx(15'000, "\x88"),
       {"10000.000 time-limit sends=0 \"w\"", "15100.000 quiet sends=0 \"\\x88\" reply=ready"}},
      {"... and for the rest of a line", Trace(921600, "unknown").Rx(0, "w").Rx(15'000, "rong\r\n"),
       {"10000.000 time-limit sends=0 \"w\"", "*quiet sends=0 \"rong\\r\\n\""}},
      {"a long quiet by hand never joins an echo with the next step's ready",
       Trace(115200, "unknown", 200'000).Rx(0, "d0,1\r\n").Tx(20'000, "\xAA").Rx(25'000, "w\x88"),
       {"10000.000 time-limit sends=0 \"d0,1\\r\\n\"", "35000.000 time-limit sends=1 \"w\\x88\"",
        "225000.000 quiet sends=1 \"\" reply=ready"}},
      // Long output comes in pieces of at most 10 ms or kLargestChunk bytes.
      {"output all at once", Trace(921600, "usb/1").Rx(0, std::string(5000, 'x')),
       {"0.000 full sends=0 \"" + std::string(4095, 'x') + "\"", "*quiet sends=0 \"" + std::string(905, 'x') + "\""}},
      {"output that goes on",
       Trace(9600, "usb/1").Rx(0, "aaaa").Rx(4'000, "bbbb").Rx(8'000, "cccc").Rx(12'000, "dddd"),
       {"10000.000 time-limit sends=0 \"aaaabbbbcccc\"", "17100.000 quiet sends=0 \"dddd\""}},
      // A rate change counts at once: its character time, and what a FIFO taught at the old rate.
      {"a rate change", Trace(921600, "uart/14").Rx(0, "ab").Rate(1'000, 9600).Rx(2'000, "cd"),
       {"295.300 quiet sends=0 \"ab\"", "12000.000 time-limit sends=0 \"cd\""}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ExpectChunks(row.trace, row.chunks);
  }
}

// What was decided from a trace written as the record was made is what the
// record decided.
TEST(ReceiveRecord, ATraceWrittenAndReadBackDecidesAlike) {
  const std::string path = ::testing::TempDir() + "qv-trace-test.txt";
  std::remove(path.c_str());
  ReceiveTrace trace;
  ASSERT_FALSE(trace.Start(path));
  ReceiveRecord record;
  record.SetObserver(&trace);
  const ReceiveRecord::TimePoint t0 = ReceiveRecord::Clock::now();
  const auto at = [t0](int us) { return t0 + microseconds(us); };
  TransportGaps bridge;
  record.Open(at(0), 115200, bridge, {}, LumpLearner::WithGaps({microseconds(2'500), microseconds(2'700)}));
  record.Sent(at(10), "/2\r");
  record.Arrived(at(300), "/2\r\nZone 3 -", true);
  record.Arrived(at(2'000), ">", true);
  record.RateChanged(at(30'000), 921600);
  record.Arrived(at(31'000), "x", false);
  record.Sent(at(31'000), "\xCC");
  record.Arrived(at(32'000), "w\x88", true);
  record.SetManualQuiet(at(33'000), microseconds(1'500));
  record.Flush(at(60'000));
  trace.Closed(at(60'000));
  ASSERT_FALSE(trace.Stop());
  std::vector<std::string> live, replayed;
  while (record.ChunkReady()) live.push_back(DescribeReplayedChunk({0, record.TakeChunk()}).substr(6));
  std::FILE* file = std::fopen(path.c_str(), "r");
  ASSERT_NE(file, nullptr);
  std::string text(1 << 16, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), file));
  std::fclose(file);
  std::remove(path.c_str());
  std::vector<ReplayedChunk> chunks;
  std::string error;
  ASSERT_TRUE(ReplayTrace(text, chunks, error)) << error;
  for (const ReplayedChunk& c : chunks) replayed.push_back(DescribeReplayedChunk({0, c.chunk}).substr(6));
  EXPECT_EQ(replayed, live);
  EXPECT_EQ(live.size(), 3u);
  EXPECT_FALSE(ReplayTrace("open 0 9600 usb/1 0 -\nrx 5 zz\n", chunks, error));
  EXPECT_EQ(error, "line 2: rx 5 zz");
}

// A session's trace, kept as it was written (examples/levels_and_rates.cmd
// on SIM behind an emulated FT232-class adapter: level changes, rate changes
// and the F-level switch with its Escape presses), decided again line for
// line as it was when it was kept.
TEST(ReceiveRecord, AKeptSessionTraceDecidesAsItDid) {
  const auto read = [](const std::string& name) {
    const std::string path = std::string(std::getenv("QV_TEST_DATA")) + "/tests/data/" + name;
    std::FILE* file = std::fopen(path.c_str(), "r");
    EXPECT_NE(file, nullptr) << path;
    std::string text(1 << 20, '\0');
    text.resize(file ? std::fread(text.data(), 1, text.size(), file) : 0);
    if (file) std::fclose(file);
    return text;
  };
  std::vector<ReplayedChunk> chunks;
  std::string error;
  ASSERT_TRUE(ReplayTrace(read("levels_and_rates.trace"), chunks, error)) << error;
  std::string decided;
  for (const ReplayedChunk& c : chunks) decided += DescribeReplayedChunk(c) + '\n';
  EXPECT_EQ(decided, read("levels_and_rates.chunks"));
}

// A transport sysfs knows nothing of shows itself by its lumps: after a
// burst that came in lumps the quiet covers their gaps, while a
// pseudo-terminal written a byte at a time teaches nothing.
TEST(ReceiveRecord, ABridgeIsLearnedFromItsLumps) {
  constexpr int kRate = 115200;
  std::string burst;
  for (int i = 0; burst.size() < 120; ++i) burst += "line " + std::to_string(i) + "\r\n";
  ReceiveRecord record;
  const ReceiveRecord::TimePoint start{};
  record.Open(start, kRate, TransportGaps(), {}, {});
  const auto feed = [&](const std::vector<test::PacedWriter::Step>& steps, milliseconds from) {
    for (const auto& step : steps) record.Arrived(start + from + step.at, step.bytes, true);
  };
  feed(test::PacedWriter::Bytewise(burst, test::LineTime(1, kRate)), milliseconds(0));
  EXPECT_TRUE(record.TransportUnknown());
  // The lumps come 1 ms apart, the bursts 20 ms: what is learned covers the
  // first and stays below the second.
  feed(test::AdapterLumps(burst, sim::AdapterTiming::Ft232(milliseconds(1)), kRate), milliseconds(100));
  EXPECT_FALSE(record.TransportUnknown());
  EXPECT_GT(record.BurstQuiet(), milliseconds(1));
  EXPECT_LT(record.BurstQuiet(), milliseconds(20));
}

TEST(ReceiveRecord, PromptShapes) {
  const char* shaped[] = {"T>", "2>", "F>", "A>", "F3 T>", "F3 2>"};
  const char* unshaped[] = {"->", "Zone 3 ->", "t>", "F3T>", "F3  T>", "Hd 0 >", ">"};
  for (const char* line : shaped) EXPECT_TRUE(HasPromptShape(line)) << line;
  for (const char* line : unshaped) EXPECT_FALSE(HasPromptShape(line)) << line;
}

}  // namespace
}  // namespace qv
