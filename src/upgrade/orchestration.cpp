#include "upgrade/orchestration.h"

#include "app/upgrader.h"

namespace orvex {

AntennaUpgrade::AntennaUpgrade(Upgrader& up)
    : Part(up), tmrAntUpgDelay(up.platform, "tmrAntUpgDelay", 65000, up.cfg.timeScale, [this] {
        tmrAntUpgDelay_Timer();
      }) {}

// The local release files, the sequencer, the release series rule and the
// antenna and IB upgrades are built with the upgrade orchestration; until
// then these steps do nothing.
void LocalFiles::Util_IdentifyPackagedPlatformBin(const std::string&) {}
void LocalFiles::UI_CheckLocalAntennaFirmware() {}
void LocalFiles::UI_CheckLocalIbFirmware() {}
void Sequencer::cmdUpgrade_Click() {}
void Sequencer::Handle_UpgradeState() {}
void ReleaseSeries::UI_CheckFactoryMode() {}
bool ReleaseSeries::DetectReleaseSeriesConflict(const std::string&) {
  return false;
}
void ReleaseSeries::Form_KeyPress(int) {}
void AntennaUpgrade::cmdAntUpgradeMenu_Click() {}
void AntennaUpgrade::tmrAntUpgDelay_Timer() {
  tmrAntUpgDelay.setEnabled(false);
}
void IbUpgrade::cmdIbUpgradeMenu_Click() {}
void IbUpgrade::UPG_IBUpgradeIgnite() {}
void IbUpgrade::UPG_StandaloneIBUpgrade() {}
void IbUpgrade::UPG_ResetTrg4IBUpgrade() {}

}  // namespace orvex
