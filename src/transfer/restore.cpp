// Restore of an older software image from the Backup folder, with its
// dialog frmRestore.
#include <cctype>

#include "app/app_frame.h"
#include "app/upgrader.h"
#include "transfer/ftp_engine.h"
#include "transfer/software_upgrade.h"
#include "ui/main_window.h"
#include "upgrade/release_series.h"
#include "upgrade/sequencer.h"
#include "zing/zing_channel.h"

namespace orvex {

namespace {

std::string Replaced(std::string s, char from, char to) {
  for (char& c : s)
    if (c == from) c = to;
  return s;
}

// The version of a backup image named orvex_ + version + .bin; empty for a
// file named otherwise (a plain orvex.bin, say), which cannot be restored
// under a version of its own.
std::string BackupVersion(const std::string& name) {
  const std::string version = AppFrame::ImageVersionFromName(name);
  if (version.empty() || !EqualsNoCase(Left(name, 6), "orvex_") ||
      !EqualsNoCase(name, ImageFileName(version)))
    return "";
  for (char c : version)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return "";
  return version;
}

}  // namespace

std::string SoftwareUpgrade::BackupFileFor(const std::string& version) const {
  const std::string name = ImageFileName(version);
  for (const auto& file : FindFiles(st.strBackupDir, "orvex*.bin"))
    if (EqualsNoCase(file, name)) return file;
  return name;
}

void SoftwareUpgrade::cmdRestore_Click() {
  Util_LogWrite(VRB, ">> cmdRestore_Click()");
  st.refusal = Refusal::None;
  if (st.strModemIPAddress.empty()) {
    MsgBox("Please enter Satellite IP Modem's IP address.", vbOKOnly | vbInformation);
    return;
  }
  if (st.strCurrSwVersion == "0_0_0_0") {
    up.zing.ZingReq_GetCurrentSoftwareVersion();
    // The version exchange gives the pointer back when it ends.
    long waited = 0;
    while (st.screenMousePointer == vbArrowHourglass) {
      if (st.bUnloaded) return;  // the program is ending
      if (waited >= kVersionWaitMs) {
        Util_LogWrite(ERR, "No software version from the terminal; restore abandoned.");
        up.ui.SetMouseCursor(0);
        return;
      }
      up.platform.pump().doEvents();
      up.platform.pump().sleepMs(kFtpWaitStepMs);
      waited += kFtpWaitStepMs;
    }
  }
  if (!st.bOkToFTP) return;

  up.ui.SetMouseCursor(1);
  restoreVersionCount = 0;
  strRestoreVersion.clear();
  const auto files = FindFiles(st.strBackupDir, "orvex*.bin");
  restoreVersions.assign(files.size() + 1, "");
  for (const auto& name : files) {
    const std::string version = BackupVersion(name);
    // An empty copy is what an interrupted backup leaves: never restore it.
    if (version.empty() || FileLength(st.strBackupDir + PathSep() + name) <= 0) {
      Util_LogWrite(DET, "Skip backup file: " + name);
      continue;
    }
    restoreVersions[static_cast<size_t>(restoreVersionCount++)] = Replaced(version, '_', '.');
  }
  up.ui.SetMouseCursor(0);

  if (restoreVersionCount > 0) {
    frmRestore_Form_Load();
    up.platform.ui().showModal("frmRestore");
  } else {
    MsgBox("No old versions are available.", vbOKOnly | vbExclamation);
  }
  for (long i = 0; i < restoreVersionCount; ++i) restoreVersions[static_cast<size_t>(i)].clear();

  if (strRestoreVersion.empty()) return;
  strRestoreVersion = Replaced(strRestoreVersion, '.', '_');
  if (!up.series.DetectReleaseSeriesConflict(strRestoreVersion)) {
    st.refusal = Refusal::ReleaseSeries;
    MsgBox("Release Series conflict detected. Upgrade not possible.", vbOKOnly | vbCritical);
    SetStatus("Release Series conflict detected. Upgrade not possible.");
    return;
  }

  // From here the restore is a chain of its own: it ends in success only
  // when the terminal comes back running the restored version.
  up.seq.RestoreStarted(strRestoreVersion);
  up.ui.SetMouseCursor(1);
  SetStatus("Restoring Satellite IP Modem with version " + strRestoreVersion + " ...");
  up.ftp.EnterStep(PUT_RESTORE_BIN_CMD);
  up.ftp.inetFTP->setRemoteHost(st.strModemIPAddress);
  st.bFtpDone = false;
  Util_LogWrite(DET, "Putting orvex.bin");
  restorePutVersion_ = strRestoreVersion;
  PutImage(st.strBackupDir + PathSep() + BackupFileFor(strRestoreVersion), strRestoreVersion);
  Util_LogWrite(DET, "FTP state : PUT_RESTORE_BIN_CMD");
  up.ui.UI_UpdateUIUpgState(2);
}

void SoftwareUpgrade::frmRestore_Form_Load() {
  Util_LogWrite(VRB, ">> frmRestore_Form_Load()");
  win.clearList("lstOldSoftwareVersions");
  for (long i = 0; i < restoreVersionCount; ++i)
    win.addItem("lstOldSoftwareVersions", restoreVersions[static_cast<size_t>(i)]);
  win.setListIndex("lstOldSoftwareVersions", restoreVersionCount == 1 ? 0 : -1);
}

void SoftwareUpgrade::cmdOkRestore_Click() {
  Util_LogWrite(VRB, ">> cmdOkRestore_Click()");
  const Control& list = win.at("lstOldSoftwareVersions");
  strRestoreVersion.clear();
  if (list.listIndex >= 0 && static_cast<size_t>(list.listIndex) < list.items.size())
    strRestoreVersion = list.items[static_cast<size_t>(list.listIndex)];
  up.platform.ui().closeModal("frmRestore");
}

void SoftwareUpgrade::cmdCancelRestore_Click() {
  Util_LogWrite(VRB, ">> cmdCancelRestore_Click()");
  up.platform.ui().closeModal("frmRestore");
}

}  // namespace orvex
