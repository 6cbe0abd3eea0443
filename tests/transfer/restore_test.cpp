// Restore of an older image: the list of backups, the dialog, the release
// series rule and the upload that follows.
#include "app/app_frame.h"
#include "support/transfer_fixture.h"
#include "transfer/ftp_engine.h"
#include "transfer/software_upgrade.h"
#include "upgrade/sequencer.h"
#include "zing/zing_channel.h"

namespace orvex::test {
namespace {

class RestoreTest : public TransferTest {
 protected:
  // Plays the dialog: selects `entry` (-1: none) and presses OK or Cancel.
  void choose(int entry, bool ok = true) {
    p.uiFake.onModal = [this, entry, ok](const std::string& form) {
      ASSERT_EQ(form, "frmRestore");
      shown = up->win.at("lstOldSoftwareVersions").items;
      preselected = up->win.at("lstOldSoftwareVersions").listIndex;
      if (entry != -2) up->win.setListIndex("lstOldSoftwareVersions", entry);
      up->click(ok ? "cmdOkRestore" : "cmdCancelRestore");
    };
  }
  std::vector<std::string> shown;
  int preselected = -1;
};

TEST_F(RestoreTest, OneBackupIsPreselectedAndRestored) {
  home.write("Backup/orvex_5_1_0_3.bin", "image 5.1.0.3");
  choose(-2);  // the user only presses OK
  up->click("cmdRestore");
  EXPECT_EQ(shown, (std::vector<std::string>{"5.1.0.3"}));
  EXPECT_EQ(preselected, 0);
  EXPECT_EQ(p.uiFake.closed.back(), "frmRestore");
  p.vclock.advance(10);  // HELP answered
  const std::string put =
      "PUT \"" + up->st.strBackupDir + "/orvex_5_1_0_3.bin\" /tffs0/bin/orvex_5_1_0_3.bin.part";
  ASSERT_EQ(commands(), (std::vector<std::string>{"HELP", put}));
  EXPECT_EQ(up->st.ftpState, 12);
  EXPECT_FALSE(up->st.bFtpDone);
  EXPECT_FALSE(up->ftp.tmrFTPReq.enabled());
  EXPECT_TRUE(p.uiFake.busy);
  EXPECT_EQ(status(), "Restoring Satellite IP Modem with version 5_1_0_3 ...");
  EXPECT_EQ(up->win.backColor("frameBin"), kColorHighlight);
  EXPECT_TRUE(logInOrder({"DET: \tFTP state : PUT_RESTORE_BIN_CMD", "DET: \tPutting orvex.bin",
                          "DET: \tFTP state : PUT_RESTORE_BIN_CMD"}));
  // The list is emptied again once the dialog has closed.
  EXPECT_EQ(up->sw.restoreVersions[0], "");

  p.vclock.advance(100);
  EXPECT_EQ(commands().back(), "CLOSE");
  EXPECT_TRUE(logHas("VRB: \t[ FTP Command Complete ] : restore software version completed"));
  p.vclock.advance(2000);
  EXPECT_EQ(home.read("image.txt"), "/bin/orvex_5_1_0_3.bin");
  EXPECT_TRUE(up->zing.tmrFiveSecDelayedReset.enabled());
}

// A restore ends in success only when the terminal comes back running the
// restored version; from the confirmation to the verdict no second chain
// can start.
TEST_F(RestoreTest, DoneOnlyWhenTheRestoredVersionRuns) {
  struct Row {
    const char* version;  // the terminal's answer after its restart
    bool done;
    const char* err;  // the ERR line of a failure
  };
  home.write("Backup/orvex_5_1_0_3.bin", "image 5.1.0.3");
  const Row rows[] = {
      {"5.1.0.3 Rel, Oct 29 2009 fpga 12", true, ""},
      {kVersionText, false,
       "the terminal runs software 5.1.0.9 after its restart, not the restored 5.1.0.3."},
      {"BOOTROM 1.0.4, Mar 03 2009 fpga 12", false,
       "the terminal restarted in BOOTROM mode, not with the restored software 5.1.0.3."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.version);
    p.uiFake.messages.clear();
    choose(0);
    up->click("cmdRestore");
    EXPECT_TRUE(up->app.UpgradeInProgress());
    p.vclock.advance(2100);  // the image, then image.txt
    ASSERT_TRUE(up->zing.tmrFiveSecDelayedReset.enabled());
    EXPECT_FALSE(up->win.enabled("cmdUpgrade"));
    p.vclock.advance(5000);
    connectAndTakeRequest();  // the reset
    p.vclock.advance(40000);
    EXPECT_FALSE(up->win.enabled("cmdRestore"));
    answer(VersionReply(r.version));
    ASSERT_FALSE(up->seq.itemResults().empty());
    const UpgradeItemResult& res = up->seq.itemResults().back();
    EXPECT_EQ(res.before, "5.1.0.9");
    EXPECT_EQ(res.expected, "5.1.0.3");
    EXPECT_EQ(res.outcome, r.done ? ItemOutcome::Done : ItemOutcome::Failed);
    if (r.done) {
      EXPECT_TRUE(p.uiFake.messages.empty());
      EXPECT_TRUE(logHas("INF: \tSoftware 5.1.0.3 confirmed after the restart."));
    } else {
      ASSERT_EQ(p.uiFake.messages.size(), 1u);
      EXPECT_TRUE(StartsWith(lastMessage(), "Restore failed.")) << lastMessage();
      EXPECT_EQ(p.uiFake.messages[0].flags, vbOKOnly | vbCritical);
      EXPECT_TRUE(logHas("ERR: \tUpgrade stopped: " + std::string(r.err)));
    }
    if (!up->st.bBootromMode) answer(ReleaseInfoReply(kReleaseText));
    EXPECT_FALSE(up->app.UpgradeInProgress());
    p.vclock.advance(500);
    EXPECT_TRUE(up->win.enabled("cmdRestore"));
    up->st.bBootromMode = false;
    up->st.strCurrSwVersion = "5_1_0_9";
    up->win.setText("txtCurrentSoftwareVersion", "5.1.0.9");
  }
}

TEST_F(RestoreTest, ListOrderSkipsAndCancel) {
  home.write("Backup/orvex_5_1_0_3.bin", "x");
  home.write("Backup/orvex_5_0_0_1.bin", "x");
  home.write("Backup/orvex.bin", "x");          // no version of its own
  home.write("Backup/orvex_5_1_0_7.bin", "");   // an interrupted backup
  home.write("Backup/orvex_5.1.0.8.bin", "x");  // not a version name
  home.write("Backup/notes.txt", "x");

  // OK with nothing selected is a cancel.
  choose(-1);
  up->click("cmdRestoreMenu");
  EXPECT_EQ(shown, (std::vector<std::string>{"5.0.0.1", "5.1.0.3"}));
  EXPECT_EQ(preselected, -1);
  EXPECT_TRUE(commands().empty());
  EXPECT_EQ(up->sw.strRestoreVersion, "");
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_TRUE(logHas("DET: \tSkip backup file: orvex.bin"));
  EXPECT_TRUE(logHas("DET: \tSkip backup file: orvex_5_1_0_7.bin"));

  // Cancel after a selection; the list is rebuilt from the folder each time.
  choose(1, false);
  up->click("cmdRestore");
  EXPECT_EQ(shown.size(), 2u);
  EXPECT_TRUE(commands().empty());
  EXPECT_TRUE(p.uiFake.messages.empty());
}

TEST_F(RestoreTest, ReleaseSeriesRule) {
  home.write("Backup/orvex_5_0_0_1.bin", "x");
  home.write("Backup/orvex_5_1_0_3.bin", "x");
  choose(0);  // 5.0.0.1: another series than the terminal's 5.1.0.9
  up->click("cmdRestore");
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].text, "Release Series conflict detected. Upgrade not possible.");
  EXPECT_EQ(p.uiFake.messages[0].flags, vbCritical);
  EXPECT_EQ(status(), "Release Series conflict detected. Upgrade not possible.");
  EXPECT_TRUE(commands().empty());

  up->st.bFactoryMode = true;  // factory mode allows any series
  up->click("cmdRestore");
  p.vclock.advance(10);
  ASSERT_EQ(commands().size(), 2u);
  EXPECT_EQ(commands()[1], "PUT \"" + up->st.strBackupDir +
                               "/orvex_5_0_0_1.bin\" /tffs0/bin/orvex_5_0_0_1.bin.part");
}

TEST_F(RestoreTest, TheRunningVersionIsNotPutOverItselfWithoutRename) {
  home.write("Backup/orvex_5_1_0_9.bin", "image 5.1.0.9");
  ftp->helpText = "214-Commands:\r\n RETR STOR DELE LIST NLST\r\n214 End.\r\n";
  choose(0);
  up->click("cmdRestore");
  p.vclock.advance(100);
  EXPECT_EQ(commands(), std::vector<std::string>{"HELP"});
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_TRUE(StartsWith(p.uiFake.messages[0].text,
                         "The Satellite IP Modem already runs this software version"));
  EXPECT_FALSE(p.uiFake.busy);

  up->st.bBootromMode = true;  // nothing runs from the flash
  up->click("cmdRestore");
  p.vclock.advance(15);
  EXPECT_EQ(commands().back(),
            "PUT \"" + up->st.strBackupDir + "/orvex_5_1_0_9.bin\" /tffs0/bin/orvex_5_1_0_9.bin");
}

TEST_F(RestoreTest, StopsWithoutAddressReadinessOrBackups) {
  choose(0);
  up->click("cmdRestore");
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].text, "No old versions are available.");
  EXPECT_EQ(p.uiFake.messages[0].flags, vbExclamation);
  EXPECT_TRUE(p.uiFake.modals.empty());

  home.write("Backup/orvex_5_1_0_3.bin", "x");
  up->st.bOkToFTP = false;
  up->click("cmdRestore");
  EXPECT_TRUE(p.uiFake.modals.empty());
  EXPECT_EQ(p.uiFake.messages.size(), 1u);

  up->st.strModemIPAddress.clear();
  up->click("cmdRestore");
  ASSERT_EQ(p.uiFake.messages.size(), 2u);
  EXPECT_EQ(p.uiFake.messages[1].text, "Please enter Satellite IP Modem's IP address.");
  EXPECT_EQ(p.uiFake.messages[1].flags, vbInformation);
  EXPECT_TRUE(commands().empty());
}

TEST_F(RestoreTest, AnUnreadVersionIsAskedForFirst) {
  home.write("Backup/orvex_5_1_0_3.bin", "x");
  up->st.strCurrSwVersion = "0_0_0_0";
  choose(0);
  // The terminal answers while the command waits.
  zing().onConnectRequested = [](FakeSocket& s) { s.acceptConnect(); };
  zing().onSend = [](FakeSocket& s, const std::string& bytes) {
    if (bytes == std::string("\0\0\0\x04", 4)) s.deliver(VersionReply(kVersionText));
    if (bytes == std::string("\0\0\0\x92", 4)) s.deliver(ReleaseInfoReply(kReleaseText));
  };
  up->click("cmdRestore");
  EXPECT_EQ(up->st.strCurrSwVersion, "5_1_0_9");
  EXPECT_EQ(commands().size(), 1u);
}

TEST_F(RestoreTest, TheVersionWaitIsBounded) {
  home.write("Backup/orvex_5_1_0_3.bin", "x");
  up->st.strCurrSwVersion = "0_0_0_0";
  choose(0);
  // The request is never answered and its time-outs never end the wait:
  // the pointer stays busy.
  zing().onConnectRequested = [this](FakeSocket&) { up->zing.tmrConnect.setEnabled(false); };
  const long long start = p.vclock.nowMs();
  up->click("cmdRestore");
  EXPECT_GE(p.vclock.nowMs() - start, SoftwareUpgrade::kVersionWaitMs);
  EXPECT_TRUE(logHas("ERR: \tNo software version from the terminal; restore abandoned."));
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_TRUE(p.uiFake.modals.empty());
}

}  // namespace
}  // namespace orvex::test
