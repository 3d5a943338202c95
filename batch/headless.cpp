#include "batch/headless.h"

#include "console/text.h"

namespace qv {

namespace {
// Line breaks inside a message read as line breaks on a terminal too.
std::string OnTerminal(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}
}  // namespace

void PanePrinter::PrintUpTo(size_t end) {
  const auto& lines = pane_.Lines();
  if (printed_ >= end) return;
  for (; printed_ < end; ++printed_) out_ << Utf8FromGbk(lines[printed_]) << '\n';
  out_.flush();
}

void PanePrinter::PaneChanged(size_t firstLine) {
  // Printed lines that changed (the pane was cleared) are printed again.
  if (firstLine < printed_) printed_ = firstLine;
  const size_t count = pane_.LineCount();
  if (printed_ > count) printed_ = count;
  if (count > 0) PrintUpTo(count - 1);
}

void PanePrinter::Flush() {
  if (printed_ > pane_.LineCount()) printed_ = pane_.LineCount();
  PrintUpTo(pane_.LineCount());
}

void StreamDialogs::Box(const std::string& caption, const std::string& text, const char* suffix) {
  ++boxes_;
  out_ << caption << ": " << OnTerminal(text) << suffix << '\n';
  out_.flush();
}

void StreamDialogs::ShowMessage(const std::string& text) { Box("Quorvane", text); }

void StreamDialogs::Warning(const std::string& caption, const std::string& text) { Box(caption, text); }

bool StreamDialogs::AskYesNo(const std::string& caption, const std::string& text) {
  Box(caption, text, answerYes_ ? " [Yes]" : " [No]");
  return answerYes_;
}

std::optional<std::string> StreamDialogs::ChooseOpenFile(const std::string&, const std::string&, const std::string&) {
  Box("quorvane-batch", "no file chooser without a window; cancelled");
  return std::nullopt;
}

std::optional<std::string> StreamDialogs::ChooseSaveFile(const std::string&, const std::string&, const std::string&) {
  Box("quorvane-batch", "no file chooser without a window; cancelled");
  return std::nullopt;
}

std::optional<std::string> StreamDialogs::ChooseFolder(const std::string&) {
  Box("quorvane-batch", "no folder chooser without a window; cancelled");
  return std::nullopt;
}

BatchOptions ParseBatchOptions(const std::vector<std::string>& args) {
  BatchOptions o;
  bool optionsEnded = false;
  std::vector<std::string> scripts;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const std::string& name, std::string& into) {
      if (a.size() > name.size() && a.compare(0, name.size() + 1, name + "=") == 0) {
        into = a.substr(name.size() + 1);
      } else if (i + 1 < args.size()) {
        into = args[++i];
      } else {
        o.error = name + " needs a value";
        return;
      }
      if (into.empty()) o.error = name + " needs a value";
    };
    if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
      scripts.push_back(a);
    } else if (a == "--") {
      optionsEnded = true;
    } else if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--yes" || a == "-y") {
      o.yes = true;
    } else if (a == "--port" || a.rfind("--port=", 0) == 0) {
      value("--port", o.port);
    } else if (a == "--rate" || a.rfind("--rate=", 0) == 0) {
      value("--rate", o.rate);
    } else {
      o.error = "unknown option " + a;
    }
    if (!o.error.empty()) return o;
  }
  if (o.help) return o;
  if (scripts.empty()) o.error = "no script given";
  else if (scripts.size() > 1) o.error = "one script at a time, not " + std::to_string(scripts.size());
  else o.script = scripts.front();
  return o;
}

const char* const kBatchUsage = R"(Usage: quorvane-batch [--port NAME] [--rate RATE] [--yes] SCRIPT.cmd

Runs a batch script on a drive's serial terminal without a window, the way
the batch window's run button runs it.

  --port NAME   a port as the port list shows it (ttyUSB0, opened under /dev),
                an absolute device path (a pseudo-terminal such as /dev/pts/7
                works), or SIM, the built-in simulated drive. Default: SIM.
  --rate RATE   the rate the port is opened at. Default: 9600. The port is
                probed first: 9600, 38400, 57600 and 115200 are always offered,
                230400, 460800, 625200 and 921600 when the adapter takes them.
  --yes, -y     answer Yes to questions (default: No).
  --help, -h    this text.

The port is opened with DTR and RTS on ("USB to COM") and closed at the end
with both dropped. Relative file names in the script are taken from the
current folder.

Script lines (GBK or UTF-8 text; a line starting with "/" is a comment):
  ECHO/text          LEVEL/T, LEVEL/2, LEVEL/F    SLEEP/ms
  SPEED/rate         BAUDRATE/rate                STR/command   HEX/1A   DEC/26
  R_BUF/start/count/file                          W_BUF/start/count/file
  R_SECTORS/cyl/head/buffer/chunk/start/count/file
  W_SECTORS/cyl/head/buffer/chunk/start/count/file
  SEND_FILE/blocksize/file
  CREAT_FILE/src1/start1/count1/src2/start2/count2/output
Numbers of the transfers are hexadecimal. The file of R_SECTORS and W_SECTORS
loses everything up to its first "/"; put a dummy field before a path with
folders (.../count/-//tmp/track.bin).

Output: every line of the terminal pane on stdout in UTF-8, once complete;
message boxes on stderr as "CAPTION: TEXT".

Ctrl-C stops the script after the current statement, as STOP does; a second
Ctrl-C ends the program at once.

Exit status: 0 the script ran to its end (whatever the drive answered);
1 a statement raised an error (its message is on stderr); 2 bad usage, a
script that cannot be read or is empty, or a port that cannot be opened;
130 stopped by Ctrl-C.
)";

}  // namespace qv
