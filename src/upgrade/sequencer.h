// The selection of upgrade items and their sequencing across the terminal's
// restarts.
#pragma once

#include <string>

#include "app/part.h"

namespace orvex {

class Sequencer : public Part {
 public:
  explicit Sequencer(Upgrader& up) : Part(up) {}
  void cmdUpgrade_Click();
  void cmdUpgradeMenu_Click() { cmdUpgrade_Click(); }
  void Handle_UpgradeState();
};

}  // namespace orvex
