#include "transfer/software_upgrade.h"

#include <cctype>
#include <filesystem>

#include "app/upgrader.h"
#include "transfer/ftp_engine.h"
#include "transfer/remote_listing.h"
#include "ui/main_window.h"
#include "zing/zing_channel.h"

namespace fs = std::filesystem;

namespace orvex {

namespace {

const std::string kLine = "-----------------------------";

bool ContainsNoCase(const std::string& text, const std::string& part) {
  auto lower = [](std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
  };
  return lower(text).find(lower(part)) != std::string::npos;
}

std::string Quoted(const std::string& s) {
  return "\"" + s + "\"";
}

}  // namespace

SoftwareUpgrade::SoftwareUpgrade(Upgrader& up)
    : Part(up),
      tmrDelayedSwUpgIgnite(up.platform, "tmrDelayedSwUpgIgnite", 12000, up.cfg.timeScale,
                            [this] { tmrDelayedSwUpgIgnite_Timer(); }),
      tmrImagePutTrig(up.platform, "tmrImagePutTrig", 2000, up.cfg.timeScale,
                      [this] { tmrImagePutTrig_Timer(); }) {}

void SoftwareUpgrade::UPG_HandleSwUpgradePreparation() {
  Util_LogWrite(VRB, ">> UPG_HandleSwUpgradePreparation()");
  Util_LogWrite(DET, "UpgPrepState: " + Util_UpgPrepStateName(st.upgPrepState));
  switch (st.upgPrepState) {
    case UPG_PREP_IDLE:
      if (!VersionKnownForBackup()) return;
      up.zing.ZingReq_PrepareTerminalFileSystem();
      break;
    case UPG_PREP_FS_READY: up.zing.ZingReq_HaltStack(); break;
    case UPG_PREP_STACK_READY:
      st.upgPrepState = UPG_PREP_ALL_DONE;
      Util_LogWrite(DET, "upgPrepState = " + Util_UpgPrepStateName(st.upgPrepState));
      if (st.bBootromMode) {
        Util_LogWrite(VRB, "BOOTROM mode, no-backup required, start upload new binary.");
        UPG_UploadOrvexBinToTarget();
      } else {
        Util_LogWrite(VRB, "Proceeeding with Regular Upgrade ...");
        tmrDelayedSwUpgIgnite.setEnabled(true);
      }
      break;
    default:
      Util_LogWrite(ERR, "Unexpected Preparation State: " + std::to_string(st.upgPrepState));
      break;
  }
}

bool SoftwareUpgrade::VersionKnownForBackup() {
  if (st.bBootromMode || (!st.strCurrSwVersion.empty() && st.strCurrSwVersion != "0_0_0_0"))
    return true;
  // Without the version the running image has no backup name, and the
  // terminal would be upgraded with no way back.
  Util_LogWrite(ERR, "The terminal's software version is unknown: no software upgrade.");
  up.ftp.EndChainOnFailure("the terminal's software version is unknown");
  up.ui.SetMouseCursor(0);
  MsgBox(std::string("The software version of the Satellite IP Modem is not known, so its "
                     "software cannot be backed up.") +
             CRLF + "Operation cancelled. The terminal keeps its current software." + CRLF + CRLF +
             "Check the connection and retry the upgrade.",
         vbExclamation, kProgramTitle);
  SetStatus("");
  return false;
}

void SoftwareUpgrade::tmrDelayedSwUpgIgnite_Timer() {
  Util_LogWrite(VRB, ">> tmrDelayedSwUpgIgnite() ");
  tmrDelayedSwUpgIgnite.setEnabled(false);
  UPG_SoftwareUpgradeIgnite();
}

void SoftwareUpgrade::UPG_SoftwareUpgradeIgnite() {
  Util_LogWrite(VRB, ">> UPG_SoftwareUpgradeIgnite()");
  if (!VersionKnownForBackup()) return;
  const std::string backupName = ImageFileName(st.strCurrSwVersion);
  for (const auto& name : FindFiles(st.strBackupDir, "orvex*.bin")) {
    if (name == backupName) {
      Util_LogWrite(INF, "Backup binary exists.");
      break;
    }
  }
  auto& ftp = *up.ftp.inetFTP;
  ftp.setRemoteHost(st.strModemIPAddress);
  strLocalImageFile = Quoted(LocalImageTxt());
  Util_LogWrite(DET, "Image path: " + strLocalImageFile);
  up.ftp.EnterStep(GET_IMG_CMD);
  SetStatus("Downloading Satellite IP Modem Image to PC...");
  st.bFtpDone = false;
  up.ftp.tmrFTPReq.setEnabled(true);
  // image.txt holds one short line: no more of it is fetched than is read.
  up.ftp.ExecuteFirstCommand(
      {"GET", {"image.txt", LocalImageTxt()}, "GET image.txt " + strLocalImageFile},
      kMaxImageTxtBytes);
  up.platform.pump().doEvents();
}

bool SoftwareUpgrade::WaitForFtpClient(const std::string& what, bool logTurns) {
  auto& ftp = *up.ftp.inetFTP;
  for (long waited = 0; ftp.stillExecuting(); waited += kFtpWaitStepMs) {
    if (st.bUnloaded) return false;  // the program is ending
    if (waited >= kFtpCommandWaitMs) {
      Util_LogWrite(ERR, "FTP command did not finish: " + what);
      up.ftp.tmrFTPReq_Timer();  // cancels it and checks the connection
      return false;
    }
    if (logTurns) {
      Util_LogWrite(DET, "Still Exec: " + BoolText(true));
      Util_LogWrite(DET, "Data: 0");
    }
    up.platform.pump().doEvents();
    up.platform.pump().sleepMs(kFtpWaitStepMs);
  }
  return true;
}

std::vector<std::string> SoftwareUpgrade::Util_getBinFileList() {
  auto& ftp = *up.ftp.inetFTP;
  auto& pump = up.platform.pump();
  Util_LogWrite(DET, "[Call]: Util_getBinFileList()");
  Util_LogWrite(DET, "Still Exec: " + BoolText(ftp.stillExecuting()));
  if (!WaitForFtpClient("LS ", true)) return {""};

  std::string chunk = ftp.getChunk(1024);
  pump.doEvents();
  if (st.bUnloaded) return {""};
  if (chunk.empty()) Util_LogWrite(INF, "Missing bin file on terminal!!!");
  std::string listing;
  do {
    Util_LogWrite(DET, std::string(CRLF) + "Raw Search Response: " + CRLF + kLine + CRLF + chunk +
                           CRLF + kLine);
    listing += chunk;
    if (listing.size() > kMaxListingBytes) {
      // No folder of the terminal lists this much: nothing can be decided
      // from it, so nothing is deleted.
      Util_LogWrite(ERR, "The list of images on the terminal is too long: stopped reading at " +
                             std::to_string(listing.size()) + " bytes.");
      return {""};
    }
    chunk = ftp.getChunk(1024);
    pump.doEvents();
  } while (!chunk.empty() && !st.bUnloaded);

  listing = Trim(listing);
  Util_LogWrite(INF,
                std::string(CRLF) + "File List: " + CRLF + kLine + CRLF + listing + CRLF + kLine);

  for (char& c : listing)
    if (c == '\n') c = ' ';
  std::vector<std::string> parts;
  for (size_t pos = 0;;) {
    const size_t cr = listing.find('\r', pos);
    parts.push_back(listing.substr(pos, cr == std::string::npos ? cr : cr - pos));
    if (cr == std::string::npos) break;
    pos = cr + 1;
  }

  auto blank = [](const std::string& part) { return part.empty() || part == " "; };
  auto isImage = [](const std::string& part) {
    return Contains(part, "orvex") && Contains(part, ".bin");
  };
  std::vector<std::string> names;
  for (const auto& part : parts) {
    if (blank(part)) continue;
    if (!isImage(part)) {
      Util_LogWrite(DET, "Skip File :" + part);
      continue;
    }
    names.push_back(Trim(part));
    Util_LogWrite(DET, "Bin File :" + names.back());
  }
  if (names.empty()) names.push_back("");
  return names;
}

// The running image is never deleted: neither the file image.txt names nor
// the image of the version the terminal reports. Without an image.txt the
// terminal runs orvex.bin, which is kept as well. The terminal's flash file
// system ignores letter case, so neither does the comparison. An entry that
// is not a plain file name (a path, "./", a control character, a wildcard)
// may name the running image in a way the comparison cannot see, so it is
// kept too.
bool SoftwareUpgrade::IsSparedFromDeletion(const std::string& entry) const {
  if (entry.empty()) return true;
  for (const char c : entry) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == '*' || c == '?' || c == '"')
      return true;
  }
  if (EqualsNoCase(entry, ImageFileName(st.strCurrSwVersion))) return true;
  if (!bImageValid) return ContainsNoCase("orvex.bin", entry);
  // Without the running image's name nothing can be told apart: keep all.
  if (strCurrExecutable.empty()) return true;
  return ContainsNoCase(strCurrExecutable, entry);
}

void SoftwareUpgrade::UPG_HandleOldBinDeletions() {
  Util_LogWrite(VRB, ">> UPG_HandleOldBinDeletions()");
  const std::vector<std::string> files = Util_getBinFileList();
  if (st.bFtpDone || st.bUnloaded) return;  // the listing never finished
  bDefaultImageListed = false;
  for (const auto& listed : files) bDefaultImageListed |= EqualsNoCase(listed, "orvex.bin");
  Util_LogWrite(INF, "Current running release: " + strCurrExecutable + "**");
  SetStatus("Cleaning Up Flash Memory...");

  const size_t last = files.front().empty() ? 0 : files.size() - 1;
  if (bImageValid) {
    for (char& c : strCurrExecutable)
      if (c == '\n') c = ' ';
    strCurrExecutable = Trim(strCurrExecutable);
  }
  auto& ftp = *up.ftp.inetFTP;
  for (size_t i = 0; i <= last; ++i) {
    const std::string& listed = files[i];
    Util_LogWrite(DET, "**" + listed + "**");
    // The rule looks at the name the terminal will be sent.
    const std::string entry = listed == " " ? listed : NameAsSent(listed);
    if (IsSparedFromDeletion(entry)) {
      Util_LogWrite(VRB, "Skip deleting this file: " + entry);
    } else if (entry != " ") {
      st.ftpState = DELETE_OLD_ORVEX_FILE;
      Util_LogWrite(DET, "FTP state : DELETE_OLD_ORVEX_FILE >> " + entry);
      ftp.execute({"Delete", {entry}});
      if (!WaitForFtpClient("Delete " + entry, false)) return;
      Util_LogWrite(DET, "FTP state : DELETE_OLD_ORVEX_FILE");
      // A refused delete, a reset or a closed connection ended the chain
      // with its message, and a closing window ends it too: stop deleting.
      if (st.bFtpDone || st.bUnloaded) return;
    }
  }
}

void SoftwareUpgrade::UPG_HandleSwBackupAndProceed() {
  Util_LogWrite(VRB, ">> UPG_HandleSwBackupAndProceed()");
  std::string name;
  if (bImageValid) {
    const size_t pos = strCurrExecutable.find("orvex");
    if (pos != std::string::npos) name = strCurrExecutable.substr(pos);
    Util_LogWrite(DET, "(Image) Current executable file is " + strCurrExecutable);
  } else {
    Util_LogWrite(DET, "No Image backup default orvex.bin");
    SetStatus("Downloading Satellite IP Modem software to PC...");
    name = ImageFileName(st.strCurrSwVersion);
  }
  std::string found;
  if (!name.empty() && name.find_first_of("*?") == std::string::npos) {
    const auto matches = FindFiles(st.strBackupDir, name);
    if (!matches.empty()) found = matches.front();
  }
  // The old copy stays until a complete new one replaces it; only a
  // download that an earlier run left unfinished is removed.
  Util_LogWrite(INF, "Backup kept until its new copy is complete: " + found);
  UPG_CleanupFolder4Backup(found);
  UPG_GetCurrentOrvexBintoPc();
  up.platform.pump().doEvents();
}

void SoftwareUpgrade::UPG_CleanupFolder4Backup(const std::string& fileName) {
  Util_LogWrite(DET, ">> UPG_CleanupFolder4Backup() File: " + fileName);
  if (fileName.empty()) return;
  std::error_code ec;
  fs::remove(fs::path(BackupPartFor(fileName)), ec);
}

std::string SoftwareUpgrade::LocalImageTxt() const {
  return (st.strScratchDir.empty() ? st.strHomeDir : st.strScratchDir) + "image.txt";
}

std::string SoftwareUpgrade::BackupPartFor(const std::string& name) const {
  const std::string folder =
      st.strScratchDir.empty() ? st.strBackupDir + PathSep() : st.strScratchDir;
  return folder + name + kPartSuffix;
}

void SoftwareUpgrade::UPG_GetCurrentOrvexBintoPc() {
  Util_LogWrite(VRB, ">> UPG_GetCurrentOrvexBintoPc()");
  up.ftp.EnterStep(GET_BIN_CMD);
  up.ui.SetMouseCursor(1);
  SetStatus("Downloading Satellite IP Modem Binary to PC...");
  st.bFtpDone = false;
  up.ftp.tmrFTPReq.setEnabled(true);
  // The copy is of the file the terminal boots: the one image.txt names
  // (the one the deletion rule spared), else orvex.bin. A name that is not
  // a plain path goes into no command; the reported version names it then.
  const bool plain = !strCurrExecutable.empty() &&
                     strCurrExecutable.find("..") == std::string::npos &&
                     strCurrExecutable.find_first_not_of(
                         "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_./-") ==
                         std::string::npos;
  const std::string remote = !bImageValid ? "/tffs0/bin/orvex.bin"
                             : plain      ? "/tffs0" + strCurrExecutable
                                          : "/tffs0/bin/" + ImageFileName(st.strCurrSwVersion);
  // The download goes to a temporary name; the old copy is replaced only
  // once the new one is complete.
  backupFinal_ = st.strBackupDir + PathSep() + ImageFileName(st.strCurrSwVersion);
  backupPart_ = BackupPartFor(ImageFileName(st.strCurrSwVersion));
  const std::string command = "GET " + Quoted(remote) + " " + Quoted(backupPart_);
  Util_LogWrite(DET, "UPG_GetCurrentOrvexBintoPc(): " + command);
  up.ftp.inetFTP->execute({"GET", {remote, backupPart_}, command});
}

void SoftwareUpgrade::UPG_UploadOrvexBinToTarget() {
  Util_LogWrite(VRB, ">> UPG_UploadOrvexBinToTarget()");
  up.ftp.EnterStep(PUT_NEW_BIN_CMD);
  up.ui.SetMouseCursor(1);
  SetStatus("Uploading Satellite IP Modem Binary to Terminal...");
  up.ftp.inetFTP->setRemoteHost(st.strModemIPAddress);
  st.bFtpDone = false;
  // The release file as start-up found it: its letters may differ in case.
  const std::string image = ImageFileName(st.strNewSwVersion);
  const std::string local = EqualsNoCase(st.strLocalBinFile, image) ? st.strLocalBinFile : image;
  PutImage(st.strHomeDir + local, st.strNewSwVersion);
}

namespace {

std::string FileName(const std::string& remotePath) {
  const size_t slash = remotePath.rfind('/');
  return slash == std::string::npos ? remotePath : remotePath.substr(slash + 1);
}

std::string Folder(const std::string& remotePath) {
  const size_t slash = remotePath.rfind('/');
  return slash == std::string::npos ? std::string() : remotePath.substr(0, slash);
}

}  // namespace

void SoftwareUpgrade::PutImage(const std::string& localPath, const std::string& version) {
  install_ = {};
  install_.localPath = localPath;
  install_.finalPath = "/tffs0/bin/" + ImageFileName(version);
  install_.size = FileLength(localPath);
  install_.putState = st.ftpState;
  // The first command of a restore, and of an upgrade in BOOTROM mode.
  up.ftp.StartFirstStep(CHECK_RENAME_CMD, {"HELP", {}});
}

void SoftwareUpgrade::CheckRenameSupport() {
  Util_LogWrite(VRB, ">> CheckRenameSupport()");
  auto& ftp = *up.ftp.inetFTP;
  std::string help;
  for (std::string chunk = ftp.getChunk(1024); !chunk.empty(); chunk = ftp.getChunk(1024)) {
    help += chunk;
    if (help.size() > kMaxListingBytes) break;
  }
  // The commands are words of the reply lines after their codes.
  bool rnfr = false, rnto = false;
  std::string word;
  for (size_t i = 0; i <= help.size(); ++i) {
    const char c = i < help.size() ? help[i] : ' ';
    if (std::isalpha(static_cast<unsigned char>(c))) {
      word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      continue;
    }
    rnfr = rnfr || word == "RNFR";
    rnto = rnto || word == "RNTO";
    word.clear();
  }
  PutImageChecked(rnfr && rnto);
}

bool SoftwareUpgrade::IsRunningImage(const std::string& finalPath, bool restore) const {
  const std::string name = FileName(finalPath);
  if (EqualsNoCase(name, ImageFileName(st.strCurrSwVersion))) return true;
  // A restore reads no image.txt; what an upgrade read earlier is stale.
  if (restore || !bImageValid) return false;
  return EqualsNoCase(FileName(strCurrExecutable), name);
}

void SoftwareUpgrade::PutImageChecked(bool renameWorks) {
  bRenameWorks = renameWorks;
  Util_LogWrite(INF, renameWorks ? "The terminal's FTP server renames files."
                                 : "The terminal's FTP server cannot rename files: the image is "
                                   "put under its final name.");
  const bool restore = install_.putState == PUT_RESTORE_BIN_CMD;
  up.ftp.EnterStep(restore ? PUT_RESTORE_BIN_CMD : PUT_NEW_BIN_CMD);
  if (!renameWorks && !st.bBootromMode && IsRunningImage(install_.finalPath, restore)) {
    // Without a rename the new copy would be written over the image that
    // runs, and a cut-off upload would leave the terminal unable to boot.
    Util_LogWrite(ERR, "Not put: " + install_.finalPath +
                           " is the running image and the terminal cannot rename files.");
    up.ftp.EndChainOnFailure("the running image would be overwritten: " + install_.finalPath);
    up.ui.SetMouseCursor(0);
    MsgBox(std::string("The Satellite IP Modem already runs this software version (") +
               FileName(install_.finalPath) + ")." + CRLF +
               "Its FTP server cannot rename files, so the same version cannot be installed "
               "over the running software." +
               CRLF + "Operation cancelled. The terminal keeps its current software.",
           vbExclamation, kProgramTitle);
    SetStatus("");
    return;
  }
  install_.partPath = renameWorks ? install_.finalPath + kPartSuffix : install_.finalPath;
  const std::string command = "PUT " + Quoted(install_.localPath) + " " + install_.partPath;
  if (!restore) Util_LogWrite(DET, "UPG_UploadOrvexBinToTarget(): " + command);
  up.ftp.inetFTP->execute({"PUT", {install_.localPath, install_.partPath}, command});
}

void SoftwareUpgrade::VerifyUploadedImage() {
  Util_LogWrite(VRB, ">> VerifyUploadedImage()");
  SetStatus("Verifying the software image on the Satellite IP Modem...");
  up.ftp.StartStep(VERIFY_NEW_BIN_CMD, {"DIR", {Folder(install_.partPath)}}, true);
}

void SoftwareUpgrade::CheckUploadedImageSize() {
  Util_LogWrite(VRB, ">> CheckUploadedImageSize()");
  auto& ftp = *up.ftp.inetFTP;
  std::string listing;
  for (std::string chunk = ftp.getChunk(1024); !chunk.empty(); chunk = ftp.getChunk(1024)) {
    listing += chunk;
    if (listing.size() > kMaxListingBytes) break;
  }
  const std::string name = FileName(install_.partPath);
  const auto size = SizeInLongListing(listing, name);
  if (!size) {
    Util_LogWrite(ERR, "Image not found in the listing of the terminal: " + install_.partPath);
  } else if (install_.size < 0 || *size != install_.size) {
    Util_LogWrite(ERR, "Image size on the terminal: " + std::to_string(*size) +
                           " bytes; on the PC: " + std::to_string(install_.size) + " bytes.");
  }
  if (!size || install_.size < 0 || *size != install_.size) {
    AbandonUploadedImage(
        std::string("The software image on the Satellite IP Modem is not complete.") + CRLF +
        "Operation cancelled. The terminal keeps its current software." + CRLF + CRLF +
        "Check the free space on the terminal's flash and retry the upgrade.");
    return;
  }
  Util_LogWrite(INF, "Image verified on the terminal: " + install_.partPath + ", " +
                         std::to_string(*size) + " bytes.");
  if (bRenameWorks)
    RenameUploadedImage();
  else
    up.ftp.UPG_CloseFtpForImagePut();
}

void SoftwareUpgrade::RenameUploadedImage() {
  Util_LogWrite(VRB, ">> RenameUploadedImage()");
  up.ftp.StartStep(RENAME_NEW_BIN_CMD, {"RENAME", {install_.partPath, install_.finalPath}}, true);
}

void SoftwareUpgrade::AbandonUploadedImage(const std::string& message) {
  Util_LogWrite(VRB, ">> AbandonUploadedImage()");
  install_.failure = message;
  up.ftp.StartStep(DELETE_PART_BIN_CMD, {"Delete", {install_.partPath}}, true);
}

void SoftwareUpgrade::ReportAbandonedImage() {
  Util_LogWrite(VRB, ">> ReportAbandonedImage()");
  up.ftp.EndChainOnFailure("the new image was not installed: " + install_.partPath);
  up.ui.SetMouseCursor(0);
  MsgBox(install_.failure, vbExclamation, kProgramTitle);
  SetStatus("");
}

bool SoftwareUpgrade::CommitBackup() {
  std::error_code ec;
  if (backupPart_.empty() || !fs::is_regular_file(fs::path(backupPart_), ec)) {
    Util_LogWrite(ERR, "The backup download left no file: " + backupPart_);
    return false;
  }
  if (FileLength(backupPart_) <= 0) {
    // An empty copy is no backup: the old one, if any, stays as it was.
    Util_LogWrite(ERR, "The terminal's image is empty; no backup taken: " + backupFinal_);
    DiscardPartialBackup();
    return true;
  }
  // The part may be in a working folder on another disk.
  const std::string moveError = MoveIntoPlace(backupPart_, backupFinal_);
  if (!moveError.empty()) {
    Util_LogWrite(ERR, "Unable to keep the backup " + backupFinal_ + ": " + moveError);
    DiscardPartialBackup();
    return false;
  }
  // An older copy under the same name in other letter case is superseded.
  const std::string finalName = fs::path(backupFinal_).filename().string();
  for (const auto& name : FindFiles(st.strBackupDir, "orvex*.bin"))
    if (name != finalName && EqualsNoCase(name, finalName))
      fs::remove(fs::path(st.strBackupDir + PathSep() + name), ec);
  Util_LogWrite(INF, "Backup saved: " + backupFinal_);
  return true;
}

void SoftwareUpgrade::DiscardPartialBackup() {
  if (backupPart_.empty()) return;
  std::error_code ec;
  fs::remove(fs::path(backupPart_), ec);
}

}  // namespace orvex
