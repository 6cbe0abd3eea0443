#include "app/upgrader.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

#include "app/settings.h"

namespace orvex {

void ApplyEnvironment(Config& cfg) {
  if (const auto scale = TimeScaleSetting()) cfg.timeScale = *scale;
  if (const char* addr = std::getenv("ORVEX_MODEM_ADDRESS"); addr && *addr)
    cfg.modemAddress = std::string(addr);
}

Upgrader::Upgrader(Platform& p, Config c)
    : platform(p),
      cfg(std::move(c)),
      log(p.clock(), p.ui()),
      ui(*this),
      dialogs(*this),
      app(*this),
      zing(*this),
      ftp(*this),
      meter(*this),
      sw(*this),
      pic(*this),
      files(*this),
      seq(*this),
      series(*this),
      ant(*this),
      ib(*this) {
  if (cfg.modemAddress) win.setText("txtIPAddress", *cfg.modemAddress);
  log.newFileEachStart = cfg.logNewFileEachStart;
}

bool Upgrader::click(const std::string& control) {
  static const std::map<std::string, std::function<void(Upgrader&)>> handlers = {
      // main window
      {"cmdUpgrade", [](Upgrader& u) { u.seq.cmdUpgrade_Click(); }},
      {"cmdUpgradeMenu", [](Upgrader& u) { u.seq.cmdUpgradeMenu_Click(); }},
      {"cmdRestore", [](Upgrader& u) { u.sw.cmdRestore_Click(); }},
      {"cmdRestoreMenu", [](Upgrader& u) { u.sw.cmdRestoreMenu_Click(); }},
      {"cmdAntUpgradeMenu", [](Upgrader& u) { u.ant.cmdAntUpgradeMenu_Click(); }},
      {"cmdIbUpgradeMenu", [](Upgrader& u) { u.ib.cmdIbUpgradeMenu_Click(); }},
      {"cmdPicUpgradeMenu", [](Upgrader& u) { u.pic.cmdPicUpgradeMenu_Click(); }},
      {"mnuFileExit", [](Upgrader& u) { u.app.mnuFileExit_Click(); }},
      {"cmdSetModemIP", [](Upgrader& u) { u.ui.cmdSetModemIP_Click(); }},
      {"cmdGetSoftwareVersion", [](Upgrader& u) { u.zing.cmdGetSoftwareVersion_Click(); }},
      {"cmdRestoreDefaults", [](Upgrader& u) { u.zing.cmdRestoreDefaults_Click(); }},
      {"cmdResetModem", [](Upgrader& u) { u.zing.cmdResetModem_Click(); }},
      {"mnuHelpAbout", [](Upgrader& u) { u.dialogs.mnuHelpAbout_Click(); }},
      {"mnuHelpTs", [](Upgrader& u) { u.dialogs.mnuHelpTs_Click(); }},
      {"cmdAntInfo", [](Upgrader& u) { u.ui.cmdAntInfo_Click(); }},
      // UpdateModemIP
      {"cmdUpdate", [](Upgrader& u) { u.dialogs.cmdUpdate_Click(); }},
      {"cmdDefault", [](Upgrader& u) { u.dialogs.cmdDefault_Click(); }},
      {"cmdClose", [](Upgrader& u) { u.dialogs.cmdClose_Click(); }},
      // frmUpgrade
      {"UpgradeNow", [](Upgrader& u) { u.dialogs.UpgradeNow_Click(); }},
      {"UpgradeLater", [](Upgrader& u) { u.dialogs.UpgradeLater_Click(); }},
      {"OKButton", [](Upgrader& u) { u.dialogs.OKButton_Click(); }},
      // frmRestore
      {"cmdOkRestore", [](Upgrader& u) { u.sw.cmdOkRestore_Click(); }},
      {"cmdCancelRestore", [](Upgrader& u) { u.sw.cmdCancelRestore_Click(); }},
  };
  auto it = handlers.find(control);
  if (it == handlers.end()) return false;
  // The results of the last upgrade stay in the item frames until the
  // technician starts the next action on the terminal.
  static const std::set<std::string> actions = {
      "cmdUpgrade",         "cmdUpgradeMenu",   "cmdRestore",        "cmdRestoreMenu",
      "cmdAntUpgradeMenu",  "cmdIbUpgradeMenu", "cmdPicUpgradeMenu", "cmdGetSoftwareVersion",
      "cmdRestoreDefaults", "cmdResetModem"};
  if (actions.count(control)) ui.UI_ClearItemResults();
  it->second(*this);
  return true;
}

}  // namespace orvex
