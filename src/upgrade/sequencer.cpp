#include "upgrade/sequencer.h"

#include "app/upgrader.h"

namespace orvex {

namespace {

constexpr const char* kItemSoftware = "- Software";
constexpr const char* kItemAntenna = "- Antenna Firmware";
constexpr const char* kItemPic = "- PIC";
constexpr const char* kItemIb = "- IB Firmware";

bool Ticked(const WindowModel& win, const char* box) {
  return win.value(box) != 0;
}

}  // namespace

void Sequencer::ClearPendingFlags() {
  st.bSwUpgPending = false;
  st.bAntUpgPending = false;
  st.bIbUpgPending = false;
  st.bPicUpgPending = false;
}

void Sequencer::UPG_EndChainOnFailure(const std::string& reason) {
  Util_LogWrite(ERR, "Upgrade stopped: " + reason);
  ClearPendingFlags();
  st.currUpgradeState = UPG_STATE_IDLE;
  LogUpgState();
  st.picUpgradeState = 0;
  st.ibUpgState = IB_UPG_IDLE;
  st.upgPrepState = UPG_PREP_IDLE;
  for (const char* frame : {"frameBin", "frameAntenna", "frameIbInfo", "framePIC"})
    win.setBackColor(frame, kColorButtonFace);
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
  if (sw) list += std::string(kItemSoftware) + CRLF;
  if (ant) list += std::string(kItemAntenna) + CRLF;
  if (pic) {
    list += std::string(kItemPic) + CRLF;
    list += up.pic.PicUpgradeWarning();
  }
  if (ib) list += std::string(kItemIb) + CRLF;
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
  st.bSwUpgPending = Ticked(win, "chkBinUpg");
  st.bPicUpgPending = Ticked(win, "chkPICUpg");
  st.bAntUpgPending = Ticked(win, "chkAntUpg");
  st.bIbUpgPending = Ticked(win, "chkIBUpg");

  if (!st.bSwUpgPending && !st.bPicUpgPending && !st.bAntUpgPending && !st.bIbUpgPending) {
    MsgBox("Please Select the Item(s) you wish to Upgrade.", vbOKOnly | vbCritical);
    return;
  }

  for (const char* box : {"chkBinUpg", "chkAntUpg", "chkIBUpg", "chkPICUpg"}) win.setValue(box, 0);

  const std::string question = UpgradeConfirmationText(st.bSwUpgPending, st.bAntUpgPending,
                                                       st.bPicUpgPending, st.bIbUpgPending);
  if (MsgBox(question, vbYesNo | vbQuestion, kProgramTitle) == vbNo) {
    Util_LogWrite(VRB, "Upgrade Cancelled by User");
    ClearPendingFlags();
    return;
  }

  if (st.bSwUpgPending) {
    st.currUpgradeState = UPG_STATE_IDLE;
    LogUpgState();
    UPG_UpgradeSoftware();
    Util_LogWrite(DET, "Spawned Software Upgrade.");
  } else if (st.bAntUpgPending) {
    if (st.bAntFwAvailable && st.antClassId == st.locAtbClassId &&
        st.antClassId == st.locHpaClassId) {
      Util_LogWrite(INF, "Initializing Antenna Upgrade..");
      UPG_UpgradeAntennaFW();
      Util_LogWrite(DET, "Spawned Antenna Upgrade.");
    } else {
      up.ui.UI_DisableAntennaFunctionality();
      // No item of this selection starts; none may stay pending either, or
      // the next restart after a standalone upgrade would start it unasked.
      ClearPendingFlags();
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
    MsgBox(text, vbOKOnly | vbCritical);
    SetStatus(text);
    return;
  }
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
    if (complete) SetStatus("Upgrade Complete !");
    up.ui.UI_UpdateUIUpgState(UPG_STATE_IDLE);
  };

  switch (st.currUpgradeState) {
    case UPG_STATE_BIN_DONE:
      if (antNext) {
        st.bAntUpgPending = false;
        Util_LogWrite(INF, "Attempting pending Antenna Upgrade...");
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
        up.pic.UPG_StandalonePICUpgrade();
      } else {
        finish("Skipped Antenna & PIC Upgrades. Upgrade Complete.", false);
      }
      break;
    case UPG_STATE_IB_DONE:
      if (picNext) {
        Util_LogWrite(INF, "Attempting pending PIC Upgrade...");
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
