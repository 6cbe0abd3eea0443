// The variables that several subsystems touch: the upgrade state model and
// the values that start-up sets. A variable that one subsystem alone uses
// lives in that subsystem.
#pragma once

#include <string>

#include "app/state_names.h"

namespace orvex {

// Screen pointer values as the waits of the Upgrade and Restore commands test them.
enum ScreenPointer : int { vbDefault = 0, vbArrowHourglass = 13 };

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
};

}  // namespace orvex
