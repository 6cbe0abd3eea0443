#include "app/upgrader.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

#include "app/app_frame.h"
#include "app/settings.h"
#include "pic/pic_upgrade.h"
#include "transfer/ftp_engine.h"
#include "transfer/software_upgrade.h"
#include "transfer/transfer_meter.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "upgrade/antenna_upgrade.h"
#include "upgrade/ib_upgrade.h"
#include "upgrade/local_files.h"
#include "upgrade/release_series.h"
#include "upgrade/sequencer.h"
#include "zing/zing_channel.h"

namespace orvex {

void ApplyEnvironment(Config& cfg) {
  if (const auto scale = TimeScaleSetting()) cfg.timeScale = *scale;
  if (const char* addr = std::getenv("ORVEX_MODEM_ADDRESS"); addr && *addr)
    cfg.modemAddress = std::string(addr);
}

// The parts' constructors read only the platform and the configuration, so
// they may be built in any order.
struct Upgrader::Parts {
  explicit Parts(Upgrader& u)
      : ui(u),
        dialogs(u),
        app(u),
        zing(u),
        ftp(u),
        meter(u),
        sw(u),
        pic(u),
        files(u),
        seq(u),
        series(u),
        ant(u),
        ib(u) {}

  MainWindow ui;
  Dialogs dialogs;
  AppFrame app;
  ZingChannel zing;
  FtpEngine ftp;
  TransferMeter meter;
  SoftwareUpgrade sw;
  PicUpgrade pic;
  LocalFiles files;
  Sequencer seq;
  ReleaseSeries series;
  AntennaUpgrade ant;
  IbUpgrade ib;
};

Upgrader::Upgrader(Platform& p, Config c)
    : platform(p),
      cfg(std::move(c)),
      log(p.clock(), p.ui()),
      parts_(std::make_unique<Parts>(*this)),
      ui(parts_->ui),
      dialogs(parts_->dialogs),
      app(parts_->app),
      zing(parts_->zing),
      ftp(parts_->ftp),
      meter(parts_->meter),
      sw(parts_->sw),
      pic(parts_->pic),
      files(parts_->files),
      seq(parts_->seq),
      series(parts_->series),
      ant(parts_->ant),
      ib(parts_->ib) {
  if (cfg.modemAddress) win.setText("txtIPAddress", *cfg.modemAddress);
  log.newFileEachStart = cfg.logNewFileEachStart;
}

Upgrader::~Upgrader() = default;

void Upgrader::keyPress(int keyAscii) {
  series.Form_KeyPress(keyAscii);
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
  if (actions.count(control)) ui.ClearItemResults();
  it->second(*this);
  return true;
}

}  // namespace orvex
