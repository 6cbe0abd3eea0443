// The record of the last (or the running) upgrade, item by item: what the
// terminal showed before and after each item's restart, whether the new
// version runs, the chain's results in the log and its rows in the upgrade
// history.
#include "app/upgrader.h"
#include "ui/main_window.h"
#include "upgrade/antenna_upgrade.h"
#include "upgrade/sequencer.h"
#include "zing/zing_channel.h"
#include "zing/zing_codec.h"

namespace orvex {

namespace {

// What a chain-ending message box adds after saying what failed.
constexpr const char* kNoFurtherItem = "\r\nNo further upgrade item has been started.";

// The title of an item in its failure message.
std::string ItemTitle(UpgradeItem item) {
  return FactsOf(item).title;
}

}  // namespace

ItemOutcome Sequencer::CompareShownVersions(UpgradeItem item) {
  std::string why;
  switch (CompareItem(item, &why)) {
    case VersionMatch::Same: return ItemOutcome::Done;
    case VersionMatch::Differs: return ItemOutcome::Failed;
    case VersionMatch::NotComparable: break;
  }
  Util_LogWrite(INF, UpgradeItemName(item) + ": " +
                         (why.empty() ? std::string("no part of it has a release file") : why) +
                         "; these cannot be compared, so the upgrade is not verified.");
  return ItemOutcome::NotVerified;
}

void Sequencer::ItemStarted(UpgradeItem item) {
  if (resultsLogged_) {
    itemResults_.clear();
    resultsLogged_ = false;
    historyRecorded_ = false;
  }
  if (UpgradeItemResult* r = RunningItem()) {
    Util_LogWrite(INF, UpgradeItemName(r->item) + " ended without the terminal confirming it.");
    r->outcome = ItemOutcome::NotVerified;
  }
  UpgradeItemResult r;
  r.item = item;
  r.before = TerminalVersionOf(item);
  r.expected = NewVersionOf(item);
  itemResults_.push_back(r);
}

void Sequencer::ItemInstalled() {
  if (UpgradeItemResult* r = RunningItem()) r->restartAwaited = true;
}

UpgradeItemResult* Sequencer::RunningItem() {
  if (resultsLogged_ || itemResults_.empty()) return nullptr;
  UpgradeItemResult& r = itemResults_.back();
  return r.outcome == ItemOutcome::Running ? &r : nullptr;
}

bool Sequencer::ChainActive() const {
  const bool running = !resultsLogged_ && !itemResults_.empty() &&
                       itemResults_.back().outcome == ItemOutcome::Running;
  return running || st.bSwUpgPending || st.bAntUpgPending || st.bIbUpgPending || st.bPicUpgPending;
}

void Sequencer::ItemFailed(const std::string& reason, const std::string& message, int flags,
                           const std::string& title) {
  up.zing.tmrIbPollUpgStatus.setEnabled(false);
  up.zing.tmrIbUpgStatusCheck.setEnabled(false);
  up.zing.tmrIbFlashStall.setEnabled(false);
  up.ant.tmrAntUpgDelay.setEnabled(false);
  up.ui.SetMouseCursor(0);
  EndChainOnFailure(reason);
  SetStatus("Upgrade stopped: " + reason);
  if (!message.empty()) MsgBox(message, flags, title);
  up.ui.ReleaseChainLock();
}

bool Sequencer::VerifySoftwareAfterRestart() {
  UpgradeItemResult* r = RunningItem();
  if (!r || r->item != UpgradeItem::Software) return true;
  if (r->restore) return VerifyRestoreAfterRestart(*r);
  if (st.currUpgradeState != UPG_STATE_BIN_DONE) return true;
  r->after = win.text("txtCurrentSoftwareVersion");
  if (st.bBootromMode) {
    ItemFailed(
        "the terminal restarted in BOOTROM mode, not with the new software " + r->expected + ".",
        std::string("Software Upgrade failed.") + CRLF + CRLF +
            "After its restart the Satellite IP Modem is in BOOTROM mode; it does not "
            "run the new software " +
            r->expected + "." + kNoFurtherItem);
    return false;
  }
  if (CompareItem(UpgradeItem::Software) != VersionMatch::Same) {
    ItemFailed("the terminal runs software " + r->after + " after its restart, not the new " +
                   r->expected + ".",
               std::string("Software Upgrade failed.") + CRLF + CRLF +
                   "After its restart the Satellite IP Modem runs software " + r->after +
                   ", not the new " + r->expected + "." + kNoFurtherItem);
    return false;
  }
  r->outcome = ItemOutcome::Done;
  Util_LogWrite(INF, "Software " + r->after + " confirmed after the restart.");
  return true;
}

bool Sequencer::VerifyRestoreAfterRestart(UpgradeItemResult& r) {
  if (!r.restartAwaited) return true;
  r.after = win.text("txtCurrentSoftwareVersion");
  const std::string expected = r.expected;
  if (st.bBootromMode) {
    ItemFailed(
        "the terminal restarted in BOOTROM mode, not with the restored software " + expected + ".",
        std::string("Restore failed.") + CRLF + CRLF +
            "After its restart the Satellite IP Modem is in BOOTROM mode; it does not "
            "run the restored software " +
            expected + "." + CRLF + CRLF +
            "Power cycle the Satellite IP Modem; if it stays in BOOTROM mode, upgrade "
            "its software again.");
    return false;
  }
  if (CompareShownVersionTexts(r.after, expected) != VersionMatch::Same) {
    const std::string after = r.after;
    ItemFailed("the terminal runs software " + after + " after its restart, not the restored " +
                   expected + ".",
               std::string("Restore failed.") + CRLF + CRLF +
                   "After its restart the Satellite IP Modem runs software " + after +
                   ", not the restored " + expected + ".");
    return false;
  }
  r.outcome = ItemOutcome::Done;
  Util_LogWrite(INF, "Software " + r.after + " confirmed after the restart.");
  // Nothing follows a restore: its result is final.
  LogChainResults();
  return true;
}

void Sequencer::RestoreStarted(const std::string& version) {
  ItemStarted(UpgradeItem::Software);
  UpgradeItemResult& r = itemResults_.back();
  r.expected = Util_ReplaceChar(version, "_", ".");
  r.restore = true;
}

bool Sequencer::VerifyReleaseInfoAfterRestart() {
  UpgradeItemResult* r = RunningItem();
  if (!r || !r->restartAwaited || r->item == UpgradeItem::Software) return true;
  r->after = TerminalVersionOf(r->item);
  const ItemOutcome outcome = CompareShownVersions(r->item);
  if (outcome == ItemOutcome::Failed) {
    const UpgradeItem item = r->item;
    const std::string after = r->after, expected = r->expected;
    ItemFailed(UpgradeItemName(item) + " after the restart is " + after + ", not the new " +
                   expected + ".",
               ItemTitle(item) + " Upgrade failed." + CRLF + CRLF +
                   "After its restart the Satellite IP Modem reports " + UpgradeItemName(item) +
                   " " + after + ", not the new " + expected + "." + kNoFurtherItem);
    return false;
  }
  r->outcome = outcome;
  if (outcome == ItemOutcome::Done)
    Util_LogWrite(INF, UpgradeItemName(r->item) + " " + r->after + " confirmed after the restart.");
  return true;
}

bool Sequencer::VerifyNothingInstalled() {
  UpgradeItemResult* r = RunningItem();
  if (!r || r->item != UpgradeItem::Antenna) return true;
  r->after = TerminalVersionOf(r->item);
  const ItemOutcome outcome = CompareShownVersions(r->item);
  if (outcome == ItemOutcome::Failed) {
    const std::string after = r->after, expected = r->expected;
    ItemFailed("the terminal installed no antenna firmware; it reports " + after +
                   ", not the new " + expected + ".",
               std::string("Antenna Firmware Upgrade failed.") + CRLF + CRLF +
                   "The Satellite IP Modem installed no antenna firmware; it still reports " +
                   after + ", not the new " + expected + "." + kNoFurtherItem);
    return false;
  }
  r->outcome = outcome;
  if (outcome == ItemOutcome::Done)
    Util_LogWrite(INF, "Antenna firmware " + r->after + " already installed.");
  return true;
}

bool Sequencer::AwaitsTerminalReport() {
  if (!ChainActive()) return false;
  const UpgradeItemResult* r = RunningItem();
  return !r || r->restartAwaited;
}

void Sequencer::NoReleaseInfoAfterRestart(bool bootrom) {
  if (!AwaitsTerminalReport()) return;
  UpgradeItemResult* r = RunningItem();
  if (bootrom) {
    const std::string after =
        r ? " after the " + UpgradeItemName(r->item) + " upgrade" : std::string();
    ItemFailed("the terminal restarted in BOOTROM mode" + after + ".",
               std::string("Upgrade stopped.") + CRLF + CRLF +
                   "The Satellite IP Modem restarted in BOOTROM mode" + after +
                   ": it does not run its software." + kNoFurtherItem + CRLF + CRLF +
                   "Power cycle the Satellite IP Modem; if it stays in BOOTROM mode, upgrade "
                   "its software again.");
    return;
  }
  if (r) {
    r->after = TerminalVersionOf(r->item);
    Util_LogWrite(INF, UpgradeItemName(r->item) +
                           ": the terminal's software does not report release information, so "
                           "the upgrade is not verified.");
    r->outcome = ItemOutcome::NotVerified;
  }
  if (st.bAntUpgPending || st.bIbUpgPending || st.bPicUpgPending) {
    ItemFailed(
        "the terminal's software does not report release information; the remaining "
        "items cannot run.",
        std::string("Upgrade stopped.") + CRLF + CRLF +
            "The Satellite IP Modem's software does not report its release "
            "information, so the remaining upgrade items cannot run." +
            kNoFurtherItem);
    return;
  }
  Handle_UpgradeState();  // nothing left to run: the chain ends here
}

void Sequencer::LogChainResults() {
  if (resultsLogged_) return;
  for (UpgradeItemResult& r : itemResults_) {
    if (r.outcome == ItemOutcome::Running) {
      Util_LogWrite(INF, UpgradeItemName(r.item) + " ended without the terminal confirming it.");
      r.outcome = ItemOutcome::NotVerified;
    }
    Util_LogWrite(INF, "Upgrade result: " + UpgradeItemName(r.item) + ": before " +
                           (r.before.empty() ? "not read" : r.before) + ", after " +
                           (r.after.empty() ? "not read" : r.after) + ", new " +
                           (r.expected.empty() ? "not known" : r.expected) + ": " +
                           ItemOutcomeName(r.outcome));
  }
  resultsLogged_ = true;
  RecordHistory(false);
  up.ui.ShowItemResults();
}

void Sequencer::RecordHistory(bool interrupted) {
  HistoryPort* history = up.platform.history();
  if (historyRecorded_ || itemResults_.empty()) return;
  historyRecorded_ = true;
  if (!history) return;
  std::string serial = Trim(win.text("txtAntASNver"));
  if (serial == "UNKNOWN") serial.clear();
  for (const UpgradeItemResult& r : itemResults_) {
    HistoryRow row;
    row.address = st.strModemIPAddress;
    row.antennaSerial = serial;
    row.item = FactsOf(r.item).word;
    row.before = r.before;
    row.after = r.after;
    row.expected = r.expected;
    row.result = interrupted && r.outcome == ItemOutcome::Running ? std::string("interrupted")
                                                                  : ItemOutcomeName(r.outcome);
    row.logFile = up.log.strLogFilePath;
    row.frontEnd = up.cfg.frontEnd.empty() ? std::string("orvex-upgrader") : up.cfg.frontEnd;
    if (!history->record(row)) {
      // The upgrade goes on; the log says what the history lacks.
      Util_LogWrite(ERR, "The upgrade history could not be written: " + history->lastError());
      return;
    }
  }
}

}  // namespace orvex
