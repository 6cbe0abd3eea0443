#include "ui/window_model.h"

#include <stdexcept>

namespace orvex {

WindowModel::WindowModel() {
  using K = ControlKind;
  const char* m = "frmMain";
  add(m, "frmMain", K::Form, "Orvex Satellite IP Modem Upgrader");
  // Software
  add(m, "frameBin", K::Frame, "Software");
  add(m, "lblCurrentVersion", K::Label, "Modem SW version:");
  add(m, "txtCurrentSoftwareVersion", K::TextBox);
  add(m, "lblNewVersion", K::Label, "New Software version:");
  add(m, "txtNewSoftwareVersion", K::TextBox);
  add(m, "chkBinUpg", K::CheckBox, "Upgrade SW");
  add(m, "cmdRestore", K::Button, "&Restore", "Restore original software");
  // Antenna
  add(m, "frameAntenna", K::Frame, "Antenna Info");
  add(m, "lblAntAtb", K::Label, "Modem ATB version:");
  add(m, "txtAntATBver", K::TextBox);
  add(m, "lblAntHPA", K::Label, "Modem HPA version:");
  add(m, "txtAntHPAver", K::TextBox);
  add(m, "lblAntClass", K::Label, "Antenna Class:");
  add(m, "txtAntCLSver", K::TextBox);
  add(m, "txtAntAHWver", K::TextBox);
  add(m, "txtAntASNver", K::TextBox);
  add(m, "lblAntASN", K::Label, "Modem antenna HW / S/N:");
  add(m, "lblLocAtb", K::Label, "New ATB version:");
  add(m, "txtLocAtbVer", K::TextBox);
  add(m, "lblLocHPA", K::Label, "New HPA version:");
  add(m, "txtLocHpaVer", K::TextBox);
  add(m, "lblLocCls", K::Label, "Antenna Class:");
  add(m, "txtLocAntClass", K::TextBox);
  add(m, "chkAntUpg", K::CheckBox, "Upgrade Antenna");
  // IB
  add(m, "frameIbInfo", K::Frame, "IB Info");
  add(m, "lblTermIbVer", K::Label, "Modem IB version:");
  add(m, "txtTermIBVer", K::TextBox);
  add(m, "lblLocIbVer", K::Label, "New IB version:");
  add(m, "txtLocIBVer", K::TextBox);
  add(m, "chkIBUpg", K::CheckBox, "Upgrade IB FW");
  add(m, "prgBarIbUpgrade", K::ProgressBar);
  add(m, "lblIbUpgStatus", K::Label, "100%");
  // PIC
  add(m, "framePIC", K::Frame, "PIC Info");
  add(m, "lblTermPICVersion", K::Label, "Modem PIC version:");
  add(m, "txtTermPICVersion", K::TextBox);
  add(m, "lblLocPICVer", K::Label, "New PIC version:");
  add(m, "txtLocPICVer", K::TextBox);
  add(m, "chkPICUpg", K::CheckBox, "Upgrade PIC");
  // Per item: whether the release differs from what the terminal runs, and
  // the result of the item in the last upgrade.
  add(m, "lblBinUpdate", K::Label, "Unknown");
  add(m, "lblBinResult", K::Label);
  add(m, "lblAntUpdate", K::Label, "Unknown");
  add(m, "lblAntResult", K::Label);
  add(m, "lblIbUpdate", K::Label, "Unknown");
  add(m, "lblIbResult", K::Label);
  add(m, "lblPicUpdate", K::Label, "Unknown");
  add(m, "lblPicResult", K::Label);
  // The running file transfer
  add(m, "lblTransfer", K::Label);
  add(m, "prgBarTransfer", K::ProgressBar);
  // Window
  add(m, "lblUpgHelp", K::Label, "Select the items above to Upgrade.");
  add(m, "cmdUpgrade", K::Button, "&Upgrade", "Upgrade software");
  add(m, "lblIPAddress", K::Label, "IP Address:");
  add(m, "txtIPAddress", K::TextBox, "192.168.128.100");
  add(m, "statusLED", K::Shape);
  add(m, "sbUpgrade", K::TextBox, "Status Text");
  add(m, "cmdAntInfo", K::Button, "Zing Request");
  add(m, "logBox", K::ListBox);
  // Menus
  add(m, "mnuFile", K::Menu, "&File");
  add(m, "cmdUpgradeMenu", K::MenuItem, "&Upgrade Selections");
  add(m, "cmdRestoreMenu", K::MenuItem, "&Restore Software");
  add(m, "cmdAntUpgradeMenu", K::MenuItem, "Upgrade A&ntenna (Standalone)");
  add(m, "cmdIbUpgradeMenu", K::MenuItem, "Upgrade &IB (Standalone)");
  add(m, "cmdPicUpgradeMenu", K::MenuItem, "Upgrade &PIC (Standalone)");
  add(m, "cmdSeperator1", K::Separator, "-");
  add(m, "mnuFileExit", K::MenuItem, "E&xit");
  add(m, "mnuTools", K::Menu, "&Tools");
  add(m, "cmdSetModemIP", K::MenuItem, "&Configure Modem &Interface");
  add(m, "cmdGetSoftwareVersion", K::MenuItem, "&Get Software Version");
  add(m, "cmdRestoreDefaults", K::MenuItem, "Restore &Factory Defaults");
  add(m, "cmdSeperator2", K::Separator, "-");
  add(m, "cmdResetModem", K::MenuItem, "&Reset Modem");
  add(m, "mnuHelp", K::Menu, "&Help");
  add(m, "mnuHelpAbout", K::MenuItem, "&About Upgrader...");
  add(m, "mnuHelpTs", K::MenuItem, "&Troubleshooting");

  // The terminal-address dialog
  const char* ip = "UpdateModemIP";
  add(ip, "UpdateModemIP", K::Form, "Configure Modem Interface");
  add(ip, "lblHeading", K::Label, "Enter IP address of the ORVEX Terminal");
  add(ip, "IPlabel", K::Label, "Terminal IP:");
  add(ip, "txtIP1", K::TextBox, "192");
  add(ip, "txtIP2", K::TextBox, "168");
  add(ip, "txtIP3", K::TextBox, "128");
  add(ip, "txtIP4", K::TextBox, "100");
  add(ip, "lblDot_0", K::Label, ".");
  add(ip, "lblDot_1", K::Label, ".");
  add(ip, "lblDot_2", K::Label, ".");
  add(ip, "cmdUpdate", K::Button, "Update");
  add(ip, "cmdDefault", K::Button, "Default IP");
  add(ip, "cmdClose", K::Button, "Close");

  // The start-up question
  const char* up = "frmUpgrade";
  add(up, "frmUpgrade", K::Form, "Satellite IP Modem");
  add(up, "Label1", K::Label, "You already have the latest version of software.");
  add(up, "Label2", K::Label,
      "If the Satellite IP Modem is not already connected to your PC, disconnect the dial-up "
      "or LAN connection and connect the Satellite IP Modem to your PC.");
  add(up, "UpgradeNow", K::OptionButton, "&Complete upgrade now");
  add(up, "UpgradeLater", K::OptionButton, "Complete &upgrade later");
  add(up, "OKButton", K::Button, "OK");
  controls_.at("UpgradeNow").value = 1;

  // The restore dialog
  const char* rs = "frmRestore";
  add(rs, "frmRestore", K::Form, "Restore Satellite IP Modem Software");
  add(rs, "lblOldSoftwareVersionList", K::Label, "Select an old software version to restore:");
  add(rs, "lstOldSoftwareVersions", K::ListBox);
  add(rs, "cmdOkRestore", K::Button, "OK");
  add(rs, "cmdCancelRestore", K::Button, "Cancel");

  // Progress, percentage, the unused test button and list are not shown at start.
  controls_.at("cmdAntInfo").visible = false;
  controls_.at("logBox").visible = false;
  controls_.at("statusLED").backColor = kColorRed;
  for (const char* name : {"lblBinResult", "lblAntResult", "lblIbResult", "lblPicResult",
                           "lblTransfer", "prgBarTransfer"})
    controls_.at(name).visible = false;
}

void WindowModel::add(const char* form, const char* name, ControlKind kind, const char* text,
                      const char* toolTip) {
  Control c;
  c.name = name;
  c.kind = kind;
  c.form = form;
  c.text = text;
  c.toolTip = toolTip;
  controls_.emplace(c.name, c);
  order_.push_back(c.name);
}

const Control& WindowModel::at(const std::string& name) const {
  auto it = controls_.find(name);
  if (it == controls_.end()) throw std::out_of_range("no control named " + name);
  return it->second;
}

Control& WindowModel::mut(const std::string& name) {
  auto it = controls_.find(name);
  if (it == controls_.end()) throw std::out_of_range("no control named " + name);
  return it->second;
}

std::vector<std::string> WindowModel::names() const {
  return order_;
}

void WindowModel::changed(const std::string& name) {
  if (watcher_) watcher_(name);
  if (listener_) listener_(name);
}

void WindowModel::setText(const std::string& name, const std::string& text) {
  mut(name).text = text;
  changed(name);
}

void WindowModel::setEnabled(const std::string& name, bool on) {
  mut(name).enabled = on;
  changed(name);
}

void WindowModel::setVisible(const std::string& name, bool on) {
  mut(name).visible = on;
  changed(name);
}

void WindowModel::setValue(const std::string& name, int value) {
  mut(name).value = value;
  changed(name);
}

void WindowModel::setBackColor(const std::string& name, long color) {
  mut(name).backColor = color;
  changed(name);
}

void WindowModel::setForeColor(const std::string& name, long color) {
  mut(name).foreColor = color;
  changed(name);
}

void WindowModel::setUnderline(const std::string& name, bool on) {
  mut(name).underline = on;
  changed(name);
}

void WindowModel::clearList(const std::string& name) {
  Control& c = mut(name);
  c.items.clear();
  c.listIndex = -1;
  changed(name);
}

void WindowModel::addItem(const std::string& name, const std::string& item) {
  mut(name).items.push_back(item);
  changed(name);
}

void WindowModel::setListIndex(const std::string& name, int index) {
  Control& c = mut(name);
  c.listIndex = (index >= 0 && index < static_cast<int>(c.items.size())) ? index : -1;
  changed(name);
}

}  // namespace orvex
