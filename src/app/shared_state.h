// The variables that several subsystems touch: the upgrade state model and
// the values that start-up sets. A variable that one subsystem alone uses
// lives in that subsystem.
#pragma once

#include <string>

#include "app/state_names.h"

namespace orvex {

// Screen pointer values as the waits of the Upgrade and Restore commands test them.
enum ScreenPointer : int { vbDefault = 0, vbArrowHourglass = 13 };

// The rule that refused the command under way: the release series, the
// antenna class, a battery in the terminal, or files of the release folder
// (more than one image, ATB, HPA or GLO file).
enum class Refusal { None, ReleaseSeries, AntennaClass, Battery, ReleaseFiles };

inline const char* RefusalName(Refusal r) {
  switch (r) {
    case Refusal::None: return "";
    case Refusal::ReleaseSeries: return "release series";
    case Refusal::AntennaClass: return "antenna class";
    case Refusal::Battery: return "battery present";
    case Refusal::ReleaseFiles: return "release folder files";
  }
  return "";
}

struct SharedState {
  // Upgrade state model
  long currUpgradeState = UPG_STATE_IDLE;
  long upgPrepState = 0;
  long picUpgradeState = 0;
  long ibUpgState = IB_UPG_IDLE;

  // Selection ("pending") flags
  bool bSwUpgPending = false;
  bool bAntUpgPending = false;
  bool bIbUpgPending = false;
  bool bPicUpgPending = false;

  // Availability of local firmware
  bool bAntFwAvailable = false;
  bool bIbFwAvailable = false;
  bool bPicFwAvailable = false;

  // Terminal and connection flags
  bool bFactoryMode = false;
  bool bBootromMode = false;
  bool bSwVersionUnavailable = false;
  bool bFtpTimedOut = false;
  bool bAntInfoValid = false;
  bool bIbRefetchDone = false;
  bool bWaitTermRestart = false;
  int restartRetryCount = 0;
  bool bOkToFTP = false;

  // FTP chain state (the command engine and the starters of each chain)
  long ftpState = 0;
  bool bFtpDone = false;

  // Addresses and folders
  std::string strModemIPAddress;
  std::string strTermOctetOne = "192";
  std::string strTermOctetTwo = "168";
  std::string strTermSubnet = "128";
  std::string strTermIP = "100";
  std::string strHomeDir;
  std::string strBackupDir;
  // Where the PC-side working files go (the copies of image.txt, the backup
  // on its way), ending in a separator; empty: image.txt in the home folder
  // and the backup beside its final name in the Backup folder.
  std::string strScratchDir;

  // Versions and platforms
  std::string strCurrSwVersion = "0_0_0_0";
  std::string strLocalBinFile;
  std::string strNewSwVersion;
  std::string strTermIbVersion;
  long antClassId = 5;
  long termPlatformId = 11;
  long pkgPlatformId = 11;
  long ibImageBlocks = 1;

  // Local release files
  std::string strAtbFile;
  std::string strHpaFile;
  std::string strGloFile;
  long locAtbClassId = 0;
  long locHpaClassId = 0;
  std::string strLocalPicFile;

  // The screen pointer (vbDefault or vbArrowHourglass)
  int screenMousePointer = vbDefault;
  // The main window has been unloaded: the program is ending.
  bool bUnloaded = false;
  // Set by the rule that refused the command under way (cleared when an
  // upgrade or a restore is asked for).
  Refusal refusal = Refusal::None;
  // The message of a release-folder refusal at start-up, for a front-end
  // that ends on it.
  std::string refusalText;
};

}  // namespace orvex
