#include "upgrade/antenna_upgrade.h"

#include "app/upgrader.h"

namespace orvex {

AntennaUpgrade::AntennaUpgrade(Upgrader& up)
    : Part(up), tmrAntUpgDelay(up.platform, "tmrAntUpgDelay", 65000, up.cfg.timeScale, [this] {
        tmrAntUpgDelay_Timer();
      }) {}

// Built with the upgrade orchestration; until then these steps do nothing.
void AntennaUpgrade::cmdAntUpgradeMenu_Click() {}
void AntennaUpgrade::tmrAntUpgDelay_Timer() {
  tmrAntUpgDelay.setEnabled(false);
}

}  // namespace orvex
