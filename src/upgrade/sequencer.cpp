#include "upgrade/sequencer.h"

#include "app/upgrader.h"
#include "pic/pic_upgrade.h"
#include "transfer/software_upgrade.h"
#include "ui/main_window.h"
#include "upgrade/antenna_upgrade.h"
#include "upgrade/ib_upgrade.h"
#include "upgrade/release_series.h"
#include "zing/zing_channel.h"
#include "zing/zing_codec.h"

namespace orvex {

namespace {

bool Ticked(const WindowModel& win, UpgradeItem item) {
  return win.value(UpgradeItemCheckBox(item)) != 0;
}

// What a chain-ending message box adds after saying what failed.
constexpr const char* kNoFurtherItem = "\r\nNo further upgrade item has been started.";

using Shown = VersionMatch;

Shown CompareShown(const std::string& terminal, const std::string& local) {
  return CompareShownVersionTexts(terminal, local);
}

// The title of an item in its failure message.
std::string ItemTitle(UpgradeItem item) {
  return FactsOf(item).title;
}

// An item's line in the confirmation question: "- Antenna Firmware".
std::string ConfirmationLine(UpgradeItem item) {
  return std::string("- ") + FactsOf(item).title + CRLF;
}

}  // namespace

std::string Sequencer::ShownParts(UpgradeItem item, const char* VersionBoxes::*box) const {
  const std::vector<VersionBoxes>& parts = FactsOf(item).versions;
  if (parts.size() == 1) return win.text(parts[0].*box);
  // The antenna's parts, ATB and HPA in the order of its boxes: those the
  // release has a file for, or both when it has none.
  const bool both = st.strAtbFile.empty() && st.strHpaFile.empty();
  const bool hasFile[] = {!st.strAtbFile.empty(), !st.strHpaFile.empty()};
  std::string shown;
  for (size_t i = 0; i < parts.size() && i < std::size(hasFile); ++i)
    if (both || hasFile[i])
      shown += (shown.empty() ? "" : ", ") + std::string(parts[i].part) + win.text(parts[i].*box);
  return shown;
}

std::string Sequencer::TerminalVersionOf(UpgradeItem item) const {
  return ShownParts(item, &VersionBoxes::terminal);
}

std::string Sequencer::NewVersionOf(UpgradeItem item) const {
  if (item == UpgradeItem::Software) return Util_ReplaceChar(st.strNewSwVersion, "_", ".");
  return ShownParts(item, &VersionBoxes::local);
}

VersionMatch Sequencer::UPG_CompareItem(UpgradeItem item, std::string* why) const {
  const std::vector<VersionBoxes>& parts = FactsOf(item).versions;
  bool differs = false, unsure = false, compared = false;
  for (const VersionBoxes& p : parts) {
    const std::string& terminal = win.text(p.terminal);
    const std::string local =
        item == UpgradeItem::Software ? NewVersionOf(item) : win.text(p.local);
    // An antenna part without a release file is not compared.
    if (parts.size() > 1 && EqualsNoCase(Trim(local), "UNAVAILABLE")) continue;
    compared = true;
    switch (CompareShown(terminal, local)) {
      case Shown::Same: break;
      case Shown::Differs: differs = true; break;
      case Shown::NotComparable:
        unsure = true;
        if (why && why->empty())
          *why = "the terminal shows " + std::string(p.part) + "\"" + terminal +
                 "\", the new version is \"" + local + "\"";
        break;
    }
  }
  if (differs) return Shown::Differs;
  return unsure || !compared ? Shown::NotComparable : Shown::Same;
}

bool Sequencer::UPG_ItemDiffers(UpgradeItem item) const {
  return UPG_CompareItem(item) != Shown::Same;
}

bool Sequencer::UPG_ItemOffered(UpgradeItem item) const {
  if (!win.enabled(UpgradeItemCheckBox(item))) return false;
  switch (item) {
    case UpgradeItem::Software: return true;
    case UpgradeItem::Antenna: return st.bAntFwAvailable;
    case UpgradeItem::Ib: return st.bIbFwAvailable;
    case UpgradeItem::Pic: return st.bPicFwAvailable;
  }
  return false;
}

std::vector<Sequencer::ItemChoice> Sequencer::UPG_ChooseItems(const std::vector<UpgradeItem>& asked,
                                                              bool reinstall) const {
  std::vector<ItemChoice> choices;
  for (UpgradeItem item : kUpgradeItems) {
    bool wanted = false;
    for (UpgradeItem a : asked) wanted = wanted || a == item;
    if (!wanted) continue;
    const Choice c = !UPG_ItemOffered(item)               ? Choice::NotOffered
                     : reinstall || UPG_ItemDiffers(item) ? Choice::Upgrade
                                                          : Choice::AtNewVersion;
    choices.push_back({item, c});
  }
  return choices;
}

ItemOutcome Sequencer::CompareShownVersions(UpgradeItem item) {
  std::string why;
  switch (UPG_CompareItem(item, &why)) {
    case Shown::Same: return ItemOutcome::Done;
    case Shown::Differs: return ItemOutcome::Failed;
    case Shown::NotComparable: break;
  }
  Util_LogWrite(INF, UpgradeItemName(item) + ": " +
                         (why.empty() ? std::string("no part of it has a release file") : why) +
                         "; these cannot be compared, so the upgrade is not verified.");
  return ItemOutcome::NotVerified;
}

void Sequencer::UPG_ItemStarted(UpgradeItem item) {
  if (resultsLogged_) {
    itemResults_.clear();
    resultsLogged_ = false;
    historyRecorded_ = false;
  }
  if (UpgradeItemResult* r = UPG_RunningItem()) {
    Util_LogWrite(INF, UpgradeItemName(r->item) + " ended without the terminal confirming it.");
    r->outcome = ItemOutcome::NotVerified;
  }
  UpgradeItemResult r;
  r.item = item;
  r.before = TerminalVersionOf(item);
  r.expected = NewVersionOf(item);
  itemResults_.push_back(r);
}

void Sequencer::UPG_ItemInstalled() {
  if (UpgradeItemResult* r = UPG_RunningItem()) r->restartAwaited = true;
}

UpgradeItemResult* Sequencer::UPG_RunningItem() {
  if (resultsLogged_ || itemResults_.empty()) return nullptr;
  UpgradeItemResult& r = itemResults_.back();
  return r.outcome == ItemOutcome::Running ? &r : nullptr;
}

bool Sequencer::UPG_ChainActive() const {
  const bool running = !resultsLogged_ && !itemResults_.empty() &&
                       itemResults_.back().outcome == ItemOutcome::Running;
  return running || st.bSwUpgPending || st.bAntUpgPending || st.bIbUpgPending || st.bPicUpgPending;
}

void Sequencer::UPG_ItemFailed(const std::string& reason, const std::string& message, int flags,
                               const std::string& title) {
  up.zing.tmrIbPollUpgStatus.setEnabled(false);
  up.zing.tmrIbUpgStatusCheck.setEnabled(false);
  up.zing.tmrIbFlashStall.setEnabled(false);
  up.ant.tmrAntUpgDelay.setEnabled(false);
  up.ui.SetMouseCursor(0);
  UPG_EndChainOnFailure(reason);
  SetStatus("Upgrade stopped: " + reason);
  if (!message.empty()) MsgBox(message, flags, title);
  up.ui.UI_ReleaseChainLock();
}

bool Sequencer::UPG_VerifySoftwareAfterRestart() {
  UpgradeItemResult* r = UPG_RunningItem();
  if (!r || r->item != UpgradeItem::Software) return true;
  if (r->restore) return VerifyRestoreAfterRestart(*r);
  if (st.currUpgradeState != UPG_STATE_BIN_DONE) return true;
  r->after = win.text("txtCurrentSoftwareVersion");
  if (st.bBootromMode) {
    UPG_ItemFailed(
        "the terminal restarted in BOOTROM mode, not with the new software " + r->expected + ".",
        std::string("Software Upgrade failed.") + CRLF + CRLF +
            "After its restart the Satellite IP Modem is in BOOTROM mode; it does not "
            "run the new software " +
            r->expected + "." + kNoFurtherItem);
    return false;
  }
  if (UPG_CompareItem(UpgradeItem::Software) != Shown::Same) {
    UPG_ItemFailed("the terminal runs software " + r->after + " after its restart, not the new " +
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
    UPG_ItemFailed(
        "the terminal restarted in BOOTROM mode, not with the restored software " + expected + ".",
        std::string("Restore failed.") + CRLF + CRLF +
            "After its restart the Satellite IP Modem is in BOOTROM mode; it does not "
            "run the restored software " +
            expected + "." + CRLF + CRLF +
            "Power cycle the Satellite IP Modem; if it stays in BOOTROM mode, upgrade "
            "its software again.");
    return false;
  }
  if (CompareShown(r.after, expected) != Shown::Same) {
    const std::string after = r.after;
    UPG_ItemFailed("the terminal runs software " + after + " after its restart, not the restored " +
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

void Sequencer::UPG_RestoreStarted(const std::string& version) {
  UPG_ItemStarted(UpgradeItem::Software);
  UpgradeItemResult& r = itemResults_.back();
  r.expected = Util_ReplaceChar(version, "_", ".");
  r.restore = true;
}

bool Sequencer::UPG_VerifyReleaseInfoAfterRestart() {
  UpgradeItemResult* r = UPG_RunningItem();
  if (!r || !r->restartAwaited || r->item == UpgradeItem::Software) return true;
  r->after = TerminalVersionOf(r->item);
  const ItemOutcome outcome = CompareShownVersions(r->item);
  if (outcome == ItemOutcome::Failed) {
    const UpgradeItem item = r->item;
    const std::string after = r->after, expected = r->expected;
    UPG_ItemFailed(UpgradeItemName(item) + " after the restart is " + after + ", not the new " +
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

bool Sequencer::UPG_VerifyNothingInstalled() {
  UpgradeItemResult* r = UPG_RunningItem();
  if (!r || r->item != UpgradeItem::Antenna) return true;
  r->after = TerminalVersionOf(r->item);
  const ItemOutcome outcome = CompareShownVersions(r->item);
  if (outcome == ItemOutcome::Failed) {
    const std::string after = r->after, expected = r->expected;
    UPG_ItemFailed("the terminal installed no antenna firmware; it reports " + after +
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

bool Sequencer::UPG_AwaitsTerminalReport() {
  if (!UPG_ChainActive()) return false;
  const UpgradeItemResult* r = UPG_RunningItem();
  return !r || r->restartAwaited;
}

void Sequencer::UPG_NoReleaseInfoAfterRestart(bool bootrom) {
  if (!UPG_AwaitsTerminalReport()) return;
  UpgradeItemResult* r = UPG_RunningItem();
  if (bootrom) {
    const std::string after =
        r ? " after the " + UpgradeItemName(r->item) + " upgrade" : std::string();
    UPG_ItemFailed("the terminal restarted in BOOTROM mode" + after + ".",
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
    UPG_ItemFailed(
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
  up.ui.UI_ShowItemResults();
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

void Sequencer::ClearPendingFlags() {
  st.bSwUpgPending = false;
  st.bAntUpgPending = false;
  st.bIbUpgPending = false;
  st.bPicUpgPending = false;
}

void Sequencer::UPG_EndChainOnFailure(const std::string& reason) {
  if (UpgradeItemResult* r = UPG_RunningItem()) r->outcome = ItemOutcome::Failed;
  Util_LogWrite(ERR, "Upgrade stopped: " + reason);
  ClearPendingFlags();
  st.currUpgradeState = UPG_STATE_IDLE;
  LogUpgState();
  st.picUpgradeState = 0;
  st.ibUpgState = IB_UPG_IDLE;
  st.upgPrepState = UPG_PREP_IDLE;
  for (UpgradeItem item : kUpgradeItems) win.setBackColor(FactsOf(item).frame, kColorButtonFace);
  LogChainResults();
}

void Sequencer::LogUpgState() {
  Util_LogWrite(INF, "currUpgradeState = " + Util_UpgStateName(st.currUpgradeState));
}

bool Sequencer::WaitWhileBusy() {
  auto& pump = up.platform.pump();
  for (int step = 0; step < kVersionWaitSteps; ++step) {
    if (st.bUnloaded) return false;
    if (st.screenMousePointer != vbArrowHourglass) return true;
    pump.doEvents();
    pump.sleepMs(kVersionWaitStepMs);
  }
  return !st.bUnloaded && st.screenMousePointer != vbArrowHourglass;
}

std::string Sequencer::UpgradeConfirmationText(bool sw, bool ant, bool pic, bool ib) const {
  std::string list;
  if (sw) list += ConfirmationLine(UpgradeItem::Software);
  if (ant) list += ConfirmationLine(UpgradeItem::Antenna);
  if (pic) {
    list += ConfirmationLine(UpgradeItem::Pic);
    list += up.pic.PicUpgradeWarning();
  }
  if (ib) list += ConfirmationLine(UpgradeItem::Ib);
  if (int(sw) + int(ant) + int(pic) + int(ib) > 1) {
    list += std::string(CRLF) + CRLF +
            "Note: Terminal will Upgrade each chosen Item in the order shown above." + CRLF +
            "Please Note that the Terminal will Reset between each Upgrade Item." + CRLF;
  }
  return std::string("Please Confirm your selections.") + CRLF +
         "Do you want to proceed upgrading the following items ?" + CRLF + CRLF + list;
}

void Sequencer::cmdUpgrade_Click() {
  Util_LogWrite(VRB, ">> Upgrade Button Clicked()");
  st.refusal = Refusal::None;

  if (st.strCurrSwVersion == "0_0_0_0") {
    up.zing.ZingReq_GetCurrentSoftwareVersion();
    if (!WaitWhileBusy()) {
      if (st.bUnloaded) return;
      // The version request neither answered nor failed in time: give the
      // window back rather than keep it locked.
      Util_LogWrite(ERR, "No software version from the terminal in time. Upgrade not started.");
      up.ui.SetMouseCursor(0);
      return;
    }
  }
  if (!st.bOkToFTP) return;

  ClearPendingFlags();
  st.bSwUpgPending = Ticked(win, UpgradeItem::Software);
  st.bPicUpgPending = Ticked(win, UpgradeItem::Pic);
  st.bAntUpgPending = Ticked(win, UpgradeItem::Antenna);
  st.bIbUpgPending = Ticked(win, UpgradeItem::Ib);

  if (!st.bSwUpgPending && !st.bPicUpgPending && !st.bAntUpgPending && !st.bIbUpgPending) {
    MsgBox("Please Select the Item(s) you wish to Upgrade.", vbOKOnly | vbCritical);
    return;
  }

  for (UpgradeItem item : kUpgradeItems) win.setValue(UpgradeItemCheckBox(item), 0);

  const std::string question = UpgradeConfirmationText(st.bSwUpgPending, st.bAntUpgPending,
                                                       st.bPicUpgPending, st.bIbUpgPending);
  if (MsgBox(question, vbYesNo | vbQuestion, kProgramTitle) == vbNo) {
    Util_LogWrite(VRB, "Upgrade Cancelled by User");
    ClearPendingFlags();
    return;
  }
  // From here until the chain ends nothing may start another one.
  up.ui.EnableButtons();

  if (st.bSwUpgPending) {
    st.currUpgradeState = UPG_STATE_IDLE;
    LogUpgState();
    UPG_UpgradeSoftware();
    Util_LogWrite(DET, "Spawned Software Upgrade.");
  } else if (st.bAntUpgPending) {
    if (up.ant.AntennaClassesMatch()) {
      Util_LogWrite(INF, "Initializing Antenna Upgrade..");
      UPG_UpgradeAntennaFW();
      Util_LogWrite(DET, "Spawned Antenna Upgrade.");
    } else {
      up.ui.UI_DisableAntennaFunctionality();
      // No item of this selection starts; none may stay pending either, or
      // the next restart after a standalone upgrade would start it unasked.
      ClearPendingFlags();
      st.refusal = Refusal::AntennaClass;
      MsgBox("Antenna-Type conflict. Operation Cancelled.", vbOKOnly | vbExclamation);
    }
  } else if (st.bIbUpgPending) {
    Util_LogWrite(INF, "Initializing IB Upgrade..");
    UPG_UpgradeIB();
    Util_LogWrite(DET, "Spawned IB Upgrade.");
  } else if (st.bPicUpgPending) {
    Util_LogWrite(INF, "Initializing PIC Upgrade..");
    UPG_UpgradePIC();
    Util_LogWrite(DET, "Spawned PIC Upgrade.");
  }
}

void Sequencer::UPG_UpgradeSoftware() {
  Util_LogWrite(VRB, ">> UPG_UpgradeSoftware()");
  if (!up.series.DetectReleaseSeriesConflict(st.strNewSwVersion)) {
    const std::string text = "Release Series conflict detected. Upgrade not possible.";
    // The selection is abandoned as a whole (see the antenna conflict).
    ClearPendingFlags();
    st.refusal = Refusal::ReleaseSeries;
    MsgBox(text, vbOKOnly | vbCritical);
    SetStatus(text);
    return;
  }
  UPG_ItemStarted(UpgradeItem::Software);
  up.sw.Util_CleanUpHomeDirectory();
  st.upgPrepState = st.bBootromMode ? UPG_PREP_STACK_READY : UPG_PREP_IDLE;
  Util_LogWrite(DET, "upgPrepState = " + Util_UpgPrepStateName(st.upgPrepState));
  up.sw.UPG_HandleSwUpgradePreparation();
  up.ui.UI_UpdateUIUpgState(UPG_STATE_BIN_DONE);
}

void Sequencer::UPG_UpgradeAntennaFW() {
  Util_LogWrite(VRB, ">> UPG_UpgradeAntennaFW()");
  st.currUpgradeState = UPG_STATE_BIN_DONE;
  LogUpgState();
  Handle_UpgradeState();
}

void Sequencer::UPG_UpgradeIB() {
  Util_LogWrite(VRB, ">> UPG_UpgradeIB()");
  st.currUpgradeState = UPG_STATE_ANT_DONE;
  LogUpgState();
  Handle_UpgradeState();
}

void Sequencer::UPG_UpgradePIC() {
  Util_LogWrite(VRB, ">> UPG_UpgradePIC()");
  st.currUpgradeState = UPG_STATE_IB_DONE;
  LogUpgState();
  Handle_UpgradeState();
}

void Sequencer::Handle_UpgradeState() {
  Util_LogWrite(VRB, ">> Handle_UpgradeState()");
  LogUpgState();
  Util_LogWrite(INF, "Is Antenna Upgrade Pending= " + BoolText(st.bAntUpgPending));
  Util_LogWrite(INF, "Is IB Upgrade Pending= " + BoolText(st.bIbUpgPending));
  Util_LogWrite(INF, "Is PIC Upgrade Pending = " + BoolText(st.bPicUpgPending));
  up.ui.UI_UpdateUIUpgState(0);

  const bool antNext = st.bAntUpgPending && st.bAntFwAvailable;
  const bool ibNext = st.bIbUpgPending && st.bIbFwAvailable;
  const bool picNext = st.bPicFwAvailable && st.bPicUpgPending;
  auto finish = [this](const char* line, bool complete) {
    st.currUpgradeState = UPG_STATE_IDLE;
    LogUpgState();
    if (line) Util_LogWrite(INF, line);
    bool confirmed = true;
    if (!resultsLogged_)
      for (const UpgradeItemResult& r : itemResults_)
        if (r.outcome != ItemOutcome::Done) confirmed = false;
    if (complete)
      SetStatus(confirmed ? "Upgrade Complete !"
                          : "Upgrade finished, but not every new version could be confirmed. "
                            "See the log.");
    LogChainResults();
    up.ui.UI_UpdateUIUpgState(UPG_STATE_IDLE);
  };

  switch (st.currUpgradeState) {
    case UPG_STATE_BIN_DONE:
      if (antNext) {
        st.bAntUpgPending = false;
        Util_LogWrite(INF, "Attempting pending Antenna Upgrade...");
        // The same class check as a standalone or a first antenna item.
        if (!up.ant.AntennaClassesMatch()) {
          up.ui.UI_DisableAntennaFunctionality();
          st.refusal = Refusal::AntennaClass;
          UPG_ItemFailed("the terminal's antenna class does not match the antenna firmware files.",
                         "Antenna-Type conflict. Operation Cancelled.", vbOKOnly | vbExclamation,
                         "");
          return;
        }
        up.ant.UPG_StandaloneAntennaUpgrade();
      } else if (ibNext) {
        st.bIbUpgPending = false;
        st.currUpgradeState = UPG_STATE_ANT_DONE;
        Util_LogWrite(INF, "Skipped Antenna Upgrade. Attempting pending IB Upgrade...");
        up.ib.UPG_IBUpgradeIgnite();
      } else if (picNext) {
        st.bPicUpgPending = false;
        st.currUpgradeState = UPG_STATE_IB_DONE;
        LogUpgState();
        Util_LogWrite(INF, "Skipped Antenna & IB Upgrades. Attempting pending PIC Upgrade...");
        UPG_ItemStarted(UpgradeItem::Pic);
        up.pic.UPG_StandalonePICUpgrade();
      } else {
        finish("Skipped Antenna & PIC Upgrades. Upgrade Complete.", false);
      }
      break;
    case UPG_STATE_ANT_DONE:
      if (ibNext) {
        st.bIbUpgPending = false;
        Util_LogWrite(INF, "Attempting pending IB Upgrade...");
        up.ib.UPG_IBUpgradeIgnite();
      } else if (picNext) {
        st.currUpgradeState = UPG_STATE_IB_DONE;
        LogUpgState();
        st.bPicUpgPending = false;
        Util_LogWrite(INF, "Skipped Antenna Upgrade. Attempting pending PIC Upgrade...");
        UPG_ItemStarted(UpgradeItem::Pic);
        up.pic.UPG_StandalonePICUpgrade();
      } else {
        finish("Skipped Antenna & PIC Upgrades. Upgrade Complete.", false);
      }
      break;
    case UPG_STATE_IB_DONE:
      if (picNext) {
        Util_LogWrite(INF, "Attempting pending PIC Upgrade...");
        UPG_ItemStarted(UpgradeItem::Pic);
        up.pic.UPG_StandalonePICUpgrade();
      } else {
        finish("Skip PIC Upgrades. Upgrade Complete", true);
      }
      break;
    case UPG_STATE_PIC_DONE: finish("All Upgrades Complete.", true); break;
    default: finish(nullptr, false); break;
  }
}

}  // namespace orvex
