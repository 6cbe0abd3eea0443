// The ZING control channel: one short TCP connection per request to the
// terminal's port 1827, the connect and reply time-outs with the
// connectivity test on port 21, the request procedures, the reply
// dispatcher, the terminal version and release information, and the reset
// and factory-defaults commands.
#pragma once

#include <memory>
#include <string>

#include "app/part.h"
#include "app/timer.h"

namespace orvex {

class ZingChannel : public Part {
 public:
  explicit ZingChannel(Upgrader& up);

  // Requests
  void ZingReq_GetCurrentSoftwareVersion();
  void ZingReq_RestoreFactoryDefaults();
  void ZingReq_PrepareTerminalFileSystem();
  void ZingReq_HaltStack();
  void ZingReq_UpgradeAntennaFW();
  void ZingReq_Fetch_All_Release_Info();
  void ZingReq_FetchIBUpgradeStatus();
  void ZingReq_PrepareTerm4IBUpgrade();
  void cmdGetSoftwareVersion_Click();

  // Reset and factory defaults
  void cmdResetModem_Click();
  void cmdRestoreDefaults_Click();
  void ResetTerminal();
  void tmrFiveSecDelayedReset_Timer();

  // Antenna class names
  std::string Util_FetchAntennaClassString(long classId);

  std::unique_ptr<TcpSocketPort> sckZING;
  std::unique_ptr<TcpSocketPort> sckTest;
  Timer tmrConnect;
  Timer tmrResponse;
  Timer tmrConneTest;
  Timer tmrIbPollUpgStatus;
  Timer tmrIbUpgStatusCheck;
  Timer tmrRefetchIbVersion;
  Timer tmrFiveSecDelayedReset;

  long pendingZingReq = 0;
  bool bAntRespAwaited = false;
  int antRespWaitCount = 0;
};

}  // namespace orvex
