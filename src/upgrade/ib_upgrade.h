// The IB firmware upgrade: preparation, upload and the terminal reset that
// starts the flashing.
#pragma once

#include <string>

#include "app/part.h"

namespace orvex {

class IbUpgrade : public Part {
 public:
  explicit IbUpgrade(Upgrader& up) : Part(up) {}
  void cmdIbUpgradeMenu_Click();
  void UPG_IBUpgradeIgnite();
  void UPG_StandaloneIBUpgrade();
  void UPG_ResetTrg4IBUpgrade();
};

}  // namespace orvex
