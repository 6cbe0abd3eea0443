// Both passes of the PIC upgrade against a scripted shell: the command
// lines, the battery rules, the reflash outcomes by platform, the watchdog
// and the waits for the terminal's restarts.
#include <gtest/gtest.h>

#include "app/app_frame.h"
#include "pic/pic_upgrade.h"
#include "support/pic_fixture.h"
#include "zing/zing_channel.h"

namespace orvex::test {
namespace {

class PicPassesTest : public PicTest {
 protected:
  void platforms(long term, long pkg) {
    up->st.termPlatformId = term;
    up->st.pkgPlatformId = pkg;
  }
  // The preparation pass, the restart into BOOTROM mode and the reflash
  // pass up to the reflash command.
  void upToReflash() {
    uploadDone();
    ASSERT_EQ(picState(), PIC_UPG_STATE_PREP_REBOOT);
    restartIntoBootrom();
    ASSERT_EQ(picState(), PIC_UPG_STATE_REFLASH_SENT);
  }
  const std::string& lastText() const { return p.uiFake.messages.back().text; }
};

TEST_F(PicPassesTest, WholeUpgradeOnAnOlderPlatformWithADescriptor) {
  platforms(11, 11);
  uploadDone();
  EXPECT_EQ(shell->lines, (std::vector<std::string>{
                              "termuser",
                              "skyharbor",
                              "cd \"/tffs0/\"",
                              "pic_data_show",
                              "copy \"image.txt\"",
                              "copy \"uimage.txt\"",
                              "mv \"image.txt\",\"uimage.txt\"",
                              "copy \"pic.s19\",\"image.txt\"",
                          }));
  EXPECT_EQ(picState(), PIC_UPG_STATE_PREP_REBOOT);
  EXPECT_EQ(tel().state(), sckClosed);
  EXPECT_EQ(status(), "PIC Upgrade will continue after Restart. Please Do-Not Interrupt !");
  EXPECT_TRUE(up->zing.tmrFiveSecDelayedReset.enabled());
  EXPECT_TRUE(logHas("DET: \tcreat outcome: value = 0 = 0x0 /xD  /xA -> "));

  const size_t mark = shell->lines.size();
  restartIntoBootrom();
  EXPECT_TRUE(logHas("INF: \tUpgrade PIC in BOOTROM mode."));
  EXPECT_EQ(linesFrom(mark), (std::vector<std::string>{
                                 "termuser",
                                 "skyharbor",
                                 "cd \"/tffs0/\"; copy \"uimage.txt\"",
                                 "mv \"uimage.txt\", \"image.txt\"",
                                 "pic_data_show",
                                 "pic_driver_reflash 1",
                             }));
  EXPECT_TRUE(up->st.bWaitTermRestart);
  EXPECT_EQ(up->st.restartRetryCount, 0);
  // An older platform takes the first text after the reflash command.
  EXPECT_EQ(picState(), PIC_UPG_STATE_WAIT_RESET);
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_PIC_DONE);
  EXPECT_EQ(tel().state(), sckClosed);
  EXPECT_EQ(status(), "Modem will Restart after PIC Upgrade. Please Do Not Interrupt !");
  EXPECT_FALSE(logHas("Reflash: Starting PIC reflash ... /xD  /xA "));

  versionAfterReflash();
  EXPECT_TRUE(logHas("VRB: \t>> tmrPicUpgResetDelay_Timer()"));
  EXPECT_TRUE(logHas("INF: \tPIC Upgrade was Successful. Software version retrieved!"));
  EXPECT_EQ(picState(), PIC_UPG_STATE_INIT_CONNECT);
  EXPECT_FALSE(up->pic.tmrPicUpgrCnt.enabled());
  EXPECT_EQ(up->pic.picUpgTickCount, 0);
  EXPECT_TRUE(p.uiFake.messages.empty());
}

TEST_F(PicPassesTest, TerminalWithoutADescriptorGetsItRemovedAgain) {
  platforms(11, 11);
  shell->replies["copy \"image.txt\""] = {"copy: can't open\r\n" + ShellValue(false)};
  shell->replies["cd \"/tffs0/\"; copy \"uimage.txt\""] = {"value = 0 = 0x0\r\n" +
                                                           ShellValue(false)};
  uploadDone();
  EXPECT_EQ(linesFrom(4),
            (std::vector<std::string>{"copy \"image.txt\"", "copy \"pic.s19\",\"image.txt\""}));
  EXPECT_EQ(status(), "PIC Upgrade will continue after Restart. Please Do-Not Interrupt !");
  const size_t mark = shell->lines.size();
  restartIntoBootrom();
  // cd succeeded and copy failed in one text: the remove branch.
  EXPECT_EQ(linesFrom(mark + 3),
            (std::vector<std::string>{"copy \"image.txt\"", "rm \"image.txt\"", "pic_data_show",
                                      "pic_driver_reflash 1"}));
  EXPECT_TRUE(
      logHas("DET: \tcd outcome: value = 0 = 0x0 /xD  /xA value = -1 = 0xffffffff /xD "
             " /xA -> "));
}

TEST_F(PicPassesTest, StatusLinesOfThePreparationSteps) {
  shell->replies.clear();
  shell->replies["termuser"] = {"Password: "};
  shell->replies["skyharbor"] = {"-> "};
  uploadDone();
  struct Step {
    std::string text;
    long state;
    const char* status;
  };
  const Step steps[] = {
      {"value = -1 = 0xffffffff\r\n", PIC_UPG_STATE_PREP_LOGGEDIN, "Connected"},  // cd failed
      {"value = 0 = 0x0\r\n", PIC_UPG_STATE_PREP_CHECK_BATT, "Preparing for PIC-Upgrade."},
      {"BATT_PRESENT=0\r\n", PIC_UPG_STATE_PREP_CHECK_BATT, "Preparing for PIC-Upgrade."},
      {"value = 0 = 0x0\r\n", PIC_UPG_STATE_PREP_CHK_IMG, "Continuing with PIC-Upgrade."},
      {"/bin/orvex_5_1_0_9.bin\r\nvalue = 0 = 0x0\r\n", PIC_UPG_STATE_PREP_CHK_IMG,
       "Continuing with PIC-Upgrade."},
      {"value = -1 = 0xffffffff\r\n", PIC_UPG_STATE_PREP_BKUP_IMG, "Preparing for PIC-Upgrade.."},
      {"value = -1 = 0xffffffff\r\n", PIC_UPG_STATE_PREP_BKUP_IMG, "Preparing for PIC-Upgrade.."},
      {"value = 0 = 0x0\r\n", PIC_UPG_STATE_PREP_CREATE_XIMG, "Preparing for PIC-Upgrade...."},
      {"copying\r\n", PIC_UPG_STATE_PREP_CREATE_XIMG, "Preparing for PIC-Upgrade...."},
      {"value = -1 = 0xffffffff\r\n", PIC_UPG_STATE_PREP_REBOOT,
       "PIC Upgrade will continue after Restart. Please Do-Not Interrupt !"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.text);
    shell->say(s.text);
    EXPECT_EQ(picState(), s.state);
    EXPECT_EQ(status(), s.status);
    EXPECT_TRUE(p.uiFake.busy);
  }
}

TEST_F(PicPassesTest, BatteryTest) {
  struct Case {
    std::string text;
    long next;
  };
  const Case cases[] = {
      {"BATT_PRESENT=0", PIC_UPG_STATE_PREP_CHK_IMG},
      {"PIC read FAIL", PIC_UPG_STATE_PREP_CHK_IMG},
      {"ERROR", PIC_UPG_STATE_PREP_CHK_IMG},
      {"BATT_PRESENT=1 ERROR", PIC_UPG_STATE_PREP_CHK_IMG},  // go on comes first
      {"PIC fw 2.03\r\n", PIC_UPG_STATE_PREP_CHECK_BATT},
      {"batt_present=1", PIC_UPG_STATE_PREP_CHECK_BATT},
      {"BATT_PRESENT=1", PIC_UPG_STATE_INIT_CONNECT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    up->st.picUpgradeState = PIC_UPG_STATE_PREP_CHECK_BATT;
    tel().acceptConnect();
    // The check acts once the result of pic_data_show has ended.
    shell->say(c.text);
    shell->say(ShellValue(true));
    EXPECT_EQ(picState(), c.next);
  }
  EXPECT_TRUE(logHas("DET: \tJust waiting for PIC info."));
  EXPECT_TRUE(logHas("DET: \tcmd outcome: PIC fw 2.03 /xD  /xA "));
}

TEST_F(PicPassesTest, BatteryInThePreparationPassStopsBeforeAnyChange) {
  shell->replies["pic_data_show"] = {"BATT_PRESENT=1\r\n" + ShellValue(true)};
  up->st.currUpgradeState = UPG_STATE_IB_DONE;
  uploadDone();
  EXPECT_EQ(shell->lines.back(), "pic_data_show");
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(lastText(),
            "PIC Upgrade failure. \r\n\r\n Reason for failure : \r\n     = Battery "
            "detected.\r\nPIC firmware has not been Upgraded.\r\nRemove the Battery and retry the "
            "PIC Upgrade.\r\nAlso refer to the Help menu if needed.\r\n");
  EXPECT_EQ(p.uiFake.messages[0].flags, vbOKOnly | vbCritical);
  EXPECT_EQ(p.uiFake.messages[0].title, "ORVEX Upgrader");
  // The command line exits 4 with this rule's name.
  EXPECT_EQ(up->st.refusal, Refusal::Battery);
  EXPECT_STREQ(RefusalName(up->st.refusal), "battery present");
  EXPECT_EQ(picState(), PIC_UPG_STATE_INIT_CONNECT);
  EXPECT_EQ(tel().state(), sckClosed);
  EXPECT_FALSE(up->pic.tmrPicUpgrCnt.enabled());
  EXPECT_FALSE(up->zing.tmrFiveSecDelayedReset.enabled());
  EXPECT_TRUE(
      logHas("DET: \tPIC UPG FAILURE: BATT_PRESENT=1 /xD  /xA value = 0 = 0x0 /xD  /xA -> "));
  // The item ends for the sequence before the session is closed.
  const long done = logIndex("INF: \tcurrUpgradeState = UPG_STATE_PIC_DONE");
  ASSERT_GE(done, 0);
  EXPECT_LT(done, logIndex("DET: \ttmrPicUpgrCnt.Enabled = False"));
  EXPECT_LT(logIndex("DET: \ttmrPicUpgrCnt.Enabled = False"),
            logIndex("DET: \tpicUpgradeState = PIC_UPG_STATE_INIT_CONNECT"));
  const size_t sent = shell->lines.size();
  p.vclock.advance(300000);
  EXPECT_EQ(shell->lines.size(), sent);
  EXPECT_EQ(p.uiFake.messages.size(), 1u);
}

TEST_F(PicPassesTest, BatteryInTheReflashPassRebootsWithTheDescriptorBack) {
  shell->replies["pic_data_show"] = {"BATT_PRESENT=0\r\n" + ShellValue(true)};
  uploadDone();
  shell->replies["pic_data_show"] = {"BATT_PRESENT=1\r\n" + ShellValue(true)};
  up->st.currUpgradeState = UPG_STATE_IB_DONE;
  restartIntoBootrom();

  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(lastText(),
            "PIC Upgrade failure. \r\n\r\n Reason for failure : \r\n     = Battery "
            "detected.\r\nPIC firmware has not been Upgraded.\r\nRemove the Battery and retry the "
            "PIC Upgrade after the Powerup.\r\nAlso refer to the Help menu if needed.\r\n\r\nClick "
            "'OK' to Restart Modem and continue.\r\n");
  EXPECT_EQ(p.uiFake.messages[0].flags, vbOKOnly | vbCritical);
  EXPECT_EQ(shell->lines.back(), "pwd;sleep(4);reboot");
  EXPECT_EQ(shell->lines[shell->lines.size() - 3], "mv \"uimage.txt\", \"image.txt\"");
  // The reboot command's output ends the dialogue.
  EXPECT_EQ(picState(), PIC_UPG_STATE_WAIT_RESET);
  EXPECT_TRUE(up->pic.bPicBattRebootWait);
  // The battery stop ended the chain: the item is not marked done.
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
  EXPECT_EQ(up->st.refusal, Refusal::Battery);
  EXPECT_TRUE(logHas("ERR: \tUpgrade stopped: PIC Upgrade skipped: battery detected."));
  EXPECT_TRUE(logHas("DET: \ttmr40SecDelay.Enabled = True"));
  EXPECT_EQ(status(), "Resetting Modem. Please wait ...");
  EXPECT_FALSE(up->pic.tmrPicUpgrCnt.enabled());
  EXPECT_EQ(tel().state(), sckConnected);

  // More shell output leaves the wait for the restart.
  shell->say("\r\n-> ");
  EXPECT_EQ(picState(), PIC_UPG_STATE_INIT_CONNECT);

  // 40 s on, the session is closed and the version asked for.
  const int connects = zing().connects;
  p.vclock.advance(40000);
  EXPECT_TRUE(logHas("INF: \tClosing Telnet connection used earlier for PIC Upgrade."));
  EXPECT_EQ(tel().state(), sckClosed);
  EXPECT_FALSE(up->pic.bPicBattRebootWait);
  EXPECT_EQ(zing().connects, connects + 1);
  answer(VersionReply(kVersionText));
  EXPECT_FALSE(logHas("PIC Upgrade was Successful. Software version retrieved!"));
}

TEST_F(PicPassesTest, NewerPlatformsWaitForTheReflashResult) {
  struct Case {
    long term, pkg;
    const char* status;
    bool powerUpMessage;
  };
  const Case cases[] = {
      {9, 11, "Modem will Restart after PIC Upgrade. Please Do Not Interrupt !", false},
      {11, 9, "Modem will Restart after PIC Upgrade. Please Do Not Interrupt !", false},
      {8, 11, "Modem will Power Off after PIC Upgrade. Please Do Not Interrupt !", true},
      {11, 8, "Modem will Power Off after PIC Upgrade. Please Do Not Interrupt !", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.term) + "/" + std::to_string(c.pkg));
    platforms(c.term, c.pkg);
    p.uiFake.messages.clear();
    up->st.picUpgradeState = PIC_UPG_STATE_REFLASH_SENT;
    tel().close();
    tel().acceptConnect();
    shell->say("pic_driver_reflash 1\r\nStarting PIC reflash ...\r\n");
    EXPECT_EQ(picState(), PIC_UPG_STATE_REFLASH_SENT);
    EXPECT_TRUE(logHas("VRB: \tPIC-Upgrade progressing ..."));
    shell->say("PIC Reflash Completed\r\nvalue = 0 = 0x0\r\n");
    EXPECT_EQ(picState(), PIC_UPG_STATE_WAIT_RESET);
    EXPECT_EQ(status(), c.status);
    EXPECT_EQ(tel().state(), sckClosed);
    EXPECT_TRUE(up->pic.tmrPicUpgResetDelay.enabled());

    // 20 s later the version is asked for; platform 8 first waits for the user.
    const int connects = zing().connects;
    p.vclock.advance(20000);
    EXPECT_EQ(zing().connects, connects + 1);
    if (c.powerUpMessage) {
      ASSERT_EQ(p.uiFake.messages.size(), 1u);
      EXPECT_EQ(lastText(),
                "Please perform the following steps in this order:\r\n\r\n- Power-up the Terminal "
                "manually by pressing the Power-button.\r\n- Wait until the the unit is Powered "
                "up.\r\n- Click 'OK' to continue when the unit is Up.\r\n\r\n");
      EXPECT_EQ(p.uiFake.messages[0].flags, vbOKOnly | vbInformation | vbActionNeeded);
      EXPECT_EQ(p.uiFake.messages[0].title, "ORVEX Upgrader");
    } else {
      EXPECT_TRUE(p.uiFake.messages.empty());
    }
    answer(VersionReply(kVersionText));
    EXPECT_EQ(picState(), PIC_UPG_STATE_INIT_CONNECT);
    answer(ReleaseInfoReply(kReleaseText));
    // Over: closing need not ask, and nothing is left under way.
    EXPECT_FALSE(up->app.UpgradeInProgress());
    EXPECT_FALSE(up->app.WorkPending());
  }
}

TEST_F(PicPassesTest, RecoveryModeIsAnsweredWithEmptyLinesUntilTheReflashEnds) {
  platforms(9, 9);
  shell->replies["pic_driver_reflash 1"] = {"Starting PIC reflash ...\r\n",
                                            "PIC entered Recovery Mode, press Enter\r\n"};
  shell->replies[""] = {"PIC entered Recovery Mode, press Enter\r\n"};
  upToReflash();
  for (int i = 0; i < 3; ++i) settle();
  // Every repeat gets its empty line; the state stays.
  EXPECT_GE(shell->lines.size(), 3u);
  EXPECT_EQ(shell->lines.back(), "");
  EXPECT_EQ(picState(), PIC_UPG_STATE_REFLASH_SENT);
  EXPECT_EQ(status(), "Continuing PIC reflash ..");
  EXPECT_TRUE(logHas("DET: \tRecovery-Mode: picUpgradeState = PIC_UPG_STATE_REFLASH_SENT"));
  EXPECT_TRUE(logHas("DET: \t /xD  /xA "));  // the empty line's trace

  shell->replies[""] = {"PIC Reflash Completed\r\nvalue = 0 = 0x0\r\n"};
  shell->say("PIC entered Recovery Mode, press Enter\r\n");
  settle();
  EXPECT_EQ(picState(), PIC_UPG_STATE_WAIT_RESET);
}

TEST_F(PicPassesTest, ReflashFailureRestartsTheTerminalWithoutReportingSuccess) {
  platforms(8, 11);
  shell->replies["pic_driver_reflash 1"] = {"Starting PIC reflash ...\r\n",
                                            "PIC reflash FAIL\r\nvalue = -1 = 0xffffffff\r\n"};
  uploadDone();
  restartIntoBootrom();
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(lastText(),
            "PIC Upgrade failure. \r\n\r\n Possible reasons for failure : \r\n     = Battery only "
            "operation.\r\n     = Corrupt PIC firmware.\r\n\r\nPIC firmware has not been "
            "Upgraded.\r\nPlease refer to the Help menu if needed.\r\n\r\nClick 'OK' to Restart "
            "Modem and continue.\r\n");
  EXPECT_EQ(p.uiFake.messages[0].flags, vbOKOnly | vbCritical);
  EXPECT_EQ(status(), "Modem will Restart momentarily. Please Do Not Interrupt !");
  EXPECT_TRUE(
      logHas("DET: \tFAILURE: PIC reflash FAIL /xD  /xA value = -1 = 0xffffffff /xD  /xA "));
  // The failure ended the chain: the item is not marked done.
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
  EXPECT_TRUE(up->zing.tmrFiveSecDelayedReset.enabled());
  EXPECT_FALSE(up->pic.tmrPicUpgResetDelay.enabled());
  EXPECT_FALSE(up->pic.tmrPicUpgrCnt.enabled());
  EXPECT_EQ(tel().state(), sckClosed);

  // The restart and the version reply that follows it.
  const int connects = zing().connects;
  ASSERT_TRUE(runUntil([&] { return zing().connects > connects; }, 6000));
  connectAndTakeRequest();
  ASSERT_TRUE(runUntil([&] { return zing().connects > connects + 1; }, 41000));
  answer(VersionReply(kVersionText));
  EXPECT_FALSE(logHas("PIC Upgrade was Successful. Software version retrieved!"));
  EXPECT_EQ(p.uiFake.messages.size(), 1u);
}

TEST_F(PicPassesTest, WatchdogFailsOnItsEleventhTickAndIsNotRestartedByLaterSteps) {
  // The dialogue stalls in state 6, and again in state 7.
  shell->replies.erase("copy \"image.txt\"");
  shell->replies.erase("mv \"image.txt\",\"uimage.txt\"");
  uploadDone();
  ASSERT_EQ(picState(), PIC_UPG_STATE_PREP_CHK_IMG);
  EXPECT_TRUE(up->pic.tmrPicUpgrCnt.enabled());
  // Re-enabling in a later state keeps the first countdown.
  p.vclock.advance(19000);
  shell->say("/bin/orvex_5_1_0_9.bin\r\nvalue = 0 = 0x0\r\n");
  settle();  // no saved descriptor yet
  EXPECT_EQ(picState(), PIC_UPG_STATE_PREP_BKUP_IMG);
  p.vclock.advance(1000);
  EXPECT_EQ(up->pic.picUpgTickCount, 1);

  p.vclock.advance(180000);  // ten ticks in all
  EXPECT_EQ(up->pic.picUpgTickCount, 10);
  EXPECT_TRUE(p.uiFake.messages.empty());
  p.vclock.advance(20000);
  EXPECT_EQ(up->pic.picUpgTickCount, 11);
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(lastText(),
            "PIC Upgrade failed.  Click OK and try again.\r\nPlease refer to the Help menu if "
            "needed.");
  EXPECT_EQ(p.uiFake.messages[0].flags, vbOKOnly | vbExclamation);
  EXPECT_EQ(p.uiFake.messages[0].title, "ORVEX Satellite IP Modem Upgrader");
  EXPECT_EQ(picState(), PIC_UPG_STATE_INIT_CONNECT);
  EXPECT_EQ(tel().state(), sckClosed);
  EXPECT_EQ(status(), "");
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_FALSE(up->pic.tmrPicUpgrCnt.enabled());
  p.vclock.advance(100000);
  EXPECT_EQ(p.uiFake.messages.size(), 1u);

  // A new attempt starts with the whole budget.
  up->pic.UPG_StandalonePICUpgrade();
  EXPECT_EQ(up->pic.picUpgTickCount, 0);
}

TEST_F(PicPassesTest, UnrecognisedPicDataIsCountedAcrossEventsAndAbortsOnTheEleventh) {
  shell->replies["pic_data_show"] = {"PIC fw 2.03\r\n"};
  uploadDone();
  ASSERT_EQ(picState(), PIC_UPG_STATE_PREP_CHECK_BATT);
  shell->replies["pic_data_show"] = {"PIC fw 2.03\r\n"};
  up->st.picUpgradeState = PIC_UPG_STATE_RECOVER_IMG;
  shell->say("value = 0 = 0x0\r\n");
  settle();
  ASSERT_EQ(picState(), PIC_UPG_STATE_CHECK_BATT);
  EXPECT_TRUE(logHas("DET: \t[1] <<display pic-data: PIC fw 2.03"));
  for (int i = 2; i <= 10; ++i) shell->say("PIC fw 2.03\r\n");
  EXPECT_TRUE(logHas("DET: \t[10] <<display pic-data: PIC fw 2.03"));
  EXPECT_EQ(picState(), PIC_UPG_STATE_CHECK_BATT);
  EXPECT_TRUE(p.uiFake.messages.empty());

  shell->say("PIC fw 2.03\r\n");
  EXPECT_TRUE(logHas("ERR: \tUnexpected PIC data. Upgrade aborted."));
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(lastText(), "Unexpected PIC data. PIC Upgrade aborted.");
  EXPECT_EQ(p.uiFake.messages[0].flags, vbOKOnly | vbCritical);
  EXPECT_EQ(p.uiFake.messages[0].title, "ORVEX Upgrader");
  EXPECT_EQ(picState(), PIC_UPG_STATE_BATT_REBOOT_WAIT);
  EXPECT_EQ(shell->lines.back(), "pwd;sleep(4);reboot");
  EXPECT_FALSE(up->pic.tmrPicUpgrCnt.enabled());
  settle();  // the reboot command's output
  EXPECT_EQ(picState(), PIC_UPG_STATE_WAIT_RESET);

  // A new battery check counts from the start again.
  up->st.picUpgradeState = PIC_UPG_STATE_RECOVER_IMG;
  shell->say("value = 0 = 0x0\r\n");
  settle();
  EXPECT_EQ(up->pic.picDataWaitCount, 1);
}

}  // namespace
}  // namespace orvex::test
