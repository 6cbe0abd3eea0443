#include "ui/main_window.h"

#include "app/app_frame.h"
#include "app/upgrader.h"
#include "ui/dialogs.h"
#include "upgrade/upgrade_item.h"

namespace orvex {

namespace {

// How often a locked window looks whether the chain has ended.
constexpr int kChainLockCheckMs = 500;

// The controls that start a chain, change the address or fetch the log:
// these and every item's check box and standalone menu command.
const char* const kChainCommands[] = {
    "cmdSetModemIP", "cmdGetSoftwareVersion", "cmdRestoreDefaults", "cmdResetModem", "cmdUpgrade",
    "cmdRestore",    "cmdUpgradeMenu",        "cmdRestoreMenu",     "txtIPAddress",  "mnuTools"};

}  // namespace

MainWindow::MainWindow(Upgrader& up)
    : Part(up),
      tmrChainLock(up.platform, "tmrChainLock", kChainLockCheckMs, up.cfg.timeScale,
                   [this] { ReleaseChainLock(); }) {
  win.setWatcher([this](const std::string& name) {
    if (IsShownVersion(name)) ShowItemUpdates();
  });
}

bool MainWindow::SetMouseCursor(long mode) {
  Util_LogWrite(VRB, ">> SetMouseCursor()");
  switch (mode) {
    case 0:
      st.screenMousePointer = vbDefault;
      up.platform.ui().setBusyPointer(false);
      EnableButtons();
      return true;
    case 1:
      st.screenMousePointer = vbArrowHourglass;
      up.platform.ui().setBusyPointer(true);
      DisableButtons();
      return true;
    default: return false;
  }
}

void MainWindow::DisableButtons() {
  Util_LogWrite(VRB, ">> DisableButtons()");
  for (const char* name :
       {"cmdSetModemIP", "cmdGetSoftwareVersion", "cmdRestoreDefaults", "cmdResetModem",
        "cmdUpgrade", "cmdRestore", "cmdUpgradeMenu", "cmdRestoreMenu", "cmdPicUpgradeMenu",
        "mnuHelpAbout", "mnuFileExit", "txtIPAddress", "cmdIbUpgradeMenu", "cmdAntUpgradeMenu"})
    win.setEnabled(name, false);
  for (UpgradeItem item : kUpgradeItems) win.setEnabled(UpgradeItemCheckBox(item), false);
  for (const char* name : {"mnuFile", "mnuTools", "mnuHelp", "frmMain"})
    win.setEnabled(name, false);
}

void MainWindow::EnableButtons() {
  Util_LogWrite(VRB, ">> EnableButtons()");
  if (up.app.UpgradeInProgress()) {
    for (const char* name : kChainCommands) win.setEnabled(name, false);
    for (UpgradeItem item : kUpgradeItems) {
      const ItemFacts& f = FactsOf(item);
      win.setEnabled(f.checkBox, false);
      if (*f.menuCommand) win.setEnabled(f.menuCommand, false);
    }
    for (const char* name : {"mnuFile", "mnuFileExit", "mnuHelp", "mnuHelpAbout", "frmMain"})
      win.setEnabled(name, true);
    chainLocked_ = true;
    tmrChainLock.setEnabled(true);
    return;
  }
  chainLocked_ = false;
  tmrChainLock.setEnabled(false);
  for (const char* name :
       {"cmdSetModemIP", "cmdGetSoftwareVersion", "cmdRestoreDefaults", "cmdResetModem",
        "cmdUpgrade", "cmdRestore", "cmdUpgradeMenu", "cmdRestoreMenu", "mnuFileExit",
        "mnuHelpAbout", "txtIPAddress", "chkBinUpg"})
    win.setEnabled(name, true);
  // PIC: unticked in every case, usable only with a valid local PIC file.
  win.setValue("chkPICUpg", 0);
  win.setEnabled("cmdPicUpgradeMenu", st.bPicFwAvailable);
  win.setEnabled("chkPICUpg", st.bPicFwAvailable);
  // Antenna and IB: switched on when available, otherwise left as they are.
  if (st.bAntFwAvailable) {
    win.setEnabled("cmdAntUpgradeMenu", true);
    win.setEnabled("chkAntUpg", true);
  }
  if (st.bIbFwAvailable) {
    win.setEnabled("cmdIbUpgradeMenu", true);
    win.setEnabled("chkIBUpg", true);
  }
  for (const char* name : {"mnuFile", "mnuTools", "mnuHelp", "mnuFileExit", "frmMain"})
    win.setEnabled(name, true);
}

void MainWindow::ReleaseChainLock() {
  if (!chainLocked_) {
    tmrChainLock.setEnabled(false);
    return;
  }
  if (st.screenMousePointer != vbDefault || up.app.UpgradeInProgress()) return;
  EnableButtons();
}

void MainWindow::UI_DisableIBFunctionality(bool all) {
  Util_LogWrite(VRB, ">> UI_DisableIBFunctionality()");
  win.setText("frameIbInfo", "IB Info");
  for (const char* name : {"frameIbInfo", "lblLocIbVer", "txtLocIBVer"})
    win.setEnabled(name, false);
  if (all) {
    win.setEnabled("lblTermIbVer", false);
    win.setEnabled("txtTermIBVer", false);
  }
  win.setValue("chkIBUpg", 0);
  win.setEnabled("chkIBUpg", false);
  win.setEnabled("cmdIbUpgradeMenu", false);
}

void MainWindow::UI_EnableIBFunctionality() {
  Util_LogWrite(VRB, ">> UI_EnableIBFunctionality()");
  win.setText("frameIbInfo", "IB Info");
  for (const char* name :
       {"frameIbInfo", "lblLocIbVer", "txtLocIBVer", "lblTermIbVer", "txtTermIBVer"})
    win.setEnabled(name, true);
  win.setEnabled("chkIBUpg", st.bIbFwAvailable);
  win.setEnabled("cmdIbUpgradeMenu", st.bIbFwAvailable);
}

namespace {
const char* const kAntennaGroup[] = {
    "frameAntenna", "txtLocAtbVer", "txtLocHpaVer", "txtLocAntClass", "lblLocAtb",
    "lblLocHPA",    "lblLocCls",    "txtAntATBver", "txtAntHPAver",   "txtAntCLSver",
    "lblAntAtb",    "lblAntHPA",    "lblAntClass"};
}

void MainWindow::UI_DisableAntennaFunctionality() {
  Util_LogWrite(VRB, ">> UI_DisableAntennaFunctionality()");
  win.setText("frameAntenna", "Antenna Info");
  for (const char* name : kAntennaGroup) win.setEnabled(name, false);
  win.setValue("chkAntUpg", 0);
  win.setEnabled("chkAntUpg", false);
  win.setEnabled("cmdAntUpgradeMenu", false);
}

void MainWindow::UI_EnableAntennaFunctionality() {
  Util_LogWrite(VRB, ">> UI_EnableAntennaFunctionality()");
  win.setText("frameAntenna", "Antenna Info");
  for (const char* name : kAntennaGroup) win.setEnabled(name, true);
  win.setEnabled("chkAntUpg", st.bAntFwAvailable);
  win.setEnabled("cmdAntUpgradeMenu", st.bAntFwAvailable);
}

void MainWindow::UI_InitTermAntennaFields() {
  Util_LogWrite(VRB, ">> UI_InitTermAntennaFields()");
  win.setText("txtAntATBver", "UNKNOWN");
  win.setText("txtAntHPAver", "UNKNOWN");
  win.setText("txtAntCLSver", "UNKNOWN");
  win.setEnabled("chkAntUpg", true);
}

void MainWindow::UI_InitTermIbFields() {
  Util_LogWrite(VRB, ">> UI_InitTermIbFields()");
  win.setText("txtTermIBVer", "UNKNOWN");
  win.setEnabled("chkIBUpg", true);
}

void MainWindow::UI_UpdateUIUpgState(long stage) {
  Util_LogWrite(VRB, ">> UI_UpdateUIUpgState() : " + std::to_string(stage));
  const char* highlighted = nullptr;
  switch (stage) {
    case 0: Util_LogWrite(ERR, "Upgrade Progress State Invalid."); break;
    case 1:
      Util_LogWrite(VRB,
                    "Upgrade Progress Complete. Clear Pending requests: " + std::to_string(stage));
      st.bSwUpgPending = st.bPicUpgPending = st.bAntUpgPending = st.bIbUpgPending = false;
      break;
    case 2: highlighted = FactsOf(UpgradeItem::Software).frame; break;
    case 3: highlighted = FactsOf(UpgradeItem::Antenna).frame; break;
    case 4: highlighted = FactsOf(UpgradeItem::Ib).frame; break;
    case 5: highlighted = FactsOf(UpgradeItem::Pic).frame; break;
    default:
      Util_LogWrite(ERR,
                    "Unexpected Progress State, Clear Pending requests: " + std::to_string(stage));
      st.bSwUpgPending = st.bPicUpgPending = st.bAntUpgPending = st.bIbUpgPending = false;
      break;
  }
  for (UpgradeItem item : kUpgradeItems) {
    const char* frame = FactsOf(item).frame;
    win.setBackColor(frame, highlighted && std::string(frame) == highlighted ? kColorHighlight
                                                                             : kColorButtonFace);
  }
}

void MainWindow::cmdSetModemIP_Click() {
  Util_LogWrite(VRB, ">> cmdSetModemIP_Click()");
  up.dialogs.UpdateModemIP_Form_Load();
  up.platform.ui().showModal("UpdateModemIP");
}

bool MainWindow::UpdateModemIPAddress(const std::string& address) {
  Util_LogWrite(VRB, ">> UpdateModemIPAddress()");
  // One upgrader per terminal: the new address is taken only once its
  // terminal is ours.
  if (up.cfg.claimTerminal && Trim(address) != st.strModemIPAddress) {
    const std::string refusal = up.cfg.claimTerminal(Trim(address));
    if (!refusal.empty()) {
      Util_LogWrite(ERR, refusal);
      MsgBox(refusal, vbCritical, kProgramTitle);
      return false;
    }
  }
  Util_LogWrite(INF, "Modem IP Address: " + address);
  win.setText("txtIPAddress", address);
  st.strModemIPAddress = Trim(win.text("txtIPAddress"));
  return true;
}

}  // namespace orvex
