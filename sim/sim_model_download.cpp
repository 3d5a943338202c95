// The drive's side of the block download: "d<pos>[,<k>]" arms it, then
// 0xCC, "3", frames of blocks 1..n-1 and 0, and the closing checksum.
#include "sim/sim_checksum.h"
#include "sim/sim_model.h"

namespace qv::sim {

namespace {

constexpr uint8_t kMark1 = 0xCC, kMark2 = 0x33;
constexpr char kReady[] = {'\x77', '\x88'};
constexpr char kAck[] = {'\x06'};
constexpr char kNak[] = {'\x15'};
constexpr size_t kDownloadBlock = 512;
constexpr long long kMaxSizeShift = 4;  // blocks of 512 << k bytes, up to 8 KiB

}  // namespace

bool DriveModel::ArmDownload(const std::string& args) {
  // "d<pos>" lands the data at buffer block <pos>; an optional second field k
  // selects blocks of 512 << k bytes ("d60,2" for 2048, "d,3,1" for 4096).
  const std::vector<std::string> f = SplitFields(args);
  long long pos = 0, shift = 0;
  if (!f[0].empty() && !ParseHex(f[0], pos)) return false;
  if (f.size() > 1 && !f[1].empty() && (!ParseHex(f[1], shift) || shift > kMaxSizeShift)) return false;
  dlBase_ = static_cast<size_t>(pos) * kDownloadBlock;
  dlBlockSize_ = kDownloadBlock << shift;
  dlBlocks_.clear();
  dlModule_.clear();
  dl_ = Dl::Armed;
  return true;
}

void DriveModel::Solo(const char* bytes, size_t n, std::vector<Emit>& out) const {
  out.push_back(Emit{std::string(bytes, n), rate_, true, false, 0});
}

bool DriveModel::Download(uint8_t byte, std::vector<Emit>& out) {
  switch (dl_) {
    case Dl::Off:
      return false;
    // Between the steps of the sequence anything but a marker gives the
    // terminal back, so the PC can recover from a download it abandoned.
    case Dl::Armed:
      if (byte != kMark1) break;
      Solo(kReady, sizeof kReady, out);
      dl_ = Dl::Armed3;
      return true;
    case Dl::Armed3:
      if (byte != kMark2) break;
      Solo(kReady, sizeof kReady, out);
      dl_ = Dl::FrameStart;
      return true;
    case Dl::FrameStart:
      if (byte != kMark1) break;
      dl_ = Dl::FrameStart2;
      return true;
    case Dl::FrameStart2:
      if (byte != kMark2) break;
      Solo(kReady, sizeof kReady, out);
      dl_ = Dl::BlockNumber;
      return true;
    case Dl::BlockNumber:
      dlNumber_ = byte;
      dlData_.clear();
      dl_ = Dl::Data;
      return true;
    case Dl::Data:
      dlData_.push_back(byte);
      if (dlData_.size() == dlBlockSize_) dl_ = Dl::End1;
      return true;
    // A frame of the wrong length leaves the drive out of step: it drops the
    // download, swallowing the byte that broke the frame.
    case Dl::End1:
      dl_ = byte == kMark1 ? Dl::End2 : Dl::Off;
      return true;
    case Dl::End2:
      if (byte != kMark2) {
        dl_ = Dl::Off;
        return true;
      }
      Solo(kReady, sizeof kReady, out);
      dl_ = Dl::Checksum;
      dlSum_ = 0;
      dlSumBytes_ = 0;
      return true;
    case Dl::Checksum: {
      dlSum_ = static_cast<uint16_t>((dlSum_ << 8) | byte);
      if (++dlSumBytes_ < 2) return true;
      bool good = dlSum_ == BlockChecksum(dlData_.data(), dlData_.size(), dlNumber_);
      if (refuseBlocks > 0) {
        --refuseBlocks;
        good = false;
      }
      if (!good) {
        Solo(kNak, sizeof kNak, out);
        dl_ = Dl::FrameStart;  // the PC sends the frame again from its start marker
        return true;
      }
      Solo(kAck, sizeof kAck, out);
      dlBlocks_[dlNumber_] = dlData_;
      dl_ = dlNumber_ == 0 ? Dl::Closing : Dl::FrameStart;
      dlSum_ = 0;
      dlSumBytes_ = 0;
      return true;
    }
    case Dl::Closing:
      dlSum_ = static_cast<uint16_t>((dlSum_ << 8) | byte);
      if (++dlSumBytes_ < 2) return true;
      dl_ = Dl::Off;
      FinishDownload(dlSum_);
      if (options.fallBackTo9600AfterDownload) rate_ = 9600;
      return true;
  }
  dl_ = Dl::Off;
  return false;
}

void DriveModel::FinishDownload(uint16_t closing) {
  // Block k holds the k-th run of the data; block 0 came last but goes first.
  const int count = dlBlocks_.empty() ? 0 : dlBlocks_.rbegin()->first + 1;
  std::vector<uint8_t> data;
  bool complete = static_cast<int>(dlBlocks_.size()) == count;
  for (int k = 0; complete && k < count; ++k) {
    const auto& block = dlBlocks_[k];
    data.insert(data.end(), block.begin(), block.end());
  }
  dlBlocks_.clear();
  if (!complete || static_cast<uint16_t>(RunningSum(data.data(), data.size()) & 0xFFFF) != closing) {
    ++downloadsRejected;
    return;
  }
  if (dlBase_ + data.size() <= buffer.size()) std::copy(data.begin(), data.end(), buffer.begin() + dlBase_);
  if (!dlModule_.empty()) ModuleDownloaded(data);
  lastDownload = std::move(data);
  ++downloadsCompleted;
}

}  // namespace qv::sim
