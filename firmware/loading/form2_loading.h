#pragma once
// The loading window "F级引导": puts firmware modules back into a drive that
// cannot start from its own. The application code goes in at the boot monitor
// (level F); once it runs, the drive answers at level T, where the
// certification code, the certification table and the two ATA overlays follow,
// each optionally written to the reserved area ("存盘").
//
// This is the window's behaviour without its drawing: the Qt window shows
// these fields, forwards its clicks here and redraws on Changed.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/controls.h"
#include "console/main.h"
#include "lang/translate.h"

namespace qv {

class FamilyTable;

// The pauses and prompt waits of the loading steps, as the drive needs them:
// time to start code, store a module, spin up. A drive that needs none of it
// (the simulated one, in tests) may get them shortened; what is sent and in
// which order stays the same.
struct LoadTiming {
  static constexpr int kShortestWait = 100;  // ticks; a prompt wait is never cut below this
  int percent = 100;                         // of every pause and prompt wait

  int Pause(int ticks) const;
  int Wait(int ticks) const;
};

class TForm2 {
 public:
  static constexpr const char* kCaption = N_("F级引导");
  static constexpr const char* kFilter = N_("BIN文件|*.bin|所有文件|*.*");
  static constexpr const char* kDefaultExt = "*.bin";
  static constexpr const char* kFolderTitle = N_("选择固件文件夹");
  static constexpr const char* kFolderHint = N_("选择固件保存位置");
  // Limits of a chosen module file.
  static constexpr uint64_t kCodeLimit = 1048576;   // APP, CERT: 1 MB
  static constexpr uint64_t kModuleLimit = 130048;  // TABLE, ATA0, ATA1: 127 KB
  // "模块文件长度不能大于1MB！" or "...127KB！", for one of the two limits.
  static std::string TooLongMessage(uint64_t limit);
  static constexpr int kMaxBlocks = 255;            // what one download carries
  static constexpr int kSectorBlockSize = 512;      // the block size of TABLE, ATA0 and ATA1
  static_assert(kModuleLimit <= uint64_t{kMaxBlocks} * kSectorBlockSize, "TABLE, ATA0, ATA1 fit one download");

  // The fixed items of the lists that may also be typed into.
  static const std::vector<std::string> kBufferItems;     // ComboBox1
  static const std::vector<std::string> kAppBlockItems;   // ComboBox3
  static const std::vector<std::string> kCertBlockItems;  // ComboBox4

  class View {
   public:
    virtual ~View() = default;
    // Any field or enabled state may have changed.
    virtual void Form2Changed() = 0;
  };

  // Creation: the rate list follows the main window's, the family names are
  // copied, and the fields are reset. `families` is the table the main
  // window's family list shows; it gives the module places.
  TForm2(TFrmMain& main, const FamilyTable& families);
  ~TForm2();
  TForm2(const TForm2&) = delete;
  TForm2& operator=(const TForm2&) = delete;

  void SetView(View* view) { view_ = view; }

  // --- controls (texts UTF-8) ---
  // Each module's file field, chooser, save box and lists are usable exactly
  // while the module's box is ticked (and Panel1 is enabled).
  ListControl ComboBox7;      // firmware type: the family names
  std::string ComboBox7Text;  // what the firmware type list shows, chosen or typed
  std::string Edit7;          // firmware folder
  bool CheckBox1 = false;     // APP
  std::string Edit1;
  bool CheckBox10 = false;    // save APP
  std::string ComboBox1 = "60";    // buffer
  std::string ComboBox3 = "2048";  // APP block size
  bool CheckBox2 = false;     // CERT
  std::string Edit2;
  bool CheckBox9 = false;     // save CERT
  std::string ComboBox4 = "4096";  // CERT block size
  bool CheckBox3 = false;     // TABLE
  std::string Edit6;
  bool CheckBox8 = false;     // save TABLE
  std::string Edit3 = "18";   // TABLE sector count (hexadecimal), not shown
  bool CheckBox4 = false;     // ATA0
  std::string Edit4;
  bool CheckBox5 = false;     // save the ATA overlays
  bool CheckBox6 = false;     // ATA1
  std::string Edit5;
  ListControl ComboBox2;      // loading rate, a copy of the main window's rate list
  bool Panel1Enabled = true;
  LoadTiming timing;

  // --- module choice: the box's new state is already in its field ---
  void CheckBox1Click();
  void CheckBox2Click();
  void CheckBox3Click();
  void CheckBox4Click();
  void CheckBox6Click();
  // --- lists ---
  void ComboBox1Change();  // buffer: sets both block sizes
  // Firmware type: the view has set ComboBox7Text and the index of the name
  // it shows (-1 when typed text names no family).
  void ComboBox7Change();
  // --- file and folder choice ---
  void Button51Click();  // APP file
  void Button1Click();   // CERT file
  void Button2Click();   // TABLE file
  void Button3Click();   // ATA0 file
  void Button4Click();   // ATA1 file
  void Button7Click();   // firmware folder
  void AutoSetFile(std::string folder);
  void Init1();          // reset
  // --- drive ---
  void Button5Click();   // "A": family lookup and automatic file selection
  void Button6Click();   // "加载": load the ticked modules
  // What the load button runs: true when every ticked module was loaded;
  // false when a step failed or the load never started (a message box said
  // why).
  bool Load();
  // The last load went on past a TABLE step the drive did not take ("请先加载
  // CERT模块！"): the chain counts it as done, a caller that reports an
  // outcome of its own must not.
  bool TableSkipped() const { return tableSkipped_; }

  // The steps of the load; each reports on its own progress line and returns
  // whether it succeeded.
  bool LoadApp(const std::string& file, const std::string& buffer, int blockSize, bool save);
  bool LoadCert(const std::string& file, int blockSize, bool save);
  bool LoadTable(const std::string& file, bool save);
  bool LoadATA0(const std::string& file, int blockSize, bool last, bool save);
  bool LoadATA1(const std::string& file, int blockSize, bool save);

 private:
  // The load's checks; false after showing the first failing one's message.
  bool CheckLoad();
  // Each ticked module's file against the backup manifest of its folder,
  // where there is one: false after a message naming the file and what
  // differs, or after No to loading a backup of another family.
  bool CheckManifests();
  // The ticked steps in order, up to the first that fails; true when none did.
  bool RunChain();
  // Drive and port to 9600, then to the loading rate when the drive is at level T.
  bool ToLevelT();
  // Drive and port to the transfer rate; false when the port refused it.
  bool AdSpeed();
  // The module file's bytes (at most `limit`); nothing after a message box
  // when the file can't be read or is empty.
  std::optional<std::vector<uint8_t>> ReadModule(const std::string& file, uint64_t limit);
  // Reads the module file and downloads it; false after a message box.
  bool SendModule(const std::string& file, int blockSize, uint64_t limit);
  // A command line, then a wait for the prompt whose outcome doesn't matter.
  void Send(std::string_view line, int waitTicks);
  void ChooseFile(std::string& field, uint64_t limit, bool table);
  // Puts a module file in its field as the load will read it, the TABLE
  // field with its sector count; a file the load would refuse is refused now,
  // with its message, and the field emptied.
  void TakeFile(std::string& field, const std::string& path, uint64_t limit, bool table);
  void SetApp(bool ticked);
  void SetCert(bool ticked);
  void SetTable(bool ticked);
  void SetAta0(bool ticked);
  void SetAta1(bool ticked);
  void Changed();

  TFrmMain& main_;
  const FamilyTable& families_;
  View* view_ = nullptr;
  // The SHA-256 each checked module file had, by path: the file is read
  // again when it is sent and must not have changed meanwhile.
  std::map<std::string, std::string> checkedDigests_;
  bool tableSkipped_ = false;
};

}  // namespace qv
