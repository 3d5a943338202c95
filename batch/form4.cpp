#include "batch/form4.h"

#include <exception>
#include <stdexcept>

#include "batch/runner.h"
#include "batch/script_check.h"
#include "batch/script_file.h"
#include "batch/statement.h"
#include "console/convert.h"
#include "console/long_operation.h"
#include "console/text.h"
#include "lang/translate.h"

namespace qv {

void TForm4::Notify(View::What what) {
  if (view_) view_->Form4Changed(what);
}

void TForm4::SetRunning(bool running) {
  Panel1Enabled = !running;
  Button10Enabled = running;
  Notify(View::What::State);
}

bool TForm4::LoadFile(const std::string& path) {
  LoadedScript script = LoadScript(path);
  if (!script.error.empty()) {
    main_.Dlg().ShowMessage(script.error);
    return false;
  }
  Memo1 = std::move(script.lines);
  Notify(View::What::Script);
  return true;
}

void TForm4::Button51Click() {
  if (const auto path = main_.Dlg().ChooseOpenFile(Tr(kFilter), kDefaultExt)) LoadFile(*path);
}

void TForm4::Button1Click() {
  const auto path = main_.Dlg().ChooseSaveFile(Tr(kFilter), kDefaultExt);
  if (!path) return;
  if (!SaveScript(*path, Memo1)) main_.Dlg().ShowMessage(TrFormat("保存文件{1}失败！", *path));
}

void TForm4::Button11Click() {
  Memo1.clear();
  Notify(View::What::Script);
}

void TForm4::Button10Click() { main_.stopFlag = 1; }

TForm4::RunResult TForm4::Button9Click() {
  RunResult result;
  LongOperation busy(main_, Tr("批处理流程"));
  if (!busy) {
    result.end = RunResult::End::Refused;
    return result;
  }
  bool blank = true;
  for (const std::string& line : Memo1)
    if (!Trim(line).empty()) blank = false;
  if (blank) {
    main_.Dlg().ShowMessage(Tr("请输入要执行的命令脚本！"));
    return result;
  }

  // What the check finds is only told: the run goes on as the language says.
  // Its lines are English in either language, as quorvane-batch prints them
  // on stderr, where scripts read them.
  if (remarksInPane)
    for (const ScriptNote& note : CheckScript(Memo1)) main_.AddLine(NoteLine(note));
  for (const std::string& text : Memo1) {
    const ScriptLine line = ParseLine(text);
    if (line.kind == ScriptLine::Kind::Statement && KeywordOf(line.keyword) != Keyword::None) ++result.steps;
  }

  // The drive's replies stay out of the pane while the script runs.
  main_.receiveMode = ReceiveMode::Empty;
  main_.stopFlag = 0;
  SetRunning(true);
  result.end = RunResult::End::Finished;
  const bool portWasOpen = main_.PortOpen();
  bool rateRefused = false;
  size_t i = 0;
  size_t paneLines = 0;  // before the statement that runs
  const auto stepFailed = [&] {
    if (result.failed.empty() || result.failed.back().line != i + 1)
      result.failed.push_back({i + 1, ParseLine(Memo1[i]).keyword});
  };
  try {
    for (; i < Memo1.size(); ++i) {
      paneLines = main_.memo1.LineCount();
      const ScriptLine line = ParseLine(Memo1[i]);
      if (line.kind != ScriptLine::Kind::Empty && line.kind != ScriptLine::Kind::Comment) {
        Edit1 = line.text;
        Notify(View::What::CurrentLine);
        if (line.kind == ScriptLine::Kind::Statement) {
          const int refusals = main_.RateRefusals();
          if (!RunStatement(main_, line)) stepFailed();
          // The drive may now be at another rate than the port: a next
          // statement would only send what it cannot read.
          if (main_.RateRefusals() != refusals) {
            rateRefused = true;
            throw std::runtime_error(main_.LastRateRefusal());
          }
          main_.Delay(20);
        }
      }
      // Without the port every later statement would only wait out its
      // timeouts (15 s each) and write empty files.
      if (portWasOpen && !main_.PortOpen()) throw std::runtime_error(Tr("串口已断开，批处理已中止！"));
      if (main_.stopFlag) {
        result.end = RunResult::End::Stopped;
        break;
      }
    }
  } catch (const EConvertError& e) {
    // A number of the line did not convert: the operation's progress line
    // gets its verdict, and the message names the field, not only the text.
    if (main_.memo1.LineCount() > paneLines) main_.AppendToLastLine(Tr("失败！"));
    result.end = RunResult::End::Failed;
    const std::string named = WhatIsWrongWith(Memo1[i]);
    result.error = named.empty() ? e.what() : named;
  } catch (const std::exception& e) {
    result.end = RunResult::End::Failed;
    result.error = e.what();
  } catch (...) {
    result.end = RunResult::End::Failed;
    result.error = Tr("执行命令时发生未知错误！");
  }
  if (result.end == RunResult::End::Failed && i < Memo1.size()) stepFailed();
  // In a script of many lines the message alone does not say which one.
  if (result.end == RunResult::End::Failed && i < Memo1.size())
    result.error = "line " + std::to_string(i + 1) + " (" + QuotedLine(Memo1[i]) + "): " + result.error;
  result.line = i;

  // Back to idle whatever happened, with the drive's next prompt in the pane
  // (unless the port left the drive behind).
  if (remarksInPane && !result.failed.empty()) main_.AddLine(FailedStepsLine(result));
  SetRunning(false);
  main_.receiveMode = ReceiveMode::usercmd;
  if (!rateRefused) main_.SendString("\r");
  main_.stopFlag = 0;
  if (result.end == RunResult::End::Failed) main_.Dlg().ShowMessage(result.error);
  return result;
}

std::string FailedStepsLine(const TForm4::RunResult& result) {
  if (result.failed.empty()) return {};
  std::string text = std::to_string(result.failed.size()) + " of " + std::to_string(result.steps) +
                     (result.steps == 1 ? " step failed:" : " steps failed:");
  for (size_t k = 0; k < result.failed.size(); ++k)
    text += (k == 0 ? " line " : ", line ") + std::to_string(result.failed[k].line) +
            (result.failed[k].keyword.empty() ? "" : " " + result.failed[k].keyword);
  if (result.end == TForm4::RunResult::End::Failed || result.end == TForm4::RunResult::End::Stopped)
    text += " (the run ended at line " + std::to_string(result.line + 1) + ")";
  return text;
}

}  // namespace qv
