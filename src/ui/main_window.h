// The main window's engine side: the busy pointer, the enabling and
// disabling of commands and item groups, the frame colours of the upgrade
// stage, and the terminal address.
#pragma once

#include <string>

#include "app/part.h"

namespace orvex {

class MainWindow : public Part {
 public:
  explicit MainWindow(Upgrader& up) : Part(up) {}

  bool SetMouseCursor(long mode);
  void EnableButtons();
  void DisableButtons();
  void UI_EnableIBFunctionality();
  void UI_DisableIBFunctionality(bool all);
  void UI_EnableAntennaFunctionality();
  void UI_DisableAntennaFunctionality();
  void UI_InitTermAntennaFields();
  void UI_InitTermIbFields();
  void UI_UpdateUIUpgState(long stage);
  void cmdSetModemIP_Click();
  void UpdateModemIPAddress(const std::string& address);
  void cmdAntInfo_Click() {}
};

}  // namespace orvex
