// The ways into a PIC upgrade: the File menu command and its warnings, the
// upload of the PIC file, and the openers of the two shell sessions.
#include <gtest/gtest.h>

#include "pic/pic_upgrade.h"
#include "support/pic_fixture.h"
#include "transfer/ftp_engine.h"
#include "ui/main_window.h"

namespace orvex::test {
namespace {

const char* const kLongWarning =
    "WARNING: \r\n= Make sure the Terminal has DC-power cord connected.\r\n= Make sure the "
    "Battery is NOT connected.\r\n= Please Close all active Telnet connections to the "
    "Terminal.\r\n\r\nNote: \r\n # The unit may display 'No Software' momentarily during the PIC "
    "Upgrade process.\r\n # The Terminal DOES NOT automatically restart after PIC Upgrade.\r\n # "
    "The user needs to manually Power-up the Unit following the PIC Upgrade when prompted.";
const char* const kShortWarning =
    "WARNING: \r\n= Make sure the Terminal has DC-power cord connected.\r\n= Please Close all "
    "active Telnet connections to the Terminal.\r\n";

class PicEntryTest : public PicTest {};

TEST_F(PicEntryTest, MenuWarningDependsOnThePlatform) {
  struct Case {
    long term, pkg;
    const char* warning;
  };
  const Case cases[] = {
      {8, 11, kLongWarning}, {11, 8, kLongWarning}, {9, 9, kShortWarning}, {11, 11, kShortWarning}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.term) + "/" + std::to_string(c.pkg));
    up->st.termPlatformId = c.term;
    up->st.pkgPlatformId = c.pkg;
    p.uiFake.messages.clear();
    p.uiFake.answers = {vbNo};
    up->ui.SetMouseCursor(1);
    EXPECT_TRUE(up->click("cmdPicUpgradeMenu"));
    ASSERT_EQ(p.uiFake.messages.size(), 1u);
    EXPECT_EQ(p.uiFake.messages[0].text,
              std::string("Do you want to proceed with the Standalone PIC upgrade ?\r\n\r\n") +
                  c.warning);
    EXPECT_EQ(p.uiFake.messages[0].flags, vbYesNo | vbExclamation);
    EXPECT_EQ(p.uiFake.messages[0].title, "ORVEX Satellite IP Modem Upgrader");
    // No: nothing starts and the pointer is normal again.
    EXPECT_FALSE(p.uiFake.busy);
    EXPECT_TRUE(p.ftp().commands.empty());
  }
}

TEST_F(PicEntryTest, MenuYesUploadsThePicFile) {
  p.uiFake.answers = {vbYes};
  up->click("cmdPicUpgradeMenu");
  ASSERT_EQ(p.ftp().commands.size(), 1u);
  EXPECT_EQ(p.ftp().commands[0], "PUT PIC_2_05.s19 /tffs0/pic.s19");
  EXPECT_EQ(p.ftp().host, up->st.strModemIPAddress);
  EXPECT_EQ(up->st.ftpState, 22);
  EXPECT_TRUE(logHas("DET: \tFTP state : UPGRADE_PIC_SA_CMD"));
  EXPECT_TRUE(up->ftp.tmrFTPReq.enabled());
  EXPECT_EQ(status(), "Uploading PIC software! Wait...");
  EXPECT_TRUE(p.uiFake.busy);
  EXPECT_EQ(up->win.backColor("framePIC"), kColorHighlight);
  EXPECT_TRUE(logHas("VRB: \t>> UI_UpdateUIUpgState() : 5"));
}

// The FTP engine opens the preparation pass after the upload, or the
// reflash pass at once for a terminal already in BOOTROM mode.
TEST_F(PicEntryTest, UploadHandsOverToTheRightPass) {
  for (bool bootrom : {false, true}) {
    SCOPED_TRACE(bootrom);
    up->st.bBootromMode = bootrom;
    tel().close();
    shell->lines.clear();
    shell->replies.erase("cd \"/tffs0/\"");
    shell->replies.erase("cd \"/tffs0/\"; copy \"uimage.txt\"");
    up->pic.UPG_StandalonePICUpgrade();
    p.ftp().fire(icResponseCompleted);
    EXPECT_EQ(p.ftp().commands.back(), "CLOSE");
    p.ftp().fire(icDisconnected);
    settle();
    EXPECT_EQ(picState(), bootrom ? PIC_UPG_STATE_LOGGEDIN : PIC_UPG_STATE_PREP_LOGGEDIN);
    EXPECT_EQ(shell->lines.back(),
              bootrom ? "cd \"/tffs0/\"; copy \"uimage.txt\"" : "cd \"/tffs0/\"");
  }
}

TEST_F(PicEntryTest, NoUploadWithoutAUsablePicFile) {
  up->st.bPicFwAvailable = false;
  p.uiFake.answers = {vbYes};
  up->pic.cmdPicUpgradeMenu_Click();
  ASSERT_EQ(p.uiFake.messages.size(), 2u);
  EXPECT_EQ(p.uiFake.messages[1].text, "PIC binary Unavailable. Operation Cancelled.");
  EXPECT_EQ(p.uiFake.messages[1].flags, vbOKOnly | vbExclamation);
  EXPECT_EQ(p.uiFake.messages[1].title, "");

  // Started by the sequence without a file: where to put one.
  up->st.strLocalPicFile.clear();
  up->pic.UPG_StandalonePICUpgrade();
  ASSERT_EQ(p.uiFake.messages.size(), 3u);
  const std::string& dir = up->st.strHomeDir;
  EXPECT_EQ(p.uiFake.messages[2].text, "Unable to find pic-binary in home directory " + dir +
                                           ".\r\nPlease copy PIC file in " + dir);
  EXPECT_EQ(p.uiFake.messages[2].flags, vbOKOnly | vbExclamation);
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_TRUE(p.ftp().commands.empty());
}

TEST_F(PicEntryTest, ReflashOpenerClosesALeftoverSessionFirst) {
  shell->acceptConnects = false;
  tel().acceptConnect();
  up->pic.bPicBattRebootWait = true;
  up->st.picUpgradeState = PIC_UPG_STATE_PREP_REBOOT;
  up->pic.Init_PIC_Upgrade();
  EXPECT_EQ(picState(), PIC_UPG_STATE_INIT_CONNECT);
  EXPECT_TRUE(logHas("DET: \tpicUpgradeState = PIC_UPG_STATE_INIT_CONNECT"));
  EXPECT_TRUE(logHas("DET: \tInit_PIC_Upgrade(): Closing existing open telnet connection."));
  EXPECT_EQ(tel().closes, 1);
  EXPECT_EQ(tel().connects, 1);
  EXPECT_EQ(tel().state(), sckConnecting);
  EXPECT_FALSE(up->pic.bPicBattRebootWait);
  EXPECT_EQ(status(), "Attempting PIC Upgrade. Connecting .....");
  EXPECT_TRUE(up->pic.tmrTelnetConnect.enabled());

  // A closed socket is not closed again, and the line is not written.
  tel().close();
  const auto before = logLines().size();
  up->pic.Init_PIC_Upgrade();
  EXPECT_EQ(tel().closes, 2);
  const auto lines = logLines();
  for (size_t i = before; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].find("Closing existing open telnet connection"), std::string::npos);
}

}  // namespace
}  // namespace orvex::test
