// The main software upgrade sequence on the terminal's flash, the image
// descriptor and the restore of an older image.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/part.h"
#include "app/timer.h"

namespace orvex {

// The file name of a version's software image, on the terminal's flash and
// in the backup folder.
inline std::string ImageFileName(const std::string& version) {
  return "orvex_" + version + ".bin";
}

class SoftwareUpgrade : public Part {
 public:
  explicit SoftwareUpgrade(Upgrader& up);

  // Software upgrade sequence
  void UPG_HandleSwUpgradePreparation();
  void tmrDelayedSwUpgIgnite_Timer();
  void UPG_SoftwareUpgradeIgnite();
  std::vector<std::string> Util_getBinFileList();
  void UPG_HandleOldBinDeletions();
  void UPG_HandleSwBackupAndProceed();
  void UPG_CleanupFolder4Backup(const std::string& fileName);
  void UPG_GetCurrentOrvexBintoPc();
  void UPG_UploadOrvexBinToTarget();

  // Before the image is put: the reply to HELP tells whether the terminal
  // renames files; then the image goes up, under a temporary name when it
  // does, else under its final name (never over the running image).
  void CheckRenameSupport();
  void PutImageChecked(bool renameWorks);
  // The image just put under its temporary name: checked by its size on the
  // flash, renamed into place, or removed again.
  void VerifyUploadedImage();
  void CheckUploadedImageSize();
  void RenameUploadedImage();
  void AbandonUploadedImage(const std::string& message);
  void ReportAbandonedImage();
  // The backup just fetched under its temporary name replaces the old copy.
  // False when it could not be kept (the chain must not go on).
  bool CommitBackup();
  void DiscardPartialBackup();

  // Image descriptor image.txt
  bool UPG_CheckRetrievedImage();
  void tmrImagePutTrig_Timer();
  void createAndSendImageFile();
  void createAndSendRestoreImageFile();
  // image.txt on the terminal, after it was put: under its temporary name it
  // is checked by its size and renamed over image.txt; written in place
  // (no rename, or none over an existing file) it is read back and compared.
  void CheckImageTxtSize();
  void ImageTxtRenamed();
  void CompareImageTxt();
  void ImageTxtPartRemoved();
  void ImageTxtRefused(bool notFound);
  // The connection went (reset, closed, timed out) during those steps;
  // with the command still running (the watchdog) nothing more is sent.
  void ImageTxtCutOff(bool clientIdle = true);
  void Util_CleanUpHomeDirectory();

  // Restore and its dialog frmRestore
  void cmdRestore_Click();
  void cmdRestoreMenu_Click() { cmdRestore_Click(); }
  void frmRestore_Form_Load();
  void cmdOkRestore_Click();
  void cmdCancelRestore_Click();

  Timer tmrDelayedSwUpgIgnite;
  Timer tmrImagePutTrig;

  bool bImageValid = false;
  std::string strCurrExecutable;
  // The last /tffs0/bin listing showed the default image orvex.bin.
  bool bDefaultImageListed = false;
  std::string strLocalImageFile;
  bool bRestoreImagePut = false;
  // What HELP told in this chain: the terminal's FTP server renames files.
  bool bRenameWorks = false;

  long restoreVersionCount = 0;
  std::vector<std::string> restoreVersions;  // dot form
  std::string strRestoreVersion;

  // Bounds of the waits that pump events (milliseconds of waiting).
  static constexpr int kFtpWaitStepMs = 100;
  // A little over the FTP client's own 60-second request time-out.
  static constexpr long kFtpCommandWaitMs = 70000;
  static constexpr long kVersionWaitMs = 10L * 60 * 1000;
  // Files on their way (on the flash and in the Backup folder) carry this
  // suffix until they are complete; restore never lists them.
  static constexpr const char* kPartSuffix = ".part";
  // image.txt holds one short line; a larger file is not read.
  static constexpr size_t kMaxImageTxtBytes = 4096;
  // image.txt on its way onto the flash, beside the one the terminal boots.
  static constexpr const char* kImageTxtPart = "image.txt.part";

 private:
  // Pumps events until the FTP client is idle. False when the bound ran out
  // (the command has then been cancelled like a watchdog expiry).
  bool WaitForFtpClient(const std::string& what, bool logTurns);
  bool IsSparedFromDeletion(const std::string& entry) const;
  // False (and the chain ended with a message) when the terminal's version
  // is unknown outside BOOTROM mode.
  bool VersionKnownForBackup();
  // Writes image.txt in the home folder: the content, no line end. When it
  // cannot be written the chain ends with a message and false is returned.
  bool WriteLocalImageFile(const std::string& content);
  void ImageUploadFatal();
  // Puts the local image.txt on the terminal under this name (blocking);
  // false when the program has been ended with the fatal message, or a
  // repair of the in-place write has taken over.
  bool PutImageTxt(const std::string& agent, const std::string& remote);
  void StartImageTxtCheck();
  void ReadBackImageTxt();
  // The end of the image.txt steps: written and verified, not written (the
  // terminal boots what it booted), or perhaps damaged (no restart now).
  void ImageTxtWritten();
  void ImageTxtNotWritten(const std::string& reason);
  void ImageTxtDamaged(const std::string& reason);
  // After a failed in-place write, while the terminal's FTP answers: the
  // next step that may make image.txt bootable again (the descriptor fetched
  // at the chain start written back, else image.txt removed where orvex.bin
  // is on the flash). False when nothing is left to try.
  bool RepairImageTxt();
  void ImageTxtRemoved();
  std::string ImageTxtItem() const;
  // The PC-side working files: the copy of image.txt, and the backup of a
  // file name on its way (see SharedState::strScratchDir).
  std::string LocalImageTxt() const;
  std::string BackupPartFor(const std::string& name) const;
  // The file in the Backup folder that holds this version, by its real name.
  std::string BackupFileFor(const std::string& version) const;

  // Puts the image (the release file or a backup), once HELP has told
  // whether it can go under a temporary name.
  void PutImage(const std::string& localPath, const std::string& version);
  // The image at finalPath is the one the terminal runs (as far as known).
  bool IsRunningImage(const std::string& finalPath, bool restore) const;

  // The image on its way onto the flash.
  struct ImageInstall {
    std::string localPath;  // the file on the PC
    std::string finalPath;  // /tffs0/bin/orvex_<version>.bin
    std::string partPath;   // the same + kPartSuffix while unchecked
    long long size = -1;    // of the local file when it was put
    std::string failure;    // the message shown once the part is removed
    long putState = 0;      // PUT_NEW_BIN_CMD or PUT_RESTORE_BIN_CMD
  };
  ImageInstall install_;
  // The backup being fetched: its temporary and its final path on the PC.
  std::string backupPart_, backupFinal_;

  std::unique_ptr<FtpUploadPort> imageUpload_;
  // The image.txt being written on the terminal.
  struct ImageTxtWrite {
    bool restore = false;
    bool inPlace = false;   // written over image.txt itself
    bool partLeft = false;  // the temporary file is still on the flash
    bool written = false;   // image.txt is verified
    std::string content;
    // After a failed in-place write: what has been tried to make image.txt
    // bootable again.
    enum class Repair { None, Previous, Removed } repair = Repair::None;
  };
  ImageTxtWrite imageTxt_;
  // The version whose image the restore has put on the flash.
  std::string restorePutVersion_;
};

}  // namespace orvex
