#pragma once
// The backup window's model on a console whose simulated drive reports a
// small family of the test's own: a family table that names it, a save
// folder in a scratch folder, and helpers to compare files with the drive's
// sectors and to read the pane.
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "console/text.h"
#include "firmware/backup/form6_backup.h"
#include "firmware/family/family_table.h"
#include "sim/sim_drive.h"
#include "tests/core/transfer_sim_support.h"

namespace qv::test {

// The family the drive reports: QVTEST, mask ROM S-1A, firmware 1.AA; its ATA
// module is the smallest that holds both overlays.
inline sim::SimFamily SmallFamily() {
  sim::SimFamily family;
  family.word = "QVTEST";
  family.maskRom = "S-1A";
  family.firmware = "1.AA";
  family.ata = {0x22, 0, 0x44};
  family.vendor = {0x23, 0, 6};
  return family;
}

// Its section is the third: the lookup must pass over the two shorter names.
inline constexpr const char* kSmallTable =
    "[QVSMALL]\r\nAPP=10 0 2\r\n\r\n"
    "[QVTEST]\r\nAPP=10 0 6\r\n\r\n"
    "[QVTEST_S-1A]\r\nAPP=10 0 6 60\r\nCERT0=20 0 5\r\nCERT1=20 0 3\r\nTABLE=21 3 4\r\nATA=22 0 44\r\nVEN=23 0 6\r\n";

class BackupSim : public TransferSim {
 protected:
  sim::SimOptions Options() const override {
    sim::SimOptions options;
    options.family = SmallFamily();
    options.trackBufferBase = 0x400;
    options.trackChunk = 0x10;  // the 0x44 sectors of ATA take full chunks and a remainder
    return options;
  }

  void SetUp() override {
    TransferSim::SetUp();
    if (HasFatalFailure()) return;
    main->firmwareFolder = dir.string() + "/";
    UseTable(kSmallTable, 2);
    OpenAt();
    Settle();
    TakeReceived();
  }
  void TearDown() override {
    form.reset();
    TransferSim::TearDown();
  }

  // The main window's family table and a fresh window that copies it, with
  // the family at `position` chosen and the save folder "backup/".
  // Unless `othersFamily`, a table of the test's own names its families
  // after the drive's ("[C]" becomes "[QVTEST C]"): a family the drive does
  // not report is asked about first.
  void UseTable(const std::string& text, int position = 0, bool othersFamily = false) {
    form.reset();
    std::string named = text;
    if (!othersFamily && named.find("QVTEST") == std::string::npos)
      for (size_t at = named.find('['); at != std::string::npos; at = named.find('[', at + 1))
        if (at + 1 < named.size() && std::isalnum(static_cast<unsigned char>(named[at + 1])))
          named.insert(at + 1, "QVTEST ");
    families.Parse(named);
    main->ComboBox3.items = families.Names();
    main->ComboBox3.index = 0;
    form = std::make_unique<TForm6>(*main, families);
    form->ComboBox7.index = position;
    form->Edit1 = Folder();
  }
  void Tick(bool app, bool cert, bool table, bool ata, bool vendor) {
    form->CheckBox1 = app;
    form->CheckBox2 = cert;
    form->CheckBox3 = table;
    form->CheckBox4 = ata;
    form->CheckBox5 = vendor;
  }
  void Change(const std::function<void(sim::SimOptions&)>& change) {
    sim::SimOptions options = drive->Options();
    change(options);
    drive->SetOptions(options);
  }

  std::string Folder() const { return Path("backup/"); }
  std::vector<uint8_t> File(const std::string& name) const { return ReadFile("backup/" + name); }
  bool Has(const std::string& name) const { return Exists("backup/" + name); }

  // Sectors of the reserved area as the drive holds them.
  std::vector<uint8_t> Sectors(int sa, int head, int first, int count) const {
    std::vector<uint8_t> all;
    for (int s = first; s < first + count; ++s) {
      const std::vector<uint8_t> one = drive->SectorBytes(sim::SimDrive::kReservedFirst + sa, head, s);
      all.insert(all.end(), one.begin(), one.end());
    }
    return all;
  }
  static std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }

  // The pane's lines from the backup's first on, without the drive's prompts.
  std::vector<std::string> BackupLines() const {
    std::vector<std::string> lines;
    bool started = false;
    for (const std::string& gbk : main->memo1.Lines()) {
      const std::string line = Utf8FromGbk(gbk);
      started = started || line.starts_with("正在获取缓冲区地址") || line.starts_with("Getting the buffer address");
      if (started && !Trim(line).empty() && !line.ends_with(">")) lines.push_back(line);
    }
    return lines;
  }

  bool PaneHas(const std::string& line) const {
    for (const std::string& gbk : main->memo1.Lines())
      if (Utf8FromGbk(gbk) == line) return true;
    return false;
  }

  std::unique_ptr<TForm6> form;
};

}  // namespace qv::test
