// Buffer read: blocks of the drive's buffer memory through hexadecimal dumps
// at level 2, one block per command, into a file written once at the end.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "console/convert.h"
#include "console/main.h"
#include "transfer/dump_parser.h"
#include "transfer/file_io.h"
#include "transfer/transfer.h"
#include "transfer/transfer_common.h"

namespace qv {

namespace {
// Output reserved up front so that a long read never holds two copies while
// the buffer grows; beyond this the buffer grows as it must.
constexpr int64_t kMaxReservedBlocks = 0x20000;
constexpr int kClosingPauseTicks = 500;
}  // namespace

void ReadBuffer(TFrmMain& main, const std::string& startBlock, const std::string& blockCount,
                const std::string& fileName) {
  main.Memo3.clear();
  main.receiveMode = ReceiveMode::Empty;
  main.LastPrompt.clear();
  main.AddLine("正在读取缓冲区......");

  const int32_t count = HexToInt(blockCount);
  main.SetProgress(count, 0);
  std::vector<uint8_t> output;
  output.reserve(static_cast<size_t>(std::clamp<int64_t>(count, 0, kMaxReservedBlocks)) * kBlockBytes);
  int64_t previousSize = -1;
  int64_t block = HexToInt(startBlock);
  const int64_t end = block + count;
  // A raised error leaves the rest undone, but not the receive mode on R_DATA.
  ReceiveModeReset resetMode(main);

  bool good = true;
  main.SendString("/2\r");
  if (!main.WaitHD(kPromptTicks)) {
    good = false;
  } else if (!main.stopFlag) {
    DumpParser parser(output);
    for (; block < end; ++block) {
      if (static_cast<int64_t>(output.size()) == previousSize || main.stopFlag) {
        good = false;
        break;
      }
      main.Memo3.clear();
      previousSize = static_cast<int64_t>(output.size());
      const std::string n = IntToHex(static_cast<uint32_t>(block));
      parser.ResetAddress();
      parser.ResetLineCount();
      main.receiveMode = ReceiveMode::R_DATA;
      main.Memo3.clear();
      main.SendString("B" + n + "," + n + "\r");
      if (!main.WaitHD(kPromptTicks)) {
        good = false;
        break;
      }
      parser.Parse(main.Memo3);
      main.Memo3.clear();
      main.StepProgress();
    }
    // The last block has no next block to notice that it brought nothing.
    if (good && block == end && count > 0 && static_cast<int64_t>(output.size()) == previousSize) good = false;
    WriteWholeFile(fileName, output);
  }

  main.Delay(kClosingPauseTicks);
  main.SendString("/\r");
  main.WaitHD(kPromptTicks);
  main.receiveMode = ReceiveMode::Empty;

  if (main.stopFlag) {
    main.AddLine("被用户中止！");
  } else {
    main.AppendToLastLine(good ? "成功！" : "失败！");
  }
  main.AddLine("");
}

}  // namespace qv
