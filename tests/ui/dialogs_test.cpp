// The terminal-address dialog, the start-up question and the Help boxes.
#include "ui/dialogs.h"

#include <gtest/gtest.h>

#include "support/engine_fixture.h"

namespace orvex::test {
namespace {

class DialogsTest : public EngineTest {
 protected:
  void SetUp() override { startWithImage(); }
  // Opens the address dialog; `user` plays the user's part.
  void openAddressDialog(std::function<void()> user) {
    p.uiFake.onModal = [user](const std::string& form) {
      ASSERT_EQ(form, "UpdateModemIP");
      user();
    };
    up->click("cmdSetModemIP");
  }
};

TEST_F(DialogsTest, DefaultThenCloseChangesNothing) {
  up->st.strTermIP = "7";
  openAddressDialog([this] {
    EXPECT_EQ(up->win.text("txtIP4"), "7");  // starts from the last applied address
    up->click("cmdDefault");
    EXPECT_EQ(up->win.text("txtIP4"), "100");
    up->click("cmdClose");
  });
  EXPECT_EQ(up->win.text("txtIPAddress"), "127.0.0.9");
  EXPECT_EQ(up->st.strModemIPAddress, "127.0.0.9");
  EXPECT_EQ(up->st.strTermIP, "7");
  EXPECT_EQ(p.uiFake.closed, std::vector<std::string>{"UpdateModemIP"});
}

TEST_F(DialogsTest, UpdateTakesTheTextsAsTypedWithoutLeadingBlanks) {
  openAddressDialog([this] {
    up->win.setText("txtIP1", " 10");
    up->win.setText("txtIP2", "1");
    up->win.setText("txtIP3", "2 ");
    up->win.setText("txtIP4", "3");
    up->click("cmdUpdate");
  });
  EXPECT_EQ(up->win.text("txtIPAddress"), "10.1.2 .3");
  EXPECT_EQ(up->st.strModemIPAddress, "10.1.2 .3");
  EXPECT_TRUE(logHas("INF: \tModem IP Address: 10.1.2 .3"));

  openAddressDialog([this] {
    EXPECT_EQ(up->win.text("txtIP1"), "10");
    EXPECT_EQ(up->win.text("txtIP3"), "2 ");
    up->win.setText("txtIP1", "");
    up->win.setText("txtIP2", "abc");
    up->win.setText("txtIP3", "999");
    up->click("cmdUpdate");
  });
  EXPECT_EQ(up->st.strModemIPAddress, ".abc.999.3");
}

TEST_F(DialogsTest, AnAddressIsTakenOnlyWithItsTerminalsLock) {
  std::vector<std::string> claimed;
  up->cfg.claimTerminal = [&claimed](const std::string& address) -> std::string {
    claimed.push_back(address);
    return address == "127.0.0.2" ? "Another upgrader is already working with the terminal at "
                                    "127.0.0.2; lock file /run/lock/x."
                                  : "";
  };
  const auto typeAddress = [this](const char* last) {
    openAddressDialog([this, last] {
      for (const char* box : {"txtIP1", "txtIP2", "txtIP3"})
        up->win.setText(box, box == std::string("txtIP1") ? "127" : "0");
      up->win.setText("txtIP4", last);
      up->click("cmdUpdate");
    });
  };
  typeAddress("2");  // held elsewhere: nothing changes
  EXPECT_EQ(up->st.strModemIPAddress, "127.0.0.9");
  EXPECT_EQ(up->win.text("txtIPAddress"), "127.0.0.9");
  EXPECT_EQ(up->st.strTermIP, "100");
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].flags, vbCritical);
  EXPECT_TRUE(
      logHas("ERR: \tAnother upgrader is already working with the terminal at 127.0.0.2; "
             "lock file /run/lock/x."));
  typeAddress("3");
  typeAddress("3");  // the same address asks nothing again
  EXPECT_EQ(up->st.strModemIPAddress, "127.0.0.3");
  EXPECT_EQ(up->st.strTermIP, "3");
  EXPECT_EQ(claimed, (std::vector<std::string>{"127.0.0.2", "127.0.0.3"}));
}

TEST_F(DialogsTest, StartupQuestionRemembersTheLastChoice) {
  up->dialogs.frmUpgrade_Form_Load();
  EXPECT_EQ(up->dialogs.intExitApplication, 0);
  up->click("UpgradeLater");
  EXPECT_EQ(up->dialogs.intExitApplication, 1);
  EXPECT_EQ(up->win.value("UpgradeLater"), 1);
  EXPECT_EQ(up->win.value("UpgradeNow"), 0);
  up->click("UpgradeNow");
  EXPECT_EQ(up->dialogs.intExitApplication, 0);
}

TEST_F(DialogsTest, HelpBoxes) {
  up->click("mnuHelpAbout");
  up->click("mnuHelpTs");
  ASSERT_EQ(p.uiFake.messages.size(), 2u);
  const auto& about = p.uiFake.messages[0];
  EXPECT_EQ(about.flags, vbOKOnly | vbInformation);
  EXPECT_EQ(about.title, "ORVEX Satellite IP Modem Upgrader");
  const auto lines = SplitCrLf(about.text);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "Satellite IP Modem Upgrader");
  EXPECT_EQ(lines[1], "for ORVEX Terminals");
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[4], "Version 5.1.0");
  EXPECT_EQ(lines[5], "Apr 25, 2013");

  const auto& ts = p.uiFake.messages[1];
  EXPECT_EQ(ts.title, "ORVEX Upgrader: Troubleshooting Instructions for Connectivity Issues");
  EXPECT_EQ(ts.flags, vbOKOnly | vbInformation);
  EXPECT_TRUE(StartsWith(ts.text, "If the Upgrader and ORVEX Terminal are configured properly"));
  EXPECT_NE(ts.text.find("\r\n7410 Platform:\r\n - Force the unit into BOOTROM mode"),
            std::string::npos);
  EXPECT_TRUE(EndsWith(ts.text, "the Terminal will return to normal operation."));
}

}  // namespace
}  // namespace orvex::test
