#pragma once
// Buttons that send fixed commands are data: a caption, an optional question
// and a list of steps, run by one small interpreter.
#include <string>
#include <string_view>
#include <vector>

#include "console/main.h"

namespace qv {

struct Step {
  enum class Kind {
    Send,     // the bytes of `text`
    Delay,    // Delay(ticks)
    WaitHD,   // WaitHD(ticks), its result ignored
    Mode,     // receive mode := mode
    Append,   // `text` (UTF-8, marked N_: shown translated) as new pane lines; a CR or LF inside starts another line
    Compose,  // the bytes compose(main) builds from the edit boxes; `text` says how it reads
  };
  Kind kind;
  std::string_view text;
  int ticks = 0;
  ReceiveMode mode = ReceiveMode::usercmd;
  std::string (*compose)(const TFrmMain&) = nullptr;
};

inline Step Send(std::string_view text) { return {Step::Kind::Send, text, 0}; }
inline Step Pause(int ticks) { return {Step::Kind::Delay, {}, ticks}; }
inline Step WaitPromptFor(int ticks) { return {Step::Kind::WaitHD, {}, ticks}; }
inline Step SetMode(ReceiveMode mode) { return {Step::Kind::Mode, {}, 0, mode}; }
inline Step Append(std::string_view utf8Line) { return {Step::Kind::Append, utf8Line, 0}; }
inline Step Compose(std::string_view reads, std::string (*compose)(const TFrmMain&)) {
  return {Step::Kind::Compose, reads, 0, ReceiveMode::usercmd, compose};
}

struct ButtonDef {
  std::string_view name;      // control name, e.g. "Button13"
  std::string_view caption;
  std::string_view question;  // marked N_; asked with "提示" before anything is sent; empty: none
  std::vector<Step> steps;
  // Most buttons show the drive's answer, so the receive mode becomes
  // "usercmd" before the first step; a few set it themselves later on.
  bool keepReceiveMode = false;
};

// Asks the question (if any; No does nothing at all), sets the receive mode
// to "usercmd" unless the button keeps it, and performs the steps in order.
void RunButton(TFrmMain& main, const ButtonDef& button);

// Performs the steps only.
void RunSteps(TFrmMain& main, const std::vector<Step>& steps);

// What the steps send, one command a line, for tooltips: CR shows as "↵",
// other control bytes as "^Z", "LF" and the like.
std::string DescribeSends(const std::vector<Step>& steps);

}  // namespace qv
