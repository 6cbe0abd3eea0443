// The reply dispatcher: every ZING reply arrives here, is decoded by its
// response code and moves its chain on. The IB progress polling lives here
// too.
#include <algorithm>

#include "app/upgrader.h"
#include "pic/pic_upgrade.h"
#include "transfer/ftp_engine.h"
#include "transfer/software_upgrade.h"
#include "ui/main_window.h"
#include "upgrade/antenna_upgrade.h"
#include "upgrade/ib_upgrade.h"
#include "upgrade/sequencer.h"
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

}  // namespace

void ZingChannel::CloseReply() {
  sckZING->close();
  up.ui.SetMouseCursor(0);
}

void ZingChannel::DropPartialReply() {
  if (zingRx_.empty()) return;
  if (zingRx_.size() < 4) {
    Util_LogWrite(ERR, "ZING reply too short: " + std::to_string(zingRx_.size()) + " bytes.");
  } else {
    const ZingReplyFrame f = ZingFrameReply(zingRx_);
    const std::string head = "ZING reply too short: /x" +
                             HexUpper(static_cast<unsigned long>(f.code)) + " with " +
                             std::to_string(zingRx_.size()) + " bytes";
    Util_LogWrite(ERR, f.needed > 0 ? head + ", " + std::to_string(f.needed) + " needed."
                                    : head + ", its text has no end.");
  }
  zingRx_.clear();
}

void ZingChannel::sckZING_DataArrival(long bytesTotal) {
  Util_LogWrite(VRB, ">> sckZING_DataArrival()");
  // A reply may come in pieces: the bytes wait here until the reply is
  // whole. Until then tmrResponse keeps running, so a terminal that stops
  // half-way (or answers with garbage) still ends in the reply time-out.
  const std::string bytes = sckZING->getData(bytesTotal);
  // The rest of a reply that was too long is not a reply of its own: the
  // connection carries nothing more to read until the next request.
  if (zingRxDiscard_) return;
  zingRx_ += bytes;
  const unsigned long exchange = zingExchange_;
  while (!zingRx_.empty()) {
    const ZingReplyFrame f = ZingFrameReply(zingRx_);
    if (f.status == ZingReplyFrame::kIncomplete) return;
    if (f.status == ZingReplyFrame::kTooLong) {
      Util_LogWrite(ERR, "ZING reply dropped: /x" + HexUpper(static_cast<unsigned long>(f.code)) +
                             " longer than " + std::to_string(kZingMaxReply) + " bytes.");
      zingRx_.clear();
      zingRxDiscard_ = true;
      return;
    }
    const std::string reply = zingRx_.substr(0, f.length);
    zingRx_.erase(0, f.length);
    DispatchReply(reply);
    // A handler that closed the connection, or started the next request,
    // has ended this exchange: what else it carried is not read.
    if (zingExchange_ != exchange) return;
    if (sckZING->state() != sckConnected) {
      zingRx_.clear();
      return;
    }
  }
}

void ZingChannel::DispatchReply(const std::string& reply) {
  const long code = static_cast<long>(Util_BytesToLong(reply, 4, 0));
  Util_LogWrite(DET, "ZingResponseCode: /x" + HexUpper(static_cast<unsigned long>(code)));
  switch (code) {
    case ReplyCode(ZING_GET_SW_VERSION):
    case ReplyCode(ZING_RESTORE_DEFAULTS):
    case ReplyCode(ZING_CHECK_DISK):
    case ReplyCode(ZING_HALT_STACK):
    case ReplyCode(ZING_UPGRADE_ANTENNA):
    case ReplyCode(ZING_RELEASE_INFO):
    case ReplyCode(ZING_IB_UPGRADE_STATUS):
    case ReplyCode(ZING_IB_UPGRADE_PREPARE): tmrResponse.setEnabled(false); break;
    default:
      // Logged; the reply time-out ends the exchange. A preparation step is
      // not confirmed by it, though, and ends here.
      if (pendingZingReq == ZING_CHECK_DISK || pendingZingReq == ZING_HALT_STACK) break;
      return;
  }

  // A reply that does not answer the request sent cannot move its step on:
  // the step ends here and says so.
  if (pendingZingReq != 0 && code != ReplyCode(pendingZingReq)) {
    tmrResponse.setEnabled(false);
    sckZING->close();
    Util_LogWrite(ERR, "ZING reply /x" + HexUpper(static_cast<unsigned long>(code)) +
                           " does not answer request /x" +
                           HexUpper(static_cast<unsigned long>(pendingZingReq)) + ".");
    if (pendingZingReq == ZING_CHECK_DISK || pendingZingReq == ZING_HALT_STACK) {
      FailPreparation(pendingZingReq == ZING_CHECK_DISK ? "its file system check"
                                                        : "that it halted its radio stack");
      return;
    }
    // While the IB firmware is flashed the terminal must stay on.
    const bool flashing = pendingZingReq == ZING_IB_UPGRADE_STATUS;
    up.ui.SetMouseCursor(0);
    SetStatus("The Satellite IP Modem sent an unexpected reply.");
    FailChainItem("the terminal sent a reply to another request.",
                  std::string("Upgrade stopped.") + CRLF + CRLF +
                      "The Satellite IP Modem sent a reply to another request." + CRLF +
                      "No further upgrade item has been started." + CRLF + CRLF +
                      (flashing ? "Do not switch it off; check its IB version after it has "
                                  "restarted."
                                : "Get its software version using the Tools menu, then retry "
                                  "the upgrade."));
    return;
  }

  switch (code) {
    case ReplyCode(ZING_GET_SW_VERSION): OnSoftwareVersion(reply); break;
    case ReplyCode(ZING_RESTORE_DEFAULTS): OnRestoreDefaults(); break;
    case ReplyCode(ZING_CHECK_DISK): OnCheckDisk(reply); break;
    case ReplyCode(ZING_HALT_STACK): OnHaltStack(reply); break;
    case ReplyCode(ZING_UPGRADE_ANTENNA): OnAntennaUpgrade(reply); break;
    case ReplyCode(ZING_RELEASE_INFO): OnReleaseInfo(reply); break;
    case ReplyCode(ZING_IB_UPGRADE_STATUS): OnIbUpgradeStatus(reply); break;
    case ReplyCode(ZING_IB_UPGRADE_PREPARE): OnIbUpgradePrepare(reply); break;
    default: break;
  }
}

void ZingChannel::OnSoftwareVersion(const std::string& reply) {
  ResetAnswered();
  st.bWaitTermRestart = false;
  st.restartRetryCount = 0;
  if (st.currUpgradeState == UPG_STATE_IDLE) up.ui.UI_UpdateUIUpgState(UPG_STATE_IDLE);

  const std::string text = Util_BytesToString(reply, static_cast<long>(reply.size()) - 8, 8);
  std::string version;
  bool releaseInfoOk = false;
  bool picReflashNext = false;
  if (Contains(text, "BOOTROM")) {
    st.bBootromMode = true;
    version = "BOOTROM MODE";
    win.setText("txtCurrentSoftwareVersion", version);
    if (st.picUpgradeState == PIC_UPG_STATE_PREP_REBOOT) {
      Util_LogWrite(INF, "Upgrade PIC in BOOTROM mode.");
      picReflashNext = true;
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

  // After the software item's restart the new image must run.
  bool failed = !up.seq.VerifySoftwareAfterRestart();
  if (!st.bBootromMode && st.picUpgradeState == PIC_UPG_STATE_PREP_REBOOT) {
    failed = true;
    up.pic.PicPrepRestartMissed();
  }

  if (st.ibUpgState == IB_UPG_COMPLETE_WAIT_RESET) {
    // An IB item is successful once the release information shows its new
    // version (OnReleaseInfo).
    const UpgradeItemResult* ib = up.seq.RunningItem();
    if (!ib || ib->item != UpgradeItem::Ib)
      SetStatus("IB Upgrade Successful. Software version retrieved!");
    st.ibUpgState = IB_UPG_IDLE;
    Util_LogWrite(DET, "ibUpgState = IB_UPG_IDLE");
  }
  if (st.picUpgradeState == PIC_UPG_STATE_WAIT_RESET && st.bBootromMode) {
    // The PIC item's restart ended in BOOTROM mode: the terminal does not
    // run its software, so the PIC upgrade did not succeed.
    st.picUpgradeState = PIC_UPG_STATE_INIT_CONNECT;
    failed = true;
    up.pic.PicRestartedInBootrom();
    st.currUpgradeState = UPG_STATE_IDLE;
    up.ui.UI_UpdateUIUpgState(UPG_STATE_IDLE);
  } else if (st.picUpgradeState == PIC_UPG_STATE_WAIT_RESET) {
    UpgradeItemResult* pic = up.seq.RunningItem();
    const bool verifyLater = pic && pic->item == UpgradeItem::Pic;
    if (verifyLater) {
      // Success is told once the release information shows the new PIC
      // version (OnReleaseInfo).
      up.seq.ItemInstalled();
    } else {
      Util_LogWrite(INF, "PIC Upgrade was Successful. Software version retrieved!");
      SetStatus("PIC Upgrade Successful. Software version retrieved!");
    }
    st.picUpgradeState = PIC_UPG_STATE_INIT_CONNECT;
    st.currUpgradeState = UPG_STATE_IDLE;
    up.ui.UI_UpdateUIUpgState(UPG_STATE_IDLE);
    Util_LogWrite(INF, "currUpgradeState = " + Util_UpgStateName(st.currUpgradeState));
    if (verifyLater) SetStatus("Operation Successful. Software version retrieved!");
  } else if (!failed) {
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
      // Without release information the chain cannot check the item that
      // restarted, nor go on: it says so instead of stopping silently.
      if (!failed && !picReflashNext) up.seq.NoReleaseInfoAfterRestart(st.bBootromMode);
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
  resetOutcome_ = ResetOutcome::Asked;  // the reset follows in five seconds
  sckZING->close();
  tmrFiveSecDelayedReset.setEnabled(true);
  SetStatus("Restore in Progress. Please Wait .. ");
}

void ZingChannel::OnCheckDisk(const std::string& reply) {
  Util_LogWrite(DET, "check disk response has arrived");
  CloseReply();
  if (Util_BytesToLong(reply, 4, 4) != 0) {
    FailPreparation("its file system check");
    return;
  }
  st.upgPrepState = UPG_PREP_FS_READY;
  Util_LogWrite(DET, "upgPrepState = " + Util_UpgPrepStateName(st.upgPrepState));
  up.sw.UPG_HandleSwUpgradePreparation();
}

void ZingChannel::OnHaltStack(const std::string& reply) {
  Util_LogWrite(DET, "Halt GPRS Stack response has arrived");
  CloseReply();
  if (st.upgPrepState != UPG_PREP_FS_READY) return;
  if (Util_BytesToLong(reply, 4, 4) != 0) {
    FailPreparation("that it halted its radio stack");
    return;
  }
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
    up.seq.ItemInstalled();
  } else {
    Util_LogWrite(VRB, "Antenna FW Info response.");
    if (length > 0)
      Util_LogWrite(VRB, "Ant Query Response: " + Util_BytesToString(reply, kZingMaxText, 16));
    // Nothing installed: the item counts only if the terminal already shows
    // the new versions.
    if (!up.seq.VerifyNothingInstalled()) return;
    up.seq.Handle_UpgradeState();
  }
}

void ZingChannel::OnReleaseInfo(const std::string& reply) {
  Util_LogWrite(DET, "Release Info response has arrived");
  CloseReply();
  if (Util_BytesToLong(reply, 4, 8) < 1) {
    st.bAntInfoValid = false;
    Util_LogWrite(ERR, "Invalid Release Info response length.");
    if (up.seq.AwaitsTerminalReport())
      up.seq.ItemFailed(
          "the terminal's release information cannot be read.",
          std::string("Upgrade stopped.") + CRLF + CRLF +
              "The Satellite IP Modem sent release information that cannot be read, so the "
              "upgrade cannot be checked or continued." +
              CRLF + "No further upgrade item has been started.");
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
      if (st.bAntUpgPending) {
        // A chained antenna item fails its class check here, as a
        // standalone one would: the chain ends rather than skip it.
        st.refusal = Refusal::AntennaClass;
        up.seq.ItemFailed("the terminal's antenna class does not match the antenna firmware files.",
                          "Antenna-Type conflict. Operation Cancelled.", vbOKOnly | vbExclamation,
                          "");
        st.bAntInfoValid = true;
        return;
      }
      st.bAntUpgPending = false;
    }
  } else {
    // After an antenna item's restart the fields must not keep the versions
    // from before it: a terminal that does not report them shows UNKNOWN.
    const UpgradeItemResult* ant = up.seq.RunningItem();
    if (ant && ant->item == UpgradeItem::Antenna && ant->restartAwaited)
      up.ui.UI_InitTermAntennaFields();
    up.ui.UI_DisableAntennaFunctionality();
  }
  UpgradeItemResult* item = up.seq.RunningItem();
  const bool picAwaited = item && item->item == UpgradeItem::Pic && item->restartAwaited;
  const bool ibAwaited = item && item->item == UpgradeItem::Ib && item->restartAwaited;
  if (!up.seq.VerifyReleaseInfoAfterRestart()) {
    st.bAntInfoValid = true;
    return;
  }
  const bool ibDone = ibAwaited && item->outcome == ItemOutcome::Done;
  up.seq.Handle_UpgradeState();
  SetStatus("Operation Successful. Release Info retrieved!");
  st.bAntInfoValid = true;
  if (ibDone) SetStatus("IB Upgrade Successful. Software version retrieved!");
  if (picAwaited && !up.seq.itemResults().empty() &&
      up.seq.itemResults().back().outcome == ItemOutcome::Done) {
    Util_LogWrite(INF, "PIC Upgrade was Successful. Software version retrieved!");
    SetStatus("PIC Upgrade Successful. Software version retrieved!");
  }
}

void ZingChannel::OnIbUpgradeStatus(const std::string& reply) {
  Util_LogWrite(DET, "IB FW Info response has arrived");
  CloseReply();
  const UpgradeItemResult* item = up.seq.RunningItem();
  const bool ibItem = item && item->item == UpgradeItem::Ib;
  if (Util_BytesToLong(reply, 4, 4) < 1) {
    tmrIbFlashStall.setEnabled(false);
    if (ibItem)
      up.seq.ItemFailed("the terminal's IB upgrade status cannot be read.",
                        std::string("IB Firmware Upgrade stopped.") + CRLF + CRLF +
                            "The Satellite IP Modem sent an IB upgrade status that cannot be "
                            "read. Do not switch it off; check its IB version after it has "
                            "restarted." +
                            CRLF + "No further upgrade item has been started.");
    return;
  }
  const std::int64_t progress = Util_BytesToLong(reply, 4, 8);
  Util_LogWrite(DET, "IB Upgrade Progress: " + std::to_string(progress));

  if (progress == kIbProgressDone || progress == kIbNoUpgrade) tmrIbFlashStall.setEnabled(false);
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
    if (ibItem) {
      up.seq.ItemInstalled();
      // Done at once, no restart follows: the release information tells
      // whether the new IB version is there, and goes on with the chain.
      if (st.ibUpgState == IB_UPG_IDLE) ZingReq_Fetch_All_Release_Info();
    }
  } else if (progress == kIbNoUpgrade) {
    st.ibUpgState = IB_UPG_IDLE;
    Util_LogWrite(DET, "ibUpgState = IB_UPG_IDLE");
    win.setText("lblIbUpgStatus", "");
    win.setValue("prgBarIbUpgrade", 0);
    win.setVisible("prgBarIbUpgrade", false);
    up.ui.SetMouseCursor(0);
    st.currUpgradeState = UPG_STATE_IB_DONE;
    Util_LogWrite(DET, "currUpgradeState = UPG_STATE_IB_DONE");
    if (ibItem) {
      // No flashing runs (any more): the release information tells whether
      // the new IB version is there, and goes on with the chain.
      Util_LogWrite(INF, "No IB upgrade running. Checking the terminal's IB version.");
      up.seq.ItemInstalled();
      ZingReq_Fetch_All_Release_Info();
    }
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
    // A percentage that stops moving is bounded: the count starts again
    // each time it moves.
    if (percent != ibLastPercent || !tmrIbFlashStall.enabled()) {
      ibLastPercent = percent;
      tmrIbFlashStall.setEnabled(false);
      tmrIbFlashStall.setEnabled(true);
    }
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
    if (up.seq.ChainActive()) {
      up.seq.ItemFailed("the terminal refused to prepare for the IB firmware upgrade.",
                        std::string("IB Upgrade Cancelled.") + CRLF + CRLF +
                            "The Satellite IP Modem refused to prepare for the IB firmware "
                            "upgrade; the IB firmware has not been sent to it." +
                            CRLF + "No further upgrade item has been started.");
      SetStatus("IB Upgrade Cancelled.");
    }
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

void ZingChannel::tmrIbFlashStall_Timer() {
  Util_LogWrite(VRB, ">> tmrIbFlashStall_Timer()");
  tmrIbFlashStall.setEnabled(false);
  tmrIbPollUpgStatus.setEnabled(false);
  if (pendingZingReq == ZING_IB_UPGRADE_STATUS) {
    // The poll under way ends here: its late reply moves nothing on.
    tmrResponse.setEnabled(false);
    sckZING->close();
  }
  const std::string percent = std::to_string(ibLastPercent) + " %";
  Util_LogWrite(ERR, "IB flashing has not moved on from " + percent + ".");
  st.ibUpgState = IB_UPG_IDLE;
  up.ui.SetMouseCursor(0);
  SetStatus("IB flashing does not move on. Do not switch the Satellite IP Modem off.");
  const std::string message = std::string("IB Firmware Upgrade stopped.") + CRLF + CRLF +
                              "The IB firmware flashing of the Satellite IP Modem has not moved "
                              "on from " +
                              percent + " for " + std::to_string(kIbStallPolls) + " status polls." +
                              CRLF + "No further upgrade item has been started." + CRLF + CRLF +
                              kIbFlashingAdvice;
  if (up.seq.ChainActive())
    up.seq.ItemFailed("the IB flashing has not moved on from " + percent + ".", message);
  else
    MsgBox(message, vbOKOnly | vbCritical, kProgramTitle);
}

void ZingChannel::tmrIbUpgStatusCheck_Timer() {
  Util_LogWrite(VRB, ">> tmrIbUpgStatusCheck_Timer()");
  tmrIbUpgStatusCheck.setEnabled(false);
  ibLastPercent = -1;
  st.ibUpgState = IB_UPG_IN_PROGRESS;
  ZingReq_FetchIBUpgradeStatus();
  up.ui.SetMouseCursor(1);
}

void ZingChannel::tmrRefetchIbVersion_Timer() {
  Util_LogWrite(VRB, ">> tmrRefetchIbVersion_Timer()");
  tmrRefetchIbVersion.setEnabled(false);
  // Not while an upgrade item runs either: its own requests decide.
  if (st.bIbRefetchDone || st.bSwUpgPending || st.bPicUpgPending || st.bAntUpgPending ||
      st.bIbUpgPending || up.seq.ChainActive())
    return;
  Util_LogWrite(INF, "Retry fetching all Up-to-date Release Information.");
  st.bIbRefetchDone = true;
  ZingReq_Fetch_All_Release_Info();
}

}  // namespace orvex
