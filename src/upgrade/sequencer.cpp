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

using Shown = VersionMatch;

Shown CompareShown(const std::string& terminal, const std::string& local) {
  return CompareShownVersionTexts(terminal, local);
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

VersionMatch Sequencer::CompareItem(UpgradeItem item, std::string* why) const {
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

bool Sequencer::ItemDiffers(UpgradeItem item) const {
  return CompareItem(item) != Shown::Same;
}

bool Sequencer::ItemOffered(UpgradeItem item) const {
  if (!win.enabled(UpgradeItemCheckBox(item))) return false;
  switch (item) {
    case UpgradeItem::Software: return true;
    case UpgradeItem::Antenna: return st.bAntFwAvailable;
    case UpgradeItem::Ib: return st.bIbFwAvailable;
    case UpgradeItem::Pic: return st.bPicFwAvailable;
  }
  return false;
}

std::vector<Sequencer::ItemChoice> Sequencer::ChooseItems(const std::vector<UpgradeItem>& asked,
                                                          bool reinstall) const {
  std::vector<ItemChoice> choices;
  for (UpgradeItem item : kUpgradeItems) {
    bool wanted = false;
    for (UpgradeItem a : asked) wanted = wanted || a == item;
    if (!wanted) continue;
    const Choice c = !ItemOffered(item)               ? Choice::NotOffered
                     : reinstall || ItemDiffers(item) ? Choice::Upgrade
                                                      : Choice::AtNewVersion;
    choices.push_back({item, c});
  }
  return choices;
}

void Sequencer::ClearPendingFlags() {
  st.bSwUpgPending = false;
  st.bAntUpgPending = false;
  st.bIbUpgPending = false;
  st.bPicUpgPending = false;
}

void Sequencer::EndChainOnFailure(const std::string& reason) {
  if (UpgradeItemResult* r = RunningItem()) r->outcome = ItemOutcome::Failed;
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
  ItemStarted(UpgradeItem::Software);
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

void Sequencer::StartPendingPic(const char* line) {
  // Skipping ahead from the software or antenna step clears its pending
  // flag; after the IB step, or chosen alone, the flag stays set while the
  // item runs.
  if (st.currUpgradeState != UPG_STATE_IB_DONE) {
    st.bPicUpgPending = false;
    st.currUpgradeState = UPG_STATE_IB_DONE;
    LogUpgState();
  }
  Util_LogWrite(INF, line);
  ItemStarted(UpgradeItem::Pic);
  up.pic.UPG_StandalonePICUpgrade();
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
          ItemFailed("the terminal's antenna class does not match the antenna firmware files.",
                     "Antenna-Type conflict. Operation Cancelled.", vbOKOnly | vbExclamation, "");
          return;
        }
        up.ant.UPG_StandaloneAntennaUpgrade();
      } else if (ibNext) {
        st.bIbUpgPending = false;
        st.currUpgradeState = UPG_STATE_ANT_DONE;
        Util_LogWrite(INF, "Skipped Antenna Upgrade. Attempting pending IB Upgrade...");
        up.ib.UPG_IBUpgradeIgnite();
      } else if (picNext) {
        StartPendingPic("Skipped Antenna & IB Upgrades. Attempting pending PIC Upgrade...");
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
        StartPendingPic("Skipped Antenna Upgrade. Attempting pending PIC Upgrade...");
      } else {
        finish("Skipped Antenna & PIC Upgrades. Upgrade Complete.", false);
      }
      break;
    case UPG_STATE_IB_DONE:
      if (picNext) {
        StartPendingPic("Attempting pending PIC Upgrade...");
      } else {
        finish("Skip PIC Upgrades. Upgrade Complete", true);
      }
      break;
    case UPG_STATE_PIC_DONE: finish("All Upgrades Complete.", true); break;
    default: finish(nullptr, false); break;
  }
}

}  // namespace orvex
