// Buffer write: at most blockCount blocks of a file into the drive's buffer
// through the block download, straight from memory.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "console/convert.h"
#include "console/main.h"
#include "lang/translate.h"
#include "transfer/file_io.h"
#include "transfer/transfer.h"
#include "transfer/transfer_common.h"

namespace qv {

namespace {
constexpr int kAfterPromptTicks = 50;
constexpr int kAfterDownloadCommandTicks = 200;
constexpr int kBeforePromptTicks = 200;
constexpr int kClosingPauseTicks = 200;
}  // namespace

bool WriteBuffer(TFrmMain& main, const std::string& startBlock, const std::string& blockCount,
                 const std::string& fileName) {
  main.Memo3.clear();
  bool good = true;
  main.receiveMode = ReceiveMode::Empty;
  main.LastPrompt.clear();

  const int64_t limit = static_cast<int64_t>(HexToInt(blockCount)) * kBlockBytes;
  std::vector<uint8_t> data = ReadWholeFile(fileName, kMaxDownloadFileBytes);
  if (limit < static_cast<int64_t>(data.size())) data.resize(static_cast<size_t>(std::max<int64_t>(limit, 0)));

  if (!main.stopFlag) {
    main.AddLine(Tr("正在写入缓冲区......"));
    if (data.empty()) {
      // Refused before the drive hears of a download it would wait in for ever.
      DownloadLengthAccepted(main, 0, kBlockBytes);
      good = false;
    } else {
      main.SendString("/\r");
      main.Delay(kAfterPromptTicks);
      main.SendString("d" + Command(startBlock));
      main.Delay(kAfterDownloadCommandTicks);
      if (!SendData(main, data.data(), data.size(), kBlockBytes)) good = false;
    }
    if (good && !main.stopFlag) {
      main.Delay(kBeforePromptTicks);
      main.SendString("/\r");
      if (!main.WaitHD(kPromptTicks)) good = false;
    }
  }
  data.clear();
  data.shrink_to_fit();
  main.Delay(kClosingPauseTicks);

  if (main.stopFlag) {
    main.AddLine(Tr("被用户中止！"));
  } else {
    main.AppendToLastLine(good ? Tr("成功！") : Tr("失败！"));
  }
  return good && !main.stopFlag;
}

}  // namespace qv
