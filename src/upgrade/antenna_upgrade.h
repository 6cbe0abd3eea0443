// The antenna firmware upgrade: upload of the ATB/HPA parts, the install
// request and the restart wait.
#pragma once

#include <string>

#include "app/part.h"
#include "app/timer.h"

namespace orvex {

class AntennaUpgrade : public Part {
 public:
  explicit AntennaUpgrade(Upgrader& up);
  void cmdAntUpgradeMenu_Click();
  void Antenna_SpawnUpgrade();
  void UPG_StandaloneAntennaUpgrade();
  void tmrAntUpgDelay_Timer();
  Timer tmrAntUpgDelay;
};

}  // namespace orvex
