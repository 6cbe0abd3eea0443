#include "zing/zing_channel.h"

#include "app/upgrader.h"

namespace orvex {

ZingChannel::ZingChannel(Upgrader& up)
    : Part(up),
      sckZING(up.platform.makeSocket("sckZING")),
      sckTest(up.platform.makeSocket("sckTest")),
      tmrConnect(up.platform, "tmrConnect", 5000, up.cfg.timeScale, [this] {}),
      tmrResponse(up.platform, "tmrResponse", 40000, up.cfg.timeScale, [this] {}),
      tmrConneTest(up.platform, "tmrConneTest", 2000, up.cfg.timeScale, [this] {}),
      tmrIbPollUpgStatus(up.platform, "tmrIbPollUpgStatus", 5000, up.cfg.timeScale, [this] {}),
      tmrIbUpgStatusCheck(up.platform, "tmrIbUpgStatusCheck", 60000, up.cfg.timeScale, [this] {}),
      tmrRefetchIbVersion(up.platform, "tmrRefetchIbVersion", 10000, up.cfg.timeScale, [this] {}),
      tmrFiveSecDelayedReset(up.platform, "tmrFiveSecDelayedReset", 5000, up.cfg.timeScale,
                             [this] { tmrFiveSecDelayedReset_Timer(); }) {}

void ZingChannel::ZingReq_GetCurrentSoftwareVersion() {}
void ZingChannel::ZingReq_RestoreFactoryDefaults() {}
void ZingChannel::ZingReq_PrepareTerminalFileSystem() {}
void ZingChannel::ZingReq_HaltStack() {}
void ZingChannel::ZingReq_UpgradeAntennaFW() {}
void ZingChannel::ZingReq_Fetch_All_Release_Info() {}
void ZingChannel::ZingReq_FetchIBUpgradeStatus() {}
void ZingChannel::ZingReq_PrepareTerm4IBUpgrade() {}
void ZingChannel::cmdGetSoftwareVersion_Click() {}
void ZingChannel::cmdResetModem_Click() {}
void ZingChannel::cmdRestoreDefaults_Click() {}
void ZingChannel::ResetTerminal() {}
void ZingChannel::tmrFiveSecDelayedReset_Timer() {
  tmrFiveSecDelayedReset.setEnabled(false);
}
std::string ZingChannel::Util_FetchAntennaClassString(long) {
  return "UNKNOWN";
}

}  // namespace orvex
