#pragma once
// The firmware backup: copies a drive's firmware modules out of its reserved
// area into a folder of module files. The module loading puts such a folder
// back, so the backup writes the file names it looks for (module_file, beside
// the manifest's name).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class TFrmMain;
struct FamilyRecord;
struct Manifest;

// Where the drive's track reads put the sectors in its buffer and how many
// sectors one read command may take: upper-case hexadecimal without leading
// zeros, each empty when the drive named none.
struct BufferAddress {
  std::string base;
  std::string chunk;
};

// Asks the drive: "?" at level T, "B0" at the other levels. A named value
// that is not hexadecimal raises EConvertError; the receive mode is restored
// on every path.
BufferAddress GetBuffAD(TFrmMain& main);
// The readers of the two answers, from the captured lines: at level T every
// line starting "RD:base:chunk" (the last wins); elsewhere the first line
// holding "RD:base:chunk:...".
BufferAddress BufferAddressFromQuestionReply(const std::vector<std::string_view>& lines);
BufferAddress BufferAddressFromB0Reply(const std::vector<std::string_view>& lines);

// The two lines of SN.TXT: the model text of the drive's ID sector (30 bytes
// at byte 54 of the vendor data's sector 4, trimmed, byte pairs swapped back)
// and the serial number of the drive's "%" answer (after " AX" and one more
// character, up to "' "; empty without such a line).
std::string VendorModelText(std::string_view vendorData);
std::string SerialFromPercentReply(const std::vector<std::string_view>& lines);

// One backup of a family's modules into `folder` (ending in '/'), once the
// buffer and the reserved area's start are known.
struct BackupPlan {
  const FamilyRecord& record;
  std::string folder;
  int32_t reservedStart = 0;
  BufferAddress buffer;
  bool app = true, cert = true, table = true, ata = true, vendor = true;
  bool verify = false;     // every module read twice and compared
  std::string rate{};      // the backup's rate, for the manifest
  std::string driveWords{};  // the drive's own words, asked at the start of this backup
  std::string serial{};      // the serial number the drive gave at the start, if it did
  // An earlier backup of the same drive in the folder: the entries of the
  // files this one does not write again are kept while they still match.
  const Manifest* earlier = nullptr;
};

// Backs up the ticked modules in the order APP, Cert, Cert Table, ATA, Vendor
// with their progress lines, then writes SN.TXT and, last, MANIFEST.TXT with
// the files that were written whole (also when the backup failed or raised).
// A failed track read skips the later modules; a table field that is empty
// or incomplete is reported and its module left out (the manifest then says
// complete=no). True when every read
// succeeded and every file the backup builds was written. A conversion error
// (a table value that is not hexadecimal) or a file that cannot be written
// (SN.TXT) raises.
bool BackupModules(TFrmMain& main, const BackupPlan& plan);

}  // namespace qv
