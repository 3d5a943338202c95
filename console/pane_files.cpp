// The files a session leaves: the pane's text saved, the session log and
// the trace of the line started and stopped.
#include "console/main.h"
#include "console/text.h"
#include "files/file_io.h"
#include "lang/translate.h"

namespace qv {

namespace {

// The save chooser's filters are the file's encodings, in this order.
constexpr const char* kPaneFilters = N_("UTF-8 文本，LF 换行|*.txt|GBK 文本，CR LF 换行（Windows）|*.txt");
enum class PaneEncoding { Utf8Lf, GbkCrLf };
constexpr const char* kLogFilters = N_("会话记录|*.log|所有文件|*.*");
constexpr const char* kTraceFilters = N_("收发时序|*.trace|所有文件|*.*");

// UTF-8 holds the lines as the pane shows them (control bytes as their
// symbols); GBK holds the pane's own bytes, as programs on Windows read them.
// Every line ends with a line break.
std::string PaneFileText(const TextPane& pane, PaneEncoding encoding) {
  std::string text;
  for (const std::string& line : pane.Lines()) {
    if (encoding == PaneEncoding::Utf8Lf) text += Utf8AsShown(line) + '\n';
    else text += line + "\r\n";
  }
  return text;
}

}  // namespace

void TFrmMain::SavePaneClick() {
  const auto choice =
      dialogs_.ChooseSaveTarget(Tr(kPaneFilters), "txt", "终端内容-" + FileNameTime(LocalNow()) + ".txt", false);
  if (!choice) return;
  const PaneEncoding encoding = choice->filterIndex == 1 ? PaneEncoding::GbkCrLf : PaneEncoding::Utf8Lf;
  if (const FileTrouble trouble = WriteFile(choice->path, PaneFileText(memo1, encoding)))
    dialogs_.Warning(Tr("警告"), CannotWriteMessage(choice->path, trouble));
}

void TFrmMain::LogClick() {
  if (sessionLog.Active()) {
    StopLog();
    return;
  }
  const auto choice =
      dialogs_.ChooseSaveTarget(Tr(kLogFilters), "log", "终端记录-" + FileNameTime(LocalNow()) + ".log", true);
  if (!choice) return;
  if (const FileTrouble trouble = sessionLog.Start(choice->path)) {
    dialogs_.Warning(Tr("警告"), CannotWriteMessage(choice->path, trouble));
    return;
  }
  Notify(MainView::What::Log);
}

void TFrmMain::TraceClick() {
  if (link_.Tracing()) {
    StopTrace();
    return;
  }
  const auto choice =
      dialogs_.ChooseSaveTarget(Tr(kTraceFilters), "trace", "收发时序-" + FileNameTime(LocalNow()) + ".trace", true);
  if (!choice) return;
  if (const FileTrouble trouble = link_.StartTrace(choice->path)) {
    dialogs_.Warning(Tr("警告"), CannotWriteMessage(choice->path, trouble));
    return;
  }
  Notify(MainView::What::Log);
}

void TFrmMain::ServiceLog() {
  if (sessionLog.Failed()) StopLog();
  if (link_.TraceFailed()) StopTrace();
}

void TFrmMain::StopTrace() {
  const std::string path = link_.TracePath();
  if (const FileTrouble trouble = link_.StopTrace())
    AddNotice(TrFormat("收发时序记录已停止：{1}", CannotWriteMessage(path, trouble)));
  Notify(MainView::What::Log);
}

void TFrmMain::StopLog() {
  const std::string path = sessionLog.Path();
  // Stopped before the line is added: the line is about the log, not in it.
  if (const FileTrouble trouble = sessionLog.Stop()) AddNotice(TrFormat("会话记录已停止：{1}", CannotWriteMessage(path, trouble)));
  Notify(MainView::What::Log);
}

}  // namespace qv
