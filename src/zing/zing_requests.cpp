// The request procedures: each records the pending request, shows what is
// happening and starts a fresh connection; the connect event sends it.
#include "app/upgrader.h"
#include "ui/main_window.h"
#include "zing/zing_channel.h"
#include "zing/zing_codec.h"

namespace orvex {

void ZingChannel::CloseForNewConnection(bool logClosing) {
  DropPartialReply();
  zingRxDiscard_ = false;
  ++zingExchange_;
  const int state = sckZING->state();
  if (state == sckConnected) {
    if (logClosing) Util_LogWrite(DET, "Closing the open Zing Socket.");
    sckZING->close();
  } else if (state != sckClosed) {
    // Still connecting, closing after the terminal hung up, or failed: the
    // socket refuses a new connect in these states until it is closed.
    sckZING->close();
  }
}

void ZingChannel::LogTrappedError(const std::string& label, const RuntimeError& e) {
  Util_LogWrite(ERR, label);
  Util_LogWrite(DET, std::string(CRLF) + std::to_string(e.number) + ": " + e.description + CRLF +
                         "Help: " + std::to_string(e.helpContext) + CRLF + "Source: " + e.source);
}

bool ZingChannel::StartRequest(const Request& req) {
  Util_LogWrite(VRB, std::string(">> ") + req.name + "()");
  CloseForNewConnection(req.logClosing);
  up.ui.SetMouseCursor(1);
  if (req.checkAddress && st.strModemIPAddress.empty()) {
    MsgBox("Please enter Satellite IP Modem's IP address.", vbOKOnly | vbInformation);
    return false;  // the pointer stays busy
  }
  if (req.resetVersion) {
    st.strCurrSwVersion = "0_0_0_0";
    win.setText("txtCurrentSoftwareVersion", "UNKNOWN");
  }
  SetStatus(req.status);
  pendingZingReq = req.code;
  tmrConnect.setEnabled(true);
  if (req.logSocketState)
    Util_LogWrite(DET, "Zing Socket State." + std::to_string(sckZING->state()));
  if (auto e = sckZING->connect(st.strModemIPAddress, kZingPort)) {
    if (!req.trapLabel) {
      SetStatus("Check Satellite IP Modem software version.");
      return false;
    }
    LogTrappedError(req.trapLabel, *e);
  }
  Util_LogWrite(DET, "tmrConnect.Enabled = True");
  return true;
}

void ZingChannel::ZingReq_GetCurrentSoftwareVersion() {
  Request r{"ZingReq_GetCurrentSoftwareVersion", ZING_GET_SW_VERSION,
            "Retrieving Terminal software version...", nullptr};
  r.checkAddress = false;
  r.resetVersion = true;
  StartRequest(r);
}

void ZingChannel::ZingReq_RestoreFactoryDefaults() {
  Request r{"ZingReq_RestoreFactoryDefaults", ZING_RESTORE_DEFAULTS,
            "Restoring Satellite IP Modem factory defaults...", nullptr};
  r.checkAddress = false;
  StartRequest(r);
}

void ZingChannel::ZingReq_PrepareTerminalFileSystem() {
  StartRequest({"ZingReq_PrepareTerminalFileSystem", ZING_CHECK_DISK,
                "Preparing Terminal filesystem for Upgrade ...",
                ">> e_ZingReq_PrepareTerminalFileSystem"});
  SetStatus("Preparing Terminal File System for Upgrade..");
}

void ZingChannel::ZingReq_HaltStack() {
  Request r{"ZingReq_HaltStack", ZING_HALT_STACK, "Preparing Terminal software for Upgrade ...",
            ">> e_ZingReq_HaltStack "};
  r.logClosing = true;
  r.logSocketState = true;
  StartRequest(r);
}

void ZingChannel::ZingReq_UpgradeAntennaFW() {
  StartRequest({"ZingReq_UpgradeAntennaFW", ZING_UPGRADE_ANTENNA, "Upgrading Antenna Firmware ...",
                ">> e_UpgAntFw"});
}

void ZingChannel::ZingReq_Fetch_All_Release_Info() {
  StartRequest({"ZingReq_Fetch_All_Release_Info", ZING_RELEASE_INFO,
                "Fetching Terminal Release Info...", ">> e_RelInfoAll"});
}

void ZingChannel::ZingReq_FetchIBUpgradeStatus() {
  StartRequest({"ZingReq_FetchIBUpgradeStatus", ZING_IB_UPGRADE_STATUS,
                "Flashing IB Firmware ... DO NOT Interrupt !", ">> e_FetchIBUpgradeStatus"});
}

void ZingChannel::ZingReq_PrepareTerm4IBUpgrade() {
  StartRequest({"ZingReq_PrepareTerm4IBUpgrade", ZING_IB_UPGRADE_PREPARE,
                "Preparing Terminal for IB Firmware ...", ">> e_PrepareTerm4IBUpgrade"});
}

void ZingChannel::cmdGetSoftwareVersion_Click() {
  Util_LogWrite(VRB, ">> cmdGetSoftwareVersion_Click()");
  st.currUpgradeState = UPG_STATE_IDLE;
  Util_LogWrite(INF, "currUpgradeState = " + Util_UpgStateName(st.currUpgradeState));
  ZingReq_GetCurrentSoftwareVersion();
}

}  // namespace orvex
