// Tools > Reset Modem and Restore Factory Defaults, and the delayed restart
// that ends an upgrade step.
#include "app/upgrader.h"
#include "zing/zing_channel.h"
#include "zing/zing_codec.h"

namespace orvex {

void ZingChannel::cmdResetModem_Click() {
  Util_LogWrite(VRB, ">> cmdResetModem_Click()");
  if (!st.strModemIPAddress.empty()) {
    SetStatus("Resetting Satellite IP Modem...");
    ResetTerminal();
  } else {
    MsgBox("Please enter Satellite IP Modem's IP Address.", vbOKOnly | vbInformation);
  }
}

void ZingChannel::cmdRestoreDefaults_Click() {
  Util_LogWrite(VRB, ">> cmdRestoreDefaults_Click()");
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

}  // namespace orvex
