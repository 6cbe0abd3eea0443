// Tools > Reset Modem and Restore Factory Defaults, and the delayed restart
// that ends an upgrade step.
#include "app/upgrader.h"
#include "ui/main_window.h"
#include "zing/zing_channel.h"
#include "zing/zing_codec.h"

namespace orvex {

namespace {

// The terminal's FTP port, which goes away while it restarts.
constexpr int kProbePort = 21;

}  // namespace

void ZingChannel::cmdResetModem_Click() {
  Util_LogWrite(VRB, ">> cmdResetModem_Click()");
  if (!st.strModemIPAddress.empty()) {
    SetStatus("Resetting Satellite IP Modem...");
    StopResetProbe();
    resetOutcome_ = ResetOutcome::Asked;
    ResetTerminal();
  } else {
    MsgBox("Please enter Satellite IP Modem's IP Address.", vbOKOnly | vbInformation);
  }
}

void ZingChannel::cmdRestoreDefaults_Click() {
  Util_LogWrite(VRB, ">> cmdRestoreDefaults_Click()");
  // The reset is asked once the terminal has answered the request.
  StopResetProbe();
  resetOutcome_ = ResetOutcome::None;
  ZingReq_RestoreFactoryDefaults();
}

void ZingChannel::ResetTerminal() {
  Util_LogWrite(VRB, ">> ResetTerminal()");
  Util_LogWrite(VRB, "--------------------------------------");
  // A reset replaces whatever exchange is running, also one still connecting.
  CloseForNewConnection(false);
  win.setText("txtCurrentSoftwareVersion", "UNKNOWN");
  st.strCurrSwVersion = "0_0_0_0";
  up.ui.SetMouseCursor(1);
  pendingZingReq = ZING_RESET;
  tmrConnect.setEnabled(true);
  if (auto e = sckZING->connect(st.strModemIPAddress, kZingPort))
    LogTrappedError(">> e_ResetTerminal", *e);  // tmrConnect reports the failure
}

void ZingChannel::tmrFiveSecDelayedReset_Timer() {
  Util_LogWrite(VRB, ">> tmrFiveSecDelayedReset_Timer()");
  tmrFiveSecDelayedReset.setEnabled(false);
  st.bIbRefetchDone = false;
  st.bWaitTermRestart = true;
  st.restartRetryCount = 0;
  ResetTerminal();
}

void ZingChannel::ResetSent() {
  if (resetOutcome_ != ResetOutcome::Asked) return;  // a reset of an upgrade step
  resetOutcome_ = ResetOutcome::Sent;
  resetProbeTicks_ = 0;
  resetProbeWaits_ = 0;
  tmrResetProbe.setEnabled(true);
}

void ZingChannel::tmrResetProbe_Timer() {
  if (resetOutcome_ != ResetOutcome::Sent || st.bUnloaded ||
      ++resetProbeTicks_ > kResetProbeTicks) {
    // The version reply after the restart wait decides.
    StopResetProbe();
    return;
  }
  const int state = sckResetProbe->state();
  if (state == sckResolvingHost || state == sckHostResolved || state == sckConnecting) {
    if (++resetProbeWaits_ >= kResetProbeWaits)
      ResetWentDown("its FTP port no longer answered a connection");
    return;
  }
  sckResetProbe->close();
  resetProbeWaits_ = 0;
  if (auto e = sckResetProbe->connect(st.strModemIPAddress, kProbePort)) {
    // No try is possible at all: that shows nothing of the terminal.
    LogTrappedError(">> e_tmrResetProbe", *e);
    StopResetProbe();
  }
}

void ZingChannel::ResetWentDown(const std::string& how) {
  if (resetOutcome_ != ResetOutcome::Sent) return;
  StopResetProbe();
  resetOutcome_ = ResetOutcome::WentDown;
  Util_LogWrite(INF, "The terminal went down after the reset request: " + how + ".");
}

void ZingChannel::ResetAnswered() {
  if (resetOutcome_ == ResetOutcome::WentDown) {
    resetOutcome_ = ResetOutcome::CameBack;
    Util_LogWrite(INF, "The terminal answered again after its restart.");
  } else if (resetOutcome_ == ResetOutcome::Sent) {
    StopResetProbe();
    resetOutcome_ = ResetOutcome::StayedUp;
    Util_LogWrite(ERR,
                  "The terminal answered without having gone down after the reset request: it "
                  "did not restart.");
  }
}

void ZingChannel::StopResetProbe() {
  tmrResetProbe.setEnabled(false);
  if (sckResetProbe->state() != sckClosed) sckResetProbe->close();
}

}  // namespace orvex
