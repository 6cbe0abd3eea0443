// The image descriptor image.txt: the check of the copy fetched from the
// terminal, and the new copy written and put on the terminal at the end of
// an upgrade or a restore.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "app/upgrader.h"
#include "transfer/software_upgrade.h"

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

void SoftwareUpgrade::ImageUploadFatal() {
  if (imageUpload_) imageUpload_->closeHandles();
  // The terminal still boots what its image.txt named before.
  up.seq.UPG_EndChainOnFailure("image.txt could not be sent to the terminal.");
  MsgBox(std::string("Unexpected Error !!") + CRLF + kClosingConnectionWarning, vbCritical,
         kProgramTitle);
  up.app.UnloadMainWindow();
}

void SoftwareUpgrade::createAndSendImageFile() {
  Util_LogWrite(VRB, ">> createAndSendImageFile()");
  if (!WriteLocalImageFile("/bin/orvex_" + st.strNewSwVersion + ".bin")) return;

  imageUpload_ = up.platform.makeFtpUpload();
  if (!imageUpload_->open("ORVEX Software Upgrader"))
    Util_LogWrite(ERR, "Connection Open failure.");
  if (!imageUpload_->connect(st.strModemIPAddress, "termuser", "skyharbor")) {
    Util_LogWrite(ERR, "[ FTP Error ] : connection for uploading image.txt file failed");
    Util_LogWrite(ERR, "FTP connection establishment failure.");
    ImageUploadFatal();
    return;
  }
  Util_LogWrite(VRB, "[ FTP Command Complete ] : connection for uploading image.txt file succeed");
  if (!imageUpload_->putFile(strLocalImageFile, "image.txt", true)) {
    Util_LogWrite(ERR, "[ FTP Error ] : new image.txt file upload failure." +
                           std::to_string(imageUpload_->lastError()));
    ImageUploadFatal();
    return;
  }
  imageUpload_->closeHandles();
  Util_LogWrite(VRB, "[ FTP Command Complete ] : new image.txt file uploaded successfully");
  st.bFtpDone = true;
  SetStatus("Successfully upgraded! Wait...");
  st.currUpgradeState = UPG_STATE_BIN_DONE;
  Util_LogWrite(INF, "currUpgradeState = " + Util_UpgStateName(st.currUpgradeState));
  win.setValue("chkBinUpg", 0);
  up.zing.tmrFiveSecDelayedReset.setEnabled(true);
  Util_LogWrite(DET, "Resetting terminal in 5 seconds ..");
}

void SoftwareUpgrade::createAndSendRestoreImageFile() {
  Util_LogWrite(VRB, ">> createAndSendRestoreImageFile()");
  // The image that was put, even if another restore has been started since.
  if (!WriteLocalImageFile("/bin/orvex_" + restorePutVersion_ + ".bin")) return;

  imageUpload_ = up.platform.makeFtpUpload();
  if (!imageUpload_->open("ORVEX Software Upgrader Restore"))
    Util_LogWrite(DET, "ASCII connection open failure");
  if (!imageUpload_->connect(st.strModemIPAddress, "termuser", "skyharbor")) {
    Util_LogWrite(DET, "FTP-Raw connection failure.");
    ImageUploadFatal();
    return;
  }
  if (!imageUpload_->putFile(strLocalImageFile, "image.txt", true)) {
    Util_LogWrite(DET, "put image.txt file fail" + std::to_string(imageUpload_->lastError()));
    ImageUploadFatal();
    return;
  }
  imageUpload_->closeHandles();
  Util_LogWrite(DET, "Image File transfer complete !");
  SetStatus("Successfully upgraded! Wait...");
  up.seq.UPG_ItemInstalled();  // the version after the restart decides
  up.zing.tmrFiveSecDelayedReset.setEnabled(true);
  up.ui.UI_UpdateUIUpgState(1);
  Util_LogWrite(DET, "FTP state : Done sending image.txt file to terminal");
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
