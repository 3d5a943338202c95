// File download: a file (or bytes already in memory) as one download sequence,
// with progress in bytes and STOP honoured between blocks.
#include <stdexcept>
#include <string>

#include "console/main.h"
#include "lang/translate.h"
#include "transfer/block_protocol.h"
#include "transfer/file_io.h"
#include "transfer/transfer.h"
#include "transfer/transfer_common.h"

namespace qv {

namespace {
constexpr int kSettleTicks = 100;  // the drive stores the data after the closing checksum

// A block size of 0 has no block count at all; above 65535 a frame can't carry it.
void CheckBlockSize(int blockSize) {
  if (blockSize <= 0 || static_cast<size_t>(blockSize) > kMaxBlockSize)
    throw std::invalid_argument("block size must be 1 to 65535 bytes, not " + std::to_string(blockSize));
}

}  // namespace

bool DownloadLengthAccepted(TFrmMain& main, size_t size, int blockSize) {
  CheckBlockSize(blockSize);
  // Nothing to send has no block 0 either: the drive would wait for it.
  if (size == 0) {
    main.Dlg().ShowMessage(Tr("要发送的数据长度为0！"));
    return false;
  }
  if (size % static_cast<size_t>(blockSize) == 0) return true;
  main.Dlg().ShowMessage(TrFormat("文件长度必须是{1}的倍数！", blockSize));
  return false;
}

bool SendData(TFrmMain& main, const uint8_t* data, size_t size, int blockSize) {
  if (!DownloadLengthAccepted(main, size, blockSize)) return false;
  const size_t block = static_cast<size_t>(blockSize);
  if (!OpenSequence(main)) return false;

  int n = size / block > static_cast<size_t>(kMaxDownloadBlocks) ? kMaxDownloadBlocks
                                                                    : static_cast<int>(size / block);
  const int total = n * blockSize;
  main.SetProgress(total, 0);
  const auto afterBlock = [&main, blockSize] {
    main.StepProgress(blockSize);
    if (!main.stopFlag) return true;
    main.AddLine(Tr("操作被用户中止！"));
    return false;
  };
  if (!SendSequenceBlocks(main, data, block, n, afterBlock)) return false;
  main.SetProgressPosition(total);
  main.Delay(kSettleTicks);
  return true;
}

bool SendFile(TFrmMain& main, const std::string& fileName, int blockSize) {
  const std::vector<uint8_t> data = ReadWholeFile(fileName, kMaxDownloadFileBytes);
  return SendData(main, data.data(), data.size(), blockSize);
}

}  // namespace qv
