#include "console/button_steps.h"

#include <string>

#include "console/main.h"

namespace qv {

void RunSteps(TFrmMain& main, const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    switch (step.kind) {
      case Step::Kind::Send: main.SendString(step.text); break;
      case Step::Kind::Delay: main.Delay(step.ticks); break;
      case Step::Kind::WaitHD: main.WaitHD(step.ticks); break;
    }
  }
}

void RunButton(TFrmMain& main, const ButtonDef& button) {
  if (!button.question.empty() && !main.Dlg().AskYesNo("提示", std::string(button.question))) return;
  main.receiveMode = ReceiveMode::usercmd;
  RunSteps(main, button.steps);
}

}  // namespace qv
