// The small dialogs: the terminal-address dialog, the start-up question and
// the two Help boxes.
#pragma once

#include "app/part.h"

namespace orvex {

class Dialogs : public Part {
 public:
  explicit Dialogs(Upgrader& up) : Part(up) {}

  // UpdateModemIP
  void UpdateModemIP_Form_Load();
  void cmdUpdate_Click();
  void cmdDefault_Click();
  void cmdClose_Click();

  // frmUpgrade
  void frmUpgrade_Form_Load();
  void UpgradeNow_Click();
  void UpgradeLater_Click();
  void OKButton_Click();
  // Shows frmUpgrade modally (its Form_Load runs first).
  void ShowFrmUpgrade();
  int intExitApplication = 0;

  // Help menu
  void mnuHelpAbout_Click();
  void mnuHelpTs_Click();
};

extern const char* const kTroubleshootingText;

}  // namespace orvex
