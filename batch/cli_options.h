#pragma once
// The command line of the headless runner: a batch script, or one of the
// long drive operations of the windows, with the port and rate to use.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "lang/translate.h"
#include "sim/sim_adapter.h"

namespace qv {

// Exit statuses of quorvane-batch.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;       // the script or operation reported a failure
inline constexpr int kExitUsage = 2;        // bad usage, or a port that cannot be opened
// Stopped by a signal: 128 + its number, as a shell reports a program the
// signal ended (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP).

enum class BatchMode { Script, RomRead, RomWrite, Backup, Load, ListPorts, ListFamilies, Check, Compare, ReplayTrace,
                       LibraryAdd, LibraryList, LibraryDrive, LibraryDonors, LibraryExport, LibraryRebuild };
// False for the lists, the reports on backup folders, the replay of a trace
// and the firmware library, which need no drive.
bool WorksOnADrive(BatchMode mode);
bool IsLibraryMode(BatchMode mode);

// The modules of a backup (all five) or a load (the first four).
struct ModuleChoice {
  bool app = false, cert = false, table = false, ata = false, vendor = false;
  bool operator==(const ModuleChoice&) const = default;
};

struct BatchOptions {
  BatchMode mode = BatchMode::Script;
  // Required for a script and every operation on a drive: a drive that does
  // not exist must never be read or written by default.
  std::string port;
  // The script's port rate, or the operation's transfer rate; empty: the
  // default (9600 for a script, the window's choice, the last rate offered,
  // for an operation).
  std::string rate;
  bool yes = false;
  bool strict = false;         // a script with doubtful lines is refused before the port opens
  bool help = false;
  std::string script;
  std::string path;            // the operation's FILE or DIR
  std::string path2;           // --compare: the second DIR; --library-donors: MODULE; --library-export: DIR
  std::vector<std::string> folders;  // --library-add: every FOLDER
  std::string serial;          // --library-list --serial
  std::string library;         // --library DIR: the firmware library (empty: the settings' choice)
  bool byInstruction = false;  // ROM: one byte per command instead of through the buffer
  std::string entry = "400";   // ROM write through the buffer: the entry buffer
  std::string family;          // backup, load: a family name or "auto"; empty: not given
  bool modulesGiven = false;
  ModuleChoice modules;
  bool save = false;           // load: write the loaded modules to the reserved area
  bool verify = false;         // backup: every module read twice and compared
  // --gap: the quiet that ends the drive's output, set by hand (zero: automatic).
  std::chrono::microseconds gap{0};
  // --trace FILE: the record of the line written to FILE as the run goes.
  std::string trace;
  // --sim-adapter: the simulated drive's output reaches the program through this adapter.
  std::optional<sim::AdapterTiming> simAdapter;
  // --lang zh|en: the language of this run, whatever the locale and settings say.
  std::optional<Language> language;
  std::string error;           // not empty: bad usage, and why
};

BatchOptions ParseBatchOptions(const std::vector<std::string>& args);

// Why the operation's FILE or DIR can't be used, before any port is opened:
// a ROM image to write that is not a readable file, a ROM read whose folder
// takes no new file, a firmware folder to load, check or compare that is not
// a folder. Empty when there is
// nothing to say; the windows' own checks still follow.
std::string PathProblem(const BatchOptions& options);

// Why a backup cannot go into `folder`, once it was created (with its
// parents) and tried with a file of its own; empty when it can.
std::string BackupFolderProblem(const std::string& folder);

// Why `port` names no port of this machine, with the ports it has (`listed`,
// as the port list gives them); empty for a listed port, SIM, or a device
// that exists.
std::string PortProblem(const std::string& port, const std::vector<std::string>& listed);

extern const char* const kBatchUsage;

}  // namespace qv
