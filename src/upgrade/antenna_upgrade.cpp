#include "upgrade/antenna_upgrade.h"

#include <vector>

#include "app/upgrader.h"
#include "transfer/ftp_engine.h"
#include "ui/main_window.h"
#include "upgrade/sequencer.h"
#include "zing/zing_channel.h"

namespace orvex {

namespace {

constexpr long kAntClassUnknown = 5;

std::string FirstMatch(const std::string& folder, const std::string& pattern) {
  const std::vector<std::string> found = FindFiles(folder, pattern);
  return found.empty() ? std::string() : found.front();
}

}  // namespace

AntennaUpgrade::AntennaUpgrade(Upgrader& up)
    : Part(up), tmrAntUpgDelay(up.platform, "tmrAntUpgDelay", 65000, up.cfg.timeScale, [this] {
        tmrAntUpgDelay_Timer();
      }) {}

bool AntennaUpgrade::AntennaClassesMatch() const {
  return st.antClassId != kAntClassUnknown && st.bAntFwAvailable &&
         st.locAtbClassId == st.locHpaClassId && st.antClassId == st.locAtbClassId;
}

void AntennaUpgrade::cmdAntUpgradeMenu_Click() {
  Util_LogWrite(VRB, ">> cmdAntUpgradeMenu_Click()");
  const std::string question =
      std::string("Do you want to proceed with the Standalone Antenna upgrade ?") + CRLF + CRLF +
      "Note: Modem will automatically restart after successful Antenna Upgrade.";
  if (MsgBox(question, vbYesNo | vbExclamation, kProgramTitle) == vbNo) {
    up.ui.SetMouseCursor(0);
    return;
  }
  if (AntennaClassesMatch())
    Antenna_SpawnUpgrade();
  else {
    st.refusal = Refusal::AntennaClass;
    MsgBox("Antenna-Type conflict. Operation Cancelled.", vbOKOnly | vbExclamation);
  }
}

void AntennaUpgrade::Antenna_SpawnUpgrade() {
  Util_LogWrite(VRB, ">> Antenna_SpawnUpgrade()");
  up.ui.SetMouseCursor(1);
  st.strAtbFile = FirstMatch(st.strHomeDir, "ATB*.sxm");
  st.strHpaFile = FirstMatch(st.strHomeDir, "HPA*.sxm");
  if (!st.strAtbFile.empty() || !st.strHpaFile.empty()) {
    UPG_StandaloneAntennaUpgrade();
    return;
  }
  Util_LogWrite(DET, "Unable to find Antenna-binary ATB/HPA ");
  MsgBox("Antenna Firmware files Unavailable. Operation Cancelled.", vbOKOnly | vbExclamation);
  up.ui.SetMouseCursor(0);
}

void AntennaUpgrade::UPG_StandaloneAntennaUpgrade() {
  Util_LogWrite(VRB, ">> UPG_StandaloneAntennaUpgrade()");
  up.seq.ItemStarted(UpgradeItem::Antenna);
  std::string file, remote;
  if (!st.strAtbFile.empty()) {
    up.ftp.EnterStep(UPGRADE_ANTENNA_ATB_CMD);
    file = st.strAtbFile;
    remote = "atb.sxm";
  } else if (!st.strHpaFile.empty()) {
    up.ftp.EnterStep(UPGRADE_ANTENNA_HPA_CMD);
    file = st.strHpaFile;
    remote = "hpa.sxm";
  } else {
    Util_LogWrite(ERR, "No Antenna files.");
    up.seq.ItemFailed("no antenna firmware file to upload.",
                      "Antenna Firmware files Unavailable. Operation Cancelled.",
                      vbOKOnly | vbExclamation, "");
    return;
  }
  SetStatus("Uploading Antenna software! Wait...");
  up.ftp.inetFTP->setRemoteHost(st.strModemIPAddress);
  up.ftp.tmrFTPReq.setEnabled(true);
  // A new chain: without this, an earlier finished chain would make the FTP
  // engine ignore a failure of this upload and leave the window busy.
  st.bFtpDone = false;
  // The local name is resolved against the current folder, the home folder.
  up.ftp.PutCheckedUpload({"PUT", {file, remote}});
  up.ui.UI_UpdateUIUpgState(UPG_STATE_ANT_DONE);
}

void AntennaUpgrade::tmrAntUpgDelay_Timer() {
  Util_LogWrite(VRB, ">> tmrAntUpgDelay_Timer()");
  tmrAntUpgDelay.setEnabled(false);
  st.bIbRefetchDone = false;
  st.bWaitTermRestart = true;
  st.restartRetryCount = 0;
  up.zing.ZingReq_GetCurrentSoftwareVersion();
  up.ui.SetMouseCursor(0);
}

}  // namespace orvex
