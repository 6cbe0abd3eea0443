#include "ui/dialogs.h"

#include "app/upgrader.h"
#include "app/version.h"
#include "ui/main_window.h"

namespace orvex {

const char* const kTroubleshootingText =
    "If the Upgrader and ORVEX Terminal are configured properly, but there still is a "
    "connectivity issue, please follow the procedures below to restore connectivity.\r\n\r\n"
    "7410 Platform:\r\n"
    " - Force the unit into BOOTROM mode by performing the following:\r\n"
    "    1. Remove the Battery and DC-cord.\r\n"
    "    2. Press and hold the 'Audio' (right-most) button.\r\n"
    "    3. Plug in the DC-cord and leave the 'Audio' button depressed for at least 10 sec.\r\n"
    "    4. Release the 'Audio' button.\r\n"
    "- At this point the display should show 'ManualBypass' indicating BOOTROM mode.\r\n"
    "- Even if the display shows nothing, connect and re-attempt the Upgrade in this mode.\r\n"
    "- If connectivity still fails, repeat the procedure, except in Step 3, after plugging in "
    "the DC cord, wait 3 sec, then press the 'Power' button for 3 sec while holding the 'Audio' "
    "button (and leave the 'Audio' button depressed for 7 more sec after releasing the 'Power' "
    "button).\r\n"
    "- Once the Upgrade is complete, the Terminal will return to normal operation.";

void Dialogs::UpdateModemIP_Form_Load() {
  win.setText("txtIP1", st.strTermOctetOne);
  win.setText("txtIP2", st.strTermOctetTwo);
  win.setText("txtIP3", st.strTermSubnet);
  win.setText("txtIP4", st.strTermIP);
}

void Dialogs::cmdDefault_Click() {
  win.setText("txtIP1", "192");
  win.setText("txtIP2", "168");
  win.setText("txtIP3", "128");
  win.setText("txtIP4", "100");
}

void Dialogs::cmdUpdate_Click() {
  // The texts are taken as typed, only their leading blanks removed; they
  // are kept only when the address is taken.
  const std::string octets[] = {LTrim(win.text("txtIP1")), LTrim(win.text("txtIP2")),
                                LTrim(win.text("txtIP3")), LTrim(win.text("txtIP4"))};
  const std::string address = octets[0] + "." + octets[1] + "." + octets[2] + "." + octets[3];
  if (up.ui.UpdateModemIPAddress(address)) {
    st.strTermOctetOne = octets[0];
    st.strTermOctetTwo = octets[1];
    st.strTermSubnet = octets[2];
    st.strTermIP = octets[3];
  }
  up.platform.ui().closeModal("UpdateModemIP");
}

void Dialogs::cmdClose_Click() {
  up.platform.ui().closeModal("UpdateModemIP");
}

void Dialogs::frmUpgrade_Form_Load() {
  intExitApplication = 0;
  win.setValue("UpgradeNow", 1);
  win.setValue("UpgradeLater", 0);
}

void Dialogs::UpgradeNow_Click() {
  win.setValue("UpgradeNow", 1);
  win.setValue("UpgradeLater", 0);
  intExitApplication = 0;
}

void Dialogs::UpgradeLater_Click() {
  win.setValue("UpgradeNow", 0);
  win.setValue("UpgradeLater", 1);
  intExitApplication = 1;
}

void Dialogs::OKButton_Click() {
  up.platform.ui().closeModal("frmUpgrade");
}

void Dialogs::ShowFrmUpgrade() {
  frmUpgrade_Form_Load();
  up.platform.ui().showModal("frmUpgrade");
}

void Dialogs::mnuHelpAbout_Click() {
  MsgBox(std::string("Satellite IP Modem Upgrader") + CRLF + "for ORVEX Terminals" + CRLF +
             "Copyright (c) ORVEX. All rights reserved." + CRLF + CRLF + "Version " + kVersion +
             CRLF + "Apr 25, 2013",
         vbOKOnly | vbInformation, kProgramTitle);
}

void Dialogs::mnuHelpTs_Click() {
  MsgBox(kTroubleshootingText, vbOKOnly | vbInformation,
         "ORVEX Upgrader: Troubleshooting Instructions for Connectivity Issues");
}

}  // namespace orvex
