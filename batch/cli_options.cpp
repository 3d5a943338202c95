#include "batch/cli_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "files/file_io.h"
#include "files/folder_check.h"
#include "lang/language_choice.h"
#include "serial/port_list.h"
#include "serial/rfc2217_port.h"
#include "console/text.h"
#include "transfer/flash_rom.h"

namespace qv {

bool IsLibraryMode(BatchMode mode) { return mode >= BatchMode::LibraryAdd && mode <= BatchMode::LibraryRebuild; }

bool WorksOnADrive(BatchMode mode) {
  return mode != BatchMode::ListPorts && mode != BatchMode::ListFamilies && mode != BatchMode::Check &&
         mode != BatchMode::Compare && mode != BatchMode::ReplayTrace && !IsLibraryMode(mode);
}

namespace {

struct OperationFlag {
  const char* name;
  BatchMode mode;
  int paths;  // FILE or DIR arguments that follow
};
constexpr OperationFlag kOperations[] = {
    {"--rom-read", BatchMode::RomRead, 1},      {"--rom-write", BatchMode::RomWrite, 1},
    {"--backup", BatchMode::Backup, 1},         {"--load", BatchMode::Load, 1},
    {"--list-ports", BatchMode::ListPorts, 0},  {"--list-families", BatchMode::ListFamilies, 0},
    {"--check", BatchMode::Check, 1},           {"--compare", BatchMode::Compare, 2},
    {"--replay-trace", BatchMode::ReplayTrace, 1},
    {"--library-add", BatchMode::LibraryAdd, 1},        {"--library-list", BatchMode::LibraryList, 0},
    {"--library-drive", BatchMode::LibraryDrive, 1},    {"--library-donors", BatchMode::LibraryDonors, 2},
    {"--library-export", BatchMode::LibraryExport, 2},  {"--library-rebuild", BatchMode::LibraryRebuild, 0},
};

const char* FlagOf(BatchMode mode) {
  for (const OperationFlag& op : kOperations)
    if (op.mode == mode) return op.name;
  return "a script";
}

constexpr const char* kPortRequired =
    " needs --port: the port the drive is wired to (see --list-ports), or SIM for the built-in simulated drive";

bool IsRom(BatchMode mode) { return mode == BatchMode::RomRead || mode == BatchMode::RomWrite; }
bool IsFirmware(BatchMode mode) { return mode == BatchMode::Backup || mode == BatchMode::Load; }

// "app,cert": the modules named; an error text for a name that isn't one of
// the operation's.
std::string ParseModules(const std::string& list, BatchMode mode, ModuleChoice& into) {
  into = {};
  const std::string allowed = mode == BatchMode::Load ? "app,cert,table,ata" : "app,cert,table,ata,vendor";
  size_t from = 0;
  while (from <= list.size()) {
    const size_t comma = std::min(list.find(',', from), list.size());
    const std::string name = list.substr(from, comma - from);
    bool* box = name == "app"      ? &into.app
                : name == "cert"   ? &into.cert
                : name == "table"  ? &into.table
                : name == "ata"    ? &into.ata
                : name == "vendor" && mode != BatchMode::Load ? &into.vendor
                                                             : nullptr;
    if (!box) return "--modules: '" + name + "' is not one of " + allowed;
    *box = true;
    from = comma + 1;
  }
  return {};
}

// "5", "0.5": milliseconds from 0 to 1000; false for another text.
bool ParseGap(const std::string& text, std::chrono::microseconds& gap) {
  double ms = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), ms);
  if (ec != std::errc() || end != text.data() + text.size() || !(ms >= 0 && ms <= 1000)) return false;
  gap = std::chrono::microseconds(std::llround(ms * 1000));
  return true;
}

}  // namespace

BatchOptions ParseBatchOptions(const std::vector<std::string>& args) {
  BatchOptions o;
  bool optionsEnded = false;
  bool operationGiven = false;
  std::vector<std::string> scripts;
  std::string modules, entryGiven;
  // Options of one operation only, checked once the operation is known.
  std::vector<std::pair<std::string, bool (*)(BatchMode)>> belonging;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto is = [&a](const std::string& name) { return a == name || a.rfind(name + "=", 0) == 0; };
    auto value = [&](const std::string& name, std::string& into) {
      if (a.size() > name.size() && a.compare(0, name.size() + 1, name + "=") == 0) {
        into = a.substr(name.size() + 1);
      } else if (a == name && i + 1 < args.size()) {
        into = args[++i];
      } else {
        o.error = name + " needs a value";
        return;
      }
      if (into.empty()) o.error = name + " needs a value";
    };
    const OperationFlag* operation = nullptr;
    for (const OperationFlag& op : kOperations)
      if (!optionsEnded && (op.paths ? is(op.name) : a == op.name)) operation = &op;

    if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
      scripts.push_back(a);
    } else if (a == "--") {
      optionsEnded = true;
    } else if (operation) {
      if (operationGiven) {
        o.error = std::string("one operation at a time: ") + FlagOf(o.mode) + " and " + operation->name;
        return o;
      }
      operationGiven = true;
      o.mode = operation->mode;
      if (operation->paths > 0) value(operation->name, o.path);
      if (operation->paths > 1 && o.error.empty()) {
        if (i + 1 < args.size() && !args[i + 1].empty()) o.path2 = args[++i];
        else o.error = std::string(operation->name) + (o.mode == BatchMode::Compare ? " needs two folders"
                                                       : o.mode == BatchMode::LibraryDonors ? " needs SERIAL|FOLDER and MODULE"
                                                                                            : " needs SERIAL|ID and DIR");
      }
    } else if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--strict") {
      o.strict = true;
      belonging.emplace_back(a, [](BatchMode m) { return m == BatchMode::Script; });
    } else if (a == "--yes" || a == "-y") {
      o.yes = true;
    } else if (is("--port")) {
      value("--port", o.port);
    } else if (is("--rate")) {
      value("--rate", o.rate);
    } else if (a == "--by-instruction") {
      o.byInstruction = true;
      belonging.emplace_back(a, IsRom);
    } else if (is("--entry")) {
      value("--entry", entryGiven);
      belonging.emplace_back("--entry", [](BatchMode m) { return m == BatchMode::RomWrite; });
    } else if (is("--family")) {
      value("--family", o.family);
      belonging.emplace_back("--family", [](BatchMode m) { return IsFirmware(m) || m == BatchMode::LibraryList; });
    } else if (is("--serial")) {
      value("--serial", o.serial);
      belonging.emplace_back("--serial", [](BatchMode m) { return m == BatchMode::LibraryList; });
    } else if (is("--library")) {
      value("--library", o.library);
      belonging.emplace_back("--library", [](BatchMode m) { return IsLibraryMode(m) || m == BatchMode::Backup; });
    } else if (is("--modules")) {
      value("--modules", modules);
      o.modulesGiven = true;
      belonging.emplace_back("--modules", IsFirmware);
    } else if (a == "--verify") {
      o.verify = true;
      belonging.emplace_back(a, [](BatchMode m) { return m == BatchMode::Backup; });
    } else if (is("--gap")) {
      std::string text;
      value("--gap", text);
      if (o.error.empty() && !ParseGap(text, o.gap)) o.error = "--gap takes milliseconds from 0 to 1000, not " + text;
    } else if (is("--trace")) {
      value("--trace", o.trace);
      belonging.emplace_back("--trace", WorksOnADrive);
    } else if (is("--sim-adapter")) {
      std::string text;
      value("--sim-adapter", text);
      sim::AdapterTiming timing;
      if (o.error.empty() && !sim::AdapterTiming::Parse(text, timing))
        o.error = "--sim-adapter takes ft232[-Nms], ch340[-Nms] or uart[-N], not " + text;
      o.simAdapter = timing;
    } else if (is("--lang")) {
      std::string text;
      value("--lang", text);
      o.language = LanguageFromCode(text);
      if (o.error.empty() && !o.language) o.error = "--lang takes zh or en, not " + text;
    } else if (a == "--save") {
      o.save = true;
      belonging.emplace_back(a, [](BatchMode m) { return m == BatchMode::Load; });
    } else {
      o.error = "unknown option " + a;
    }
    if (!o.error.empty()) return o;
  }
  if (o.help) return o;
  if (o.simAdapter && o.port != "SIM") {
    o.error = "--sim-adapter goes with --port SIM";
    return o;
  }

  for (const auto& [option, applies] : belonging) {
    if (!applies(o.mode)) {
      o.error = option + " does not go with " + FlagOf(o.mode);
      return o;
    }
  }
  if (!entryGiven.empty()) {
    if (o.byInstruction) o.error = "--entry is the buffer write's; --by-instruction writes without it";
    else if (entryGiven != "400" && entryGiven != "800") o.error = "--entry takes 400 or 800, not " + entryGiven;
    else o.entry = entryGiven;
    if (!o.error.empty()) return o;
  }
  if (o.modulesGiven) {
    o.error = ParseModules(modules, o.mode, o.modules);
    if (!o.error.empty()) return o;
  }

  if (o.mode == BatchMode::LibraryAdd) {
    // Any number of folders, as a shell's wildcard gives them.
    o.folders = {o.path};
    o.folders.insert(o.folders.end(), scripts.begin(), scripts.end());
    scripts.clear();
  }
  if (o.mode != BatchMode::Script) {
    if (!scripts.empty()) o.error = std::string("a script and ") + FlagOf(o.mode) + ": one at a time";
    else if (o.port.empty() && WorksOnADrive(o.mode))
      o.error = std::string(FlagOf(o.mode)) + kPortRequired;
    return o;
  }
  if (o.rate.empty()) o.rate = "9600";
  if (scripts.empty()) o.error = "no script or operation given";
  else if (scripts.size() > 1) o.error = "one script at a time, not " + std::to_string(scripts.size());
  else if (o.port.empty()) o.error = std::string("a script") + kPortRequired;
  else o.script = scripts.front();
  return o;
}

std::string PathProblem(const BatchOptions& o) {
  namespace fs = std::filesystem;
  std::error_code ec;
  switch (o.mode) {
    case BatchMode::RomWrite: {
      const FileCheck file = CheckInputFile(o.path, kMaxRomFileBytes);
      if (file.trouble.kind == FileTrouble::Kind::Missing) return "no ROM image " + o.path;
      if (file.trouble.kind == FileTrouble::Kind::NotAFile) return o.path + " is not a file";
      return {};  // too large, unreadable: the window says so in its own words
    }
    case BatchMode::RomRead: {
      const fs::path target(o.path);
      if (fs::is_directory(target, ec)) return o.path + " is a folder; name the file to save the ROM into";
      const std::string folder = target.parent_path().string();
      if (const FileTrouble trouble = FolderTakesNewFiles(folder, false))
        return "cannot save the ROM into " + o.path + ": " + FolderTroubleMessage(folder.empty() ? "." : folder, trouble);
      return {};
    }
    case BatchMode::Load:
    case BatchMode::Check:
      if (!fs::is_directory(o.path, ec)) return "no firmware folder " + o.path;
      return {};
    case BatchMode::ReplayTrace:
      if (!FileExists(o.path)) return "no trace " + o.path;
      return {};
    case BatchMode::Compare:
      for (const std::string* folder : {&o.path, &o.path2})
        if (!fs::is_directory(*folder, ec)) return "no backup folder " + *folder;
      return {};
    default: return {};
  }
}

std::string BackupFolderProblem(const std::string& folder) {
  if (const FileTrouble trouble = FolderTakesNewFiles(folder, true))
    return "cannot back up into " + folder + ": " + FolderTroubleMessage(folder, trouble);
  return {};
}

std::string PortProblem(const std::string& port, const std::vector<std::string>& listed) {
  if (port == kSimPortName || std::find(listed.begin(), listed.end(), port) != listed.end()) return {};
  // A network port is reached on open, which says why when it cannot be.
  if (Rfc2217Port::IsNetworkPort(port)) return {};
  // A device of its own path, or one the list leaves out (a port without a
  // UART behind it, a pseudo-terminal), is tried as it is.
  std::error_code ec;
  if (std::filesystem::exists(DevicePathFor(port), ec)) return {};
  if (UpperCase(port) == kSimPortName) return "no port " + port + "; the simulated drive is SIM (in capitals)";
  std::string ports;
  for (const std::string& name : listed) ports += " " + name;
  return "no port " + port + " on this machine; the ports here:" + ports + " (SIM: the built-in simulated drive)";
}

const char* const kBatchUsage = R"(Usage: quorvane-batch --port NAME [--rate RATE] [--gap MS] [--trace FILE] [--yes] [--strict] SCRIPT.cmd
       quorvane-batch --port NAME [--rate RATE] [--gap MS] [--trace FILE] [--yes] OPERATION
       quorvane-batch --check DIR | --compare DIR1 DIR2 | --replay-trace FILE
       quorvane-batch [--library DIR] LIBRARY-OPERATION
       quorvane-batch --list-ports | --list-families | --help

Runs a batch script on a drive's serial terminal without a window, the way
the batch window's run button runs it, or one of the long operations of the
other windows, the way their buttons run it.

  --port NAME   required for a script and every operation on a drive: a port
                as the port list shows it (ttyUSB0, opened under /dev), an
                absolute device path (a pseudo-terminal such as /dev/pts/7
                works), rfc2217://HOST:PORT for a port ser2net serves on
                another machine (RFC 2217: the rate travels along),
                tcp://HOST:PORT for a plain TCP bridge (fixed rate: a rate
                change fails), or SIM, the built-in simulated drive, to try things
                out (said on stderr, as nothing read from it is a real drive's).
                A name that is none of these is answered with the ports there
                are.
  --rate RATE   a script: the rate the port is opened at (default 9600).
                An operation: the rate of the transfer; the port is opened at
                9600, drive and port move to RATE for the transfer and back to
                9600 after it (default: the highest rate offered, as in the
                windows). The port is probed first: 9600, 38400, 57600 and
                115200 are always offered, 230400, 460800, 625200 and 921600
                when the adapter takes them; on rfc2217:// the rates the
                server confirms.
  --gap MS      how long the line must at least be quiet before the drive's
                output counts as over, in milliseconds (0.1 steps; 0: only
                automatic). Automatic covers USB adapters (their latency
                timer), native ports (their FIFO) and what the arrivals show,
                and wins when it is longer; set it for a serial bridge that
                passes the output on with gaps over 20 ms.
  --trace FILE  writes a trace of the line to the end of FILE as the run
                goes: every send and every lump received, with its time in
                microseconds and the port's rate (the format: the manual
                page). --replay-trace decides it again.
  --sim-adapter ft232[-Nms]|ch340[-Nms]|uart[-N]
                with --port SIM: the simulated drive answers through an
                emulated adapter, an FT232-class chip (latency timer 16 ms,
                or N), a CH340-class one (1 ms, or N) or a UART FIFO
                (trigger 14, or N), as a real adapter would deliver it.
  --lang zh|en  the language of the pane's lines and the messages for this run
                (default: the 语言 / Language menu's choice, else the locale:
                LANGUAGE, LC_ALL, LC_MESSAGES, LANG; Chinese for zh, C and
                POSIX, English for any other). Scripts that parse the
                output name it. Below, a window's caption is given in
                English with the Chinese one beside it: "Read twice" (读两遍核对).
  --yes, -y     answer Yes to questions (default: No).
  --strict      a script: refuse to run it (status 2, the port not opened)
                when the check before the run finds a doubtful line.
  --help, -h    this text.

Operations (one per call):
  --rom-read FILE [--by-instruction]
        the serial ROM window: the drive to the F level, the transfer rate,
        the 64 KiB flash ROM read into FILE ("Buffer read" (缓冲区读取); with
        --by-instruction one byte per command, "Instr. read" (指令方式读取)),
        back to 9600.
  --rom-write FILE [--entry 400|800] [--by-instruction]
        the same for writing FILE into the flash ROM: through entry buffer
        400 (default) or 800 ("Buffer write" (缓冲区写入)), or one byte per
        command ("Instr. write" (指令方式写入)).
  --backup DIR [--family NAME|auto] [--modules app,cert,table,ata,vendor]
               [--verify]
        the backup window: the firmware modules of the family's table entry
        read into DIR (created if missing, and tried with a file of its own
        before the drive is touched) as APP.BIN, CERT.BIN, Table.BIN,
        ATA.BIN (ATA0.BIN, ATA1.BIN), Vendor.BIN, ID.BIN and SN.TXT, and last
        MANIFEST.TXT with each file's size and SHA-256. Default family: auto,
        the family the drive reports (the drive must be at level T); default
        modules: all five. --verify reads every module twice
        ("Read twice" (读两遍核对));
        where the reads differ more decide sector by sector (five reads at
        most), and a sector on which no two agree fails the backup. A family
        the drive does not report, or a DIR holding another drive's backup,
        asks first (--yes); an earlier manifest is kept as MANIFEST.OLD.
  --load DIR [--family NAME|auto] [--modules app,cert,table,ata] [--save]
        the loading window: the module files found in DIR (APP.BIN, CERT.BIN,
        Table.BIN, ATA0.BIN with ATA1.BIN, or ATA.BIN) loaded into the drive,
        APP at level F, the others at level T. The family (or auto) sets the
        buffer of APP (60 when none is given). Default modules: APP, CERT and
        TABLE when their files are there; the ATA overlays only when named.
        --save has the drive write each loaded module into its reserved
        area ("Write to drive" (存盘)). When
        DIR holds a MANIFEST.TXT, a module file that it does not list or
        whose size or SHA-256 differs refuses the load before anything is
        sent; a backup of another family than --family asks first (--yes).
  --check DIR   DIR's files against its MANIFEST.TXT, without a drive: the
                manifest's [backup] line, then one line per file, name and
                verdict, tab-separated, then a count ("9 files, 1 does not
                agree with MANIFEST.TXT"). An incomplete backup fails.
  --compare DIR1 DIR2
                the files of two backup folders, without a drive: one line
                per file of either, name and verdict (the same, only in one,
                or how many bytes differ and the first offsets that do), then
                a count of the files judged ("9 files, 1 differs"). When
                either folder has a MANIFEST.TXT, only the files a manifest
                lists are judged; any other (a log, a ROM image) is named
                without a verdict. Files over 1 MiB are not compared. Both list the files in the order a backup writes
                them (APP.BIN first, SN.TXT last), then any other by name.
  --replay-trace FILE
                a trace written with --trace (or the window's
                "File → Trace the line…" (文件 → 记录收发时序…)), decided
                again without a drive: one line per
                chunk the program was handed, with the time it was decided
                (microseconds), why it ended (quiet, time-limit, full, sent,
                prompt), the sends before it, its bytes, and the prompt
                (with the sends before its line) or the answer it decided.

Firmware library operations (without a drive; --library DIR names the
library, default: the folder chosen in the firmware library window, else
$XDG_DATA_HOME/quorvane/library). A backup that completes is added by
itself, also with --backup, unless the window's box
"Add completed backups to the library" (完成的备份自动加入固件库) is cleared
(library-auto-add=no in the settings file).
  --library-add FOLDER...
        adds backup folders made before; each is checked against its
        MANIFEST.TXT first, as --check does, and a folder that fails is
        refused with the reasons. The same backup added twice is kept once.
  --library-list [--family F] [--serial S]
        the backups, newest first: number, time, family, the drive's words,
        serial number, verified or not, the folder it came from.
  --library-drive SERIAL|FOLDER
        each module of the drive (its newest backup, or the backup in
        FOLDER, which need not be in the library) against the other drives
        of the same family and firmware: identical on all, one of several
        variants, or different from all others (the one to suspect).
  --library-donors SERIAL|FOLDER MODULE
        the drives of the same family and firmware whose copy of MODULE
        (APP.BIN, or APP) is the one most of them share, newest first.
  --library-export SERIAL|ID DIR
        writes a backup (a drive's newest, or the backup of that number;
        #ID when a serial number is all digits) into DIR, new or empty, with
        its MANIFEST.TXT, for --check and --load; a stored file that no
        longer matches its SHA-256 is named and nothing is written.
  --library-rebuild
        builds the library's database again from the files it keeps (a
        damaged one is kept aside as library.db.damaged), checking every
        stored file.

  --list-ports      the ports this machine offers, one per line; after a tab,
                    what is behind a USB port (product, vendor:product,
                    driver, serial number) or a native port.
  --list-families   the drive-family table in use, where it was read from,
                    and each family's module places.

The port is opened with DTR and RTS on ("USB to COM") and closed at the end
with both dropped. Relative file names are taken from the current folder.

Script lines (GBK or UTF-8 text; a line starting with "/" is a comment):
  ECHO/text          LEVEL/T, LEVEL/2, LEVEL/F    SLEEP/ms
  SPEED/rate         BAUDRATE/rate                STR/command   HEX/1A   DEC/26
  R_BUF/start/count/file                          W_BUF/start/count/file
  R_SECTORS/cyl/head/buffer/chunk/start/count/file
  W_SECTORS/cyl/head/buffer/chunk/start/count/file
  SEND_FILE/blocksize/file
  CREAT_FILE/src1/start1/count1/src2/start2/count2/output
  CMP_FILE/file1/file2   says in the pane whether the two files are the same
                         (file1 without folders; file2 may have them)
Numbers of the transfers are hexadecimal. The file of R_SECTORS and W_SECTORS
loses everything up to its first "/"; put a dummy field before a path with
folders (.../count/-//tmp/track.bin).

The script is checked before the port is opened; each doubtful line is said
on stderr with its number and what is wrong with which field (line 3 (LEVL/T):
LEVL is not a keyword (LEVEL?); the line is shown and does nothing): a keyword
that is none, a line with a keyword and no "/", a rate that is none (SPEED and
BAUDRATE take 9600 then), a statement short of fields, a number that does not
convert, a field R_SECTORS or W_SECTORS drops before the file name other than
"-". The run goes on as the language says (--strict refuses it); an error that
ends it names the line and the field.
A step that fails (a transfer, a rate change, LEVEL/F, CMP_FILE of files that
differ) does not end the run; stdout ends with a line naming the failed steps
("2 of 9 steps failed: line 4 R_BUF, line 7 SPEED"). A rate the port refuses
ends the run at once, nothing more sent: the pane says where the drive is.

Output: every line of the terminal pane on stdout in UTF-8, once complete;
message boxes on stderr as "CAPTION: TEXT"; on a terminal, the progress bar
on stderr while it moves. An operation that succeeded ends stdout with one
line saying what it made: a backup its family, the drive's serial number, the
folder and the files written; a ROM read the file, its size and SHA-256.
A usage error is one line on stderr.

Ctrl-C, SIGTERM (timeout, kill) and SIGHUP (a closed terminal or a dropped
remote session) stop the script after the current statement, or the operation
at its next test, as STOP does: drive and port still go back to 9600. Signals
within a second of the first count as the first (timeout sends its signal to
the program and then to its group). One a second or more later ends the
program at once and may leave the drive at the transfer rate, a script's
download cut off or a ROM write half done.

Exit status: 0 every step of the script succeeded, or the operation succeeded
(--check: every file agrees; --compare: every file is the same); 1 a step of
the script failed, a statement raised an error, the port refused a rate, or the
operation reported a failure, a load whose TABLE step was skipped included, or
a file that does not agree with the manifest or differs between the folders
(the messages are on stdout and stderr); 2 bad usage (no --port included), a
script that cannot be read or is empty (or, with --strict, has doubtful lines),
a port that does not exist or cannot be opened, or a file or folder that cannot
take what the operation makes; 128 + the signal's number when stopped by one,
and only then: 130 Ctrl-C, 143 SIGTERM, 129 SIGHUP.

Examples:
  quorvane-batch --port ttyUSB0 check.cmd
  quorvane-batch --port ttyUSB0 --strict check.cmd
  quorvane-batch --port ttyUSB0 --rate 115200 --rom-read rom.bin
  quorvane-batch --port ttyUSB0 --rom-write rom.bin --entry 800
  quorvane-batch --port ttyUSB0 --backup backups/drive1
  quorvane-batch --port ttyUSB0 --load backups/drive1 --family TONKA --save
  quorvane-batch --check backups/drive1
  quorvane-batch --compare backups/donor backups/patient
  quorvane-batch --library-add backups/*
  quorvane-batch --library-drive backups/patient
  quorvane-batch --library-donors backups/patient CERT.BIN
  quorvane-batch --port SIM --backup /tmp/try   # the simulated drive
)";

}  // namespace qv
