#include "tests/support/generated_backup.h"

#include <filesystem>
#include <vector>

#include "files/file_io.h"
#include "firmware/manifest/manifest.h"

namespace qv::test {

std::string MakeBackup(const std::string& parent, const GeneratedBackup& g) {
  const std::string folder = parent + (parent.ends_with('/') ? "" : "/") + g.folder + "/";
  std::filesystem::create_directories(folder);
  const std::pair<const char*, std::string> files[] = {
      {"APP.BIN", g.app}, {"CERT.BIN", g.cert}, {"Vendor.BIN", g.vendor.empty() ? "vendor of " + g.folder : g.vendor},
      {"SN.TXT", g.serial + "\r\n"}};
  std::vector<WholeFile> whole;
  for (const auto& [name, bytes] : files) {
    WriteFileBytes(folder + name, bytes);
    whole.push_back({name, "16 0 0 1"});
  }
  Manifest m;
  m.time = "2026-12-" + std::string(g.day < 10 ? "0" : "") + std::to_string(g.day) + "T10:00:00+08:00";
  m.program = ProgramNameAndVersion();
  m.family = g.family;
  m.drive = g.drive;
  m.serial = g.serial;
  m.complete = g.complete;
  WriteBackupManifest(folder, m, whole);
  return folder;
}

}  // namespace qv::test
