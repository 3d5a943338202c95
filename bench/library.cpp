// The firmware library with 10,000 generated backups of 20 families and
// firmwares (each with the module sizes of a real family: APP 284 KiB, CERT
// 532 KiB, Table, ATA and its two overlays, Vendor, ID and SN.TXT; APP, CERT
// and Table in a few variants per family, Vendor, ID and SN.TXT each drive's
// own).
//
// LibraryAdd: one more backup folder added to it, checked against its
// manifest and every file stored and flushed (the goal: under 0.2 s).
// LibraryListFamily, LibraryDrive: --library-list --family F and
// --library-drive SERIAL as the runner does them, the library opened and the
// text made (the goal: under 0.1 s each).
// LibrarySize: the library on disk against the 10,000 folders it replaces
// (their files in 4 KiB blocks and a block for each folder).
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "batch/library_reports.h"
#include "files/file_digest.h"
#include "files/file_io.h"
#include "firmware/manifest/manifest.h"
#include "library/library.h"
#include "library/object_store.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

constexpr int kBackups = 10000;
constexpr int kGroups = 20;  // 10 families with 2 firmwares each
constexpr uint64_t kBlock = 4096;

struct ModuleShape {
  const char* name;
  size_t bytes;
  int variants;  // per group; 0: each drive's own
};
const ModuleShape kModules[] = {{"APP.BIN", 0x238 * 512, 2}, {"CERT.BIN", (0x35C + 0xCC) * 512, 3},
                                {"Table.BIN", 0x17 * 512, 3}, {"ATA.BIN", 0x93 * 512, 1},
                                {"ATA0.BIN", 0x50 * 512, 1},  {"ATA1.BIN", 0x43 * 512, 1},
                                {"Vendor.BIN", 0x12 * 512, 0}, {"ID.BIN", 512, 0},
                                {"SN.TXT", 14, 0}};

// Bytes that differ for every seed (no two modules alike by chance).
std::string Bytes(size_t size, const std::string& seed) {
  std::string bytes(size, '\0');
  uint64_t x = std::hash<std::string>{}(seed) | 1;
  for (char& c : bytes) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    c = static_cast<char>(x);
  }
  return bytes;
}

std::string Family(int group) { return "FAMILY" + std::to_string(group / 2); }
std::string Serial(int i) { return "GEN" + std::to_string(100000 + i); }

// A manifest for backup i, its files' bytes given by `content`.
Manifest Generated(int i, const std::function<void(const ModuleShape&, const std::string&)>& content) {
  const int group = i % kGroups;
  Manifest m;
  m.time = "2026-0" + std::to_string(1 + i % 9) + "-1" + std::to_string(i % 9) + "T10:00:00+08:00";
  m.program = ProgramNameAndVersion();
  m.family = Family(group);
  m.drive = Family(group) + "_R1_" + (group % 2 ? "3.AAC" : "3.AAD");
  m.serial = Serial(i);
  m.complete = true;
  for (const ModuleShape& shape : kModules) {
    const std::string seed = shape.variants ? m.drive + shape.name + std::to_string(i % 97 % shape.variants)
                                            : m.serial + shape.name;
    const std::string bytes = Bytes(shape.bytes, seed);
    const std::string sha256 = Sha256Hex(bytes);
    m.files.push_back({shape.name, bytes.size(), sha256, "16 0 0 1"});
    content(shape, bytes);
  }
  return m;
}

uint64_t DiskBytes(const fs::path& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_blocks) * 512 : 0;
}

// The library made once: the stored files written as an add writes them
// (without a flush each, to save minutes), then the database built by a rebuild.
class GeneratedLibrary {
 public:
  GeneratedLibrary() {
    folder_ = (fs::temp_directory_path() / ("qv-bench-library-" + std::to_string(getpid()))).string() + "/";
    const ObjectStore objects(folder_ + FirmwareLibrary::kObjectsFolder);
    const ObjectStore manifests(folder_ + FirmwareLibrary::kManifestsFolder);
    const auto write = [](const std::string& path, const std::string& bytes) {
      if (fs::exists(path)) return;
      fs::create_directories(fs::path(path).parent_path());
      std::ofstream(path, std::ios::binary) << bytes;
    };
    for (int i = 0; i < kBackups; ++i) {
      const Manifest m = Generated(i, [&](const ModuleShape& shape, const std::string& bytes) {
        write(objects.PathFor(Sha256Hex(bytes)), bytes);
        foldersBytes_ += (bytes.size() + kBlock - 1) / kBlock * kBlock;
        (void)shape;
      });
      const std::string text = ManifestText(m);
      const std::string sha256 = Sha256Hex(text);
      write(manifests.PathFor(sha256), text);
      write(manifests.PathFor(sha256) + ".from", "folder=/backups/" + m.serial + "\norder=" + std::to_string(i) + "\n");
      foldersBytes_ += kBlock + (text.size() + kBlock - 1) / kBlock * kBlock;  // the folder and its MANIFEST.TXT
    }
    rebuilt_ = FirmwareLibrary::Rebuild(folder_).done;
  }
  ~GeneratedLibrary() { fs::remove_all(folder_); }

  const std::string& Folder() const { return folder_; }
  bool Ready() const { return rebuilt_; }
  uint64_t FoldersBytes() const { return foldersBytes_; }
  uint64_t LibraryBytes() const {
    uint64_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder_)) bytes += DiskBytes(entry.path());
    return bytes;
  }

 private:
  std::string folder_;
  uint64_t foldersBytes_ = 0;
  bool rebuilt_ = false;
};

GeneratedLibrary& Library() {
  static GeneratedLibrary library;
  return library;
}

void RunReport(benchmark::State& state, BatchOptions options) {
  if (!Library().Ready()) return state.SkipWithError("the generated library was not built");
  options.library = Library().Folder();
  size_t lines = 0;
  for (auto _ : state) {
    const LibraryReport report = RunLibraryOperation(options, "");
    lines = static_cast<size_t>(std::count(report.text.begin(), report.text.end(), '\n'));
    benchmark::DoNotOptimize(report);
  }
  state.counters["lines"] = static_cast<double>(lines);
}

void LibraryListFamily(benchmark::State& state) {
  BatchOptions options;
  options.mode = BatchMode::LibraryList;
  options.family = Family(7);
  RunReport(state, options);
}
BENCHMARK(LibraryListFamily)->Unit(benchmark::kMillisecond)->Iterations(20);

void LibraryDrive(benchmark::State& state) {
  BatchOptions options;
  options.mode = BatchMode::LibraryDrive;
  options.path = Serial(4321);
  RunReport(state, options);
}
BENCHMARK(LibraryDrive)->Unit(benchmark::kMillisecond)->Iterations(20);

void LibraryAdd(benchmark::State& state) {
  if (!Library().Ready()) return state.SkipWithError("the generated library was not built");
  const std::string in = Library().Folder() + "../qv-bench-library-in-" + std::to_string(getpid()) + "/";
  auto opened = FirmwareLibrary::Open(Library().Folder(), FirmwareLibrary::Access::Write);
  int next = kBackups;
  bool added = true;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string folder = in + std::to_string(next) + "/";
    fs::create_directories(folder);
    Manifest m = Generated(next++, [&](const ModuleShape& shape, const std::string& bytes) {
      WriteFileBytes(folder + shape.name, bytes);
    });
    WriteFileBytes(folder + kManifestName, ManifestText(m));
    state.ResumeTiming();
    added = opened.library->Add(folder).kind == LibraryAdd::Kind::Added && added;
  }
  fs::remove_all(in);
  if (!added) state.SkipWithError("a backup was not added");
}
BENCHMARK(LibraryAdd)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

void LibrarySize(benchmark::State& state) {
  if (!Library().Ready()) return state.SkipWithError("the generated library was not built");
  for (auto _ : state) benchmark::DoNotOptimize(Library().LibraryBytes());
  const double library = static_cast<double>(Library().LibraryBytes());
  const double folders = static_cast<double>(Library().FoldersBytes());
  state.counters["library_MiB"] = library / (1 << 20);
  state.counters["folders_MiB"] = folders / (1 << 20);
  state.counters["share"] = library / folders;
}
BENCHMARK(LibrarySize)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
