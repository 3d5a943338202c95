// quorvane-batch: runs a batch script, or one of the windows' long
// operations, on a drive without a window.
#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "batch/cli_options.h"
#include "batch/folder_reports.h"
#include "batch/form4.h"
#include "batch/headless.h"
#include "batch/library_reports.h"
#include "batch/operations.h"
#include "batch/script_check.h"
#include "batch/script_file.h"
#include "cli/interrupts.h"
#include "cli/progress_view.h"
#include "console/language_setup.h"
#include "console/main.h"
#include "console/stop_signals.h"
#include "console/text.h"
#include "files/file_io.h"
#include "firmware/family/family_table.h"
#include "serial/port_identity.h"
#include "serial/port_list.h"
#include "serial/receive_trace.h"
#include "sim/sim_drive.h"

namespace {

using namespace qv;

// What keeps the run from starting, in one line.
int Refuse(const std::string& why) {
  std::cerr << "quorvane-batch: " << why << "\n";
  return kExitUsage;
}

int Fail(const std::string& why) { return Refuse(why + " (see quorvane-batch --help)"); }

// The port as the main window opens it: the probe of start-up (the rate list
// holds four rates, or eight when the adapter takes 921600), then the open
// button with "USB to COM" ticked. kExitDone when it is open.
int OpenPort(TFrmMain& main, const StreamDialogs& dialogs, const std::string& port, const std::string& rate) {
  main.ComboBox1.items = {port};
  main.ComboBox1.index = 0;
  const size_t boxesBefore = dialogs.BoxesShown();
  main.ComboBox1Change();
  // The probe opened the port, and so started its receive thread, with
  // Ctrl-C blocked.
  stop_signals::Accept();
  if (dialogs.BoxesShown() != boxesBefore) return kExitUsage;
  main.ComboBox2.SelectText(rate);
  if (main.ComboBox2.index < 0) {
    std::string offered;
    for (const std::string& r : main.ComboBox2.items) offered += " " + r;
    std::cerr << "quorvane-batch: the rate " << rate << " is not offered on " << port << " (offered:" << offered
              << ")\n";
    return kExitUsage;
  }
  main.CheckBox1 = true;  // "USB to COM"
  main.btnSwitchClick();
  return main.PortOpen() ? kExitDone : kExitUsage;
}

// The run's status; `failedSteps` gets the line naming the steps that failed.
int RunScript(TFrmMain& main, const LoadedScript& script, std::string& failedSteps) {
  TForm4 form(main);
  form.Memo1 = script.lines;
  form.remarksInPane = false;  // the check was said on stderr before the port opened, the failed steps come last
  const TForm4::RunResult result = form.Button9Click();
  failedSteps = FailedStepsLine(result);
  switch (result.end) {
    case TForm4::RunResult::End::Finished: return result.failed.empty() ? kExitDone : kExitFailed;
    case TForm4::RunResult::End::Failed:
    case TForm4::RunResult::End::Refused: return kExitFailed;
    // Only a signal makes 128 + its number; main() sets that.
    case TForm4::RunResult::End::Stopped: return kExitFailed;
    case TForm4::RunResult::End::EmptyScript: break;
  }
  return kExitUsage;
}

// The chunks a trace decides, one line each.
int ReplayTraceFile(const std::string& path) {
  const FileBytes file = ReadFileBytes(path, 1ULL << 30);
  if (!file) return Refuse(CannotReadMessage(path, file.trouble));
  std::vector<ReplayedChunk> chunks;
  std::string error;
  if (!ReplayTrace(file.bytes, chunks, error)) return Refuse(path + ": not a trace, " + error);
  for (const ReplayedChunk& chunk : chunks) std::cout << DescribeReplayedChunk(chunk) << '\n';
  return kExitDone;
}

bool NeedsFamilyTable(BatchMode mode) {
  return mode == BatchMode::ListFamilies || mode == BatchMode::Backup || mode == BatchMode::Load;
}

}  // namespace

int main(int argc, char** argv) {
  const BatchOptions options = ParseBatchOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (options.help) {
    std::cout << kBatchUsage;
    return kExitDone;
  }
  if (!options.error.empty()) return Fail(options.error);
  SetUpLanguage(options.language, ProgramFolder(), UserDataFolder());
  if (options.mode == BatchMode::ListPorts) {
    for (const std::string& port : ListComPorts()) {
      const std::string description = port == kSimPortName ? "" : DescribePort(IdentifyPort("/sys/class/tty", port));
      std::cout << port << (description.empty() ? "" : "\t" + description) << '\n';
    }
    return kExitDone;
  }
  if (WorksOnADrive(options.mode)) {
    if (const std::string problem = PortProblem(options.port, ListComPorts()); !problem.empty()) return Refuse(problem);
  }
  if (const std::string problem = PathProblem(options); !problem.empty()) return Refuse(problem);
  if (options.mode == BatchMode::ReplayTrace) return ReplayTraceFile(options.path);
  // Backup folders alone: no port, no drive.
  if (options.mode == BatchMode::Check || options.mode == BatchMode::Compare) {
    const FolderReport report = options.mode == BatchMode::Check ? CheckReport(options.path)
                                                                 : CompareReport(options.path, options.path2);
    std::cout << report.text;
    return report.allGood ? kExitDone : kExitFailed;
  }
  if (IsLibraryMode(options.mode)) {
    const LibraryReport report = RunLibraryOperation(options, UserDataFolder());
    if (report.status == kExitUsage) return Refuse(Trim(report.text));
    std::cout << report.text;
    return report.status;
  }
  LoadedScript script;
  if (options.mode == BatchMode::Script) {
    script = LoadScript(options.script);
    if (!script.error.empty()) return Refuse("cannot load the script: " + script.error);
    // Every doubtful line before the drive hears anything.
    const std::vector<ScriptNote> notes = CheckScript(script.lines);
    for (const ScriptNote& note : notes) std::cerr << "quorvane-batch: " << NoteLine(note) << "\n";
    if (options.strict && !notes.empty())
      return Refuse("--strict: " + std::to_string(notes.size()) + (notes.size() == 1 ? " doubtful line" : " doubtful lines") +
                    " in " + options.script + "; nothing was run");
  }

  // Writes to a closed stdout must not end the program with the port open.
  signal(SIGPIPE, SIG_IGN);
  stop_signals::Catch();

  cli::InterruptPump pump;
  StreamDialogs dialogs(std::cerr, options.yes);
  TFrmMain main(pump, dialogs);
  FamilyTable families;
  PanePrinter printer(main.memo1, std::cout);
  main.memo1.AddListener(&printer);
  if (options.mode == BatchMode::Script)
    pump.Attach(&main, &printer, "stopping after the current statement",
                "leaves the drive as that statement left it: at its rate and level, a download cut off");
  else
    pump.Attach(&main, &printer, "stopping the operation; drive and port go back to 9600",
                "leaves the drive at the transfer rate, a ROM write half done");
  main.SetUpFolders(ProgramFolder(), UserDataFolder());

  std::unique_ptr<cli::ProgressView> progress;
  if (isatty(STDERR_FILENO)) {
    progress = std::make_unique<cli::ProgressView>(main, std::cerr, cli::TerminalWidth(STDERR_FILENO));
    main.AddView(progress.get());
    printer.beforeOutput = dialogs.beforeOutput = [&progress] { progress->Erase(); };
  }
  auto say = [&](const std::string& text) {
    if (printer.beforeOutput) printer.beforeOutput();
    std::cerr << "quorvane-batch: " << text << "\n";
  };
  auto finish = [&](int status) {
    main.FormClose();
    if (const FileTrouble trouble = main.Link().StopTrace(); trouble && !options.trace.empty()) {
      say("the trace is incomplete: " + CannotWriteMessage(options.trace, trouble));
      if (status == kExitDone) status = kExitFailed;
    }
    main.memo1.RemoveListener(&printer);
    printer.Flush();
    if (progress) {
      progress->Erase();
      main.RemoveView(progress.get());
    }
    return status;
  };

  if (NeedsFamilyTable(options.mode)) {
    const std::string source = LoadFamilyTable(main, families);
    if (options.mode == BatchMode::ListFamilies) {
      printer.Flush();
      std::cout << FamilyListing(families, source);
      return finish(kExitDone);
    }
    if (!options.family.empty() && options.family != "auto" && FamilyPosition(families, options.family) < 0) {
      say("no family " + options.family + " in the table (see --list-families)");
      return finish(kExitUsage);
    }
  }

  // Made and tried before the drive is asked for its family.
  if (options.mode == BatchMode::Backup) {
    if (const std::string problem = BackupFolderProblem(options.path); !problem.empty()) {
      say(problem);
      return finish(kExitUsage);
    }
  }

  main.SetReceiveGap(options.gap);
  if (!options.trace.empty()) {
    if (const FileTrouble trouble = main.Link().StartTrace(options.trace)) {
      say(CannotWriteMessage(options.trace, trouble));
      return finish(kExitUsage);
    }
  }
  if (options.simAdapter) {
    sim::SimOptions simOptions = sim::SimPortDrive().Options();
    simOptions.adapter = options.simAdapter;
    sim::SimPortDrive().SetOptions(simOptions);
  }
  // An operation starts from the drive's resting rate and moves to its
  // transfer rate itself.
  const bool operation = options.mode != BatchMode::Script;
  if (const int status = OpenPort(main, dialogs, options.port, operation ? "9600" : options.rate); status != kExitDone)
    return finish(status);
  if (main.SimulatedDriveOpen())
    say("the port SIM is the built-in simulated drive: nothing is read from or written to a real drive");
  if (operation && !options.rate.empty()) {
    ListControl offered = main.ComboBox2;
    offered.SelectText(options.rate);
    if (offered.index < 0) {
      std::string rates;
      for (const std::string& r : main.ComboBox2.items) rates += " " + r;
      say("the transfer rate " + options.rate + " is not offered on " + options.port + " (offered:" + rates + ")");
      return finish(kExitUsage);
    }
  }
  // A signal while the port opened: nothing has begun that needs stopping,
  // but the run still says why it ends here.
  if (stop_signals::Requests() > 0) {
    if (!pump.Announced())
      say(std::string(stop_signals::FirstName()) + ": stopped before the " + (operation ? "operation" : "script") +
          " began");
    return finish(stop_signals::Status());
  }

  int status = kExitDone;
  std::string summary;
  if (operation) {
    const OperationResult result = RunOperation(main, families, options);
    if (!result.note.empty()) say(result.note);
    status = result.succeeded ? kExitDone : kExitFailed;
    summary = result.summary;
  } else {
    status = RunScript(main, script, summary);
  }
  // The closing CR asks for a prompt; let it reach the pane before closing.
  main.WaitHD(50);
  if (stop_signals::Requests() > 0) status = stop_signals::Status();
  status = finish(status);
  // What was done, or which steps failed, in one line after everything the drive said.
  if ((status == kExitDone || !operation) && !summary.empty()) std::cout << summary << std::endl;
  return status;
}
