#include "app/app_frame.h"

#include <filesystem>
#include <system_error>

#include "app/upgrader.h"
#include "pic/pic_upgrade.h"
#include "transfer/ftp_engine.h"
#include "transfer/software_upgrade.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "upgrade/antenna_upgrade.h"
#include "upgrade/local_files.h"
#include "upgrade/release_series.h"
#include "upgrade/sequencer.h"
#include "zing/zing_channel.h"

namespace fs = std::filesystem;

namespace orvex {

void AppFrame::Form_Load() {
  // 1. Form-level variables to their start values.
  st.currUpgradeState = UPG_STATE_IDLE;
  st.ibUpgState = IB_UPG_IDLE;
  up.log.logThreshold = 1;
  st.antClassId = 5;
  st.termPlatformId = 11;
  st.pkgPlatformId = 11;
  st.ibImageBlocks = 1;
  st.bFtpTimedOut = st.bBootromMode = st.bSwVersionUnavailable = st.bAntInfoValid = false;
  up.zing.bAntRespAwaited = false;
  up.zing.antRespWaitCount = 0;
  st.bWaitTermRestart = false;
  st.restartRetryCount = 0;
  st.bSwUpgPending = st.bPicUpgPending = st.bAntUpgPending = st.bIbUpgPending = false;
  st.bAntFwAvailable = st.bIbFwAvailable = false;
  st.bIbRefetchDone = false;
  st.bFtpDone = false;
  up.pic.bPicBattRebootWait = false;

  // 2. No IB progress at start.
  win.setText("lblIbUpgStatus", "");
  win.setVisible("lblIbUpgStatus", false);
  win.setVisible("prgBarIbUpgrade", false);

  // 3. The log.
  up.log.setBaseFolder(up.cfg.homeFolder);
  up.log.Util_LogInit();

  // 4. The terminal address.
  st.strModemIPAddress = Trim(win.text("txtIPAddress"));
  if (!up.cfg.frontEnd.empty())
    Util_LogWrite(INF, up.cfg.frontEnd + ": the terminal at " + st.strModemIPAddress);
  st.strTermOctetOne = "192";
  st.strTermOctetTwo = "168";
  st.strTermSubnet = "128";
  st.strTermIP = "100";

  // 5. The optional upgrade-now-or-later question.
  up.dialogs.intExitApplication = 0;
  if (up.cfg.commandLine == "-u") {
    up.dialogs.ShowFrmUpgrade();
    if (up.dialogs.intExitApplication == 1) {
      UnloadMainWindow();
      return;
    }
  }

  // 6. The home folder.
  st.strHomeDir = Trim(up.cfg.homeFolder);
  if (st.strHomeDir.empty()) {
    MsgBox("Unable to find upgrade program home directory " + st.strHomeDir + "." + CRLF +
               "Please install the upgrade program in this Computer.",
           vbOKOnly | vbExclamation);
    UnloadMainWindow();
    return;
  }
  if (!EndsWith(st.strHomeDir, PathSep())) st.strHomeDir += PathSep();
  st.strBackupDir = st.strHomeDir + "Backup";
  st.strScratchDir = Trim(up.cfg.scratchFolder);
  if (!st.strScratchDir.empty() && !EndsWith(st.strScratchDir, PathSep()))
    st.strScratchDir += PathSep();

  // 7. The terminal's versions are not known yet.
  st.strCurrSwVersion = "0_0_0_0";
  win.setText("txtCurrentSoftwareVersion", "UNKNOWN");
  up.ui.UI_InitTermAntennaFields();
  up.pic.UI_InitTermPicFields();
  up.ui.UI_InitTermIbFields();

  // Nothing is sent through a link that leaves the release folder.
  if (const std::string unsafe = up.files.CheckReleaseLinks(); !unsafe.empty()) {
    st.refusal = Refusal::ReleaseFiles;
    st.refusalText = unsafe;
    Util_LogWrite(ERR, unsafe);
    MsgBox(unsafe, vbOKOnly | vbExclamation);
    UnloadMainWindow();
    return;
  }

  // 8. Exactly one main software image.
  const auto images = FindFiles(st.strHomeDir, "orvex*.bin");
  if (images.empty()) {
    st.refusal = Refusal::ReleaseFiles;
    MsgBox("Unable to find the binary file " + st.strHomeDir + "orvex*.bin. ",
           vbOKOnly | vbExclamation);
    UnloadMainWindow();
    return;
  }
  if (images.size() > 1) {
    st.refusal = Refusal::ReleaseFiles;
    MsgBox("Unable to find the binary file " + st.strHomeDir + "orvex*.bin. " + CRLF +
               "Or there is more than one binary file " + "in the application's home directory." +
               CRLF + "Please make sure there is only one binary file in that directory.",
           vbOKOnly | vbExclamation);
    UnloadMainWindow();
    return;
  }

  // 9. The new software version from the image's name.
  st.strLocalBinFile = images.front();
  st.strNewSwVersion = ImageVersionFromName(st.strLocalBinFile);
  if (st.strNewSwVersion.empty())
    Util_LogWrite(ERR, "No software version in the image file name " + st.strLocalBinFile);
  std::string shown = st.strNewSwVersion;
  for (char& c : shown)
    if (c == '_') c = '.';
  win.setText("txtNewSoftwareVersion", shown);
  up.files.Util_IdentifyPackagedPlatformBin(win.text("txtNewSoftwareVersion"));

  // 10. The Backup folder (and the working folder, when one is set).
  for (const std::string& folder : {st.strBackupDir, st.strScratchDir}) {
    if (folder.empty() || FolderExists(folder)) continue;
    std::error_code ec;
    if (folder == st.strBackupDir)
      fs::create_directory(fs::path(folder), ec);
    else
      fs::create_directories(fs::path(folder), ec);
    if (ec) Util_LogWrite(ERR, "Unable to create the folder " + folder + ": " + ec.message());
  }

  // 11. The first ZING request; the answer arrives later as socket events.
  up.zing.ZingReq_GetCurrentSoftwareVersion();

  // 12 - 15. Factory mode and the other local release files.
  up.series.UI_CheckFactoryMode();
  up.pic.UI_DisablePICFunctionality(false);
  up.pic.UI_CheckLocalPICFirmware();
  up.ui.UI_DisableAntennaFunctionality();
  up.files.UI_CheckLocalAntennaFirmware();
  up.ui.UI_DisableIBFunctionality(true);
  up.files.UI_CheckLocalIbFirmware();
}

std::string AppFrame::ImageVersionFromName(const std::string& name) {
  // The version sits between the six-character prefix "orvex_" and the
  // first ".bin". The search for the image ignores case, so ".bin" is found
  // ignoring case too; a name too short for the prefix gives no version.
  std::string lower = name;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  const size_t pos = lower.find(".bin");
  if (pos == std::string::npos || pos < 6) return "";
  return name.substr(6, pos - 6);
}

void AppFrame::Form_QueryUnload() {
  up.seq.RecordUnfinishedChain();
  if (up.zing.sckZING->state() == sckConnected) up.zing.sckZING->close();
  for (Timer* t :
       {&up.zing.tmrConnect, &up.zing.tmrResponse, &up.zing.tmrFiveSecDelayedReset,
        &up.pic.tmr40SecDelay, &up.ftp.tmrFTPReq, &up.zing.tmrConneTest, &up.pic.tmrPicUpgrCnt,
        &up.pic.tmrTelnetConnect, &up.ant.tmrAntUpgDelay, &up.zing.tmrIbPollUpgStatus,
        &up.zing.tmrRefetchIbVersion, &up.sw.tmrDelayedSwUpgIgnite, &up.sw.tmrImagePutTrig})
    t->setEnabled(false);
}

void AppFrame::Form_Unload() {
  if (up.cfg.commandLine == "/SysInfo") {
    const std::string folder = std::string("..") + PathSep() + "SysInfo" + PathSep();
    up.platform.process().startProgram(folder + "SysInfoUpgrader.exe", folder);
  }
  up.seq.RecordUnfinishedChain();
  if (up.zing.sckZING->state() == sckConnected) up.zing.sckZING->close();
  for (Timer* t : {&up.zing.tmrConnect, &up.zing.tmrResponse, &up.zing.tmrFiveSecDelayedReset,
                   &up.ftp.tmrFTPReq, &up.zing.tmrConneTest})
    t->setEnabled(false);
  up.ftp.inetFTP->cancel();
}

bool AppFrame::UpgradeInProgress() const {
  if (up.seq.ChainActive()) return true;
  // An FTP chain under way (the log download aside), a restore among them.
  if (!st.bFtpDone && st.ftpState != 0 && st.ftpState != GET_LOG_CMD) return true;
  if (st.currUpgradeState != UPG_STATE_IDLE && st.currUpgradeState != UPG_STATE_INVALID)
    return true;
  // A PIC upgrade ends, done or not, in the state that opens its next reflash
  // pass; it runs there only while a shell session opens or its watchdog runs.
  if (st.picUpgradeState != 0 && st.picUpgradeState != PIC_UPG_STATE_INIT_CONNECT) return true;
  if (st.picUpgradeState == PIC_UPG_STATE_INIT_CONNECT &&
      (up.pic.tmrTelnetConnect.enabled() || up.pic.tmrPicUpgrCnt.enabled() ||
       up.pic.telnetShell->state() != sckClosed))
    return true;
  if (st.ibUpgState == IB_UPG_RESET_SENT || st.ibUpgState == IB_UPG_IN_PROGRESS) return true;
  for (const Timer* t :
       {&up.sw.tmrDelayedSwUpgIgnite, &up.sw.tmrImagePutTrig, &up.zing.tmrFiveSecDelayedReset,
        &up.ant.tmrAntUpgDelay, &up.pic.tmr40SecDelay, &up.pic.tmrPicUpgrCnt})
    if (t->enabled()) return true;
  return false;
}

bool AppFrame::WorkPending() const {
  if (UpgradeInProgress() || st.screenMousePointer == vbArrowHourglass) return true;
  if (up.ftp.inetFTP->stillExecuting()) return true;
  for (const Timer* t :
       {&up.zing.tmrConnect, &up.zing.tmrResponse, &up.zing.tmrConneTest,
        &up.zing.tmrIbPollUpgStatus, &up.zing.tmrIbUpgStatusCheck, &up.zing.tmrRefetchIbVersion,
        &up.zing.tmrFiveSecDelayedReset, &up.ftp.tmrFTPReq, &up.pic.tmr40SecDelay,
        &up.pic.tmrPicUpgrCnt, &up.pic.tmrTelnetConnect, &up.pic.tmrPicUpgResetDelay,
        &up.ant.tmrAntUpgDelay, &up.sw.tmrDelayedSwUpgIgnite, &up.sw.tmrImagePutTrig})
    if (t->enabled()) return true;
  return false;
}

bool AppFrame::ConfirmClose() {
  if (st.bUnloaded || !UpgradeInProgress()) return true;
  Util_LogWrite(INF, "Close requested while an upgrade is in progress.");
  const int answer =
      MsgBox(std::string("An upgrade of the Satellite IP Modem is in progress.") + CRLF + CRLF +
                 "Closing the upgrader now can leave the terminal without working software." +
                 CRLF + CRLF + "Do you want to close the upgrader anyway?",
             vbYesNo | vbExclamation | vbDefaultButton2, kProgramTitle);
  const bool close = answer == vbYes && !st.bUnloaded;
  Util_LogWrite(INF, close ? "Closing during the upgrade: confirmed." : "The upgrade goes on.");
  return close;
}

void AppFrame::mnuFileExit_Click() {
  if (!ConfirmClose()) return;
  up.log.Util_LogClose();
  up.platform.pump().pauseMs(10);
  UnloadMainWindow();
}

void AppFrame::UnloadMainWindow() {
  if (st.bUnloaded) return;
  Form_QueryUnload();
  Form_Unload();
  st.bUnloaded = true;
  up.platform.ui().quit();
}

}  // namespace orvex
