#include "transfer/block_protocol.h"

#include "console/main.h"
#include "transfer/checksum.h"

namespace qv {

namespace {

constexpr uint8_t kMarker[2] = {0xCC, 0x33};

void SendSum(TFrmMain& main, uint16_t sum) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum & 0xFF)};
  main.Sendbuffer(bytes, 2);
}

}  // namespace

bool SendBlock(TFrmMain& main, const uint8_t* data, size_t size, int blockNumber) {
  if (blockNumber < 0 || blockNumber > kMaxBlockNumber) return false;
  if (size == 0 || size > kMaxBlockSize) return false;
  const uint16_t sum = BlockChecksum(data, size, static_cast<uint32_t>(blockNumber));
  const uint8_t number = static_cast<uint8_t>(blockNumber);
  for (int attempt = 1;; ++attempt) {
    main.Delay(2);
    main.Sendbuffer(kMarker, 2);
    if (!main.WaitWB(kReadyTicks)) return false;
    main.Sendbuffer(&number, 1);
    main.Sendbuffer(data, static_cast<uint16_t>(size));
    main.Delay(2);
    main.Sendbuffer(kMarker, 2);
    if (!main.WaitWB(kReadyTicks)) return false;
    main.Delay(2);
    SendSum(main, sum);
    if (main.WaitWE(kAnswerTicks) && main.WeReply == "OK") return true;
    if (attempt >= kBlockAttempts) return false;
  }
}

bool OpenSequence(TFrmMain& main) {
  main.Sendbuffer(&kMarker[0], 1);
  if (!main.WaitWB(kReadyTicks)) return false;
  main.Sendbuffer(&kMarker[1], 1);
  return main.WaitWB(kReadyTicks);
}

bool SendSequenceBlocks(TFrmMain& main, const uint8_t* data, size_t blockSize, int n,
                        const std::function<bool()>& afterBlock) {
  // Block 0 would read before the data, a block past 255 can't be numbered.
  if (n < 1 || n > kMaxBlockNumber + 1) return false;
  for (int k = 1; k < n; ++k) {
    if (!SendBlock(main, data + static_cast<size_t>(k) * blockSize, blockSize, k)) return false;
    if (afterBlock && !afterBlock()) return false;
  }
  if (!SendBlock(main, data, blockSize, 0)) return false;
  SendSum(main, ClosingChecksum(data, static_cast<size_t>(n) * blockSize));
  return true;
}

bool DownloadSequence(TFrmMain& main, const uint8_t* data, size_t blockSize, int n) {
  return OpenSequence(main) && SendSequenceBlocks(main, data, blockSize, n);
}

}  // namespace qv
