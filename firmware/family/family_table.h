#pragma once
// The drive-family table: for each drive family, where its firmware modules
// lie in the reserved area. The firmware backup reads the modules from those
// places, the module loading takes the application code's buffer from it.
//
// The table is a small INI-like text in GBK. The program carries a default
// copy and writes it to the table file when there is none; from then on the
// file is read, so technicians can add or change families by editing it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class TFrmMain;

// One section of the table. Texts are UTF-8.
struct FamilyRecord {
  std::string name;  // the section header's name, upper case
  // The text after "=" of each key, trimmed and upper case; empty when absent.
  // A location is "SA-offset start-sector sector-count" in hexadecimal; APP
  // may add the loading buffer ("60" or "80"), CERT0 a second location.
  std::string APP, CERT0, CERT1, TABLE, ATA, VEN;
};

class FamilyTable {
 public:
  static constexpr size_t kCapacity = 200;
  static constexpr const char* kFileName = "Varnel授权.reg";
  // The largest table file read: far beyond 200 families, and still finite.
  static constexpr uint64_t kMaxFileBytes = 4 * 1024 * 1024;

  // Reads a table text (GBK, lines ended by CR LF, LF or CR). Sections past
  // the capacity are counted by Dropped() and otherwise left out.
  void Parse(std::string_view gbkText);

  const std::vector<FamilyRecord>& Records() const { return records_; }
  size_t Count() const { return records_.size(); }
  size_t Dropped() const { return dropped_; }
  // The family names in table order, as the firmware type lists show them.
  std::vector<std::string> Names() const;
  // The record a firmware type list's position names (position i is the
  // table's record i + 1); nullptr when there is none.
  const FamilyRecord* AtListPosition(int position) const;

 private:
  std::vector<FamilyRecord> records_;
  size_t dropped_ = 0;
};

// The default table the program carries, as the bytes of the table file.
std::string BuiltInFamilyTable();

// Start-up, after the main window's own: reads the table file (beside the
// program first, then in the user's data folder), writing the default table
// first when there is none, into `table`, and shows its names in the main
// window's family list. When no file can be written or read (or it is empty,
// too large, a folder or a pipe), the default table is used from memory and
// the pane says why. Returns the file the table was read from, empty when the
// default table in memory is used.
std::string LoadFamilyTable(TFrmMain& main, FamilyTable& table);

// Shows the table's names in the main window's family list (ComboBox3), the
// first one selected. The console keeps only the names; the windows that
// need the module places hold the table itself.
void ShowFamilies(TFrmMain& main, const FamilyTable& table);

// Splits a location field into at most `count` values, as the backup and the
// loading window read it: each value runs up to the next space (runs of
// spaces separate values). With `restInLast` the last value is the whole
// trimmed rest, so extra values make it invalid instead of being ignored.
std::vector<std::string> SplitLocation(std::string_view field, size_t count, bool restInLast);

}  // namespace qv
