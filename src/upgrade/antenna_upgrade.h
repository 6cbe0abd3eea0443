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
  // The terminal's antenna class is known and equals the class of both
  // local parts (an absent part keeps class number 0, so a Class 2 HPA file
  // alone matches a Class 2 terminal); local firmware is usable.
  bool AntennaClassesMatch() const;
  Timer tmrAntUpgDelay;
};

}  // namespace orvex
