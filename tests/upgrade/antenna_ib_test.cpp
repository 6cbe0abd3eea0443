// The standalone antenna and IB upgrades: confirmation, class and version
// checks, the FTP commands, and the restart wait and reset that follow.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/upgrade_fixture.h"
#include "transfer/ftp_engine.h"
#include "ui/main_window.h"
#include "upgrade/antenna_upgrade.h"
#include "upgrade/ib_upgrade.h"
#include "zing/zing_channel.h"

namespace orvex::test {
namespace {

constexpr const char* kAntQuestion =
    "Do you want to proceed with the Standalone Antenna upgrade ?\r\n\r\nNote: Modem will "
    "automatically restart after successful Antenna Upgrade.";
constexpr const char* kIbQuestion =
    "Do you want to proceed with the Standalone IB upgrade ?\r\n\r\nWARNING: Please Do not "
    "interrupt the IB Upgrade once started.\r\n\r\nNote: Modem will automatically reboot between "
    "stages of the IB Upgrade.\r\nPlease wait until the Upgrade Completion indication.";

class AntennaUpgrade : public UpgradeTest {
 protected:
  void clickMenu(int answerToQuestion = vbYes) {
    p.uiFake.messages.clear();
    p.uiFake.answers.push_back(answerToQuestion);
    up->click("cmdAntUpgradeMenu");
    ASSERT_FALSE(messages().empty());
    EXPECT_EQ(messages()[0].text, kAntQuestion);
    EXPECT_EQ(messages()[0].flags, vbYesNo | vbExclamation);
    EXPECT_EQ(messages()[0].title, "ORVEX Satellite IP Modem Upgrader");
  }
};

TEST_F(AntennaUpgrade, MatchingClassesUploadAtbFirst) {
  startWith({{"ATB_XX0773112.sxm", 50}, {"HPA_X8629V3.sxm", 50}});
  bringUp();
  clickMenu();
  EXPECT_EQ(messages().size(), 1u);
  ASSERT_EQ(p.ftp().commands, std::vector<std::string>{"PUT ATB_XX0773112.sxm atb.sxm"});
  EXPECT_EQ(p.ftp().host, "127.0.0.9");
  EXPECT_EQ(up->st.ftpState, 23);
  EXPECT_TRUE(logHas("DET: \tFTP state : UPGRADE_ANTENNA_ATB_CMD"));
  EXPECT_TRUE(logHas("VRB: \t>> Antenna_SpawnUpgrade()"));
  EXPECT_EQ(status(), "Uploading Antenna software! Wait...");
  EXPECT_TRUE(up->ftp.tmrFTPReq.enabled());
  EXPECT_TRUE(p.uiFake.busy);
  EXPECT_TRUE(highlighted("frameAntenna"));
  EXPECT_EQ(up->st.strHpaFile, "HPA_X8629V3.sxm");  // for the engine's second upload
}

TEST_F(AntennaUpgrade, Class2HpaAloneMatchesAClass2Terminal) {
  startWith({{"HPA_X8853V3.sxm", 50}});
  bringUp();
  up->st.antClassId = 0;  // "Class 2": the unset ATB class number is 0 as well
  clickMenu();
  ASSERT_EQ(p.ftp().commands, std::vector<std::string>{"PUT HPA_X8853V3.sxm hpa.sxm"});
  EXPECT_EQ(up->st.ftpState, 24);
  EXPECT_TRUE(logHas("DET: \tFTP state : UPGRADE_ANTENNA_HPA_CMD"));
}

TEST_F(AntennaUpgrade, ClassChecksRefuse) {
  // Class 4 terminal, ATB part alone: the HPA class number is still 0.
  startWith({{"ATB_XX0773112.sxm", 50}});
  bringUp();
  ASSERT_EQ(up->st.antClassId, 4);
  clickMenu();
  ASSERT_EQ(messages().size(), 2u);
  EXPECT_EQ(messages()[1].text, "Antenna-Type conflict. Operation Cancelled.");
  EXPECT_EQ(messages()[1].flags, vbOKOnly | vbExclamation);
  EXPECT_EQ(messages()[1].title, "");

  // Both parts of an unknown class, terminal class not known: still refused.
  up->st.locAtbClassId = up->st.locHpaClassId = 5;
  up->st.antClassId = 5;
  clickMenu();
  EXPECT_EQ(lastMessage(), "Antenna-Type conflict. Operation Cancelled.");

  // No usable local firmware.
  up->st.locAtbClassId = up->st.locHpaClassId = up->st.antClassId = 4;
  up->st.bAntFwAvailable = false;
  clickMenu();
  EXPECT_EQ(lastMessage(), "Antenna-Type conflict. Operation Cancelled.");
  EXPECT_TRUE(p.ftp().commands.empty());
}

TEST_F(AntennaUpgrade, TerminalClassUnknownBeforeReleaseInfo) {
  startWith({{"ATB_XX0773112.sxm", 50}, {"HPA_X8629V3.sxm", 50}});
  answer(VersionReply(kVersionText));  // release information still awaited
  ASSERT_EQ(up->st.antClassId, 5);
  clickMenu();
  EXPECT_EQ(lastMessage(), "Antenna-Type conflict. Operation Cancelled.");
  EXPECT_TRUE(p.ftp().commands.empty());
}

TEST_F(AntennaUpgrade, AnswerNoOrFilesGone) {
  startWith({{"ATB_XX0773112.sxm", 50}, {"HPA_X8629V3.sxm", 50}});
  bringUp();
  up->ui.SetMouseCursor(1);
  clickMenu(vbNo);
  EXPECT_EQ(messages().size(), 1u);
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_TRUE(p.ftp().commands.empty());

  // The files are searched again when the upload starts.
  std::filesystem::remove(home.path() + "/ATB_XX0773112.sxm");
  std::filesystem::remove(home.path() + "/HPA_X8629V3.sxm");
  clickMenu();
  ASSERT_EQ(messages().size(), 2u);
  EXPECT_EQ(messages()[1].text, "Antenna Firmware files Unavailable. Operation Cancelled.");
  EXPECT_EQ(messages()[1].flags, vbOKOnly | vbExclamation);
  EXPECT_TRUE(logHas("DET: \tUnable to find Antenna-binary ATB/HPA "));
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_TRUE(p.ftp().commands.empty());

  // From the sequencer, without files: logged, and nothing is started.
  up->ant.UPG_StandaloneAntennaUpgrade();
  EXPECT_TRUE(logHas("ERR: \tNo Antenna files."));
  EXPECT_TRUE(p.ftp().commands.empty());
}

TEST_F(AntennaUpgrade, RestartWaitAsksForTheVersion) {
  startWith({{"ATB_XX0773112.sxm", 50}, {"HPA_X8629V3.sxm", 50}});
  bringUp();
  up->st.bIbRefetchDone = true;
  up->zing.ZingReq_UpgradeAntennaFW();
  answer(AntennaReply(1, "ATB 12 HPA V3"));
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_ANT_DONE);
  ASSERT_TRUE(up->ant.tmrAntUpgDelay.enabled());
  p.vclock.advance(64999);
  EXPECT_FALSE(logHas(">> tmrAntUpgDelay_Timer()"));
  p.vclock.advance(1);
  EXPECT_TRUE(logHas("VRB: \t>> tmrAntUpgDelay_Timer()"));
  EXPECT_FALSE(up->ant.tmrAntUpgDelay.enabled());
  EXPECT_FALSE(up->st.bIbRefetchDone);
  EXPECT_TRUE(up->st.bWaitTermRestart);
  EXPECT_EQ(up->st.restartRetryCount, 0);
  EXPECT_EQ(up->zing.pendingZingReq, 0x04);
  EXPECT_FALSE(p.uiFake.busy);

  // The terminal comes back: the release information continues the chain.
  answer(VersionReply(kVersionText));
  answer(ReleaseInfoReply(kReleaseText));
  EXPECT_TRUE(logHas("INF: \tSkipped Antenna & PIC Upgrades. Upgrade Complete."));
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
}

class IbUpgrade : public UpgradeTest {
 protected:
  void clickMenu(int answerToQuestion = vbYes) {
    p.uiFake.messages.clear();
    p.uiFake.answers.push_back(answerToQuestion);
    up->click("cmdIbUpgradeMenu");
    ASSERT_FALSE(messages().empty());
    EXPECT_EQ(messages()[0].text, kIbQuestion);
    EXPECT_EQ(messages()[0].flags, vbYesNo | vbExclamation);
    EXPECT_EQ(messages()[0].title, "ORVEX Satellite IP Modem Upgrader");
  }
};

TEST_F(IbUpgrade, ConfirmedUpgradePreparesUploadsAndResets) {
  startWith({{"ib_3105.glo", 25678}});
  bringUp();
  clickMenu();
  EXPECT_EQ(messages().size(), 1u);
  EXPECT_TRUE(logHas("VRB: \t>> UPG_IBUpgradeIgnite()"));
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x94", 4));

  // Accepted: the file goes to /tffs0/bin under its own name.
  up->st.bFtpDone = true;
  zing().deliver(IbPrepareReply(0));
  const std::string command = "PUT \"" + home.path() + "/ib_3105.glo\" /tffs0/bin/ib_3105.glo";
  ASSERT_EQ(p.ftp().commands, std::vector<std::string>{command});
  EXPECT_EQ(p.ftp().host, "127.0.0.9");
  EXPECT_TRUE(logHas("DET: \tUPG_StandaloneIBUpgrade() " + command));
  EXPECT_TRUE(logHas("DET: \tFTP state : UPGRADE_IB_SA_CMD"));
  EXPECT_EQ(up->st.ftpState, 25);
  EXPECT_FALSE(up->st.bFtpDone);
  EXPECT_TRUE(up->ftp.tmrFTPReq.enabled());
  EXPECT_TRUE(p.uiFake.busy);
  EXPECT_TRUE(highlighted("frameIbInfo"));
  EXPECT_EQ(status(), "IB Upgrade in Progress ...");

  // Uploaded: the terminal is reset five seconds later.
  up->ib.UPG_ResetTrg4IBUpgrade();
  EXPECT_EQ(up->st.ibUpgState, IB_UPG_RESET_SENT);
  EXPECT_TRUE(logHas("DET: \tResetting terminal in 5 sec .."));
  EXPECT_TRUE(up->zing.tmrFiveSecDelayedReset.enabled());
  p.vclock.advance(5000);
  EXPECT_TRUE(logHas(">> tmrFiveSecDelayedReset_Timer()"));
}

TEST_F(IbUpgrade, RefusedWithoutTerminalVersionOrLocalFile) {
  // No "IB: " line in the release information.
  startWith({{"ib_3105.glo", 25678}});
  bringUp("PIC: 2.03\r\nATB: 11\r\nAHW: 03\r\nHPA: V2\r\nASN: A1\r\nCLASS: 11\r\n");
  ASSERT_EQ(up->st.strTermIbVersion, "");
  clickMenu();
  ASSERT_EQ(messages().size(), 2u);
  EXPECT_EQ(messages()[1].text, "IB firmware conflict. Operation Cancelled.");
  EXPECT_EQ(messages()[1].flags, vbOKOnly | vbExclamation);
  EXPECT_EQ(messages()[1].title, "");

  up->st.strTermIbVersion = "01.00.31.02";
  up->st.bIbFwAvailable = false;
  clickMenu();
  EXPECT_EQ(lastMessage(), "IB firmware conflict. Operation Cancelled.");
  EXPECT_FALSE(logHas(">> UPG_IBUpgradeIgnite()"));

  // No: the normal pointer, nothing asked of the terminal.
  up->st.bIbFwAvailable = true;
  up->ui.SetMouseCursor(1);
  clickMenu(vbNo);
  EXPECT_EQ(messages().size(), 1u);
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_FALSE(logHas(">> UPG_IBUpgradeIgnite()"));
}

TEST_F(IbUpgrade, NoFileNameMeansNoUpload) {
  startWith({});
  bringUp();
  up->win.setText("sbUpgrade", "unchanged");
  up->ib.UPG_StandaloneIBUpgrade();
  EXPECT_TRUE(logHas(">> UPG_StandaloneIBUpgrade()"));
  EXPECT_TRUE(p.ftp().commands.empty());
  EXPECT_EQ(status(), "unchanged");
  EXPECT_FALSE(p.uiFake.busy);
}

}  // namespace
}  // namespace orvex::test
