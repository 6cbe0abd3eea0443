// Upgrade orchestration: the local release files, the selection and
// sequencing of the upgrade items, the release series rule with factory
// mode, and the antenna and IB upgrades.
#pragma once

#include <string>

#include "app/part.h"
#include "app/timer.h"

namespace orvex {

class LocalFiles : public Part {
 public:
  explicit LocalFiles(Upgrader& up) : Part(up) {}
  void Util_IdentifyPackagedPlatformBin(const std::string& version);
  void UI_CheckLocalAntennaFirmware();
  void UI_CheckLocalIbFirmware();
};

class Sequencer : public Part {
 public:
  explicit Sequencer(Upgrader& up) : Part(up) {}
  void cmdUpgrade_Click();
  void cmdUpgradeMenu_Click() { cmdUpgrade_Click(); }
  void Handle_UpgradeState();
};

class ReleaseSeries : public Part {
 public:
  explicit ReleaseSeries(Upgrader& up) : Part(up) {}
  void UI_CheckFactoryMode();
  bool DetectReleaseSeriesConflict(const std::string& version);
  void Form_KeyPress(int keyAscii);
};

class AntennaUpgrade : public Part {
 public:
  explicit AntennaUpgrade(Upgrader& up);
  void cmdAntUpgradeMenu_Click();
  void tmrAntUpgDelay_Timer();
  Timer tmrAntUpgDelay;
};

class IbUpgrade : public Part {
 public:
  explicit IbUpgrade(Upgrader& up) : Part(up) {}
  void cmdIbUpgradeMenu_Click();
  void UPG_IBUpgradeIgnite();
  void UPG_StandaloneIBUpgrade();
  void UPG_ResetTrg4IBUpgrade();
};

}  // namespace orvex
