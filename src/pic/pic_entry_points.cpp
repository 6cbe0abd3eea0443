// The ways into a PIC upgrade: the File menu command with its warnings, the
// upload of the PIC file, and the openers of the two shell sessions.
#include "app/upgrader.h"
#include "pic/pic_upgrade.h"
#include "transfer/ftp_engine.h"
#include "ui/main_window.h"
#include "upgrade/sequencer.h"

namespace orvex {

namespace {

constexpr const char* kRemotePicFile = "/tffs0/pic.s19";

}  // namespace

std::string PicUpgrade::PicUpgradeWarning() const {
  if (PlatformIs(8))
    return "WARNING: \r\n= Make sure the Terminal has DC-power cord connected.\r\n= Make sure the "
           "Battery is NOT connected.\r\n= Please Close all active Telnet connections to the "
           "Terminal.\r\n\r\nNote: \r\n # The unit may display 'No Software' momentarily during "
           "the PIC Upgrade process.\r\n # The Terminal DOES NOT automatically restart after PIC "
           "Upgrade.\r\n # The user needs to manually Power-up the Unit following the PIC "
           "Upgrade when prompted.";
  return "WARNING: \r\n= Make sure the Terminal has DC-power cord connected.\r\n= Please Close "
         "all active Telnet connections to the Terminal.\r\n";
}

void PicUpgrade::cmdPicUpgradeMenu_Click() {
  Util_LogWrite(VRB, ">> cmdPicUpgradeMenu_Click()");
  std::string text =
      std::string("Do you want to proceed with the Standalone PIC upgrade ?") + CRLF + CRLF;
  text += PicUpgradeWarning();

  if (MsgBox(text, vbYesNo | vbExclamation, kProgramTitle) != vbYes) {
    up.ui.SetMouseCursor(0);
  } else if (st.bPicFwAvailable) {
    // Judged as the chained item is: by the PIC version the release
    // information shows after the terminal's restart.
    up.seq.ItemStarted(UpgradeItem::Pic);
    UPG_StandalonePICUpgrade();
  } else {
    MsgBox("PIC binary Unavailable. Operation Cancelled.", vbOKOnly | vbExclamation);
  }
}

void PicUpgrade::UPG_StandalonePICUpgrade() {
  Util_LogWrite(VRB, ">> UPG_StandalonePICUpgrade()");
  up.ui.SetMouseCursor(1);
  if (st.strLocalPicFile.empty()) {
    MsgBox("Unable to find pic-binary in home directory " + st.strHomeDir + "." + CRLF +
               "Please copy PIC file in " + st.strHomeDir,
           vbOKOnly | vbExclamation);
    up.ui.SetMouseCursor(0);
    return;
  }
  // A new attempt gets the whole watchdog budget, whatever an earlier
  // attempt in this run left counted.
  picUpgTickCount = 0;

  // The FTP engine hands over to one of the session openers below once the
  // file is on the terminal and its connection is closed.
  up.ftp.EnterStep(UPGRADE_PIC_SA_CMD);
  SetStatus("Uploading PIC software! Wait...");
  up.ftp.inetFTP->setRemoteHost(st.strModemIPAddress);
  up.ftp.tmrFTPReq.setEnabled(true);
  // A new chain: without this, an earlier finished chain would make the FTP
  // engine ignore a failure of this upload and leave the window busy.
  st.bFtpDone = false;
  // The local name is relative to the home folder, the current folder.
  up.ftp.PutCheckedUpload({"PUT", {st.strLocalPicFile, kRemotePicFile}});
  up.ui.UI_UpdateUIUpgState(UPG_STATE_PIC_DONE);
}

void PicUpgrade::PicRestartedInBootrom() {
  Util_LogWrite(VRB, ">> PicRestartedInBootrom()");
  EndPicChain("The terminal restarted in BOOTROM mode after the PIC reflash.");
  SetPicState(PIC_UPG_STATE_INIT_CONNECT);
  up.ui.SetMouseCursor(0);
  SetStatus("PIC Upgrade failed. The terminal restarted in BOOTROM mode.");
  MsgBox(std::string("PIC Upgrade failed. The terminal restarted in BOOTROM mode and does not run "
                     "its software.") +
             CRLF + "Upgrade the software of the terminal before retrying the PIC Upgrade." + CRLF +
             "Please refer to the Help menu if needed.",
         vbOKOnly | vbCritical, kProgramTitle);
}

void PicUpgrade::PicPrepRestartMissed() {
  Util_LogWrite(VRB, ">> PicPrepRestartMissed()");
  // Stopped here, the chain cannot start the preparation pass again, which
  // would save the PIC file's descriptor over the terminal's own.
  EndPicChain("The terminal did not restart in BOOTROM mode for the PIC reflash.");
  up.ui.SetMouseCursor(0);
  SetStatus("PIC Upgrade stopped. The terminal did not restart for the PIC reflash.");
  MsgBox(std::string("PIC Upgrade stopped. The Satellite IP Modem did not restart in BOOTROM mode "
                     "for the PIC reflash.") +
             CRLF + CRLF +
             "Reset the Satellite IP Modem using the 'Tools>Reset Modem' option. Once it "
             "reports BOOTROM mode, run the PIC Upgrade again from the File menu." +
             CRLF + "Please refer to the Help menu if needed.",
         vbOKOnly | vbCritical, kProgramTitle);
}

void PicUpgrade::UPG_Prepare4PICUpgrade() {
  Util_LogWrite(VRB, ">> UPG_Prepare4PICUpgrade()");
  OpenShellSession(">> e_UPG_Prepare4PICUpgrade");
}

void PicUpgrade::Init_PIC_Upgrade() {
  Util_LogWrite(VRB, ">> Init_PIC_Upgrade()");
  SetPicState(PIC_UPG_STATE_INIT_CONNECT);
  if (telnetShell->state() == sckConnected) {
    telnetShell->close();
    Util_LogWrite(DET, "Init_PIC_Upgrade(): Closing existing open telnet connection.");
  }
  bPicBattRebootWait = false;
  OpenShellSession(">> e_Init_PIC_Upgrade");
}

}  // namespace orvex
