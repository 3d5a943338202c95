// Buffer read: blocks of the drive's buffer memory through hexadecimal dumps
// at level 2, one block per command, into a file written once at the end.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "console/convert.h"
#include "console/main.h"
#include "lang/translate.h"
#include "transfer/buffer_blocks.h"
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

bool ReadBufferBlocks(TFrmMain& main, int64_t first, int64_t end, std::vector<uint8_t>& output) {
  DumpParser parser(output);
  int64_t previousSize = -1;
  for (int64_t block = first; block < end; ++block) {
    if (static_cast<int64_t>(output.size()) == previousSize || main.stopFlag) return false;
    main.Memo3.clear();
    previousSize = static_cast<int64_t>(output.size());
    const std::string n = IntToHex(static_cast<uint32_t>(block));
    parser.ResetAddress();
    parser.ResetLineCount();
    main.receiveMode = ReceiveMode::R_DATA;
    main.Memo3.clear();
    main.SendString("B" + n + "," + n + "\r");
    if (!main.WaitHD(kPromptTicks)) return false;
    parser.Parse(main.Memo3);
    main.Memo3.clear();
    main.StepProgress();
  }
  // The last block has no next block to notice that it brought nothing.
  return !(end > first && static_cast<int64_t>(output.size()) == previousSize);
}

bool ReadBuffer(TFrmMain& main, const std::string& startBlock, const std::string& blockCount,
                const std::string& fileName) {
  main.Memo3.clear();
  main.receiveMode = ReceiveMode::Empty;
  main.LastPrompt.clear();
  main.AddLine(Tr("正在读取缓冲区......"));

  const int32_t count = HexToInt(blockCount);
  main.SetProgress(count, 0);
  std::vector<uint8_t> output;
  output.reserve(static_cast<size_t>(std::clamp<int64_t>(count, 0, kMaxReservedBlocks)) * kBlockBytes);
  const int64_t first = HexToInt(startBlock);
  // A raised error leaves the rest undone, but not the receive mode on R_DATA.
  ReceiveModeReset resetMode(main);

  bool good = true;
  main.SendString("/2\r");
  if (!main.WaitHD(kPromptTicks)) {
    good = false;
  } else if (!main.stopFlag) {
    good = ReadBufferBlocks(main, first, first + count, output);
    WriteWholeFile(fileName, output);
  }

  main.Delay(kClosingPauseTicks);
  main.SendString("/\r");
  main.WaitHD(kPromptTicks);
  main.receiveMode = ReceiveMode::Empty;

  if (main.stopFlag) {
    main.AddLine(Tr("被用户中止！"));
  } else {
    main.AppendToLastLine(good ? Tr("成功！") : Tr("失败！"));
  }
  main.AddLine("");
  return good && !main.stopFlag;
}

}  // namespace qv
