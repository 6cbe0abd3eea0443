#include "upgrade/ib_upgrade.h"

#include "app/upgrader.h"
#include "transfer/ftp_engine.h"
#include "ui/main_window.h"
#include "upgrade/sequencer.h"
#include "zing/zing_channel.h"

namespace orvex {

void IbUpgrade::cmdIbUpgradeMenu_Click() {
  Util_LogWrite(VRB, ">> cmdIbUpgradeMenu_Click()");
  const std::string question =
      std::string("Do you want to proceed with the Standalone IB upgrade ?") + CRLF + CRLF +
      "WARNING: Please Do not interrupt the IB Upgrade once started." + CRLF + CRLF +
      "Note: Modem will automatically reboot between stages of the IB Upgrade." + CRLF +
      "Please wait until the Upgrade Completion indication.";
  if (MsgBox(question, vbYesNo | vbExclamation, kProgramTitle) == vbNo) {
    up.ui.SetMouseCursor(0);
    return;
  }
  if (st.strTermIbVersion.empty() || !st.bIbFwAvailable) {
    MsgBox("IB firmware conflict. Operation Cancelled.", vbOKOnly | vbExclamation);
    return;
  }
  UPG_IBUpgradeIgnite();
}

void IbUpgrade::UPG_IBUpgradeIgnite() {
  Util_LogWrite(VRB, ">> UPG_IBUpgradeIgnite()");
  up.seq.ItemStarted(UpgradeItem::Ib);
  up.zing.ZingReq_PrepareTerm4IBUpgrade();
}

void IbUpgrade::UPG_StandaloneIBUpgrade() {
  Util_LogWrite(VRB, ">> UPG_StandaloneIBUpgrade()");
  if (st.strGloFile.empty()) {
    // Inside an upgrade the item cannot go on: it ends the chain, and says so.
    const UpgradeItemResult* r = up.seq.RunningItem();
    if (r && r->item == UpgradeItem::Ib)
      up.seq.ItemFailed("no IB firmware file to upload.",
                        "IB firmware file unavailable. IB Upgrade Cancelled.");
    return;
  }
  up.ftp.inetFTP->setRemoteHost(st.strModemIPAddress);
  up.ftp.EnterStep(UPGRADE_IB_SA_CMD);
  up.ui.SetMouseCursor(1);
  SetStatus("Uploading IB Firmware to Satellite IP Modem ...");
  st.bFtpDone = false;
  up.ftp.tmrFTPReq.setEnabled(true);
  const std::string local = st.strHomeDir + st.strGloFile;
  const std::string remote = "/tffs0/bin/" + st.strGloFile;
  const std::string command = "PUT \"" + local + "\" " + remote;
  Util_LogWrite(DET, "UPG_StandaloneIBUpgrade() " + command);
  up.ftp.PutCheckedUpload({"PUT", {local, remote}, command});
  up.ui.UI_UpdateUIUpgState(UPG_STATE_IB_DONE);
}

void IbUpgrade::UPG_ResetTrg4IBUpgrade() {
  Util_LogWrite(VRB, ">> UPG_ResetTrg4IBUpgrade()");
  up.zing.tmrFiveSecDelayedReset.setEnabled(true);
  Util_LogWrite(DET, "Resetting terminal in 5 sec ..");
  st.ibUpgState = IB_UPG_RESET_SENT;
}

}  // namespace orvex
