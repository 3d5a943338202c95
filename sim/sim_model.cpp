// The drive's terminal: echo, command lines, levels, rates, the boot monitor
// ("F" level) and the identity editor.
#include "sim/sim_model.h"

#include <cctype>

namespace qv::sim {

namespace {

constexpr uint8_t kCtrlC = 0x03, kCtrlT = 0x14, kCtrlZ = 0x1A, kEsc = 0x1B;
constexpr size_t kMaxLine = 256;  // the terminal's line buffer; longer input is dropped
constexpr size_t kMaxReceived = 64u << 20;

}  // namespace

bool ParseHex(const std::string& text, long long& value) {
  if (text.empty() || text.size() > 8) return false;
  value = 0;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10;
    value = value * 16 + digit;
  }
  return true;
}

std::vector<std::string> SplitFields(const std::string& text) {
  std::vector<std::string> fields(1);
  for (char c : text) {
    if (c == ',')
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

DriveModel::DriveModel(const SimOptions& opts)
    : options(opts), buffer(SimDrive::kBufferSize), noise_(opts.seed) {
  // A recognisable but block-distinct pattern, so a read of the wrong block shows.
  for (size_t i = 0; i < buffer.size(); ++i)
    buffer[i] = static_cast<uint8_t>(i * 13 + (i >> 9) * 7 + (i >> 17));
  ResetIdentity();
  ResetRom();
}

void DriveModel::Feed(uint8_t byte, int pcRate, std::vector<Emit>& out) {
  if (pcRate != rate_) {
    // Framed at the wrong rate the byte means nothing to the drive; the PC, in
    // turn, hears noise from whatever the line does.
    out.push_back(Emit{std::string(1, static_cast<char>(noise_.Next())), pcRate, false, true, 0});
    return;
  }
  // A long session at the shared "SIM" port keeps only the recent past.
  if (received.size() >= kMaxReceived) received.erase(0, kMaxReceived / 2);
  received.push_back(static_cast<char>(byte));
  if (options.silentAfterCommand >= 0 && commandsSeen >= options.silentAfterCommand) {
    if (byte == '\r') ++commandsSeen;
    return;
  }
  if (dl_ != Dl::Off && Download(byte, out)) return;
  Terminal(byte, out);
}

void DriveModel::Terminal(uint8_t byte, std::vector<Emit>& out) {
  if (FirmwareKey(byte, out)) return;
  switch (byte) {
    case kCtrlZ:
      if (level_ == 'F') return;  // the boot monitor has no levels to leave
      line_.clear();
      idEditor_ = false;
      level_ = 'T';
      Say("\r\n" + Prompt(), out);
      return;
    case kCtrlT:
      if (level_ == 'T' && !idEditor_) EnterMonitor(out);
      return;
    case kCtrlC:
      if (level_ == 'F') EnterMonitor(out);
      return;
    case kEsc:
      if (level_ == 'F') {
        line_.clear();
        Say("\r\nF>", out);
      }
      return;
    case '\r': {
      ++commandsSeen;
      const std::string cmd = line_;
      line_.clear();
      Line(cmd, out);
      return;
    }
    case 0x08:
    case 0x7F:
      if (!line_.empty()) {
        line_.pop_back();
        Say("\b \b", out);
      }
      return;
    default:
      break;
  }
  if (byte < 0x20 || byte > 0x7E) return;  // LF and other control bytes mean nothing here
  if (line_.size() >= kMaxLine) return;
  if (level_ == 'F' && line_.empty() && byte == 'Z' && !idEditor_) {
    // The monitor runs "Z" (spin up) at the keystroke; it needs no CR.
    Say("Z\r\nF>", out);
    return;
  }
  line_.push_back(static_cast<char>(byte));
  Say(std::string(1, static_cast<char>(byte)), out);
}

void DriveModel::Line(const std::string& cmd, std::vector<Emit>& out) {
  if (!options.silentFromCommand.empty() && cmd == options.silentFromCommand) {
    options.silentAfterCommand = commandsSeen;
    return;
  }
  if (idEditor_) return InIdentityEditor(cmd, out);
  if (level_ == 'F') return AtMonitor(cmd, out);
  if (!cmd.empty() && cmd[0] == '/') {
    if (cmd.size() == 1) return Say("\r\n" + Prompt(), out);
    level_ = static_cast<char>(std::toupper(static_cast<unsigned char>(cmd[1])));
    const std::string rest = cmd.substr(2);
    if (level_ == 'F') return AtMonitor(rest, out);
    if (rest.empty()) return Say("\r\n" + Prompt(), out);
    return AtLevel(rest, out);
  }
  AtLevel(cmd, out);
}

void DriveModel::AtLevel(const std::string& cmd, std::vector<Emit>& out) {
  if (cmd.empty()) return Say("\r\n" + Prompt(), out);
  if (RateCommand(cmd, out) || BufferQuery(cmd, out)) return;
  if (ModuleCommand(cmd, out)) return;
  const char op = cmd[0];
  const std::string args = cmd.substr(1);
  if (op == 'd') return Answer(ArmDownload(args) ? std::vector<std::string>{} : std::vector<std::string>{"Bad download address"}, out);
  if (level_ == 'T') {
    if (cmd == "F") {
      idEditor_ = true;
      return Say("\r\n->", out);
    }
    if (cmd == "%") return Answer({"Unknown command"}, out);  // a drive that answers "%" does so at the keystroke
  }
  if (level_ == '2') {
    if (op == 'B') {
      bool ok = false;
      const std::vector<std::string> lines = Dump(args, ok);
      if (ok && options.dumpMissingPrompt) {
        std::string text = "\r\n";
        for (const auto& l : lines) text += l + "\r\n";
        return Say(text, out);
      }
      return Answer(lines, out);
    }
    if (op == 's') return Answer(Seek(args), out);
    if (op == 'r' && args.starts_with(",")) return Answer(TrackTransfer(args, false), out);
    if (op == 'w' && args.starts_with(",")) return Answer(TrackTransfer(args, true), out);
    if (cmd == "x" && options.answerReservedDirectory) return Answer(ReservedDirectory(), out);
  }
  Answer({"OK"}, out);
}

void DriveModel::AtMonitor(const std::string& cmd, std::vector<Emit>& out) {
  if (cmd.empty() || cmd == "/") return Say("\r\nF>", out);
  if (cmd[0] == '/') {
    const char to = static_cast<char>(std::toupper(static_cast<unsigned char>(cmd[1])));
    const std::string rest = cmd.substr(2);
    if (to == 'F') return AtMonitor(rest, out);
    level_ = to;
    if (rest.empty()) return Say("\r\n" + Prompt(), out);
    return AtLevel(rest, out);
  }
  if (RateCommand(cmd, out) || BufferQuery(cmd, out)) return;
  if (ModuleCommand(cmd, out)) return;
  if (cmd[0] == 'd')
    return Answer(ArmDownload(cmd.substr(1)) ? std::vector<std::string>{} : std::vector<std::string>{"Bad download address"}, out);
  if (RomCommand(cmd, out)) return;
  Answer({"OK"}, out);
}

void DriveModel::InIdentityEditor(const std::string& cmd, std::vector<Emit>& out) {
  if (cmd.empty() || cmd == "F") return Say("\r\n->", out);
  if (cmd[0] == '/') {
    // A level command leaves the editor, as Ctrl-Z does.
    idEditor_ = false;
    level_ = 'T';
    return Line(cmd, out);
  }
  if (cmd.starts_with("ASCI") && IdentityWrite(cmd.substr(4))) return Say("\r\n->", out);
  Answer({"Bad identity command"}, out);
}

bool DriveModel::RateCommand(const std::string& cmd, std::vector<Emit>& out) {
  const char letter = level_ == 'T' ? 'B' : 'b';
  if (cmd.size() < 2 || cmd[0] != letter) return false;
  const std::string digits = cmd.substr(1);
  for (char c : digits)
    if (c < '0' || c > '9') return false;
  const int rate = RateFromDigits(digits);
  if (rate == 0) {
    Answer({"Invalid baud rate"}, out);
    return true;
  }
  // The answer still goes out at the old rate; the switch follows it.
  Answer({"Baud Rate Changed to " + std::to_string(rate)}, out);
  rate_ = rate;
  return true;
}

void DriveModel::EnterMonitor(std::vector<Emit>& out) {
  level_ = 'F';
  rate_ = 9600;
  line_.clear();
  idEditor_ = false;
  dl_ = Dl::Off;
  ForgetLoadedModules();
  const bool slow = options.monitorStartMs > 0;
  out.push_back(Emit{"\r\nBoot monitor restarted, 9600 baud\r\n", rate_, false, false,
                     slow ? options.monitorStartMs : 30, slow});
}

std::string DriveModel::Prompt() const {
  if (idEditor_) return "->";
  if (level_ == 'F') return "F>";
  return std::string("F3 ") + level_ + ">";
}

void DriveModel::Say(std::string text, std::vector<Emit>& out) const {
  out.push_back(Emit{std::move(text), rate_, false, false, 0});
}

void DriveModel::Answer(const std::vector<std::string>& lines, std::vector<Emit>& out) const {
  std::string text = "\r\n";
  for (const auto& l : lines) text += l + "\r\n";
  Say(text + Prompt(), out);
}

}  // namespace qv::sim
