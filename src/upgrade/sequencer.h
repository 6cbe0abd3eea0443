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
  void UPG_UpgradeSoftware();
  void UPG_UpgradeAntennaFW();
  void UPG_UpgradeIB();
  void UPG_UpgradePIC();
  void Handle_UpgradeState();

  // A failure ends the whole chain: the reason goes into the log (ERR), no
  // pending item is left to start at a later restart or release-information
  // reply, and the upgrade state model returns to idle. The caller tells
  // the technician in its own words and stops its own timers.
  void UPG_EndChainOnFailure(const std::string& reason);

  // The confirmation question for the ticked items.
  std::string UpgradeConfirmationText(bool sw, bool ant, bool pic, bool ib) const;

  // The version wait of the Upgrade command pumps events in steps of this
  // many milliseconds, at most this many times (ten minutes).
  static constexpr int kVersionWaitStepMs = 100;
  static constexpr int kVersionWaitSteps = 6000;

 private:
  // Pumps events while the busy pointer is shown; false when it still is
  // after the bound (or the program is ending).
  bool WaitWhileBusy();
  void ClearPendingFlags();
  void LogUpgState();
};

}  // namespace orvex
