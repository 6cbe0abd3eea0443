// The shell session: connecting, the login prompts, command lines and their
// traces, the connect time-out and the session limit.
#include <gtest/gtest.h>

#include "pic/pic_upgrade.h"
#include "support/pic_fixture.h"
#include "ui/main_window.h"

namespace orvex::test {
namespace {

class TelnetShellTest : public PicTest {};

TEST_F(TelnetShellTest, PreparationLoginSendsUserPasswordAndChangesToTheFlash) {
  // The echo of the password line alone changes nothing.
  shell->replies["skyharbor"] = {"\r\n", "\r\n-> "};
  shell->replies.erase("cd \"/tffs0/\"");
  up->st.picUpgradeState = PIC_UPG_STATE_PREP_INIT_CONNECT;
  up->pic.UPG_Prepare4PICUpgrade();
  EXPECT_EQ(status(), "Attempting PIC Upgrade. Connecting .....");
  EXPECT_TRUE(up->pic.tmrTelnetConnect.enabled());
  settle();
  EXPECT_EQ(status(), "Connected");
  EXPECT_EQ(picState(), PIC_UPG_STATE_PREP_LOGGEDIN);
  EXPECT_EQ(tel().host, up->st.strModemIPAddress);
  EXPECT_EQ(tel().port, 23);
  ASSERT_GE(tel().sent.size(), 3u);
  EXPECT_EQ(tel().sent[0], "termuser\r\n");
  EXPECT_EQ(tel().sent[1], "skyharbor\r\n");
  EXPECT_EQ(tel().sent[2], "cd \"/tffs0/\"\r\n");
  EXPECT_FALSE(up->pic.tmrTelnetConnect.enabled());

  // Each line is traced; the user name with its CR LF made printable.
  EXPECT_TRUE(logHas("DET: \t>> OUT :"));
  EXPECT_TRUE(logHas("DET: \ttermuser /xD  /xA "));
  EXPECT_TRUE(logHas("DET: \tcd \"/tffs0/\" /xD  /xA "));
  EXPECT_TRUE(logHas("DET: \tSending Password.."));
  EXPECT_TRUE(logHas("INF: \t ----------- STATE: PIC_UPG_STATE_PREP_INIT_CONNECT"));
  EXPECT_TRUE(logHas("DET: \tpicUpgradeState = PIC_UPG_STATE_PREP_UNAME_SENT"));
  EXPECT_TRUE(logHas("DET: \tpicUpgradeState = PIC_UPG_STATE_PREP_PASSWD_SENT"));
  EXPECT_TRUE(logHas("DET: \tConnect outcome : /xD  /xA -> "));
  EXPECT_EQ(logIndex("DET: \tConnect outcome : /xD  /xA "), -1);
  // The password never reaches the log.
  for (const auto& line : logLines()) EXPECT_EQ(line.find("skyharbor"), std::string::npos) << line;
}

TEST_F(TelnetShellTest, BannersThatCountAsALoginPrompt) {
  struct Case {
    std::string text;
    bool prompt;
  };
  const Case cases[] = {
      {"\r\nVxWorks login: ", true},
      {"\r\n[BSP 2A] ORVEX\r\nUsername: ", true},
      {"\r\n[BSP 2C] ORVEX\r\nUsername: ", true},
      {"\r\n[BSP 2B] ORVEX\r\nUsername: ", false},
      {"\r\nUsername: ", false},
      {"\r\nvxworks login: ", false},  // case matters
      {"VxWorks login: -> ", true},    // the login prompt wins
  };
  shell->acceptConnects = false;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    up->st.picUpgradeState = PIC_UPG_STATE_PREP_INIT_CONNECT;
    tel().close();
    up->pic.UPG_Prepare4PICUpgrade();
    tel().acceptConnect();
    tel().sent.clear();
    shell->say(c.text);
    EXPECT_EQ(picState(),
              c.prompt ? PIC_UPG_STATE_PREP_UNAME_SENT : PIC_UPG_STATE_PREP_INIT_CONNECT);
    EXPECT_EQ(tel().sent,
              c.prompt ? std::vector<std::string>{"termuser\r\n"} : std::vector<std::string>{});
    EXPECT_EQ(up->pic.tmrTelnetConnect.enabled(), !c.prompt);
    up->pic.tmrTelnetConnect.setEnabled(false);
  }
}

TEST_F(TelnetShellTest, ShellWithoutLoginGoesStraightToTheFlashFolder) {
  shell->banner = {"\r\n-> "};
  shell->replies.clear();
  uploadDone();
  EXPECT_EQ(shell->lines, std::vector<std::string>{"cd \"/tffs0/\""});
  EXPECT_EQ(picState(), PIC_UPG_STATE_PREP_LOGGEDIN);
  EXPECT_TRUE(logHas("INF: \tConnect outcome: /xD  /xA -> "));
  EXPECT_FALSE(up->pic.tmrTelnetConnect.enabled());

  // In the reflash pass the saved descriptor is asked for as after a login.
  tel().close();
  shell->lines.clear();
  up->pic.Init_PIC_Upgrade();
  settle();
  EXPECT_EQ(shell->lines, std::vector<std::string>{"cd \"/tffs0/\"; copy \"uimage.txt\""});
  EXPECT_EQ(picState(), PIC_UPG_STATE_LOGGEDIN);
}

TEST_F(TelnetShellTest, SplitPromptIsNotRecognisedAndTheConnectTimesOut) {
  shell->banner = {"\r\nVxWorks log", "in: "};
  uploadDone();
  EXPECT_TRUE(shell->lines.empty());
  EXPECT_EQ(picState(), PIC_UPG_STATE_PREP_INIT_CONNECT);

  p.vclock.advance(5000);
  EXPECT_TRUE(logHas("VRB: \t>> tmrTelnetConnect_Timer()"));
  EXPECT_EQ(status(), "Telnet Connection failed.");
  EXPECT_EQ(tel().state(), sckClosed);
  EXPECT_FALSE(up->pic.tmrTelnetConnect.enabled());
  EXPECT_FALSE(p.uiFake.busy);
  // The preparation pass shows no message box; it leaves the state that
  // would make a later FTP close open a session.
  EXPECT_TRUE(p.uiFake.messages.empty());
  EXPECT_EQ(picState(), 0);
}

TEST_F(TelnetShellTest, ConnectTimeOutOfTheReflashPassShowsAMessage) {
  shell->acceptConnects = false;
  up->pic.Init_PIC_Upgrade();
  // A socket error is shown, but the time-out still ends the attempt.
  tel().raiseError(10061, "Connection is forcefully rejected");
  EXPECT_EQ(status(), "Telnet Error Connection is forcefully rejected");
  p.vclock.advance(5000);
  EXPECT_EQ(status(), "Telnet Connection failed.");
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  const auto& m = p.uiFake.messages[0];
  EXPECT_EQ(m.text,
            "Can not send command to upgrade the PIC. \r\nPlease check cable connections, Power "
            "cycle the modem.\r\nRepeat upgrade process.");
  EXPECT_EQ(m.flags, vbOKOnly | vbExclamation);
  EXPECT_EQ(m.title, "ORVEX Satellite IP Modem Upgrader");
  EXPECT_EQ(picState(), PIC_UPG_STATE_INIT_CONNECT);
  // The time-out is a one-shot.
  p.vclock.advance(20000);
  EXPECT_EQ(p.uiFake.messages.size(), 1u);
}

TEST_F(TelnetShellTest, SessionLimitIsFatal) {
  shell->banner = {"Sorry, session limit reached.\r\n"};
  uploadDone();
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].text,
            "PIC Upgrade failed. Click OK and close the upgrader.\r\nMake sure there is no other "
            "active Telnet session to the TE.");
  EXPECT_EQ(p.uiFake.messages[0].flags, vbOKOnly | vbExclamation);
  EXPECT_EQ(p.uiFake.messages[0].title, "ORVEX Upgrader");
  EXPECT_EQ(status(), "PIC Upgrade Failed ! Restart application");
  EXPECT_EQ(tel().state(), sckClosed);
  EXPECT_EQ(picState(), 0);
  EXPECT_FALSE(p.uiFake.busy);
  for (const char* name : {"cmdUpgrade", "cmdRestore", "cmdPicUpgradeMenu", "txtIPAddress"})
    EXPECT_FALSE(up->win.enabled(name)) << name;

  // The failure is reported once: the connect time-out does not follow it.
  p.vclock.advance(10000);
  EXPECT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(status(), "PIC Upgrade Failed ! Restart application");
}

TEST_F(TelnetShellTest, LongOutputIsReadIn4000CharacterEvents) {
  shell->acceptConnects = false;
  up->st.picUpgradeState = PIC_UPG_STATE_PREP_INIT_CONNECT;
  up->pic.UPG_Prepare4PICUpgrade();
  tel().acceptConnect();
  auto events = [&] {
    int n = 0;
    for (const auto& line : logLines())
      if (EndsWith(line, "DET: \ttelnetShell_DataArrival()")) ++n;
    return n;
  };

  // A prompt that straddles the 4000th character is cut in two: not seen.
  shell->say(std::string(3990, 'x') + "VxWorks login: ");
  EXPECT_EQ(events(), 2);
  EXPECT_EQ(picState(), PIC_UPG_STATE_PREP_INIT_CONNECT);

  // One that lies wholly in the second piece is.
  shell->say(std::string(4100, 'x') + "VxWorks login: ");
  EXPECT_EQ(events(), 4);
  EXPECT_EQ(picState(), PIC_UPG_STATE_PREP_UNAME_SENT);

  // A flood that fills the read buffer ends the session as a failure.
  shell->say(std::string(64 * 1024, 'x'));
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(
      p.uiFake.messages[0].text,
      "PIC Upgrade failed. Click OK and close the upgrader.\r\nThe terminal's shell sent more "
      "output than a PIC upgrade gives.");
  EXPECT_EQ(tel().state(), sckClosed);
}

TEST_F(TelnetShellTest, DataWithoutADialogueOnlyMakesThePointerBusy) {
  for (long state : {0L, 9L, 19L}) {
    SCOPED_TRACE(state);
    up->st.picUpgradeState = state;
    up->ui.SetMouseCursor(0);
    tel().acceptConnect();
    tel().sent.clear();
    shell->say("VxWorks login: -> value = 0 = 0x0");
    EXPECT_TRUE(p.uiFake.busy);
    EXPECT_TRUE(tel().sent.empty());
    EXPECT_EQ(picState(), state);
  }
  EXPECT_FALSE(logHas(" ----------- STATE: INVALID"));
}

// A login that stalls after the user name is ended by the watchdog.
TEST_F(TelnetShellTest, StalledLoginEndsInTheWatchdogFailure) {
  shell->replies.erase("termuser");
  uploadDone();
  EXPECT_EQ(picState(), PIC_UPG_STATE_PREP_UNAME_SENT);
  EXPECT_TRUE(up->pic.tmrPicUpgrCnt.enabled());
  p.vclock.advance(220000);
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].text,
            "PIC Upgrade failed.  Click OK and try again.\r\nPlease refer to the Help menu if "
            "needed.");
  EXPECT_EQ(picState(), PIC_UPG_STATE_INIT_CONNECT);
  EXPECT_EQ(tel().state(), sckClosed);
}

}  // namespace
}  // namespace orvex::test
