#pragma once
// Small pieces the transfer operations share.
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "console/convert.h"
#include "console/main.h"
#include "lang/translate.h"
#include "transfer/block_protocol.h"
#include "console/text.h"

namespace qv {

inline constexpr int kBlockBytes = 512;  // a buffer block and a sector alike
inline constexpr int kPromptTicks = 1500;
inline constexpr int kMaxDownloadBlocks = 255;  // block numbers of one download sequence, 0 to 254
// The largest data file the downloads read (SEND_FILE, the buffer and track
// writes): one sequence carries at most 255 blocks of at most 65535 bytes.
// The track write keeps its file in memory, so a larger file is refused too.
inline constexpr uint64_t kMaxDownloadFileBytes = uint64_t{kMaxDownloadBlocks} * kMaxBlockSize;

// Puts the receive mode back to empty when an operation ends, also when it
// ends through a raised error.
class ReceiveModeReset {
 public:
  explicit ReceiveModeReset(TFrmMain& main) : main_(main) {}
  ~ReceiveModeReset() { main_.receiveMode = ReceiveMode::Empty; }
  ReceiveModeReset(const ReceiveModeReset&) = delete;
  ReceiveModeReset& operator=(const ReceiveModeReset&) = delete;

 private:
  TFrmMain& main_;
};

// A drive command line: the text in the drive's code page and a closing CR.
inline std::string Command(std::string_view utf8) { return Gbk(utf8) + "\r"; }

// Sends the bytes and waits for the drive's prompt; true when it came.
inline bool Exchange(TFrmMain& main, std::string_view bytes, int ticks) {
  main.SendString(bytes);
  return main.WaitHD(ticks);
}

// The line a read adds when a raised error ends it: a file that cannot be
// written says why (a full disk, a folder at that name), for a lower rate
// would not help it; anything else (a garbled reply) asks for a lower rate.
inline std::string ReadErrorLine(const std::exception& error) {
  if (dynamic_cast<const EFileError*>(&error)) return error.what();
  return Tr("读取数据错误，请调低一档速率后再试!");
}
inline void AddReadErrorLine(TFrmMain& main, const std::exception& error) { main.AddLine(ReadErrorLine(error)); }

}  // namespace qv
