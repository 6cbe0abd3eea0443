// The main software upgrade sequence on the terminal's flash, the image
// descriptor and the restore of an older image.
#pragma once

#include "app/part.h"
#include "app/timer.h"

namespace orvex {

class SoftwareUpgrade : public Part {
 public:
  explicit SoftwareUpgrade(Upgrader& up);

  void UPG_HandleSwUpgradePreparation();
  void tmrDelayedSwUpgIgnite_Timer();
  void tmrImagePutTrig_Timer();
  void cmdRestore_Click();
  void cmdRestoreMenu_Click() { cmdRestore_Click(); }
  void cmdOkRestore_Click();
  void cmdCancelRestore_Click();
  void Util_CleanUpHomeDirectory();

  Timer tmrDelayedSwUpgIgnite;
  Timer tmrImagePutTrig;
};

}  // namespace orvex
