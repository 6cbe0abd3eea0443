// The reply dispatcher: every ZING reply arrives here, is decoded by its
// response code and moves its chain on. The IB progress polling lives here
// too.
#include <algorithm>

#include "app/upgrader.h"
#include "zing/zing_channel.h"
#include "zing/zing_codec.h"

namespace orvex {

namespace {

constexpr long ReplyCode(long request) {
  return request + kZingReplyOffset;
}

constexpr std::int64_t kIbProgressDone = 0;
constexpr std::int64_t kIbNoUpgrade = 65535;
constexpr std::int64_t kIbPollAtOnce = 90;

// The bytes a reply must hold before its fields are read; 0 for a code the
// dispatcher does not know.
size_t RequiredLength(long code, const std::string& reply) {
  switch (code) {
    case ReplyCode(ZING_GET_SW_VERSION): return 8;
    case ReplyCode(ZING_RESTORE_DEFAULTS):
    case ReplyCode(ZING_CHECK_DISK):
    case ReplyCode(ZING_HALT_STACK): return 4;
    case ReplyCode(ZING_UPGRADE_ANTENNA): return 16;
    case ReplyCode(ZING_RELEASE_INFO):
      // The length first; an announced text needs at least its first byte.
      if (reply.size() < 12) return 12;
      return Util_BytesToLong(reply, 4, 8) < 1 ? 12 : 17;
    case ReplyCode(ZING_IB_UPGRADE_STATUS):
      if (reply.size() < 8) return 8;
      return Util_BytesToLong(reply, 4, 4) < 1 ? 8 : 12;
    case ReplyCode(ZING_IB_UPGRADE_PREPARE): return 8;
    default: return 0;
  }
}

}  // namespace

void ZingChannel::CloseReply() {
  sckZING->close();
  up.ui.SetMouseCursor(0);
}

bool ZingChannel::ReplyHas(const std::string& reply, long code, size_t need) {
  if (reply.size() >= need) return true;
  Util_LogWrite(ERR, "ZING reply too short: /x" + HexUpper(static_cast<unsigned long>(code)) +
                         " with " + std::to_string(reply.size()) + " bytes, " +
                         std::to_string(need) + " needed.");
  return false;
}

void ZingChannel::sckZING_DataArrival(long bytesTotal) {
  Util_LogWrite(VRB, ">> sckZING_DataArrival()");
  const std::string reply = sckZING->getData(bytesTotal);
  // A reply the dispatcher cannot use is no reply: tmrResponse keeps
  // running, so a terminal that answers with garbage still ends in the
  // reply time-out instead of leaving the window busy for good.
  if (reply.size() < 4) {
    Util_LogWrite(ERR, "ZING reply too short: " + std::to_string(reply.size()) + " bytes.");
    return;
  }
  const long code = static_cast<long>(Util_BytesToLong(reply, 4, 0));
  Util_LogWrite(DET, "ZingResponseCode: /x" + HexUpper(static_cast<unsigned long>(code)));
  const size_t need = RequiredLength(code, reply);
  if (need == 0 || !ReplyHas(reply, code, need)) return;
  tmrResponse.setEnabled(false);

  switch (code) {
    case ReplyCode(ZING_GET_SW_VERSION): OnSoftwareVersion(reply); break;
    case ReplyCode(ZING_RESTORE_DEFAULTS): OnRestoreDefaults(); break;
    case ReplyCode(ZING_CHECK_DISK): OnCheckDisk(); break;
    case ReplyCode(ZING_HALT_STACK): OnHaltStack(); break;
    case ReplyCode(ZING_UPGRADE_ANTENNA): OnAntennaUpgrade(reply); break;
    case ReplyCode(ZING_RELEASE_INFO): OnReleaseInfo(reply); break;
    case ReplyCode(ZING_IB_UPGRADE_STATUS): OnIbUpgradeStatus(reply); break;
    case ReplyCode(ZING_IB_UPGRADE_PREPARE): OnIbUpgradePrepare(reply); break;
    default: break;
  }
}

void ZingChannel::OnSoftwareVersion(const std::string& reply) {
  st.bWaitTermRestart = false;
  st.restartRetryCount = 0;
  if (st.currUpgradeState == UPG_STATE_IDLE) up.ui.UI_UpdateUIUpgState(UPG_STATE_IDLE);

  const std::string text = Util_BytesToString(reply, static_cast<long>(reply.size()) - 8, 8);
  std::string version;
  bool releaseInfoOk = false;
  if (Contains(text, "BOOTROM")) {
    st.bBootromMode = true;
    version = "BOOTROM MODE";
    win.setText("txtCurrentSoftwareVersion", version);
    if (st.picUpgradeState == PIC_UPG_STATE_PREP_REBOOT) {
      Util_LogWrite(INF, "Upgrade PIC in BOOTROM mode.");
      up.pic.Init_PIC_Upgrade();
    }
  } else {
    st.bBootromMode = false;
    st.bSwVersionUnavailable = false;
    releaseInfoOk = Util_CheckReleaseDate(text);
    version = Util_VersionDigits(text);
    Util_IdentifyOrvexPlatform(version);
    win.setText("txtCurrentSoftwareVersion", version);
  }
  st.strCurrSwVersion = Util_ReplaceChar(version, ".", "_");
  sckZING->close();

  if (st.ibUpgState == IB_UPG_COMPLETE_WAIT_RESET) {
    SetStatus("IB Upgrade Successful. Software version retrieved!");
    st.ibUpgState = IB_UPG_IDLE;
    Util_LogWrite(DET, "ibUpgState = IB_UPG_IDLE");
  }
  if (st.picUpgradeState == PIC_UPG_STATE_WAIT_RESET) {
    Util_LogWrite(INF, "PIC Upgrade was Successful. Software version retrieved!");
    SetStatus("PIC Upgrade Successful. Software version retrieved!");
    st.picUpgradeState = PIC_UPG_STATE_INIT_CONNECT;
    st.currUpgradeState = UPG_STATE_IDLE;
    up.ui.UI_UpdateUIUpgState(UPG_STATE_IDLE);
    Util_LogWrite(INF, "currUpgradeState = " + Util_UpgStateName(st.currUpgradeState));
  } else {
    SetStatus("Operation Successful. Software version retrieved!");
  }
  up.ui.SetMouseCursor(0);

  if (st.bFtpTimedOut) {
    st.bFtpTimedOut = false;
    MsgBox(std::string("FTP timeout.") + CRLF + CRLF +
               "\r\nGet system version using Tools menu before retrying.\r\nPower cycle the "
               "Satellite IP Modem if necessary.\r\nClose and restart Upgrader if error "
               "persists.",
           vbOKOnly | vbExclamation, kProgramTitle);
    up.ftp.DisableFTPbuttons();
  }

  if (st.ibUpgState != IB_UPG_RESET_SENT) {
    if (st.bBootromMode || !releaseInfoOk) {
      up.ui.UI_InitTermAntennaFields();
      up.pic.UI_InitTermPicFields();
      up.ui.UI_InitTermIbFields();
    } else {
      Util_LogWrite(INF, "Not in Bootrom mode, request additional Release Info.");
      ZingReq_Fetch_All_Release_Info();
    }
  } else {
    // The terminal has just restarted to flash the IB firmware.
    SetStatus("Checking IB Upgrade. Please Wait...");
    tmrIbUpgStatusCheck.setEnabled(true);
    up.ui.SetMouseCursor(1);
  }
  up.ftp.setOKToFTP(true);
}

void ZingChannel::OnRestoreDefaults() {
  Util_LogWrite(DET, "Restore defaults response has arrived");
  sckZING->close();
  tmrFiveSecDelayedReset.setEnabled(true);
  SetStatus("Restore in Progress. Please Wait .. ");
}

void ZingChannel::OnCheckDisk() {
  Util_LogWrite(DET, "check disk response has arrived");
  CloseReply();
  st.upgPrepState = UPG_PREP_FS_READY;
  Util_LogWrite(DET, "upgPrepState = " + Util_UpgPrepStateName(st.upgPrepState));
  up.sw.UPG_HandleSwUpgradePreparation();
}

void ZingChannel::OnHaltStack() {
  Util_LogWrite(DET, "Halt GPRS Stack response has arrived");
  CloseReply();
  if (st.upgPrepState != UPG_PREP_FS_READY) return;
  st.upgPrepState = UPG_PREP_STACK_READY;
  Util_LogWrite(DET, "upgPrepState = " + Util_UpgPrepStateName(st.upgPrepState));
  up.sw.UPG_HandleSwUpgradePreparation();
}

void ZingChannel::OnAntennaUpgrade(const std::string& reply) {
  Util_LogWrite(DET, "Antenna FW Upgrade response has arrived");
  antRespWaitCount = 0;
  bAntRespAwaited = false;
  CloseReply();
  const std::int64_t status = Util_BytesToStatus(reply, 4, 8);
  const std::int64_t length = Util_BytesToLong(reply, 4, 12);
  if (status != 0) {
    if (length > 0) {
      Util_LogWrite(VRB, "Ant Upgrade Response: " + Util_BytesToString(reply, kZingMaxText, 16));
      st.currUpgradeState = UPG_STATE_ANT_DONE;
      Util_LogWrite(INF, "currUpgradeState = " + Util_UpgStateName(st.currUpgradeState));
    }
    SetStatus("Modem will Restart after Antenna Upgrade. Please Do Not Interrupt !");
    up.ant.tmrAntUpgDelay.setEnabled(true);
  } else {
    Util_LogWrite(VRB, "Antenna FW Info response.");
    if (length > 0)
      Util_LogWrite(VRB, "Ant Query Response: " + Util_BytesToString(reply, kZingMaxText, 16));
    up.seq.Handle_UpgradeState();
  }
}

void ZingChannel::OnReleaseInfo(const std::string& reply) {
  Util_LogWrite(DET, "Release Info response has arrived");
  CloseReply();
  if (Util_BytesToLong(reply, 4, 8) < 1) {
    st.bAntInfoValid = false;
    Util_LogWrite(ERR, "Invalid Release Info response length.");
    return;
  }
  const std::string info = Util_BytesToString(reply, kZingMaxText, 16);
  Util_LogWrite(VRB, "Ant Info: " + info);
  st.antClassId = 5;
  Util_GrabTermPICVersion(info);
  Util_GrabTermIBVersion(info);
  if (Util_AntennaInfoCheck(info)) {
    Util_GrabTermAntennaVersions(info);
    if (!st.bAntFwAvailable || st.antClassId == st.locAtbClassId ||
        st.antClassId == st.locHpaClassId) {
      up.ui.UI_EnableAntennaFunctionality();
    } else {
      up.ui.UI_DisableAntennaFunctionality();
      st.bAntUpgPending = false;
    }
  } else {
    up.ui.UI_DisableAntennaFunctionality();
  }
  up.seq.Handle_UpgradeState();
  SetStatus("Operation Successful. Release Info retrieved!");
  st.bAntInfoValid = true;
}

void ZingChannel::OnIbUpgradeStatus(const std::string& reply) {
  Util_LogWrite(DET, "IB FW Info response has arrived");
  CloseReply();
  if (Util_BytesToLong(reply, 4, 4) < 1) return;
  const std::int64_t progress = Util_BytesToLong(reply, 4, 8);
  Util_LogWrite(DET, "IB Upgrade Progress: " + std::to_string(progress));

  if (progress == kIbProgressDone) {
    st.ibUpgState = IB_UPG_COMPLETE_WAIT_RESET;
    Util_LogWrite(DET, "ibUpgState = IB_UPG_COMPLETE_WAIT_RESET");
    if (win.value("prgBarIbUpgrade") > 0) {
      SetStatus("IB Upgrade Complete !! Terminal Rebooting ...");
      up.pic.tmr40SecDelay.setEnabled(true);
      Util_LogWrite(DET, "tmr40SecDelay.Enabled= True");
      win.setText("lblIbUpgStatus", "100 %");
      win.setValue("prgBarIbUpgrade", 100);
    } else {
      SetStatus("IB Upgrade Complete !! Checking Pending actions ...");
      st.ibUpgState = IB_UPG_IDLE;
      Util_LogWrite(DET, "ibUpgState = IB_UPG_IDLE");
      st.currUpgradeState = UPG_STATE_IB_DONE;
      Util_LogWrite(DET, "currUpgradeState = UPG_STATE_IB_DONE");
    }
    win.setText("lblIbUpgStatus", "");
    win.setVisible("prgBarIbUpgrade", false);
  } else if (progress == kIbNoUpgrade) {
    st.ibUpgState = IB_UPG_IDLE;
    Util_LogWrite(DET, "ibUpgState = IB_UPG_IDLE");
    win.setText("lblIbUpgStatus", "");
    win.setValue("prgBarIbUpgrade", 0);
    win.setVisible("prgBarIbUpgrade", false);
    up.ui.SetMouseCursor(0);
    st.currUpgradeState = UPG_STATE_IB_DONE;
    Util_LogWrite(DET, "currUpgradeState = UPG_STATE_IB_DONE");
  } else {
    up.ui.SetMouseCursor(1);
    // The bar runs from 0 to 100: an image size of less than one block, or
    // a terminal counting past the image, must not take it out of range.
    const std::int64_t blocks = std::max<std::int64_t>(st.ibImageBlocks, 1);
    const int percent = static_cast<int>(std::min<std::int64_t>(progress * 100 / blocks, 100));
    win.setText("lblIbUpgStatus", std::to_string(percent) + " %");
    win.setVisible("lblIbUpgStatus", true);
    win.setValue("prgBarIbUpgrade", percent);
    win.setVisible("prgBarIbUpgrade", true);
    if (percent >= kIbPollAtOnce) {
      ZingReq_FetchIBUpgradeStatus();
    } else {
      tmrIbPollUpgStatus.setEnabled(true);
      Util_LogWrite(DET, "tmrIbPollUpgStatus.Enabled = True");
    }
  }
}

void ZingChannel::OnIbUpgradePrepare(const std::string& reply) {
  Util_LogWrite(DET, "IB Upgrade Preparation response has arrived");
  CloseReply();
  if (Util_BytesToLong(reply, 4, 4) != 0) {
    st.currUpgradeState = UPG_STATE_IB_DONE;
    Util_LogWrite(INF, "currUpgradeState = UPG_STATE_IB_DONE");
    SetStatus("IB Upgrade Cancelled.");
  } else {
    up.ib.UPG_StandaloneIBUpgrade();
    SetStatus("IB Upgrade in Progress ...");
  }
}

void ZingChannel::tmrIbPollUpgStatus_Timer() {
  Util_LogWrite(VRB, ">> tmrIbPollUpgStatus_Timer()");
  tmrIbPollUpgStatus.setEnabled(false);
  ZingReq_FetchIBUpgradeStatus();
}

void ZingChannel::tmrIbUpgStatusCheck_Timer() {
  Util_LogWrite(VRB, ">> tmrIbUpgStatusCheck_Timer()");
  tmrIbUpgStatusCheck.setEnabled(false);
  st.ibUpgState = IB_UPG_IN_PROGRESS;
  ZingReq_FetchIBUpgradeStatus();
  up.ui.SetMouseCursor(1);
}

void ZingChannel::tmrRefetchIbVersion_Timer() {
  Util_LogWrite(VRB, ">> tmrRefetchIbVersion_Timer()");
  tmrRefetchIbVersion.setEnabled(false);
  if (st.bIbRefetchDone || st.bSwUpgPending || st.bPicUpgPending || st.bAntUpgPending ||
      st.bIbUpgPending)
    return;
  Util_LogWrite(INF, "Retry fetching all Up-to-date Release Information.");
  st.bIbRefetchDone = true;
  ZingReq_Fetch_All_Release_Info();
}

}  // namespace orvex
