// The cut-and-join routine's start and count texts, against two small source
// files: whatever the texts, it builds the file, refuses with an error, or
// reports failure, and never writes more than the sources hold.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "console/convert.h"
#include "files/file_io.h"
#include "fileutil/cut_join.h"

namespace {

struct Folder {
  Folder() {
    path = std::filesystem::temp_directory_path() / ("qv-fuzz-cut-join-" + std::to_string(getpid())) / "";
    std::filesystem::create_directories(path);
    qv::WriteFileBytes(path + "one", std::string(5 * 512, '\x11'));
    qv::WriteFileBytes(path + "two", std::string(3 * 512 + 100, '\x22'));
  }
  ~Folder() { std::filesystem::remove_all(path); }
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Folder folder;
  FuzzedDataProvider input(data, size);
  qv::CutJoinRequest request;
  request.source1 = folder.path + (input.ConsumeBool() ? "one" : "missing");
  request.start1 = input.ConsumeRandomLengthString(16);
  request.count1 = input.ConsumeRandomLengthString(16);
  request.source2 = folder.path + (input.ConsumeBool() ? "two" : "");
  request.start2 = input.ConsumeRandomLengthString(16);
  request.count2 = input.ConsumeRandomLengthString(16);
  request.output = folder.path + "out";
  std::filesystem::remove(request.output);
  try {
    if (qv::CutAndJoin(request) && std::filesystem::file_size(request.output) > 8 * 512) std::abort();
  } catch (const qv::EConvertError&) {
  } catch (const qv::ERangeError&) {
  }
  return 0;
}
