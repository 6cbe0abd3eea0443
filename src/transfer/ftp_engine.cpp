#include "transfer/ftp_engine.h"

#include <algorithm>

#include "app/app_frame.h"
#include "app/upgrader.h"
#include "pic/pic_upgrade.h"
#include "transfer/remote_listing.h"
#include "transfer/software_upgrade.h"
#include "transfer/transfer_meter.h"
#include "ui/main_window.h"
#include "upgrade/ib_upgrade.h"
#include "upgrade/sequencer.h"
#include "zing/zing_channel.h"

namespace orvex {

namespace {

const char* const kBinFolder = "/tffs0/bin";
// Leftovers kept per terminal: one per kind of checked upload is all there
// can be, a few IB names more at most.
constexpr size_t kMaxLeftovers = 16;

bool IsImageTxtState(long state) {
  return state >= CHECK_IMAGE_TXT_CMD && state <= DELETE_IMAGE_TXT_PART_CMD;
}

}  // namespace

const char* FtpStateName(long state) {
  switch (state) {
    case GET_BIN_CMD: return "GET_BIN_CMD";
    case PUT_NEW_BIN_CMD: return "PUT_NEW_BIN_CMD";
    case GET_IMG_CMD: return "GET_IMG_CMD";
    case CD_TO_BIN_FOLDER: return "CD_TO_BIN_FOLDER";
    case DELETE_OLD_ORVEX_FILE: return "DELETE_OLD_ORVEX_FILE";
    case SEARCH_ALL_BIN_FILE: return "SEARCH_ALL_BIN_FILE";
    case PUT_RESTORE_BIN_CMD: return "PUT_RESTORE_BIN_CMD";
    case CLOSE_CONNECTION: return "CLOSE_CONNECTION";
    case CLOSE_CONN_IMAGE_PUT: return "CLOSE_CONN_IMAGE_PUT";
    case GET_LOG_CMD: return "GET_LOG_CMD";
    case UPGRADE_PIC_SA_CMD: return "UPGRADE_PIC_SA_CMD";
    case UPGRADE_ANTENNA_ATB_CMD: return "UPGRADE_ANTENNA_ATB_CMD";
    case UPGRADE_ANTENNA_HPA_CMD: return "UPGRADE_ANTENNA_HPA_CMD";
    case UPGRADE_IB_SA_CMD: return "UPGRADE_IB_SA_CMD";
    case VERIFY_NEW_BIN_CMD: return "VERIFY_NEW_BIN_CMD";
    case RENAME_NEW_BIN_CMD: return "RENAME_NEW_BIN_CMD";
    case DELETE_PART_BIN_CMD: return "DELETE_PART_BIN_CMD";
    case CHECK_RENAME_CMD: return "CHECK_RENAME_CMD";
    case CLEAR_LEFTOVER_CMD: return "CLEAR_LEFTOVER_CMD";
    case VERIFY_UPLOAD_CMD: return "VERIFY_UPLOAD_CMD";
    case DELETE_UPLOAD_CMD: return "DELETE_UPLOAD_CMD";
    case CHECK_IMAGE_TXT_CMD: return "CHECK_IMAGE_TXT_CMD";
    case RENAME_IMAGE_TXT_CMD: return "RENAME_IMAGE_TXT_CMD";
    case READ_BACK_IMAGE_TXT_CMD: return "READ_BACK_IMAGE_TXT_CMD";
    case DELETE_IMAGE_TXT_PART_CMD: return "DELETE_IMAGE_TXT_PART_CMD";
    default: return "?";
  }
}

FtpEngine::FtpEngine(Upgrader& up)
    : Part(up),
      inetFTP(up.platform.makeFtpClient()),
      tmrFTPReq(up.platform, "tmrFTPReq", 65000, up.cfg.timeScale, [this] { tmrFTPReq_Timer(); }) {
  inetFTP->setStateChanged([this](int state) { inetFTP_StateChanged(state); });
  inetFTP->setTransferProgress(
      [this](const FtpTransferBytes& b) { this->up.meter.TransferBytes(b); });
}

void FtpEngine::setOKToFTP(bool flag) {
  Util_LogWrite(VRB, ">> setOKToFTP() " + BoolText(flag));
  win.setBackColor("statusLED", flag ? kColorGreen : kColorRed);
  st.bOkToFTP = flag;
}

void FtpEngine::DisableFTPbuttons() {
  Util_LogWrite(VRB, ">> DisableFTPbuttons()");
  for (const char* name :
       {"cmdUpgrade", "cmdRestore", "cmdUpgradeMenu", "cmdRestoreMenu", "txtIPAddress",
        "cmdPicUpgradeMenu", "cmdIbUpgradeMenu", "cmdAntUpgradeMenu"})
    win.setEnabled(name, false);
}

void FtpEngine::inetFTP_StateChanged(int state) {
  // A command's final state ends its transfer before the chain goes on.
  if (state == icResponseCompleted || state == icError || state == icDisconnected)
    up.meter.TransferEnded(state == icResponseCompleted);
  switch (state) {
    case icResolvingHost: Util_LogWrite(DET, "FTP-State: Resolving Host"); break;
    case icHostResolved: Util_LogWrite(DET, "FTP-State: Host Resolved"); break;
    case icConnecting: Util_LogWrite(DET, "FTP-State: Connecting..."); break;
    case icConnected: Util_LogWrite(DET, "FTP-State: Connected"); break;
    case icReceivingResponse:
      Util_LogWrite(DET,
                    "FTP-State: ReceivingResponse from command= " + std::to_string(st.ftpState));
      break;
    case icResponseReceived: Util_LogWrite(DET, "FTP-State: Resp received..."); break;
    case icDisconnecting: Util_LogWrite(DET, "FTP-State: Disconnecting..."); break;
    case icDisconnected: OnDisconnected(); break;
    case icError: OnError(); break;
    case icResponseCompleted: OnCommandComplete(); break;
    default: break;  // none, requesting, request sent
  }
}

void FtpEngine::EnterStep(long state) {
  st.ftpState = state;
  Util_LogWrite(DET, std::string("FTP state : ") + FtpStateName(state));
}

void FtpEngine::StartStep(long state, const FtpCommand& command, bool watchdog) {
  EnterStep(state);
  if (watchdog) tmrFTPReq.setEnabled(true);
  inetFTP->execute(command);
}

void FtpEngine::CloseConnection(bool watchdog) {
  Util_LogWrite(DET, "Closing FTP connection");
  if (!watchdog) tmrFTPReq.setEnabled(false);
  StartStep(CLOSE_CONNECTION, {"CLOSE", {}}, watchdog);
}

void FtpEngine::OnCommandComplete() {
  Util_LogWrite(DET, "Current FTP Command: " + std::to_string(st.ftpState));
  Util_LogWrite(DET, "FTP-State: Command Complete");
  tmrFTPReq.setEnabled(false);

  switch (st.ftpState) {
    case GET_BIN_CMD:
      Util_LogWrite(VRB,
                    "[ FTP Command Complete ] : back up current executable successfully in backup "
                    "folder");
      if (!up.sw.CommitBackup()) {
        EndChainOnFailure("the backup could not be kept");
        up.ui.SetMouseCursor(0);
        MsgBox(std::string("The backup of the Satellite IP Modem software could not be saved in "
                           "the Backup folder.") +
                   CRLF + "Operation cancelled. The terminal keeps its current software.",
               vbExclamation, kProgramTitle);
        SetStatus("");
        break;
      }
      up.sw.UPG_UploadOrvexBinToTarget();
      break;
    case PUT_NEW_BIN_CMD:
      Util_LogWrite(VRB, "[ FTP Command Complete ] : upload new software completed");
      up.sw.bRestoreImagePut = false;
      up.sw.VerifyUploadedImage();
      break;
    case GET_IMG_CMD:
      Util_LogWrite(VRB, "[ FTP Command Complete ] : Get image.txt file successful.");
      Util_LogWrite(DET, "we have the image file downloaded, start processing it");
      if (up.sw.UPG_CheckRetrievedImage()) {
        SetStatus("searching orvex.bin lists");
        Util_LogWrite(DET, "Retrieved Image file valid. Continue ..");
        StartStep(CD_TO_BIN_FOLDER, {"CD", {kBinFolder}}, false);
      } else {
        Util_LogWrite(ERR, "Retrieved Image file Corrupt. Bypassing Binary retieval.");
        Util_LogWrite(VRB, "Continuing with binary Upload  ..");
        up.sw.UPG_UploadOrvexBinToTarget();
      }
      break;
    case CD_TO_BIN_FOLDER:
      Util_LogWrite(VRB, "[ FTP Command Complete ] : Change Directory to bin folder");
      SetStatus("Retrieving binary list from Terminal.");
      StartStep(SEARCH_ALL_BIN_FILE, {"LS", {}, "LS "}, false);
      break;
    case DELETE_OLD_ORVEX_FILE:
      // The deletion loop waits for this and goes on by itself.
      Util_LogWrite(VRB, "[ FTP Command Complete ] : delete old orvex.bin file successfully");
      break;
    case SEARCH_ALL_BIN_FILE:
      Util_LogWrite(VRB, "[ FTP Command Complete ] : Lists of orvex.bin files retrieved");
      up.sw.UPG_HandleOldBinDeletions();
      // A failed delete (or one that never finished) has ended the chain with
      // its own message, and a close confirmed during the loop ends it too:
      // no backup and no upload follow it.
      if (st.bFtpDone || st.bUnloaded) break;
      SetStatus("Downloading Satellite IP Modem software to PC...");
      Util_LogWrite(DET, "current executable: " + up.sw.strCurrExecutable + "**");
      Util_LogWrite(DET, "current SoftwareFile : \"" + st.strBackupDir + PathSep() +
                             ImageFileName(st.strCurrSwVersion) + "\"");
      up.sw.UPG_HandleSwBackupAndProceed();
      break;
    case PUT_RESTORE_BIN_CMD:
      Util_LogWrite(VRB, "[ FTP Command Complete ] : restore software version completed");
      up.sw.bRestoreImagePut = true;
      up.sw.VerifyUploadedImage();
      break;
    case VERIFY_NEW_BIN_CMD: up.sw.CheckUploadedImageSize(); break;
    case RENAME_NEW_BIN_CMD:
      Util_LogWrite(VRB, "[ FTP Command Complete ] : new software image renamed into place");
      UPG_CloseFtpForImagePut();
      break;
    case DELETE_PART_BIN_CMD: up.sw.ReportAbandonedImage(); break;
    case CHECK_RENAME_CMD: up.sw.CheckRenameSupport(); break;
    case GET_LOG_CMD:
      st.bFtpDone = true;
      CloseConnection(true);
      SetStatus("Log downloaded");
      break;
    case UPGRADE_PIC_SA_CMD:
    case UPGRADE_ANTENNA_ATB_CMD:
    case UPGRADE_ANTENNA_HPA_CMD:
    case UPGRADE_IB_SA_CMD: VerifyUpload(); break;
    case CLEAR_LEFTOVER_CMD:
      Util_LogWrite(VRB, "[ FTP Command Complete ] : leftover removed: " + upload_.remote);
      LeftoverCleared();
      break;
    case VERIFY_UPLOAD_CMD: CheckUploadedSize(); break;
    case DELETE_UPLOAD_CMD: ReportRemovedUpload(true); break;
    case CHECK_IMAGE_TXT_CMD: up.sw.CheckImageTxtSize(); break;
    case RENAME_IMAGE_TXT_CMD: up.sw.ImageTxtRenamed(); break;
    case READ_BACK_IMAGE_TXT_CMD: up.sw.CompareImageTxt(); break;
    case DELETE_IMAGE_TXT_PART_CMD: up.sw.ImageTxtPartRemoved(); break;
    default:  // 19, 20: a close does not complete; nothing else is ever assigned
      EndChainOnFailure("unexpected FTP completion");
      up.ui.SetMouseCursor(0);
      MsgBox(
          "Upgrade failed.  Click OK and close the upgrader.  Check connection before retrying "
          "upgrade.  Upgrader FTP state : " +
              std::to_string(st.ftpState),
          vbExclamation, kProgramTitle);
      SetStatus("");
      break;
  }
}

void FtpEngine::ContinueAfterUpload(long state) {
  switch (state) {
    case UPGRADE_PIC_SA_CMD:
      st.bFtpDone = true;
      CloseConnection(false);
      SetStatus("PIC successfully uploaded! Wait...");
      st.picUpgradeState = PIC_UPG_STATE_PREP_INIT_CONNECT;
      Util_LogWrite(DET, "picUpgradeState = " + Util_PicUpgStateName(st.picUpgradeState));
      break;
    case UPGRADE_ANTENNA_ATB_CMD:
      if (!st.strHpaFile.empty()) {
        // The HPA upload is a command of the same chain: its failures are
        // handled like those of the ATB upload.
        st.bFtpDone = false;
        EnterStep(UPGRADE_ANTENNA_HPA_CMD);
        SetStatus("Uploading Antenna software! Wait...");
        Util_LogWrite(VRB, "Uploaded ATB file Successfully ! Continue with HPA.");
        tmrFTPReq.setEnabled(true);
        PutCheckedUpload({"PUT", {st.strHpaFile, "hpa.sxm"}});
      } else {
        st.bFtpDone = true;
        CloseConnection(false);
        SetStatus("Antenna files successfully uploaded! Please Wait...");
        Util_LogWrite(VRB, "Uploaded ATB file Successfully !");
        up.zing.ZingReq_UpgradeAntennaFW();
      }
      break;
    case UPGRADE_ANTENNA_HPA_CMD:
      CloseConnection(false);
      SetStatus("Antenna files successfully uploaded! Please Wait...");
      Util_LogWrite(VRB, "Uploaded HPA file Successfully !");
      up.zing.ZingReq_UpgradeAntennaFW();
      break;
    case UPGRADE_IB_SA_CMD:
      CloseConnection(false);
      SetStatus("IB firmware successfully uploaded! Please Wait...");
      Util_LogWrite(VRB, "Uploaded IB file Successfully !");
      up.ib.UPG_ResetTrg4IBUpgrade();
      break;
    default: break;
  }
}

void FtpEngine::OnError() {
  Util_LogWrite(DET, "FTP-State: Error");
  tmrFTPReq.setEnabled(false);
  const long code = inetFTP->responseCode();
  const std::string info = inetFTP->responseInfo();
  // A server without HELP only tells that it cannot rename either.
  const bool noHelp = st.ftpState == CHECK_RENAME_CMD && code == ftpErrServerRefused;
  if (!st.bFtpDone && st.ftpState != GET_IMG_CMD && !noHelp)
    Util_LogWrite(ERR, "Command not complete, Error code: " + std::to_string(code) + " " + info +
                           " ftp command: " + std::to_string(st.ftpState));
  if (st.bFtpDone) return;
  // Whatever the terminal holds of image.txt or of a cut-off upload, the
  // technician hears what it means for a restart.
  if ((code == ftpErrTimeout || code == ftpErrConnectionReset) && IsImageTxtState(st.ftpState)) {
    up.sw.ImageTxtCutOff();
    return;
  }
  if (code == ftpErrConnectionReset && UploadCutOff()) return;

  switch (code) {
    case ftpErrTimeout:
      EndChainOnFailure("FTP time-out");
      up.ui.SetMouseCursor(0);
      SetStatus("FTP Timeout. Checking connection.....");
      Util_LogWrite(DET, "Inside inetFtp_stateChanged, icerror");
      st.strCurrSwVersion = "0_0_0_0";
      st.bFtpTimedOut = true;
      up.zing.ZingReq_GetCurrentSoftwareVersion();
      break;
    case ftpErrServerRefused: OnServerRefused(); break;
    case ftpErrLoginRefused:
      EndChainOnFailure("FTP login refused");
      up.ui.SetMouseCursor(0);
      MsgBox("Incorrect Username or Password!", vbExclamation, kProgramTitle);
      SetStatus("");
      break;
    case ftpErrCannotConnect:
      EndChainOnFailure("no FTP connection");
      up.ui.SetMouseCursor(0);
      MsgBox("Cannot connect to Satellite IP Modem. Please check cable connection and retry.",
             vbExclamation, kProgramTitle);
      SetStatus("");
      st.strCurrSwVersion = "0_0_0_0";
      break;
    case ftpErrConnectionReset:
      // Whatever waits on this command (the deletion loop) stops here.
      EndChainOnFailure("FTP connection reset");
      SetStatus("Please check the connections to the terminal, Plug in power and try again");
      MsgBox(std::string(kClosingConnectionWarning) + CRLF, vbExclamation, kProgramTitle);
      up.app.UnloadMainWindow();
      break;
    default:
      Util_LogWrite(ERR, "[ FTP ERROR ] : unexpected FTP error occurred");
      EndChainOnFailure("FTP error " + std::to_string(code));
      up.ui.SetMouseCursor(0);
      MsgBox(std::string("An unexpected FTP error occurred.") + CRLF + "Operation cancelled." +
                 CRLF + CRLF + "Error Code:  " + std::to_string(code) + " : " + info,
             vbExclamation, kProgramTitle);
      SetStatus("");
      st.strCurrSwVersion = "0_0_0_0";
      break;
  }
}

// The server answered the command with an error: a missing file, mostly.
void FtpEngine::OnServerRefused() {
  Util_LogWrite(DET, "File not found on modem, FTP state : " + std::to_string(st.ftpState));
  const bool notFound = inetFTP->responseInfo().rfind("550", 0) == 0;
  switch (st.ftpState) {
    case GET_BIN_CMD:
      // Only a missing file goes on without a backup: after any other
      // refusal the running image would be replaced with no copy on the PC.
      if (!notFound) {
        RefusedUnexpectedly();
        break;
      }
      up.sw.DiscardPartialBackup();
      up.ui.SetMouseCursor(0);
      Util_LogWrite(DET, "orvex bin not found, continuing");
      Util_LogWrite(ERR,
                    "[ FTP ERROR ] : orvex*.bin file does not exist in flash memory, will upload "
                    "current new version to terminal");
      up.sw.UPG_UploadOrvexBinToTarget();
      break;
    case GET_IMG_CMD:
      // Only "not found" means the terminal has no image.txt; any other
      // refusal leaves the running image unknown, and nothing may be deleted.
      if (!notFound) {
        RefusedUnexpectedly();
        break;
      }
      Util_LogWrite(ERR,
                    "[ FTP ERROR ] : image.txt file does not exist in flash memory, default name "
                    "to orvex.bin");
      Util_LogWrite(DET, "Get_IMG_CMG in icerror");
      SetStatus("image file does not exist on terminal, use default software");
      up.sw.bImageValid = false;
      up.sw.strCurrExecutable.clear();
      StartStep(CD_TO_BIN_FOLDER, {"CD", {kBinFolder}}, false);
      SetStatus("Searching orvex.bin lists");
      Util_LogWrite(DET, "leaving Get_img_cmd in icerror");
      break;
    case GET_LOG_CMD:
      st.bFtpDone = true;
      up.ui.SetMouseCursor(0);
      SetStatus("Log file doesn't exist.");
      break;
    case VERIFY_NEW_BIN_CMD:
      up.sw.AbandonUploadedImage(
          std::string("The software image on the Satellite IP Modem could not be verified.") +
          CRLF + "Operation cancelled. The terminal keeps its current software." + CRLF + CRLF +
          "Error Code:  " + std::to_string(inetFTP->responseCode()) + " : " +
          inetFTP->responseInfo());
      break;
    case RENAME_NEW_BIN_CMD:
      up.sw.AbandonUploadedImage(
          std::string("The Satellite IP Modem refused to put the new software image in place.") +
          CRLF + "Operation cancelled. The terminal keeps its current software." + CRLF + CRLF +
          "Error Code:  " + std::to_string(inetFTP->responseCode()) + " : " +
          inetFTP->responseInfo());
      break;
    case PUT_NEW_BIN_CMD:
    case PUT_RESTORE_BIN_CMD:
      // A full flash keeps what it took of the image: it goes again, so
      // that the terminal has its space back.
      Util_LogWrite(ERR, "[ FTP ERROR ] : the terminal refused the software image");
      up.sw.AbandonUploadedImage(RefusalMessage());
      break;
    case CHECK_RENAME_CMD:
      Util_LogWrite(DET, "HELP refused: " + inetFTP->responseInfo());
      up.sw.PutImageChecked(false);
      break;
    case DELETE_PART_BIN_CMD:
      Util_LogWrite(ERR, "Unable to remove the unfinished image from the terminal.");
      up.sw.ReportAbandonedImage();
      break;
    case UPGRADE_PIC_SA_CMD:
    case UPGRADE_ANTENNA_ATB_CMD:
    case UPGRADE_ANTENNA_HPA_CMD:
    case UPGRADE_IB_SA_CMD:
      // A full flash keeps what it took of the file: it goes again before
      // the terminal can act on it.
      Util_LogWrite(ERR, "[ FTP ERROR ] : unexpected FTP error occurred");
      upload_ = UploadFor(st.ftpState);
      RemoveUpload(RefusalMessage());
      break;
    case CLEAR_LEFTOVER_CMD:
      // Not there is as good as removed; a file that stays ends the chain
      // before the terminal can act on it.
      if (!notFound) {
        LeftoverNotRemoved();
        break;
      }
      Util_LogWrite(DET, "Leftover not there: " + inetFTP->responseInfo());
      LeftoverCleared();
      break;
    case VERIFY_UPLOAD_CMD:
      RemoveUpload(std::string("The ") + upload_.what +
                   " on the Satellite IP Modem could not be verified." + CRLF +
                   "Operation cancelled." + CRLF + CRLF + "Error Code:  " +
                   std::to_string(inetFTP->responseCode()) + " : " + inetFTP->responseInfo());
      break;
    case DELETE_UPLOAD_CMD: ReportRemovedUpload(notFound); break;
    case CHECK_IMAGE_TXT_CMD:
    case RENAME_IMAGE_TXT_CMD:
    case READ_BACK_IMAGE_TXT_CMD:
    case DELETE_IMAGE_TXT_PART_CMD: up.sw.ImageTxtRefused(notFound); break;
    default: RefusedUnexpectedly(); break;
  }
}

std::string FtpEngine::RefusalMessage() const {
  return std::string("An unexpected FTP error occurred. Operation cancelled.") + CRLF + CRLF +
         "Error Code:  " + std::to_string(inetFTP->responseCode()) + " : " +
         inetFTP->responseInfo();
}

void FtpEngine::RefusedUnexpectedly() {
  Util_LogWrite(ERR, "[ FTP ERROR ] : unexpected FTP error occurred");
  EndChainOnFailure("FTP command refused");
  up.ui.SetMouseCursor(0);
  MsgBox(RefusalMessage(), vbExclamation, kProgramTitle);
  SetStatus("");
}

void FtpEngine::EndChainOnFailure(const std::string& reason) {
  const long failedState = st.ftpState;
  st.bFtpDone = true;
  tmrFTPReq.setEnabled(false);
  up.meter.TransferEnded(false);
  // The client is idle at the login folder for whatever chain comes next.
  inetFTP->cancel();
  if (failedState == GET_BIN_CMD) up.sw.DiscardPartialBackup();
  if (failedState == GET_LOG_CMD) return;  // the log download is no upgrade
  up.seq.EndChainOnFailure(reason + ", FTP state : " + std::to_string(failedState));
}

void FtpEngine::OnDisconnected() {
  Util_LogWrite(DET, "FTP-State: Disconnected");
  tmrFTPReq.setEnabled(false);
  const bool wasDone = st.bFtpDone;
  st.bFtpDone = true;
  up.ui.SetMouseCursor(0);
  switch (st.ftpState) {
    case CLOSE_CONNECTION:
      if (st.picUpgradeState == PIC_UPG_STATE_PREP_INIT_CONNECT) {
        // The PIC file has just been put.
        if (st.bBootromMode) {
          Util_LogWrite(INF, "Initializing PIC Upgrade.");
          up.ui.UI_UpdateUIUpgState(5);
          up.pic.Init_PIC_Upgrade();
        } else {
          Util_LogWrite(INF, "Start Preparing for PIC Upgrade");
          up.ui.UI_UpdateUIUpgState(5);
          up.pic.UPG_Prepare4PICUpgrade();
        }
      }
      break;
    case CLOSE_CONN_IMAGE_PUT:
      up.sw.tmrImagePutTrig.setEnabled(true);
      st.ftpState = CLOSE_CONNECTION;
      break;
    default:
      Util_LogWrite(ERR, "FTP connection was suddenly closed.");
      SetStatus("");
      if (IsImageTxtState(st.ftpState)) {
        if (!wasDone) up.sw.ImageTxtCutOff();
      } else if (!(!wasDone && UploadCutOff()) && st.ftpState != GET_LOG_CMD) {
        EndChainOnFailure("FTP connection closed");
        MsgBox(std::string("The FTP connection to the Satellite IP Modem was closed "
                           "unexpectedly.") +
                   CRLF + "Operation cancelled." + CRLF + CRLF +
                   "Check the connection before retrying the upgrade.",
               vbExclamation, kProgramTitle);
      }
      break;
  }
  Util_LogWrite(DET, "CLOSE: current ftp command: " + std::to_string(st.ftpState));
  Util_LogWrite(DET, "The result code: " + std::to_string(inetFTP->responseCode()));
}

void FtpEngine::tmrFTPReq_Timer() {
  Util_LogWrite(VRB, ">> tmrFTPReq_Timer()");
  if (IsImageTxtState(st.ftpState) && !st.bFtpDone) {
    up.sw.ImageTxtCutOff(false);
    return;
  }
  EndChainOnFailure("FTP watchdog expired");
  up.ui.SetMouseCursor(0);
  SetStatus("Timer expired. Checking connection....");
  st.bFtpTimedOut = true;
  st.strCurrSwVersion = "0_0_0_0";
  up.zing.ZingReq_GetCurrentSoftwareVersion();
}

void FtpEngine::UPG_CloseFtpForImagePut() {
  Util_LogWrite(DET, "Closing FTP connection");
  StartStep(CLOSE_CONN_IMAGE_PUT, {"CLOSE", {}}, true);
}

bool FtpEngine::IsCheckedUpload(long state) {
  return state == UPGRADE_PIC_SA_CMD || state == UPGRADE_ANTENNA_ATB_CMD ||
         state == UPGRADE_ANTENNA_HPA_CMD || state == UPGRADE_IB_SA_CMD;
}

FtpEngine::Upload FtpEngine::UploadFor(long state) const {
  Upload u;
  u.state = state;
  switch (state) {
    case UPGRADE_PIC_SA_CMD:
      u.local = st.strLocalPicFile;
      u.remote = "/tffs0/pic.s19";
      u.what = "PIC software";
      u.item = "PIC upgrade";
      break;
    case UPGRADE_ANTENNA_ATB_CMD:
    case UPGRADE_ANTENNA_HPA_CMD: {
      const bool atb = state == UPGRADE_ANTENNA_ATB_CMD;
      u.local = atb ? st.strAtbFile : st.strHpaFile;
      u.remote = atb ? "atb.sxm" : "hpa.sxm";
      u.what = atb ? "antenna software (ATB)" : "antenna software (HPA)";
      u.item = "antenna upgrade";
      break;
    }
    case UPGRADE_IB_SA_CMD:
      u.local = st.strGloFile;
      u.remote = "/tffs0/bin/" + st.strGloFile;
      u.what = "IB firmware";
      u.item = "IB upgrade";
      break;
    default: break;
  }
  // The local names are in the home folder.
  u.local = st.strHomeDir + u.local;
  u.size = FileLength(u.local);
  return u;
}

bool FtpEngine::HasUploadLeftover(const std::string& remote) const {
  const auto it = leftovers_.find(st.strModemIPAddress);
  return it != leftovers_.end() &&
         std::find(it->second.begin(), it->second.end(), remote) != it->second.end();
}

void FtpEngine::PutCheckedUpload(const FtpCommand& command) {
  upload_ = UploadFor(st.ftpState);
  ExecuteFirstCommand(command);
}

void FtpEngine::StartFirstStep(long state, const FtpCommand& command) {
  EnterStep(state);
  tmrFTPReq.setEnabled(true);
  ExecuteFirstCommand(command);
}

void FtpEngine::ExecuteFirstCommand(const FtpCommand& command, long long downloadLimit) {
  pending_ = {st.ftpState, command, downloadLimit};
  LoadLeftovers();
  // A cut-off upload may have left part of a file, which the terminal must
  // never act on: it goes before anything else, before any restart too.
  if (!Leftovers().empty()) {
    ClearNextLeftover();
    return;
  }
  RunPendingCommand();
}

void FtpEngine::RunPendingCommand() {
  if (IsCheckedUpload(st.ftpState)) {
    upload_ = UploadFor(st.ftpState);
    // Until it is verified or removed, the file counts as a leftover.
    KeepLeftover(upload_.remote);
  }
  if (pending_.downloadLimit >= 0) inetFTP->limitNextDownload(pending_.downloadLimit);
  inetFTP->execute(pending_.command);
}

void FtpEngine::ClearNextLeftover() {
  upload_ = LeftoverUpload(Leftovers().front());
  Util_LogWrite(INF, "Removing what an earlier upload left: " + upload_.remote);
  StartStep(CLEAR_LEFTOVER_CMD, {"Delete", {upload_.remote}}, true);
}

void FtpEngine::LeftoverCleared() {
  DropLeftover(upload_.remote);
  if (!Leftovers().empty()) {
    ClearNextLeftover();
    return;
  }
  EnterStep(pending_.state);
  tmrFTPReq.setEnabled(true);
  RunPendingCommand();
}

void FtpEngine::LeftoverNotRemoved() {
  Util_LogWrite(ERR, "Unable to remove " + upload_.remote + " from the terminal.");
  const std::string code =
      std::to_string(inetFTP->responseCode()) + " : " + inetFTP->responseInfo();
  EndChainOnFailure("what an earlier upload left stays: " + upload_.remote);
  up.ui.SetMouseCursor(0);
  MsgBox(std::string("Part of the ") + upload_.what + " that an earlier upload left on the " +
             "Satellite IP Modem could not be removed." + CRLF + "Operation cancelled." + CRLF +
             CRLF + "Error Code:  " + code + CRLF + CRLF +
             "Do not restart the Satellite IP Modem. Check the connection, then run the " +
             upload_.item + " again; it removes the file first.",
         vbExclamation, kProgramTitle);
  SetStatus("");
}

std::vector<std::string>& FtpEngine::Leftovers() {
  return leftovers_[st.strModemIPAddress];
}

namespace {

// A name the engine itself puts a checked upload under; anything else read
// back from the history goes into no command.
bool IsLeftoverName(const std::string& remote) {
  if (remote == "atb.sxm" || remote == "hpa.sxm" || remote == "/tffs0/pic.s19") return true;
  const std::string folder = "/tffs0/bin/";
  if (remote.size() > 255 || remote.rfind(folder, 0) != 0) return false;
  const std::string name = remote.substr(folder.size());
  if (name.size() < 5 || name[0] == '.' || !EqualsNoCase(name.substr(name.size() - 4), ".glo"))
    return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return c == '/' || c == '\\' || u < 0x20 || u == 0x7f;
  });
}

}  // namespace

void FtpEngine::LoadLeftovers() {
  HistoryPort* history = up.platform.history();
  if (!history) return;
  std::vector<std::string>& here = Leftovers();
  for (const std::string& remote : history->uploadLeftovers(st.strModemIPAddress)) {
    if (here.size() >= kMaxLeftovers) break;
    if (IsLeftoverName(remote) && std::find(here.begin(), here.end(), remote) == here.end())
      here.push_back(remote);
  }
}

void FtpEngine::KeepLeftover(const std::string& remote) {
  std::vector<std::string>& here = Leftovers();
  if (std::find(here.begin(), here.end(), remote) != here.end()) return;
  here.push_back(remote);
  SaveLeftovers();
}

void FtpEngine::DropLeftover(const std::string& remote) {
  if (std::erase(Leftovers(), remote) > 0) SaveLeftovers();
}

void FtpEngine::SaveLeftovers() {
  HistoryPort* history = up.platform.history();
  if (history && !history->setUploadLeftovers(st.strModemIPAddress, Leftovers()))
    Util_LogWrite(ERR, "The upgrade history could not keep the list of partial uploads: " +
                           history->lastError());
}

FtpEngine::Upload FtpEngine::LeftoverUpload(const std::string& remote) const {
  const long state = remote == "/tffs0/pic.s19" ? UPGRADE_PIC_SA_CMD
                     : remote == "atb.sxm"      ? UPGRADE_ANTENNA_ATB_CMD
                     : remote == "hpa.sxm"      ? UPGRADE_ANTENNA_HPA_CMD
                                                : UPGRADE_IB_SA_CMD;
  Upload u = UploadFor(state);
  u.remote = remote;
  return u;
}

void FtpEngine::VerifyUpload() {
  upload_ = UploadFor(st.ftpState);
  KeepLeftover(upload_.remote);
  Util_LogWrite(VRB,
                "[ FTP Command Complete ] : " + upload_.remote + " uploaded, checking its size");
  const size_t slash = upload_.remote.rfind('/');
  StartStep(VERIFY_UPLOAD_CMD,
            {"DIR", {slash == std::string::npos ? std::string() : upload_.remote.substr(0, slash)}},
            true);
}

void FtpEngine::CheckUploadedSize() {
  std::string listing;
  for (std::string chunk = inetFTP->getChunk(1024); !chunk.empty();
       chunk = inetFTP->getChunk(1024)) {
    listing += chunk;
    if (listing.size() > kMaxListingBytes) break;
  }
  const size_t slash = upload_.remote.rfind('/');
  const std::string name =
      slash == std::string::npos ? upload_.remote : upload_.remote.substr(slash + 1);
  const auto size = SizeInLongListing(listing, name);
  if (!size || upload_.size < 0 || *size != upload_.size) {
    Util_LogWrite(ERR, "Size of " + upload_.remote + " on the terminal: " +
                           (size ? std::to_string(*size) : std::string("not listed")) +
                           "; on the PC: " + std::to_string(upload_.size) + " bytes.");
    RemoveUpload(std::string("The ") + upload_.what +
                 " on the Satellite IP Modem is not complete." + CRLF + "Operation cancelled." +
                 CRLF + CRLF + "Check the free space on the terminal's flash and run the " +
                 upload_.item + " again.");
    return;
  }
  Util_LogWrite(INF, "Upload verified on the terminal: " + upload_.remote + ", " +
                         std::to_string(*size) + " bytes.");
  DropLeftover(upload_.remote);
  st.ftpState = upload_.state;
  ContinueAfterUpload(upload_.state);
}

void FtpEngine::RemoveUpload(const std::string& message) {
  upload_.failure = message;
  StartStep(DELETE_UPLOAD_CMD, {"Delete", {upload_.remote}}, true);
}

void FtpEngine::ReportRemovedUpload(bool removed) {
  std::string message = upload_.failure;
  if (removed) {
    DropLeftover(upload_.remote);
    Util_LogWrite(INF, "Removed from the terminal: " + upload_.remote);
  } else {
    Util_LogWrite(ERR, "Unable to remove " + upload_.remote + " from the terminal.");
    message += std::string(CRLF) + CRLF + "Part of the file may still be on the terminal: do not " +
               "restart the Satellite IP Modem. Run the " + upload_.item +
               " again; it removes the file first.";
  }
  EndChainOnFailure("the " + upload_.what + " was not installed: " + upload_.remote);
  up.ui.SetMouseCursor(0);
  MsgBox(message, vbExclamation, kProgramTitle);
  SetStatus("");
}

bool FtpEngine::UploadCutOff() {
  const long state = st.ftpState;
  const bool during =
      state == CLEAR_LEFTOVER_CMD || state == VERIFY_UPLOAD_CMD || state == DELETE_UPLOAD_CMD;
  const Upload u = during ? upload_ : UploadFor(state);
  if (!IsCheckedUpload(u.state)) return false;
  KeepLeftover(u.remote);
  Util_LogWrite(ERR, "The upload of " + u.remote + " was cut off.");
  EndChainOnFailure("the upload of " + u.remote + " was cut off");
  up.ui.SetMouseCursor(0);
  SetStatus("");
  // The terminal acts on a PIC file only in the shell script that follows
  // the upload: its PIC firmware is as it was, whatever arrived.
  const std::string advice =
      u.state == UPGRADE_PIC_SA_CMD
          ? std::string(
                "The PIC firmware of the terminal is unchanged: its reflash had not "
                "started.")
          : std::string("Do not restart or switch off the Satellite IP Modem.");
  const std::string lost = state == CLEAR_LEFTOVER_CMD
                               ? " removing what an earlier upload of the " + u.what + " left."
                               : " the " + u.what + " was being sent.";
  MsgBox("The connection to the Satellite IP Modem was lost while" + lost +
             " Part of the file may be on the terminal." + CRLF + CRLF + advice + CRLF +
             "Check the cable connection, then run the " + u.item +
             " again: it removes the partial file first.",
         vbExclamation, kProgramTitle);
  return true;
}

}  // namespace orvex
