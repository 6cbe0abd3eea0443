// The selection of upgrade items and their sequencing across the terminal's
// restarts.
#pragma once

#include <string>
#include <vector>

#include "app/part.h"
#include "upgrade/upgrade_item.h"

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
  void EndChainOnFailure(const std::string& reason);

  // The per-item record of the last (or the running) upgrade.
  const std::vector<UpgradeItemResult>& itemResults() const { return itemResults_; }
  // The program ends: the items of a chain under way go into the history.
  void RecordUnfinishedChain() { RecordHistory(true); }
  // An item starts: a new record with the terminal's version as shown now
  // (a new chain starts a new list).
  void ItemStarted(UpgradeItem item);
  // A restore of the backup `version` (underscore form) starts: a record of
  // its own, judged by the version after the terminal's restart.
  void RestoreStarted(const std::string& version);
  // The running item is installed; the terminal's report after its restart
  // decides (see UpgradeItemResult::restartAwaited).
  void ItemInstalled();
  // The record of the item that runs or awaits its restart; nullptr if none.
  UpgradeItemResult* RunningItem();
  // An item runs, awaits its restart, or is still pending.
  bool ChainActive() const;
  // The running item failed: normal pointer, the ZING item timers stop, the
  // message (if any) is shown, and the chain ends (EndChainOnFailure).
  // The status line reads "Upgrade stopped: " + reason.
  void ItemFailed(const std::string& reason, const std::string& message,
                  int flags = vbOKOnly | vbCritical, const std::string& title = kProgramTitle);
  // The version reply after the software item's or a restore's restart: the
  // new (or the restored) image must run. False when the chain ended here.
  bool VerifySoftwareAfterRestart();
  // The release information after the restart of an antenna, IB or PIC
  // item: the terminal must show the new version where the forms compare.
  // False when the chain ended here.
  bool VerifyReleaseInfoAfterRestart();
  // The antenna reply said nothing was installed: the item is done only if
  // the terminal already shows the new versions. False when the chain ended.
  bool VerifyNothingInstalled();
  // A version reply after which no release information will be asked
  // (BOOTROM mode or an old release): inside an upgrade the item that
  // restarted cannot be checked and no later item can start; the chain
  // ends and says so (with nothing left to run it just ends).
  void NoReleaseInfoAfterRestart(bool bootrom);
  // The chain waits for the terminal's report: an item restarts, or the
  // next item is still to be started.
  bool AwaitsTerminalReport();
  // The terminal's and the new version of an item as the window shows them.
  std::string TerminalVersionOf(UpgradeItem item) const;
  std::string NewVersionOf(UpgradeItem item) const;
  // The one comparison of an item's terminal and new versions, for the
  // window's item frames, the selection of an upgrade and the check after
  // the terminal's restart. Each part of the item with a release file
  // counts: one that differs makes the item differ, one that cannot be
  // compared (or no part at all) makes it not comparable; `why` then says
  // which part could not be compared.
  VersionMatch CompareItem(UpgradeItem item, std::string* why = nullptr) const;
  // The terminal does not show the item's new version, or the two cannot be
  // compared: an upgrade of the item would change something.
  bool ItemDiffers(UpgradeItem item) const;
  // The item can be chosen: its box can be ticked and the release folder
  // has a usable file for it.
  bool ItemOffered(UpgradeItem item) const;

  // The selection of an upgrade, item by item in chain order: of the items
  // asked for, those offered whose version differs (with `reinstall`, those
  // at the new version too).
  enum class Choice { Upgrade, AtNewVersion, NotOffered };
  struct ItemChoice {
    UpgradeItem item;
    Choice choice;
  };
  std::vector<ItemChoice> ChooseItems(const std::vector<UpgradeItem>& asked, bool reinstall) const;

  // The confirmation question for the ticked items.
  std::string UpgradeConfirmationText(bool sw, bool ant, bool pic, bool ib) const;

  // The version wait of the Upgrade command pumps events in steps of this
  // many milliseconds, at most this many times (ten minutes).
  static constexpr int kVersionWaitStepMs = 100;
  static constexpr int kVersionWaitSteps = 6000;

 private:
  // The item's versions from one of its boxes, part by part ("ATB 11, HPA 4").
  std::string ShownParts(UpgradeItem item, const char* VersionBoxes::*box) const;
  // Pumps events while the busy pointer is shown; false when it still is
  // after the bound (or the program is ending).
  bool WaitWhileBusy();
  void ClearPendingFlags();
  void LogUpgState();
  // The pending PIC item starts, after the log line that says from where.
  void StartPendingPic(const char* line);
  // The chain has ended: an item still without its result counts as not
  // verified, and each item's result goes into the log once.
  void LogChainResults();
  // Each item of the chain goes into the upgrade history once; with
  // `interrupted` (the program ends mid-chain) an item still running is
  // recorded as interrupted.
  void RecordHistory(bool interrupted);
  // Terminal against new version of an item after its restart (logs what
  // cannot be compared).
  ItemOutcome CompareShownVersions(UpgradeItem item);
  // The version after a restore's restart must be the restored one.
  bool VerifyRestoreAfterRestart(UpgradeItemResult& r);

  std::vector<UpgradeItemResult> itemResults_;
  bool resultsLogged_ = true;
  bool historyRecorded_ = true;
};

}  // namespace orvex
