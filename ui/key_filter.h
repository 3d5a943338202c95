#pragma once
// A key filter for text fields that take only some characters (hexadecimal
// numbers, digits): it holds for typed keys and for text an input method
// commits alike, so full-width digits or Chinese characters stay out too.
#include <QObject>

class QWidget;

namespace qv::ui {

class CharFilter : public QObject {
 public:
  using Accepts = bool (*)(char32_t);
  CharFilter(Accepts accepts, QObject* parent);

  // Filters what is typed into `field`; for an editable list, into its line too.
  void Watch(QWidget* field);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Accepts accepts_;
};

}  // namespace qv::ui
