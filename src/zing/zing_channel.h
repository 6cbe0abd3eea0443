// The ZING control channel: one short TCP connection per request to the
// terminal's port 1827, the connect and reply time-outs with the
// connectivity test on port 21, the request procedures, the reply
// dispatcher, the terminal version and release information, and the reset
// and factory-defaults commands.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/part.h"
#include "app/timer.h"

namespace orvex {

// What the technician is told when the IB flashing cannot be followed.
inline constexpr const char* kIbFlashingAdvice =
    "Do not switch the Satellite IP Modem off: it may still be flashing its IB firmware. Wait "
    "until it has restarted, then check its IB version using the Tools menu.";

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

  // Sending, called from the connect event
  void SendZINGCommand(long code);
  void SendZINGCommandArg(long code, std::uint8_t arg);

  // Connection events and time-outs
  void sckZING_Connect();
  void sckZING_Close();
  void sckZING_Error(long number, const std::string& description);
  void tmrConnect_Timer();
  void tmrResponse_Timer();
  void tmrConneTest_Timer();
  void sckTest_Connect();
  void sckTest_Error(long number, const std::string& description);

  // Replies and the IB progress timers
  void sckZING_DataArrival(long bytesTotal);
  void tmrIbPollUpgStatus_Timer();
  void tmrIbUpgStatusCheck_Timer();
  // The IB flashing's percentage has not moved for kIbStallPolls polls.
  void tmrIbFlashStall_Timer();
  static constexpr int kIbStallPolls = 60;
  void tmrRefetchIbVersion_Timer();

  // Terminal version and release information
  void Util_IdentifyOrvexPlatform(const std::string& version);
  bool Util_CheckReleaseDate(const std::string& versionText);
  void Util_GrabTermPICVersion(const std::string& info);
  void Util_GrabTermIBVersion(const std::string& info);
  bool Util_AntennaInfoCheck(const std::string& info);
  void Util_GrabTermAntennaVersions(const std::string& info);
  std::string Util_FetchAntennaClassString(long classId);

  // Reset and factory defaults
  void cmdResetModem_Click();
  void cmdRestoreDefaults_Click();
  void ResetTerminal();
  void tmrFiveSecDelayedReset_Timer();

  // How the last reset of the Tools menu went (Reset Modem, or Restore
  // Factory Defaults, which ends in a reset). Done (CameBack) only when the
  // terminal went down after the reset request and then answered with its
  // version; a terminal that answers without having gone down did not
  // restart (StayedUp).
  enum class ResetOutcome { None, Asked, Sent, WentDown, CameBack, StayedUp };
  ResetOutcome ResetRequestOutcome() const { return resetOutcome_; }
  // While the terminal has not yet gone down after the reset request, its
  // FTP port is tried every tick: a refused try, or one that has not
  // connected after kResetProbeWaits ticks, shows it went down.
  void tmrResetProbe_Timer();
  static constexpr int kResetProbeWaits = 3;
  static constexpr int kResetProbeTicks = 60;

  std::unique_ptr<TcpSocketPort> sckZING;
  std::unique_ptr<TcpSocketPort> sckTest;
  Timer tmrConnect;
  Timer tmrResponse;
  Timer tmrConneTest;
  Timer tmrIbPollUpgStatus;
  Timer tmrIbUpgStatusCheck;
  Timer tmrIbFlashStall;
  Timer tmrRefetchIbVersion;
  Timer tmrFiveSecDelayedReset;
  std::unique_ptr<TcpSocketPort> sckResetProbe;
  Timer tmrResetProbe;

  long pendingZingReq = 0;
  // The IB flashing's percentage when it last moved; -1 before the first.
  int ibLastPercent = -1;
  bool bAntRespAwaited = false;
  int antRespWaitCount = 0;

 private:
  // One request procedure: what differs between the members of the family.
  struct Request {
    const char* name;         // procedure name, for the entry line
    long code;                // pendingZingReq
    const char* status;       // status text while connecting
    const char* trapLabel;    // error-trap log label; nullptr: status text and return
    bool logClosing = false;  // "Closing the open Zing Socket."
    bool checkAddress = true;
    bool logSocketState = false;
    bool resetVersion = false;  // the version is unread until the reply
  };
  // Starts the connection of a request; false when it stopped early
  // (no address, or an error the procedure reports in the status bar).
  bool StartRequest(const Request& req);
  // Closes sckZING when it is not closed already; logs the line of the
  // halt-stack request when it was connected.
  void CloseForNewConnection(bool logClosing);
  void StartConnectivityTest();
  void LogTrappedError(const std::string& label, const RuntimeError& e);
  // close sckZING and set the normal pointer
  void CloseReply();
  // Drops the bytes of a reply that never became complete (and logs them).
  void DropPartialReply();
  // One whole reply, by its response code.
  void DispatchReply(const std::string& reply);
  // A failure inside an upgrade ends the chain (with the message, if any);
  // outside one it changes nothing.
  void FailChainItem(const std::string& reason, const std::string& message);
  // A preparation request of the software upgrade (check disk, halt stack)
  // was answered in a way that does not confirm it: the preparation does
  // not advance, the item ends.
  void FailPreparation(const std::string& what);

  void OnSoftwareVersion(const std::string& reply);
  void OnRestoreDefaults();
  void OnCheckDisk(const std::string& reply);
  void OnHaltStack(const std::string& reply);
  void OnAntennaUpgrade(const std::string& reply);
  void OnReleaseInfo(const std::string& reply);
  void OnIbUpgradeStatus(const std::string& reply);
  void OnIbUpgradePrepare(const std::string& reply);

  // The reset request went out: the terminal is watched until it goes down.
  void ResetSent();
  // The terminal showed it went down after the reset request (`how`).
  void ResetWentDown(const std::string& how);
  // The version reply after a reset request decides its outcome.
  void ResetAnswered();
  void StopResetProbe();

  ResetOutcome resetOutcome_ = ResetOutcome::None;
  int resetProbeTicks_ = 0;  // ticks since the reset request went out
  int resetProbeWaits_ = 0;  // ticks the current try has been connecting

  // The bytes received on the current connection that do not yet make a
  // whole reply.
  std::string zingRx_;
  // A reply longer than a reply may be was dropped: what else arrives on
  // this connection is its tail and is not read.
  bool zingRxDiscard_ = false;
  // Counts the connections started, so the dispatcher knows when a reply
  // handler has moved on to a new exchange.
  unsigned long zingExchange_ = 0;
};

}  // namespace orvex
