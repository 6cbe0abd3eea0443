// The image descriptor image.txt: the check of the copy fetched from the
// terminal, and the new copy written and put on the terminal at the end of
// an upgrade or a restore.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "app/app_frame.h"
#include "app/upgrader.h"
#include "transfer/ftp_engine.h"
#include "transfer/remote_listing.h"
#include "transfer/software_upgrade.h"
#include "ui/main_window.h"
#include "upgrade/sequencer.h"
#include "zing/zing_channel.h"

namespace fs = std::filesystem;

namespace orvex {

namespace {

constexpr size_t kMaxExecutableLength = 50;

// The lines of a text file joined without their line ends (CR, LF or CR LF),
// reading at most `limit` bytes; nothing when the file is larger.
std::optional<std::string> ReadJoinedLines(const std::string& path, size_t limit) {
  std::ifstream f(fs::path(path), std::ios::binary);
  std::string raw(limit + 1, '\0');
  f.read(raw.data(), static_cast<std::streamsize>(raw.size()));
  raw.resize(static_cast<size_t>(f.gcount()));
  if (raw.size() > limit) return std::nullopt;
  std::string content;
  for (char c : raw)
    if (c != '\r' && c != '\n') content += c;
  return content;
}

}  // namespace

bool SoftwareUpgrade::UPG_CheckRetrievedImage() {
  Util_LogWrite(VRB, ">> UPG_CheckRetrievedImage()");
  strCurrExecutable.clear();
  const auto read = ReadJoinedLines(LocalImageTxt(), kMaxImageTxtBytes);
  if (!read)
    Util_LogWrite(
        ERR, "image file larger than " + std::to_string(kMaxImageTxtBytes) + " bytes: not read");
  const std::string content = read.value_or("");
  const std::string prefix = Left(content, 5);
  const std::string suffix = Right(content, 6);
  Util_LogWrite(VRB, " Image Prefix & Suffix : " + prefix + " " + suffix);
  bool accepted = prefix == "/bin/" && Contains(suffix, ".bin");
  if (accepted && content.size() < kMaxExecutableLength) {
    strCurrExecutable = content;
    bImageValid = true;
  } else if (accepted) {
    // Too long to be a name the terminal boots: the running image is unknown,
    // so nothing may be deleted or backed up by that name.
    Util_LogWrite(ERR,
                  "image file content too long: " + std::to_string(content.size()) + " characters");
    accepted = false;
  }
  Util_LogWrite(DET, "image file content:" + strCurrExecutable);
  return accepted;
}

void SoftwareUpgrade::tmrImagePutTrig_Timer() {
  Util_LogWrite(VRB, ">> tmrImagePutTrig_Timer()");
  tmrImagePutTrig.setEnabled(false);
  if (bRestoreImagePut)
    createAndSendRestoreImageFile();
  else
    createAndSendImageFile();
  bRestoreImagePut = false;
}

bool SoftwareUpgrade::WriteLocalImageFile(const std::string& content) {
  strLocalImageFile = LocalImageTxt();
  // A stale file or link of that name goes first; the new one is made here.
  std::error_code ec;
  fs::remove(fs::path(strLocalImageFile), ec);
  if (std::FILE* f = OpenForWrite(strLocalImageFile, "wbx")) {
    const bool written = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    if (std::fclose(f) == 0 && written &&
        FileLength(strLocalImageFile) == static_cast<long long>(content.size()))
      return true;
  }
  // Sending a wrong or empty image.txt would leave the terminal without a
  // bootable image: the new image stays on the flash, unnamed, and the
  // terminal keeps starting the one it runs.
  Util_LogWrite(ERR, "Unable to write " + strLocalImageFile);
  up.ftp.EndChainOnFailure("image.txt could not be written on the PC");
  up.ui.SetMouseCursor(0);
  MsgBox(std::string("Unable to write image.txt in the upgrader's folder.") + CRLF +
             "Operation cancelled. The terminal keeps its current software." + CRLF + CRLF +
             "Check that the upgrader's folder is writable and retry the upgrade.",
         vbExclamation, kProgramTitle);
  SetStatus("");
  return false;
}

namespace {

// What a technician must hear when image.txt on the terminal may be
// incomplete: a restart now could end in BOOTROM.
std::string DamagedWarning(const std::string& item) {
  return std::string(CRLF) + "WARNING: image.txt on the Satellite IP Modem may be incomplete." +
         CRLF + CRLF +
         "# Do NOT restart or switch off the Satellite IP Modem: it might not start its "
         "software." +
         CRLF + "# Check the cable connection." + CRLF + "# Run the " + item +
         " again: it writes image.txt anew.";
}

}  // namespace

std::string SoftwareUpgrade::ImageTxtItem() const {
  return imageTxt_.restore ? "restore" : "software upgrade";
}

void SoftwareUpgrade::ImageUploadFatal() {
  if (imageUpload_) imageUpload_->closeHandles();
  if (imageTxt_.inPlace && RepairImageTxt()) return;
  if (imageTxt_.inPlace) {
    // The write went to image.txt itself: what is there now is not known.
    Util_LogWrite(ERR,
                  "image.txt on the terminal may be incomplete: the terminal must not be "
                  "restarted before it is written again.");
    up.seq.EndChainOnFailure("image.txt could not be written on the terminal.");
    MsgBox(std::string("Unexpected Error !!") + CRLF + DamagedWarning(ImageTxtItem()) + CRLF +
               "The upgrader will now close.",
           vbCritical, kProgramTitle);
  } else {
    // Only the temporary file was being written: image.txt is as it was.
    up.seq.EndChainOnFailure("image.txt could not be sent to the terminal.");
    MsgBox(std::string("Unexpected Error !!") + CRLF + kClosingConnectionWarning, vbCritical,
           kProgramTitle);
  }
  up.app.UnloadMainWindow();
}

bool SoftwareUpgrade::PutImageTxt(const std::string& agent, const std::string& remote) {
  const bool restore = imageTxt_.restore;
  imageUpload_ = up.platform.makeFtpUpload();
  if (!imageUpload_->open(agent)) {
    if (restore)
      Util_LogWrite(DET, "ASCII connection open failure");
    else
      Util_LogWrite(ERR, "Connection Open failure.");
  }
  if (!imageUpload_->connect(st.strModemIPAddress, "termuser", "skyharbor")) {
    if (restore) {
      Util_LogWrite(DET, "FTP-Raw connection failure.");
    } else {
      Util_LogWrite(ERR, "[ FTP Error ] : connection for uploading image.txt file failed");
      Util_LogWrite(ERR, "FTP connection establishment failure.");
    }
    // Nothing was written yet (but a repair follows a damaging write).
    const bool inPlace = imageTxt_.inPlace;
    imageTxt_.inPlace = imageTxt_.repair != ImageTxtWrite::Repair::None;
    ImageUploadFatal();
    imageTxt_.inPlace = inPlace;
    return false;
  }
  if (!restore)
    Util_LogWrite(VRB,
                  "[ FTP Command Complete ] : connection for uploading image.txt file succeed");
  Util_LogWrite(DET, "Putting image.txt as " + remote);
  if (!imageUpload_->putFile(strLocalImageFile, remote, true)) {
    if (restore)
      Util_LogWrite(DET, "put image.txt file fail" + std::to_string(imageUpload_->lastError()));
    else
      Util_LogWrite(ERR, "[ FTP Error ] : new image.txt file upload failure." +
                             std::to_string(imageUpload_->lastError()));
    ImageUploadFatal();
    return false;
  }
  imageUpload_->closeHandles();
  return true;
}

void SoftwareUpgrade::createAndSendImageFile() {
  Util_LogWrite(VRB, ">> createAndSendImageFile()");
  imageTxt_ = {};
  imageTxt_.content = "/bin/orvex_" + st.strNewSwVersion + ".bin";
  if (!WriteLocalImageFile(imageTxt_.content)) return;
  imageTxt_.inPlace = !bRenameWorks;
  if (!PutImageTxt("ORVEX Software Upgrader", bRenameWorks ? kImageTxtPart : "image.txt")) return;
  Util_LogWrite(VRB, "[ FTP Command Complete ] : new image.txt file uploaded successfully");
  StartImageTxtCheck();
}

void SoftwareUpgrade::createAndSendRestoreImageFile() {
  Util_LogWrite(VRB, ">> createAndSendRestoreImageFile()");
  imageTxt_ = {};
  imageTxt_.restore = true;
  // The image that was put, even if another restore has been started since.
  imageTxt_.content = "/bin/orvex_" + restorePutVersion_ + ".bin";
  if (!WriteLocalImageFile(imageTxt_.content)) return;
  imageTxt_.inPlace = !bRenameWorks;
  if (!PutImageTxt("ORVEX Software Upgrader Restore", bRenameWorks ? kImageTxtPart : "image.txt"))
    return;
  StartImageTxtCheck();
}

namespace {

std::string ReadListing(FtpClientPort& ftp) {
  std::string listing;
  for (std::string chunk = ftp.getChunk(1024); !chunk.empty(); chunk = ftp.getChunk(1024)) {
    listing += chunk;
    if (listing.size() > kMaxListingBytes) break;
  }
  return listing;
}

}  // namespace

void SoftwareUpgrade::StartImageTxtCheck() {
  if (imageTxt_.inPlace) {
    ReadBackImageTxt();
    return;
  }
  auto& ftp = *up.ftp.inetFTP;
  ftp.setRemoteHost(st.strModemIPAddress);
  st.bFtpDone = false;
  up.ftp.StartStep(CHECK_IMAGE_TXT_CMD, {"DIR", {}, "DIR "}, true);
}

void SoftwareUpgrade::CheckImageTxtSize() {
  auto& ftp = *up.ftp.inetFTP;
  imageTxt_.partLeft = true;
  const auto size = SizeInLongListing(ReadListing(ftp), kImageTxtPart);
  const auto expected = static_cast<long long>(imageTxt_.content.size());
  if (!size || *size != expected) {
    Util_LogWrite(ERR, std::string("Size of ") + kImageTxtPart + " on the terminal: " +
                           (size ? std::to_string(*size) : std::string("not listed")) +
                           "; expected: " + std::to_string(expected) + " bytes.");
    up.ftp.StartStep(DELETE_IMAGE_TXT_PART_CMD, {"Delete", {kImageTxtPart}}, true);
    return;
  }
  Util_LogWrite(INF, std::string("image.txt verified on the terminal as ") + kImageTxtPart + ", " +
                         std::to_string(*size) + " bytes.");
  up.ftp.StartStep(RENAME_IMAGE_TXT_CMD, {"RENAME", {kImageTxtPart, "image.txt"}}, true);
}

void SoftwareUpgrade::ImageTxtRenamed() {
  Util_LogWrite(VRB, "[ FTP Command Complete ] : image.txt renamed into place");
  imageTxt_.partLeft = false;
  ImageTxtWritten();
}

void SoftwareUpgrade::ReadBackImageTxt() {
  auto& ftp = *up.ftp.inetFTP;
  const std::string local = LocalImageTxt() + ".readback";
  std::error_code ec;
  fs::remove(fs::path(local), ec);
  ftp.setRemoteHost(st.strModemIPAddress);
  st.bFtpDone = false;
  ftp.limitNextDownload(kMaxImageTxtBytes);
  up.ftp.StartStep(READ_BACK_IMAGE_TXT_CMD,
                   {"GET", {"image.txt", local}, "GET image.txt \"" + local + "\""}, true);
}

void SoftwareUpgrade::CompareImageTxt() {
  const std::string local = LocalImageTxt() + ".readback";
  std::ifstream f(fs::path(local), std::ios::binary);
  std::string back(kMaxImageTxtBytes + 1, '\0');
  f.read(back.data(), static_cast<std::streamsize>(back.size()));
  back.resize(static_cast<size_t>(f.gcount()));
  f.close();
  std::error_code ec;
  fs::remove(fs::path(local), ec);
  if (back != imageTxt_.content) {
    Util_LogWrite(ERR, "image.txt read back from the terminal differs from what was written (" +
                           std::to_string(back.size()) + " bytes).");
    ImageTxtDamaged("image.txt on the terminal is not what was written");
    return;
  }
  Util_LogWrite(INF, "image.txt read back from the terminal and verified.");
  imageTxt_.written = true;
  if (!imageTxt_.partLeft) {
    ImageTxtPartRemoved();
    return;
  }
  // The temporary file that the terminal would not rename goes.
  up.ftp.StartStep(DELETE_IMAGE_TXT_PART_CMD, {"Delete", {kImageTxtPart}}, true);
}

void SoftwareUpgrade::ImageTxtPartRemoved() {
  if (imageTxt_.repair == ImageTxtWrite::Repair::Removed) {
    // image.txt is gone: a read back that finds nothing confirms it.
    ReadBackImageTxt();
    return;
  }
  imageTxt_.partLeft = false;
  if (imageTxt_.written && imageTxt_.repair == ImageTxtWrite::Repair::Previous) {
    Util_LogWrite(INF, "image.txt on the terminal is as it was before the upgrade.");
    ImageTxtNotWritten("image.txt could not be replaced and was written back as it was");
  } else if (imageTxt_.written)
    ImageTxtWritten();
  else
    ImageTxtNotWritten("image.txt was not complete on the terminal");
}

void SoftwareUpgrade::ImageTxtRefused(bool notFound) {
  const std::string reply = up.ftp.inetFTP->responseInfo();
  switch (st.ftpState) {
    case CHECK_IMAGE_TXT_CMD:
      Util_LogWrite(ERR, "The terminal did not list its files: " + reply);
      ImageTxtNotWritten("image.txt could not be checked on the terminal");
      break;
    case RENAME_IMAGE_TXT_CMD:
      // Some servers rename only onto a free name: image.txt is then
      // written in place and read back.
      Util_LogWrite(INF, "The terminal does not rename over image.txt (" + reply +
                             "): image.txt is written in place.");
      imageTxt_.inPlace = true;
      if (!PutImageTxt(
              imageTxt_.restore ? "ORVEX Software Upgrader Restore" : "ORVEX Software Upgrader",
              "image.txt"))
        return;
      ReadBackImageTxt();
      break;
    case READ_BACK_IMAGE_TXT_CMD:
      if (notFound && imageTxt_.repair == ImageTxtWrite::Repair::Removed) {
        ImageTxtRemoved();
        break;
      }
      Util_LogWrite(ERR, "image.txt could not be read back: " + reply);
      ImageTxtDamaged("image.txt could not be read back from the terminal");
      break;
    default:  // DELETE_IMAGE_TXT_PART_CMD
      if (imageTxt_.repair == ImageTxtWrite::Repair::Removed) {
        Util_LogWrite(ERR, "Unable to remove image.txt: " + reply);
        ImageTxtDamaged("image.txt could not be removed from the terminal");
        break;
      }
      if (!notFound)
        Util_LogWrite(ERR, std::string("Unable to remove ") + kImageTxtPart + ": " + reply);
      ImageTxtPartRemoved();
      break;
  }
}

void SoftwareUpgrade::ImageTxtCutOff(bool clientIdle) {
  Util_LogWrite(ERR,
                "The connection to the terminal was lost while image.txt was written, FTP "
                "state : " +
                    std::to_string(st.ftpState));
  const bool repairing = imageTxt_.repair != ImageTxtWrite::Repair::None;
  // A command still running: nothing more can be sent to repair image.txt.
  if (!clientIdle && imageTxt_.inPlace) imageTxt_.repair = ImageTxtWrite::Repair::Removed;
  if (repairing) {
    if (imageTxt_.written)
      ImageTxtNotWritten("the connection was lost after image.txt was written back");
    else
      ImageTxtDamaged("the connection was lost while image.txt was repaired");
  } else if (st.ftpState == CHECK_IMAGE_TXT_CMD ||
             (st.ftpState == DELETE_IMAGE_TXT_PART_CMD && !imageTxt_.written))
    ImageTxtNotWritten("the connection was lost before image.txt was replaced");
  else if (st.ftpState == DELETE_IMAGE_TXT_PART_CMD)
    ImageTxtWritten();  // image.txt is verified; the temporary file is harmless
  else
    ImageTxtDamaged("the connection was lost while image.txt was replaced");
}

void SoftwareUpgrade::ImageTxtWritten() {
  up.ftp.tmrFTPReq.setEnabled(false);
  st.bFtpDone = true;
  // The chain ends logged out, with the client idle in the login folder.
  st.ftpState = CLOSE_CONNECTION;
  up.ftp.inetFTP->execute({"CLOSE", {}});
  SetStatus("Successfully upgraded! Wait...");
  if (imageTxt_.restore) {
    Util_LogWrite(DET, "Image File transfer complete !");
    up.seq.ItemInstalled();  // the version after the restart decides
    up.zing.tmrFiveSecDelayedReset.setEnabled(true);
    up.ui.UI_UpdateUIUpgState(1);
    Util_LogWrite(DET, "FTP state : Done sending image.txt file to terminal");
    return;
  }
  st.currUpgradeState = UPG_STATE_BIN_DONE;
  Util_LogWrite(INF, "currUpgradeState = " + Util_UpgStateName(st.currUpgradeState));
  win.setValue("chkBinUpg", 0);
  up.zing.tmrFiveSecDelayedReset.setEnabled(true);
  Util_LogWrite(DET, "Resetting terminal in 5 seconds ..");
}

void SoftwareUpgrade::ImageTxtNotWritten(const std::string& reason) {
  Util_LogWrite(ERR,
                "image.txt was not replaced; the terminal still starts the software it "
                "ran before.");
  up.ftp.EndChainOnFailure(reason);
  up.ui.SetMouseCursor(0);
  MsgBox(std::string("The new image.txt could not be put in place on the Satellite IP Modem.") +
             CRLF + "Operation cancelled. The terminal keeps its current software." + CRLF + CRLF +
             "Check the connection and run the " + ImageTxtItem() + " again.",
         vbExclamation, kProgramTitle);
  SetStatus("");
}

bool SoftwareUpgrade::RepairImageTxt() {
  using Repair = ImageTxtWrite::Repair;
  if (!imageTxt_.inPlace || imageTxt_.repair == Repair::Removed) return false;
  const std::string agent =
      imageTxt_.restore ? "ORVEX Software Upgrader Restore" : "ORVEX Software Upgrader";
  // The descriptor fetched at the chain start names the image that runs;
  // a restore fetched none.
  if (imageTxt_.repair == Repair::None && !imageTxt_.restore && !strCurrExecutable.empty()) {
    imageTxt_.repair = Repair::Previous;
    imageTxt_.content = strCurrExecutable;
    imageTxt_.written = false;
    Util_LogWrite(ERR, "image.txt is written back as it was: " + imageTxt_.content);
    std::error_code ec;
    fs::remove(fs::path(LocalImageTxt()), ec);
    if (std::FILE* f = OpenForWrite(LocalImageTxt(), "wbx")) {
      const bool written = std::fwrite(imageTxt_.content.data(), 1, imageTxt_.content.size(), f) ==
                           imageTxt_.content.size();
      if (std::fclose(f) == 0 && written) {
        strLocalImageFile = LocalImageTxt();
        if (PutImageTxt(agent, "image.txt")) ReadBackImageTxt();
        return true;
      }
    }
    Util_LogWrite(ERR, "Unable to write " + LocalImageTxt());
  }
  // Without image.txt the terminal boots its default image.
  if (!bDefaultImageListed || imageTxt_.restore) return false;
  imageTxt_.repair = Repair::Removed;
  imageTxt_.written = false;
  Util_LogWrite(ERR, "image.txt is removed: the terminal then starts /tffs0/bin/orvex.bin.");
  st.bFtpDone = false;
  up.ftp.inetFTP->setRemoteHost(st.strModemIPAddress);
  up.ftp.StartStep(DELETE_IMAGE_TXT_PART_CMD, {"Delete", {"image.txt"}}, true);
  return true;
}

void SoftwareUpgrade::ImageTxtRemoved() {
  Util_LogWrite(ERR,
                "image.txt was removed from the terminal: it starts its default software "
                "orvex.bin.");
  up.ftp.EndChainOnFailure("image.txt could not be written and was removed");
  up.ui.SetMouseCursor(0);
  MsgBox(std::string("The new image.txt could not be put in place on the Satellite IP Modem.") +
             CRLF +
             "Operation cancelled. image.txt was removed: the terminal starts its default "
             "software (orvex.bin)." +
             CRLF + CRLF + "Check the connection and run the " + ImageTxtItem() + " again.",
         vbExclamation, kProgramTitle);
  SetStatus("");
}

void SoftwareUpgrade::ImageTxtDamaged(const std::string& reason) {
  if (RepairImageTxt()) return;
  Util_LogWrite(ERR,
                "image.txt on the terminal may be incomplete: the terminal must not be "
                "restarted before it is written again.");
  up.ftp.EndChainOnFailure(reason);
  up.ui.SetMouseCursor(0);
  MsgBox(std::string("Writing image.txt on the Satellite IP Modem failed.") + CRLF +
             DamagedWarning(ImageTxtItem()),
         vbCritical, kProgramTitle);
  SetStatus("Do not restart the Satellite IP Modem: run the " + ImageTxtItem() + " again.");
}

void SoftwareUpgrade::Util_CleanUpHomeDirectory() {
  Util_LogWrite(VRB, ">> Util_CleanUpHomeDirectory()");
  const std::string folder = st.strScratchDir.empty() ? st.strHomeDir : st.strScratchDir;
  // The first image*.txt in any letter case goes, a file or a link (a
  // dangling one too), and so does every image.txt the download would meet.
  // A folder stays.
  std::vector<std::string> found;
  std::error_code ec;
  fs::directory_iterator it(fs::path(folder.empty() ? "." : folder), ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code sec;
    const std::string name = it->path().filename().string();
    if (WildcardMatch("image*.txt", name) &&
        it->symlink_status(sec).type() != fs::file_type::directory)
      found.push_back(name);
  }
  std::sort(found.begin(), found.end());
  for (size_t i = 0; i < found.size(); ++i)
    if (i == 0 || EqualsNoCase(found[i], "image.txt")) fs::remove(fs::path(folder + found[i]), ec);
}

}  // namespace orvex
