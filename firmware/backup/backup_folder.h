#pragma once
// What a backup must know before it writes into a folder: whether the drive
// is of the family chosen, and whether the folder already holds a backup of
// this drive (whose manifest entries stay good for the files not read again)
// or of another one (which the technician is asked about first).
#include <optional>
#include <string>
#include <vector>

#include "files/file_io.h"
#include "firmware/manifest/manifest.h"

namespace qv {

struct FamilyReport;

// The drive's own words for the manifest ("NHPLUS2HD_S-1A_3.AAC"); empty when
// the drive named nothing.
std::string DriveWords(const FamilyReport& report);

// Whether the drive's report names the family: some key of the report
// (family word with mask ROM or firmware word, or the family word alone)
// occurs in the family's name. A drive that named nothing names no family.
bool ReportNamesFamily(const FamilyReport& report, const std::string& familyName);

// The backup the folder already holds, as its manifest describes it.
struct EarlierBackup {
  bool present = false;               // the folder holds a MANIFEST.TXT
  std::optional<Manifest> manifest;   // empty when it is damaged or not ours
  // Of this drive: the manifest names the serial number the drive gave now.
  bool SameDrive(const std::string& serial) const {
    return manifest && !serial.empty() && manifest->serial == serial;
  }
};
EarlierBackup ReadEarlierBackup(const std::string& folder);

// The question before a backup over another drive's (or an unknown one's);
// `serial` is the drive's own, empty when it gave none.
std::string OtherDriveQuestion(const std::string& folder, const EarlierBackup& earlier, const std::string& serial);

// The entries of the earlier manifest whose files this backup did not write
// (`written`) and that still hold exactly what the entry says.
std::vector<ManifestFile> EntriesStillGood(const std::string& folder, const Manifest& earlier,
                                           const std::vector<std::string>& written);

// Keeps a copy of the folder's MANIFEST.TXT as MANIFEST.OLD (replacing an
// older one), so that the hashes of the files a new backup replaces are not
// lost. Nothing to do without one.
FileTrouble KeepEarlierManifest(const std::string& folder);

}  // namespace qv
