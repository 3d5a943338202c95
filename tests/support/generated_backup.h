#pragma once
// A backup folder as the backup writes it (APP.BIN, CERT.BIN, Vendor.BIN,
// SN.TXT, then MANIFEST.TXT), made without a drive for the firmware
// library's tests and benchmarks.
#include <string>

namespace qv::test {

struct GeneratedBackup {
  std::string folder;  // under the parent given to MakeBackup
  std::string serial, family, drive;
  int day = 1;  // of December 2026: the backups' order
  std::string app, cert;
  std::string vendor{};  // empty: "vendor of " + folder
  bool complete = true;
};

// The folder made, ending in '/'.
std::string MakeBackup(const std::string& parent, const GeneratedBackup& backup);

}  // namespace qv::test
