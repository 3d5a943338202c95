#pragma once
// The batch window "Quorvane 自定义批处理流程": a script editor with load,
// save, clear, run and stop. This is the window's behaviour without its
// drawing; the Qt window and the headless runner both drive it.
#include <cstddef>
#include <string>
#include <vector>

#include "console/main.h"
#include "lang/translate.h"

namespace qv {

class TForm4 {
 public:
  static constexpr const char* kCaption = N_("Quorvane 自定义批处理流程");
  static constexpr const char* kFilter = N_("CMD|*.CMD|所有文件|*.*");
  static constexpr const char* kDefaultExt = "cmd";

  // What the window redraws when the model changes.
  class View {
   public:
    enum class What {
      Script,       // Memo1 replaced (loaded or cleared): caret to the start, focus the editor
      CurrentLine,  // Edit1
      State,        // Panel1 and Button10 enabled states
    };
    virtual ~View() = default;
    virtual void Form4Changed(What what) = 0;
  };

  // How a run ended.
  struct RunResult {
    enum class End {
      EmptyScript,  // nothing to run; the message was shown
      Refused,      // another long operation runs; the message was shown
      Finished,     // the last line was done
      Stopped,      // the stop flag ended it
      Failed,       // a statement raised an error, or the port refused a rate; its message was shown
    };
    // A statement that did not do what it says (RunStatement).
    struct FailedStep {
      size_t line;          // from 1
      std::string keyword;
    };
    End end = End::EmptyScript;
    std::string error;  // Failed: the message, after the line's number and text
    size_t line = 0;    // Stopped, Failed: index of the last line carried out
    size_t steps = 0;   // the script's statements with a keyword of the language
    std::vector<FailedStep> failed;
  };

  explicit TForm4(TFrmMain& main) : main_(main) {}

  void SetView(View* view) { view_ = view; }

  // --- controls ---
  std::vector<std::string> Memo1;  // the script, one UTF-8 text per line
  std::string Edit1;               // the line being executed
  bool Panel1Enabled = true;
  bool Button10Enabled = false;
  bool Running() const { return !Panel1Enabled; }
  // Whether a run puts its remarks into the pane: the script's doubtful lines
  // before it and the failed steps after it (the shell runner says both on
  // its own streams).
  bool remarksInPane = true;

  void Button51Click();  // "读取流程"
  void Button1Click();   // "保存流程"
  void Button11Click();  // "清空当前流程"
  void Button10Click();  // "停止运行"
  RunResult Button9Click();  // "加载流程": runs the script

  // Loads a script file into the editor; false (after a message, the editor
  // unchanged) when it cannot be read or is empty.
  bool LoadFile(const std::string& path);

 private:
  void Notify(View::What what);
  void SetRunning(bool running);

  TFrmMain& main_;
  View* view_ = nullptr;
};

// "2 of 9 steps failed: line 4 R_BUF, line 7 SPEED", with "(the run ended
// at line 7)" after a run that did not reach its end; empty when none failed.
// English in either language, as the check's lines are: scripts read it.
std::string FailedStepsLine(const TForm4::RunResult& result);

}  // namespace qv
