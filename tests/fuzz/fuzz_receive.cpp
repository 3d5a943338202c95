// The receive record fed any sequence of lumps, sends and rate changes at any
// times, and the console handed what it decides: the prompts, the reply
// markers, the routing by receive mode, the pane with its wrap and
// auto-clear, and the capture buffer. Between entries the input may switch
// the mode and empty the prompt or a marker as the waits do. Every byte must
// reach the console once, in order.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "console/main.h"

namespace {

class NoDialogs : public qv::Dialogs {
 public:
  void ShowMessage(const std::string&) override {}
  void Warning(const std::string&, const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  std::optional<std::string> ChooseOpenFile(const std::string&, const std::string&,
                                            const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> ChooseSaveFile(const std::string&, const std::string&,
                                            const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> ChooseFolder(const std::string&) override { return std::nullopt; }
};

constexpr qv::ReceiveMode kModes[] = {qv::ReceiveMode::usercmd, qv::ReceiveMode::syscmd, qv::ReceiveMode::R_DATA,
                                      qv::ReceiveMode::Empty};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::NoToolkitPump pump;
  NoDialogs dialogs;
  qv::TFrmMain main(pump, dialogs);
  main.receiveMode = qv::ReceiveMode::usercmd;
  qv::ReceiveRecord record;
  using Clock = qv::ReceiveRecord::Clock;
  Clock::time_point now{};
  qv::TransportGaps gaps;
  record.Open(now, 9600, gaps, {}, {});
  FuzzedDataProvider input(data, size);
  std::string arrived, handed;
  const auto handOver = [&] {
    while (record.ChunkReady()) {
      const qv::ReceivedChunk chunk = record.TakeChunk();
      handed += chunk.bytes;
      main.HandleChunk(chunk);
    }
  };
  while (input.remaining_bytes() > 0) {
    const uint8_t control = input.ConsumeIntegral<uint8_t>();
    main.receiveMode = kModes[control & 3];
    main.CheckBox2 = control & 4;
    if (control & 8) main.LastPrompt.clear();
    if (control & 16) main.WbReply.clear(), main.WeReply.clear();
    if (control & 32) main.Memo3.clear();
    now += std::chrono::microseconds(input.ConsumeIntegralInRange<int>(0, 30'000));
    switch (control >> 6) {
      case 0: record.Sent(now, "x"); break;
      case 1: record.RateChanged(now, input.ConsumeBool() ? 9600 : 921600); break;
      default: {
        const std::string lump = input.ConsumeRandomLengthString(512);
        arrived += lump;
        record.Arrived(now, lump, control & 64);
      }
    }
    record.Advance(now);
    handOver();
    if (main.LastPrompt.size() > 2) std::abort();
    if (!main.WbReply.empty() && main.WbReply != "OK") std::abort();
    if (!main.WeReply.empty() && main.WeReply != "OK" && main.WeReply != "ER") std::abort();
    // Text goes on the pane only in "usercmd"; the last line is never left wider than the pane.
    if (!main.memo1.Lines().empty() && main.memo1.Lines().back().size() > 110) std::abort();
  }
  // Every byte reaches the console once, in order, when the line falls quiet.
  record.Advance(Clock::time_point::max());
  handOver();
  if (handed != arrived || static_cast<uint32_t>(main.RxCount) != arrived.size()) std::abort();
  return 0;
}
