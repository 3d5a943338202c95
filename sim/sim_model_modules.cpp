// Firmware module loading. At the boot monitor the application code comes in
// through "d80,1" (1024-byte blocks) or "d60,2" (2048) and "j,,1" starts it,
// bringing the drive up at level T. There the certification code comes in
// through "d,3,1" (4096) or "d,2,1" (2048), the certification table through
// "h<sectors>" (only once certification code runs) and the two ATA overlays
// through "e0,0" and "e1,0" between "N4F,,22" and "N50,,22", all in 512-byte
// blocks. "w4,60", "w1,60" and "w,,22" write the application code, the
// certification code and the table from memory to the reserved area; the
// overlays, once "b,,22" has put them to work, are written by "c" at level 2.
#include "sim/sim_model.h"

namespace qv::sim {

bool DriveModel::ModuleCommand(const std::string& cmd, std::vector<Emit>& out) {
  if (level_ == 'F') return ModuleCommandAtMonitor(cmd, out);
  if (cmd == "N4F,,22" || cmd == "N50,,22") {
    overlayMode_ = cmd == "N4F,,22";
    Answer({"OK"}, out);
    return true;
  }
  if (level_ == 'T') return ModuleCommandAtT(cmd, out);
  if (level_ != '2') return false;
  if (cmd == "U") {
    Answer({"Spin Up"}, out);
    return true;
  }
  if (cmd != "c") return false;
  if (overlaysApplied_) {
    Save("ATA0");
    Save("ATA1");
  }
  Answer({"Saved"}, out);
  return true;
}

bool DriveModel::ModuleCommandAtMonitor(const std::string& cmd, std::vector<Emit>& out) {
  if (cmd == "d80,1" || cmd == "d60,2") {
    ArmModule("APP", cmd.substr(1));
    Answer({}, out);
    return true;
  }
  if (cmd[0] != 'j') return false;
  if (!codeLoaded_) {
    Answer({"No code loaded"}, out);
    return true;
  }
  // The code comes up at level T, at the monitor's rate.
  level_ = 'T';
  Answer({"Starting application code", "Boot Cmds Complete"}, out);
  return true;
}

bool DriveModel::ModuleCommandAtT(const std::string& cmd, std::vector<Emit>& out) {
  if (cmd == "d,3,1" || cmd == "d,2,1") {
    ArmModule("CERT", cmd.substr(1));
    Answer({}, out);
    return true;
  }
  if (cmd == "r") {
    Answer(certLoaded_ ? std::vector<std::string>{"Disk Code Revision 0001", "Servo Revision 0001"}
                       : std::vector<std::string>{"Servo Revision 0001"},
           out);
    return true;
  }
  if (cmd[0] == 'h') {
    long long sectors = 0;
    // One download carries at most 255 blocks.
    if (!ParseHex(cmd.substr(1), sectors) || sectors < 0 || sectors > 255) return false;
    if (!certLoaded_) {
      Answer({"Cert code not loaded"}, out);
      return true;
    }
    // Armed for the table: nothing is printed until the download is over.
    tableSectors_ = static_cast<size_t>(sectors);
    ArmModule("TABLE", "");
    return true;
  }
  if (cmd == "e0,0" || cmd == "e1,0") {
    if (!overlayMode_) {
      Answer({"Overlay mode not set"}, out);
      return true;
    }
    ArmModule(cmd == "e0,0" ? "ATA0" : "ATA1", "");
    Answer({}, out);
    return true;
  }
  if (cmd == "b,,22") {
    overlaysApplied_ = !modules["ATA0"].loaded.empty() || !modules["ATA1"].loaded.empty();
    Answer({"Overlays applied"}, out);
    return true;
  }
  const auto saves = [&](const char* command, const char* module) {
    if (cmd != command) return false;
    Save(module);
    Answer({"Saved"}, out);
    return true;
  };
  return saves("w4,60", "APP") || saves("w1,60", "CERT") || saves("w,,22", "TABLE");
}

void DriveModel::ArmModule(const std::string& module, const std::string& downloadArgs) {
  ArmDownload(downloadArgs);
  dlModule_ = module;
}

void DriveModel::ModuleDownloaded(const std::vector<uint8_t>& data) {
  SimModule& module = modules[dlModule_];
  module.loaded = data;
  module.blockSize = dlBlockSize_;
  // The drive keeps as many sectors as it was told of: a shorter download
  // leaves the rest as its memory held it (zeros here), a longer one is cut.
  if (dlModule_ == "TABLE") module.loaded.resize(tableSectors_ * 512);
  if (dlModule_ == "APP") codeLoaded_ = true;
  if (dlModule_ == "CERT") certLoaded_ = true;
  if (dlModule_ == "ATA0" || dlModule_ == "ATA1") overlaysApplied_ = false;
}

void DriveModel::Save(const std::string& module) {
  const auto it = modules.find(module);
  if (it != modules.end() && !it->second.loaded.empty()) it->second.saved = it->second.loaded;
}

void DriveModel::ForgetLoadedModules() {
  for (auto& [name, module] : modules) {
    module.loaded.clear();
    module.blockSize = 0;
  }
  codeLoaded_ = certLoaded_ = overlayMode_ = overlaysApplied_ = false;
}

}  // namespace qv::sim
