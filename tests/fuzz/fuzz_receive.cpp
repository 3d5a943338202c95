// The receive path fed any sequence of chunks: the prompt scan, the reply
// markers, the routing by receive mode, the pane with its wrap and auto-clear,
// and the capture buffer. Between chunks the input may switch the mode, end
// or continue a burst, and empty the prompt or a marker as the waits do.
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
  FuzzedDataProvider input(data, size);
  size_t received = 0;
  while (input.remaining_bytes() > 0) {
    const uint8_t control = input.ConsumeIntegral<uint8_t>();
    main.receiveMode = kModes[control & 3];
    main.CheckBox2 = control & 4;
    if (control & 8) main.LastPrompt.clear();
    if (control & 16) main.WbReply.clear(), main.WeReply.clear();
    if (control & 32) main.Memo3.clear();
    const std::string chunk = input.ConsumeRandomLengthString(512);
    main.HandleChunk(chunk, control & 64);
    received += chunk.size();
    if (main.LastPrompt.size() > 2 || static_cast<uint32_t>(main.RxCount) != received) std::abort();
    if (!main.WbReply.empty() && main.WbReply != "OK") std::abort();
    if (!main.WeReply.empty() && main.WeReply != "OK" && main.WeReply != "ER") std::abort();
    // Text goes on the pane only in "usercmd"; the last line is never left wider than the pane.
    if (!main.memo1.Lines().empty() && main.memo1.Lines().back().size() > 110) std::abort();
  }
  return 0;
}
