#include "transfer/software_upgrade.h"

#include "app/upgrader.h"

namespace orvex {

SoftwareUpgrade::SoftwareUpgrade(Upgrader& up)
    : Part(up),
      tmrDelayedSwUpgIgnite(up.platform, "tmrDelayedSwUpgIgnite", 12000, up.cfg.timeScale,
                            [this] { tmrDelayedSwUpgIgnite_Timer(); }),
      tmrImagePutTrig(up.platform, "tmrImagePutTrig", 2000, up.cfg.timeScale,
                      [this] { tmrImagePutTrig_Timer(); }) {}

// The software upgrade, the image descriptor and the restore are built with
// the FTP chains; until then these steps do nothing.
void SoftwareUpgrade::UPG_HandleSwUpgradePreparation() {}
void SoftwareUpgrade::tmrDelayedSwUpgIgnite_Timer() {
  tmrDelayedSwUpgIgnite.setEnabled(false);
}
void SoftwareUpgrade::tmrImagePutTrig_Timer() {
  tmrImagePutTrig.setEnabled(false);
}
void SoftwareUpgrade::cmdRestore_Click() {}
void SoftwareUpgrade::Util_CleanUpHomeDirectory() {}
void SoftwareUpgrade::cmdOkRestore_Click() {
  up.platform.ui().closeModal("frmRestore");
}
void SoftwareUpgrade::cmdCancelRestore_Click() {
  up.platform.ui().closeModal("frmRestore");
}

}  // namespace orvex
