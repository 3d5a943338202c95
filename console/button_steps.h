#pragma once
// Buttons that send fixed commands are data: a caption, an optional question
// and a list of steps, run by one small interpreter.
#include <string_view>
#include <vector>

namespace qv {

class TFrmMain;

struct Step {
  enum class Kind { Send, Delay, WaitHD };
  Kind kind;
  std::string_view text;  // Send: the bytes
  int ticks = 0;          // Delay, WaitHD
};

inline Step Send(std::string_view text) { return {Step::Kind::Send, text, 0}; }
inline Step Pause(int ticks) { return {Step::Kind::Delay, {}, ticks}; }
inline Step WaitPromptFor(int ticks) { return {Step::Kind::WaitHD, {}, ticks}; }

struct ButtonDef {
  std::string_view name;      // control name, e.g. "Button13"
  std::string_view caption;
  std::string_view question;  // asked with "提示" before anything is sent; empty: none
  std::vector<Step> steps;
};

// Asks the question (if any; No does nothing at all), sets the receive mode
// to "usercmd" and performs the steps in order.
void RunButton(TFrmMain& main, const ButtonDef& button);

// Performs the steps only.
void RunSteps(TFrmMain& main, const std::vector<Step>& steps);

}  // namespace qv
