#include "tests/support/port_bar.h"

namespace qv::test {

void SetPortBar(TFrmMain& main, const std::string& device) {
  main.ComboBox1.items = {device};
  main.ComboBox1.index = 0;
  main.ComboBox2.items.clear();
  for (const Rate& rate : kRates) main.ComboBox2.items.emplace_back(rate.text);
  main.ComboBox2.index = 0;
  main.ComboBox7.items = main.ComboBox2.items;
  main.ComboBox7.SelectLast();
}

bool OpenWithButton(TFrmMain& main, const std::string& device, const std::string& rate) {
  SetPortBar(main, device);
  main.ComboBox2.SelectText(rate);
  main.btnSwitchClick();
  return main.PortOpen();
}

}  // namespace qv::test
