#pragma once
// Message boxes, questions and file choosers shown with Qt.
#include <QPointer>
#include <QString>
#include <QWidget>

#include "console/dialogs.h"

namespace qv::ui {

// "CMD|*.CMD|所有文件|*.*" -> "CMD (*.CMD);;所有文件 (*.*)". Several patterns
// of one entry ("*.bin;*.img") become Qt's blank-separated list.
QString QtFilter(const std::string& filter);
// The suffix a file chooser adds to a name typed without one: "*.bin", ".bin"
// and "bin" all give "bin".
QString DefaultSuffix(const std::string& defaultExt);

class QtDialogs : public Dialogs {
 public:
  // Boxes are centred on this window (the active window when there is none).
  void SetParent(QWidget* parent) { parent_ = parent; }

  void ShowMessage(const std::string& text) override;
  void Warning(const std::string& caption, const std::string& text) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  std::optional<std::string> ChooseOpenFile(const std::string& filter, const std::string& defaultExt,
                                            const std::string& fileName = "") override;
  std::optional<std::string> ChooseSaveFile(const std::string& filter, const std::string& defaultExt,
                                            const std::string& fileName = "") override;
  std::optional<std::string> ChooseFolder(const std::string& title) override;
  std::optional<SaveChoice> ChooseSaveTarget(const std::string& filter, const std::string& defaultExt,
                                             const std::string& fileName, bool appends) override;

 private:
  QWidget* Parent() const;
  enum class Mode { Open, Save, Append };
  std::optional<SaveChoice> ChooseFile(Mode mode, const std::string& filter, const std::string& defaultExt,
                                       const std::string& fileName);

  QPointer<QWidget> parent_;
};

}  // namespace qv::ui
