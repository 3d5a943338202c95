// The drive's thread: reads what the PC sends, hands it to the model, and writes
// the answers back in irregular chunks, as a real line and driver deliver them.
#include "sim/sim_drive.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include "sim/sim_line.h"
#include "sim/sim_model.h"

namespace qv::sim {

namespace {

using Clock = std::chrono::steady_clock;

// A protocol answer is recognised only as a read of its own, so it follows the
// previous output only after the PC has had time to take that away.
constexpr auto kSoloQuiet = std::chrono::milliseconds(2);
constexpr int kMaxChunk = 64;
constexpr int kMaxGapUs = 300;

// How long `bytes` take on the line at `rate` (10 bits a byte).
std::chrono::microseconds LineTime(size_t bytes, int rate) {
  return std::chrono::microseconds(static_cast<long long>(bytes) * 10 * 1000000LL / rate);
}

}  // namespace

struct SimDrive::Impl {
  // Output waiting for its moment.
  struct Pending {
    std::string bytes;
    int rate;
    bool solo;
    bool noise;
    Clock::time_point notBefore;
  };

  explicit Impl(const SimOptions& o) : model(o), dice(o.seed), noise(o.seed + 7) {}

  mutable std::mutex mu;
  DriveModel model;  // guarded by mu
  SimLine line;
  std::thread thread;
  std::atomic<bool> stop{false};
  int wake[2] = {-1, -1};

  // Owned by the drive thread.
  std::deque<Pending> queue;
  Clock::time_point nextWrite{};
  Clock::time_point lastWrite{};
  // When paced: the moment the line has finished sending what was written so
  // far. It runs on the line's own clock, so the wake-up delays of this thread
  // and the irregular gaps between chunks don't add up to a slower line.
  Clock::time_point lineFree{};
  // The same for the other direction: when the PC's bytes written so far have
  // all come in over the line. With paceInput the drive answers nothing before that.
  Clock::time_point inputFree{};
  Clock::time_point deafUntil{};  // the drive hears nothing before this
  size_t planned = 0;  // size of the next chunk of the queue's front
  Dice dice;
  LineNoise noise;
  // Behind an adapter: the bytes it holds, and the lumps it has sent that the
  // PC's side has not taken yet.
  std::optional<AdapterModel> adapter;
  std::string sentLumps;
  OutputTiming output;  // guarded by mu

  void Run();
  void Receive(Clock::time_point now);
  void WriteSome(Clock::time_point now);
  // Behind an adapter: moves the queue's bytes onto the line and out of the
  // adapter up to `now`; returns when the next thing happens.
  Clock::time_point AdvanceAdapter(Clock::time_point now, const AdapterTiming& timing);
  Clock::time_point NextOnLine() const;
  void WriteLumps(Clock::time_point now);
  bool Pacing() const;
  bool ChunkGaps() const;
  bool PacingInput() const;
  std::optional<AdapterTiming> Adapter() const;
};

void SimDrive::Impl::Run() {
  // A paced line keeps its clock to the microsecond: a byte at 921600 baud
  // lasts 11 us, far below the 50 us a sleep may otherwise overrun by.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  while (!stop.load()) {
    const auto now = Clock::now();
    bool wantWrite = false;
    timespec wait{};
    const timespec* timeout = nullptr;
    const auto setTimeout = [&](Clock::time_point due) {
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(due - now).count();
      wait.tv_sec = ns / 1000000000;
      wait.tv_nsec = ns % 1000000000;
      timeout = &wait;
    };
    const std::optional<AdapterTiming> timing = Adapter();
    if (timing) {
      const Clock::time_point next = AdvanceAdapter(now, *timing);
      wantWrite = !sentLumps.empty();
      if (!wantWrite && next != Clock::time_point::max()) setTimeout(next);
    } else if (adapter || !sentLumps.empty()) {
      // The adapter was taken away: what it held goes out as it is.
      while (adapter && !adapter->Empty()) sentLumps += adapter->Depart();
      adapter.reset();
      wantWrite = true;
    } else if (!queue.empty()) {
      const Pending& p = queue.front();
      if (planned == 0)
        planned = p.solo ? p.bytes.size() : std::min<size_t>(p.bytes.size(), dice.Between(1, kMaxChunk));
      auto due = p.notBefore;
      if (p.solo) due = std::max(due, lastWrite + kSoloQuiet);
      if (Pacing() && p.rate > 0) {
        // A paced chunk reaches the PC when its last byte would have crossed
        // the line; the line's own clock spaces the chunks.
        due = std::max(due, std::max(p.notBefore, lineFree) + LineTime(planned, p.rate));
      } else if (ChunkGaps()) {
        due = std::max(due, nextWrite);
      }
      if (due <= now) wantWrite = true;
      else setTimeout(due);
    }
    pollfd fds[2] = {{line.MasterFd(), static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0},
                     {wake[0], POLLIN, 0}};
    const int ready = ppoll(fds, 2, timeout, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents & POLLIN) {
      char drain[16];
      while (read(wake[0], drain, sizeof drain) > 0) {
      }
      continue;
    }
    if (fds[0].revents & (POLLERR | POLLNVAL)) break;
    if (fds[0].revents & POLLIN) Receive(Clock::now());
    if (wantWrite && (fds[0].revents & POLLOUT)) {
      if (!sentLumps.empty()) WriteLumps(Clock::now());
      else WriteSome(Clock::now());
    }
  }
}

void SimDrive::Impl::Receive(Clock::time_point now) {
  uint8_t in[4096];
  const ssize_t n = read(line.MasterFd(), in, sizeof in);
  if (n <= 0) {
    // Nothing to read after all, or the line is in trouble: don't spin on it.
    if (n < 0 && errno != EAGAIN && errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return;
  }
  // The rate the bytes were sent at is the PC's rate now: it changes it only
  // while the line is quiet.
  const int pcRate = line.PcRate();
  Clock::time_point heard = now;
  if (PacingInput() && pcRate > 0) {
    inputFree = std::max(inputFree, now) + LineTime(static_cast<size_t>(n), pcRate);
    heard = inputFree;
  }
  std::vector<Emit> emits;
  {
    std::lock_guard lock(mu);
    // A monitor that is starting drops what comes meanwhile.
    for (ssize_t i = 0; i < n && heard >= deafUntil; ++i) {
      const size_t before = emits.size();
      model.Feed(in[i], pcRate, emits);
      for (size_t k = before; k < emits.size(); ++k)
        if (emits[k].deaf) deafUntil = heard + std::chrono::milliseconds(emits[k].delayMs);
    }
  }
  // Without pacing or gaps the timing of the output is not what counts, only
  // its bytes: what one read brings out goes on as one stream, cut into
  // chunks by the dice, in as few writes as the chunks allow. A protocol
  // answer stays a write of its own.
  const bool oneStream = !Pacing() && !ChunkGaps();
  for (auto& e : emits) {
    const auto notBefore = heard + std::chrono::milliseconds(e.delayMs);
    if (oneStream && !queue.empty() && !e.solo) {
      Pending& back = queue.back();
      if (!back.solo && back.rate == e.rate && back.noise == e.noise && back.notBefore == notBefore) {
        back.bytes += e.bytes;
        continue;
      }
    }
    queue.push_back(Pending{std::move(e.bytes), e.rate, e.solo, e.noise, notBefore});
  }
}

void SimDrive::Impl::WriteSome(Clock::time_point now) {
  Pending& p = queue.front();
  std::string chunk = p.bytes.substr(0, planned);
  // Sent at one rate and read at another, the bytes arrive as noise.
  if (!p.noise && line.PcRate() != p.rate)
    for (auto& c : chunk) c = static_cast<char>(noise.Next());
  const ssize_t written = write(line.MasterFd(), chunk.data(), chunk.size());
  if (written <= 0) return;  // the PC's queue is full; poll waits until it drains
  if (Pacing() && p.rate > 0) lineFree = std::max(p.notBefore, lineFree) + LineTime(static_cast<size_t>(written), p.rate);
  p.bytes.erase(0, static_cast<size_t>(written));
  if (p.bytes.empty()) queue.pop_front();
  planned = 0;
  lastWrite = now;
  {
    std::lock_guard lock(mu);
    output.lastWrite = now;
  }
  nextWrite = now + std::chrono::microseconds(dice.Between(0, kMaxGapUs));
}

Clock::time_point SimDrive::Impl::NextOnLine() const {
  if (queue.empty()) return Clock::time_point::max();
  const Pending& p = queue.front();
  Clock::time_point start = std::max(p.notBefore, lineFree);
  if (p.solo && planned == 0) start = std::max(start, lastWrite + kSoloQuiet);
  return start + LineTime(1, p.rate);
}

Clock::time_point SimDrive::Impl::AdvanceAdapter(Clock::time_point now, const AdapterTiming& timing) {
  if (!adapter) adapter.emplace(timing, queue.empty() ? 9600 : queue.front().rate, now);
  for (;;) {
    const Clock::time_point arrives = NextOnLine();
    const Clock::time_point leaves = adapter->NextDeparture();
    if (std::min(arrives, leaves) > now) return std::min(arrives, leaves);
    if (leaves <= arrives) {
      const auto held = leaves - adapter->LastHeld();
      sentLumps += adapter->Depart();
      if (queue.empty()) {
        std::lock_guard lock(mu);
        ++output.outputs;
        output.held += held;
        output.lastHeld = held;
      }
      continue;
    }
    // The front's next byte has crossed the line; `planned` counts the bytes
    // of a solo answer already on it, which needs its quiet only before the first.
    Pending& p = queue.front();
    char byte = p.bytes.front();
    if (!p.noise && line.PcRate() != p.rate) byte = static_cast<char>(noise.Next());
    adapter->SetRate(p.rate);
    adapter->Arrive(arrives, byte);
    lineFree = arrives;
    p.bytes.erase(0, 1);
    planned = p.bytes.empty() ? 0 : 1;
    if (p.bytes.empty()) queue.pop_front();
  }
}

void SimDrive::Impl::WriteLumps(Clock::time_point now) {
  const ssize_t written = write(line.MasterFd(), sentLumps.data(), sentLumps.size());
  if (written <= 0) return;  // the PC's queue is full; poll waits until it drains
  sentLumps.erase(0, static_cast<size_t>(written));
  lastWrite = now;
  std::lock_guard lock(mu);
  output.lastWrite = now;
}

std::optional<AdapterTiming> SimDrive::Impl::Adapter() const {
  std::lock_guard lock(mu);
  return model.options.adapter;
}

bool SimDrive::Impl::Pacing() const {
  std::lock_guard lock(mu);
  return model.options.paceAtLineRate;
}

bool SimDrive::Impl::ChunkGaps() const {
  std::lock_guard lock(mu);
  return model.options.chunkGaps;
}

bool SimDrive::Impl::PacingInput() const {
  std::lock_guard lock(mu);
  return model.options.paceInput;
}

SimDrive::SimDrive(SimOptions options) : impl_(std::make_unique<Impl>(options)) {}

SimDrive::~SimDrive() {
  Stop();
  impl_->line.Close();
  for (int fd : impl_->wake)
    if (fd >= 0) close(fd);
}

bool SimDrive::Start() {
  if (impl_->thread.joinable()) return true;
  if (!impl_->line.IsOpen() && !impl_->line.Open()) return false;
  if (impl_->wake[0] < 0 && pipe2(impl_->wake, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  impl_->stop = false;
  impl_->thread = std::thread([this] { impl_->Run(); });
  return true;
}

void SimDrive::Stop() {
  if (!impl_->thread.joinable()) return;
  impl_->stop = true;
  const char wake = 1;
  [[maybe_unused]] const ssize_t n = write(impl_->wake[1], &wake, 1);
  impl_->thread.join();
}

const std::string& SimDrive::SlavePath() const { return impl_->line.SlavePath(); }

void SimDrive::CloseMaster() {
  Stop();
  impl_->queue.clear();
  impl_->planned = 0;
  impl_->adapter.reset();
  impl_->sentLumps.clear();
  impl_->line.Close();
}

std::string SimDrive::Received() const {
  std::lock_guard lock(impl_->mu);
  return impl_->model.received;
}

void SimDrive::ClearReceived() {
  std::lock_guard lock(impl_->mu);
  impl_->model.received.clear();
}

std::string SimDrive::Level() const {
  std::lock_guard lock(impl_->mu);
  return std::string(1, impl_->model.level());
}

int SimDrive::Rate() const {
  std::lock_guard lock(impl_->mu);
  return impl_->model.rate();
}

bool SimDrive::InIdentityEditor() const {
  std::lock_guard lock(impl_->mu);
  return impl_->model.inIdentityEditor();
}

void SimDrive::SetOptions(const SimOptions& options) {
  std::lock_guard lock(impl_->mu);
  impl_->model.RestartWireError();
  impl_->model.options = options;
}

SimOptions SimDrive::Options() const {
  std::lock_guard lock(impl_->mu);
  return impl_->model.options;
}

void SimDrive::RefuseNextBlocks(int k) {
  std::lock_guard lock(impl_->mu);
  impl_->model.refuseBlocks = std::max(0, k);
}

std::vector<uint8_t> SimDrive::BufferBytes(size_t offset, size_t count) const {
  std::lock_guard lock(impl_->mu);
  const auto& b = impl_->model.buffer;
  if (offset >= b.size()) return {};
  count = std::min(count, b.size() - offset);
  return std::vector<uint8_t>(b.begin() + offset, b.begin() + offset + count);
}

void SimDrive::SetBufferBytes(size_t offset, const std::vector<uint8_t>& data) {
  std::lock_guard lock(impl_->mu);
  auto& b = impl_->model.buffer;
  if (offset >= b.size()) return;
  std::copy_n(data.begin(), std::min(data.size(), b.size() - offset), b.begin() + offset);
}

std::vector<uint8_t> SimDrive::SectorBytes(int cyl, int head, int sector) const {
  std::lock_guard lock(impl_->mu);
  return impl_->model.Sector(cyl, head, sector);
}

void SimDrive::SetSector(int cyl, int head, int sector, const std::vector<uint8_t>& data) {
  std::lock_guard lock(impl_->mu);
  impl_->model.SetSector(cyl, head, sector, data);
}

std::vector<uint16_t> SimDrive::IdWords() const {
  std::lock_guard lock(impl_->mu);
  return impl_->model.idWords;
}

int SimDrive::CommandsSeen() const {
  std::lock_guard lock(impl_->mu);
  return impl_->model.commandsSeen;
}

std::vector<uint8_t> SimDrive::LastDownload() const {
  std::lock_guard lock(impl_->mu);
  return impl_->model.lastDownload;
}

int SimDrive::DownloadsCompleted() const {
  std::lock_guard lock(impl_->mu);
  return impl_->model.downloadsCompleted;
}

int SimDrive::DownloadsRejected() const {
  std::lock_guard lock(impl_->mu);
  return impl_->model.downloadsRejected;
}

std::vector<uint8_t> SimDrive::RomBytes() const {
  std::lock_guard lock(impl_->mu);
  return impl_->model.rom;
}

void SimDrive::SetRomBytes(const std::vector<uint8_t>& data) {
  std::lock_guard lock(impl_->mu);
  auto& rom = impl_->model.rom;
  std::copy_n(data.begin(), std::min(data.size(), rom.size()), rom.begin());
}

SimDrive::OutputTiming SimDrive::Timing() const {
  std::lock_guard lock(impl_->mu);
  return impl_->output;
}

SimModule SimDrive::Module(const std::string& name) const {
  std::lock_guard lock(impl_->mu);
  const auto it = impl_->model.modules.find(name);
  return it == impl_->model.modules.end() ? SimModule{} : it->second;
}

SimDrive& SimPortDrive() {
  static SimDrive drive;
  return drive;
}

const std::string& SimPortPath() {
  static const std::string path = SimPortDrive().Start() ? SimPortDrive().SlavePath() : std::string();
  return path;
}

}  // namespace qv::sim
