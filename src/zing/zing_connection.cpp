// The connection of one ZING exchange: the connect event that sends the
// request, the connect and reply time-outs, the close and error events, and
// the connectivity test on the terminal's FTP port.
#include "app/app_frame.h"
#include "app/upgrader.h"
#include "pic/pic_upgrade.h"
#include "transfer/ftp_engine.h"
#include "transfer/software_upgrade.h"
#include "ui/main_window.h"
#include "upgrade/sequencer.h"
#include "zing/zing_channel.h"
#include "zing/zing_codec.h"

namespace orvex {

namespace {

constexpr int kFtpPort = 21;
constexpr int kRestartRetries = 6;
constexpr int kAntennaExtraWaits = 6;

const std::string kConnectionWarning =
    "\r\nWARNING: Connection Problem.\r\n\r\nPlease check the following: \r\n - Cable "
    "connection\r\n - IP configuration under 'Tools>Configure Modem Interface' \r\n - "
    "Troubleshooting instructions under the Help menu\r\n\r\nTo confirm connectivity, 'Get "
    "Software version' using the Tools menu before retrying.\r\nPower cycle the Satellite IP "
    "Modem and restart the Upgrader if problem persists.";

const std::string kClosingWarning =
    "\r\nWARNING: Connection Problem.\r\n\r\n# Please check the cable connection.\r\n# Restart "
    "the Upgrader.\r\n# Reset the Modem using the 'Tools>Reset Modem' option.\r\n# Retry the "
    "Upgrade after the modem Restarts.\r\nThe upgrader will now close.";

// What a request is, in the words of a failure message.
std::string RequestWhat(long code) {
  switch (code) {
    case ZING_GET_SW_VERSION: return "the software version request";
    case ZING_RESET: return "the reset";
    case ZING_RESTORE_DEFAULTS: return "the factory defaults request";
    case ZING_CHECK_DISK: return "the file system check";
    case ZING_HALT_STACK: return "the halt stack request";
    case ZING_UPGRADE_ANTENNA: return "the antenna upgrade request";
    case ZING_RELEASE_INFO: return "the release information request";
    case ZING_IB_UPGRADE_STATUS: return "the IB upgrade status request";
    case ZING_IB_UPGRADE_PREPARE: return "the IB upgrade preparation request";
    default: return "request /x" + HexUpper(static_cast<unsigned long>(code & 0xFFFF));
  }
}

// While the terminal flashes its IB firmware it must stay on: a silent
// status request there is no reason to retry anything yet.
std::string NoAnswerMessage(const std::string& what, long request) {
  return std::string("Upgrade stopped.") + CRLF + CRLF + what + CRLF +
         "No further upgrade item has been started." + CRLF + CRLF +
         (request == ZING_IB_UPGRADE_STATUS ? kIbFlashingAdvice
                                            : "Check the cable connection and the Satellite IP "
                                              "Modem, get its software version using the Tools "
                                              "menu, then retry the upgrade.");
}

}  // namespace

void ZingChannel::FailChainItem(const std::string& reason, const std::string& message) {
  if (up.seq.ChainActive()) up.seq.ItemFailed(reason, message);
}

void ZingChannel::FailPreparation(const std::string& what) {
  const std::string reason = "the terminal did not confirm " + what + ".";
  const std::string message = std::string("Software Upgrade stopped.") + CRLF + CRLF +
                              "The Satellite IP Modem did not confirm " + what +
                              ". The new software has not been sent to it." + CRLF +
                              "No further upgrade item has been started." + CRLF + CRLF +
                              "Power cycle the Satellite IP Modem, then retry the upgrade.";
  if (up.seq.ChainActive()) {
    up.seq.ItemFailed(reason, message);
  } else {
    Util_LogWrite(ERR, "Upgrade preparation failed: " + reason);
    up.ui.SetMouseCursor(0);
    MsgBox(message, vbOKOnly | vbCritical, kProgramTitle);
  }
}

ZingChannel::ZingChannel(Upgrader& up)
    : Part(up),
      sckZING(up.platform.makeSocket("sckZING")),
      sckTest(up.platform.makeSocket("sckTest")),
      tmrConnect(up.platform, "tmrConnect", 5000, up.cfg.timeScale, [this] { tmrConnect_Timer(); }),
      tmrResponse(up.platform, "tmrResponse", 40000, up.cfg.timeScale,
                  [this] { tmrResponse_Timer(); }),
      tmrConneTest(up.platform, "tmrConneTest", 2000, up.cfg.timeScale,
                   [this] { tmrConneTest_Timer(); }),
      tmrIbPollUpgStatus(up.platform, "tmrIbPollUpgStatus", 5000, up.cfg.timeScale,
                         [this] { tmrIbPollUpgStatus_Timer(); }),
      tmrIbUpgStatusCheck(up.platform, "tmrIbUpgStatusCheck", 60000, up.cfg.timeScale,
                          [this] { tmrIbUpgStatusCheck_Timer(); }),
      tmrIbFlashStall(up.platform, "tmrIbFlashStall", kIbStallPolls * 5000, up.cfg.timeScale,
                      [this] { tmrIbFlashStall_Timer(); }),
      tmrRefetchIbVersion(up.platform, "tmrRefetchIbVersion", 10000, up.cfg.timeScale,
                          [this] { tmrRefetchIbVersion_Timer(); }),
      tmrFiveSecDelayedReset(up.platform, "tmrFiveSecDelayedReset", 5000, up.cfg.timeScale,
                             [this] { tmrFiveSecDelayedReset_Timer(); }),
      sckResetProbe(up.platform.makeSocket("sckResetProbe")),
      tmrResetProbe(up.platform, "tmrResetProbe", 1000, up.cfg.timeScale,
                    [this] { tmrResetProbe_Timer(); }) {
  TcpSocketPort::Events zing;
  zing.onConnect = [this] { sckZING_Connect(); };
  zing.onDataArrival = [this](long n) { sckZING_DataArrival(n); };
  zing.onClose = [this] { sckZING_Close(); };
  zing.onError = [this](long number, const std::string& d) { sckZING_Error(number, d); };
  sckZING->setEvents(std::move(zing));

  TcpSocketPort::Events test;
  test.onConnect = [this] { sckTest_Connect(); };
  test.onError = [this](long number, const std::string& d) { sckTest_Error(number, d); };
  sckTest->setEvents(std::move(test));

  TcpSocketPort::Events probe;
  probe.onConnect = [this] {
    sckResetProbe->close();  // still up: the next tick tries again
    resetProbeWaits_ = 0;
  };
  probe.onError = [this](long number, const std::string& d) {
    ResetWentDown("its FTP port refused a connection (" + std::to_string(number) + ": " + d + ")");
  };
  sckResetProbe->setEvents(std::move(probe));
}

void ZingChannel::SendZINGCommand(long code) {
  Util_LogWrite(VRB, ">> SendZINGCommand()");
  Util_LogWrite(DET, "Code: /x" + HexUpper(static_cast<unsigned long>(code & 0xFFFF)));
  sckZING->sendData(ZingEncodeRequest(code));
  tmrResponse.setEnabled(true);
}

void ZingChannel::SendZINGCommandArg(long code, std::uint8_t arg) {
  Util_LogWrite(VRB, ">> SendZINGCommand()");
  Util_LogWrite(DET, "Code: /x" + HexUpper(static_cast<unsigned long>(code & 0xFFFF)) +
                         ", arg: " + std::to_string(arg));
  sckZING->sendData(ZingEncodeRequestArg(code, arg));
  bAntRespAwaited = true;
  antRespWaitCount = 0;
  tmrResponse.setEnabled(true);
}

void ZingChannel::sckZING_Connect() {
  Util_LogWrite(VRB, ">> sckZING_Connect()");
  tmrConnect.setEnabled(false);
  if (pendingZingReq == ZING_UPGRADE_ANTENNA) {
    Util_LogWrite(INF, "Upgrading Antenna Firmware.");
    SendZINGCommandArg(ZING_UPGRADE_ANTENNA, 2);
  } else {
    SendZINGCommand(pendingZingReq);
  }
  if (pendingZingReq == ZING_RESET) {
    // No reply comes: the terminal restarts.
    ResetSent();
    tmrResponse.setEnabled(false);
    up.pic.tmr40SecDelay.setEnabled(true);
    pendingZingReq = 0;
    SetStatus("Resetting modem. Wait 40 seconds.");
    win.setBackColor("statusLED", kColorRed);
  }
}

void ZingChannel::StartConnectivityTest() {
  // A test left half-way is dropped first, so the connect is always allowed.
  if (sckTest->state() != sckClosed) sckTest->close();
  if (auto e = sckTest->connect(st.strModemIPAddress, kFtpPort))
    LogTrappedError(">> e_sckTest", *e);  // tmrConneTest reports the failure
  tmrConneTest.setEnabled(true);
}

void ZingChannel::tmrConnect_Timer() {
  Util_LogWrite(VRB, ">> tmrConnect_Timer()");
  DropPartialReply();
  sckZING->close();
  tmrConnect.setEnabled(false);
  tmrResponse.setEnabled(false);

  switch (pendingZingReq) {
    case 0:  // the reset went out; the terminal dropped the connection
      ResetWentDown("it dropped the connection of the reset request");
      up.pic.tmr40SecDelay.setEnabled(true);
      Util_LogWrite(DET, "tmr40SecDelay.Enabled = True");
      SetStatus("Reset done. Please wait .....");
      break;
    case ZING_GET_SW_VERSION:
      ResetWentDown("it could not be reached for its software version");
      st.strCurrSwVersion = "0_0_0_0";
      win.setText("txtCurrentSoftwareVersion", "UNKNOWN");
      if (st.bWaitTermRestart && st.restartRetryCount < kRestartRetries) {
        ++st.restartRetryCount;
        Util_LogWrite(INF, "Retry Connecting");
        SetStatus("Retrying connection. Please Wait ..");
        up.pic.tmr40SecDelay.setEnabled(true);
        Util_LogWrite(DET, "tmr40SecDelay.Enabled = True");
      } else {
        // The connectivity test that follows tells the technician why.
        FailChainItem("no connection to the terminal for the software version request.", "");
        StartConnectivityTest();
        SetStatus("ZING Connection failed.");
        Util_LogWrite(DET, "tmrConneTest.Enabled = True");
      }
      break;
    case ZING_RESET:
      up.ui.SetMouseCursor(0);
      MsgBox(std::string("Unable to reset Satellite IP Modem.") + CRLF + CRLF +
                 "Please power down and power up the Satellite IP Modem.",
             vbOKOnly | vbExclamation, kProgramTitle);
      SetStatus("");
      FailChainItem("no connection to the terminal for the reset.", "");
      break;
    case ZING_CHECK_DISK:
    case ZING_HALT_STACK: {
      const std::string what = pendingZingReq == ZING_CHECK_DISK ? "No response for chkdsk"
                                                                 : "No response for halt stack";
      FailChainItem("no connection to the terminal for " + RequestWhat(pendingZingReq) + ".", "");
      SetStatus(what);
      Util_LogWrite(DET, what);
      MsgBox(kClosingWarning + CRLF, vbOKOnly | vbCritical, kProgramTitle);
      up.app.UnloadMainWindow();
      break;
    }
    default:
      // Any other request: without a connection its chain cannot go on, and
      // nothing else would give the window back (the pointer is busy), so it
      // ends in the connectivity test like a missing reply does; inside an
      // upgrade the chain ends.
      FailChainItem("no connection to the terminal for " + RequestWhat(pendingZingReq) + ".",
                    NoAnswerMessage("The Satellite IP Modem could not be reached for " +
                                        RequestWhat(pendingZingReq) + ".",
                                    pendingZingReq));
      StartConnectivityTest();
      SetStatus("ZING Connection failed.");
      Util_LogWrite(DET, "tmrConneTest.Enabled = True");
      break;
  }
}

void ZingChannel::tmrResponse_Timer() {
  Util_LogWrite(VRB, ">> tmrResponse_Timer()");
  if (pendingZingReq == ZING_UPGRADE_ANTENNA && bAntRespAwaited) {
    if (antRespWaitCount < kAntennaExtraWaits) {
      ++antRespWaitCount;  // the timer runs on for another period
      Util_LogWrite(
          INF, "Waiting little longer for Antenna Response. " + std::to_string(antRespWaitCount));
    } else {
      antRespWaitCount = 0;
      bAntRespAwaited = false;
      DropPartialReply();
      sckZING->close();
      tmrResponse.setEnabled(false);
      FailChainItem("no answer to the antenna upgrade request.",
                    NoAnswerMessage("The Satellite IP Modem did not answer the antenna upgrade "
                                    "request; the antenna firmware may not be installed.",
                                    ZING_UPGRADE_ANTENNA));
      StartConnectivityTest();
    }
  } else if (pendingZingReq == ZING_HALT_STACK || pendingZingReq == ZING_CHECK_DISK) {
    const bool garbled = !zingRx_.empty();
    DropPartialReply();
    sckZING->close();
    tmrResponse.setEnabled(false);
    if (garbled) {
      // Part of a reply came, and it cannot be read: not a confirmation.
      FailPreparation(pendingZingReq == ZING_CHECK_DISK ? "its file system check"
                                                        : "that it halted its radio stack");
      return;
    }
    // A silent terminal is taken as prepared.
    st.upgPrepState = UPG_PREP_STACK_READY;
    Util_LogWrite(DET, "upgPrepState = " + Util_UpgPrepStateName(st.upgPrepState));
    up.sw.UPG_HandleSwUpgradePreparation();
  } else {
    // A text reply that came cut short (a version text without its zero
    // byte, a release text shorter than announced) is all there will be:
    // it is read as far as it came.
    const long rxCode = static_cast<long>(Util_BytesToLong(zingRx_, 4, 0));
    const bool textReply =
        zingRx_.size() >= 4 &&
        ((rxCode == ZING_GET_SW_VERSION + kZingReplyOffset && zingRx_.size() >= 8) ||
         (rxCode == ZING_RELEASE_INFO + kZingReplyOffset && zingRx_.size() >= 17 &&
          Util_BytesToLong(zingRx_, 4, 8) >= 1));
    if (textReply) {
      std::string reply;
      reply.swap(zingRx_);
      DispatchReply(reply);
      return;
    }
    DropPartialReply();
    sckZING->close();
    tmrResponse.setEnabled(false);
    if (pendingZingReq == ZING_GET_SW_VERSION)
      FailChainItem("no answer from the terminal to the software version request.", "");
    else
      FailChainItem("no answer from the terminal to " + RequestWhat(pendingZingReq) + ".",
                    NoAnswerMessage("The Satellite IP Modem did not answer " +
                                        RequestWhat(pendingZingReq) + ".",
                                    pendingZingReq));
    StartConnectivityTest();
  }
}

void ZingChannel::sckTest_Connect() {
  Util_LogWrite(VRB, ">> sckTest_Connect()");
  sckTest->close();
  tmrConneTest.setEnabled(false);
  Util_LogWrite(DET, "tmrConneTest.Enabled = False");
  up.ftp.setOKToFTP(true);
  if (st.bFtpTimedOut) {
    st.bFtpTimedOut = false;
  } else if (pendingZingReq == ZING_GET_SW_VERSION) {
    st.bSwVersionUnavailable = true;
    MsgBox("Unable to get Satellite IP Modem's software version." + std::string(CRLF) +
               kConnectionWarning,
           vbOKOnly | vbInformation, kProgramTitle);
  }
  // After an FTP time-out too: the version request that followed it made
  // the pointer busy, and nothing else would give the window back.
  up.ui.SetMouseCursor(0);
  Util_LogWrite(DET, "sckTestConnect: Connection succeed.");
}

void ZingChannel::sckTest_Error(long number, const std::string& description) {
  Util_LogWrite(VRB, ">> sckTest_Error()");
  Util_LogWrite(DET, std::to_string(number) + ": " + description);
  tmrConneTest_Timer();
}

void ZingChannel::tmrConneTest_Timer() {
  Util_LogWrite(VRB, ">> tmrConneTest_Timer()");
  sckTest->close();
  tmrConneTest.setEnabled(false);
  up.ftp.setOKToFTP(false);
  if (pendingZingReq == ZING_GET_SW_VERSION) {
    std::string text;
    if (st.bFtpTimedOut) {
      st.bFtpTimedOut = false;
      text = std::string("FTP timeout.") + CRLF + "Can not connect to the Satellite IP Modem." +
             CRLF + kConnectionWarning;
    } else {
      text = "Unable to get Satellite IP Modem's software version." + std::string(CRLF) +
             kConnectionWarning;
    }
    MsgBox(text, vbOKOnly | vbExclamation, kProgramTitle);
  }
  SetStatus("Connection failed.");
  up.ui.SetMouseCursor(0);
  up.ftp.DisableFTPbuttons();
}

void ZingChannel::sckZING_Close() {
  Util_LogWrite(VRB, ">> sckZING_Close()");
  MsgBox("Satellite IP Modem closed the connection. Connection lost.", vbOKOnly | vbCritical,
         "Error");
}

void ZingChannel::sckZING_Error(long number, const std::string& description) {
  Util_LogWrite(VRB, ">> sckZING_Error()");
  Util_LogWrite(DET, std::to_string(number) + ": " + description);
  tmrConnect_Timer();
}

}  // namespace orvex
