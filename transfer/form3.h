#pragma once
// The serial ROM window "串行ROM读写": a file to read the flash ROM into, a
// file to write into it, the entry buffer and the rate, and one button for
// each of the four ROM operations. This is the window's behaviour without its
// drawing; the Qt window copies the entry buffer and the rate in as they
// change and redraws on onChanged.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "console/controls.h"
#include "lang/translate.h"
#include "transfer/flash_rom.h"

namespace qv {

class TFrmMain;

class TForm3 {
 public:
  static constexpr const char* kCaption = N_("串行ROM读写");
  static constexpr const char* kFilter = N_("BIN文件|*.bin|所有文件|*.*");
  static constexpr const char* kDefaultExt = "*.bin";
  static constexpr const char* kFileName = "ROM.BIN";
  // The largest file the window takes for writing (0x80000 bytes).
  static constexpr uint64_t kMaxWriteFileBytes = kMaxRomFileBytes;

  // ComboBox2 follows the main window's rate list from here on.
  explicit TForm3(TFrmMain& main);
  ~TForm3();
  TForm3(const TForm3&) = delete;
  TForm3& operator=(const TForm3&) = delete;

  // --- controls (texts in UTF-8) ---
  std::string Edit1;  // file a read is saved into (read-only box)
  std::string Edit2;  // file written into the ROM (read-only box)
  std::string ComboBox3 = "400";  // entry buffer of the fast write, editable
  static const std::vector<std::string>& EntryBuffers();  // ComboBox3's items
  ListControl ComboBox2;  // rate of the transfer
  bool Enabled = true;    // false while an operation runs
  bool Running() const { return !Enabled; }

  // Told when Edit1, Edit2 or Enabled changed from here.
  std::function<void()> onChanged;

  void Button51Click();  // "..." for Edit1: the save chooser
  void Button1Click();   // "..." for Edit2: the open chooser, then the size limit
  void Button2Click();   // "缓冲区读取"
  void Button3Click();   // "指令方式读取"
  void Button6Click();   // "缓冲区写入"
  void Button4Click();   // "指令方式写入"

  // What the four buttons run.
  enum class Operation { ReadByBuffer, ReadByInstruction, WriteByBuffer, WriteByInstruction };
  // The checks that need no drive (the port, the path, the file), the F
  // level, the rate, the operation, and back to 9600. True when the
  // operation succeeded; false when it failed or never started (a message
  // box said why, or the drive did not reach level F). A raised error of the
  // operation reaches the caller after the way back.
  bool Run(Operation operation);

 private:
  // Whether a read can save its image at `path`; false after a message box.
  bool SaveTargetUsable(const std::string& path);
  // Whether a write can take its image from `path`: a regular file of at
  // most kMaxWriteFileBytes and, given the operation, a length it can write.
  // False after a message box.
  bool WriteSourceUsable(const std::string& path, std::optional<Operation> operation = std::nullopt);
  void SetEnabled(bool enabled);
  void Changed();

  TFrmMain& main_;
};

}  // namespace qv
