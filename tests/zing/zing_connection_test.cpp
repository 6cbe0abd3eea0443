// The per-request connection: the bytes each request sends, the connect and
// reply time-outs with every row of their tables, the connectivity test,
// and the reset and factory-defaults commands.
#include <functional>

#include "pic/pic_upgrade.h"
#include "support/zing_peer.h"
#include "upgrade/antenna_upgrade.h"
#include "zing/zing_channel.h"

namespace orvex::test {
namespace {

using ZingConnection = ZingTest;

TEST_F(ZingConnection, EachRequestSendsItsCodeOnConnectWithItsStatus) {
  struct Case {
    std::function<void(ZingChannel&)> call;
    std::string bytes, status;
  };
  const Case cases[] = {
      {[](ZingChannel& z) { z.ZingReq_GetCurrentSoftwareVersion(); }, std::string("\0\0\0\x04", 4),
       "Retrieving Terminal software version..."},
      {[](ZingChannel& z) { z.ZingReq_RestoreFactoryDefaults(); }, std::string("\0\0\0\x13", 4),
       "Restoring Satellite IP Modem factory defaults..."},
      {[](ZingChannel& z) { z.ZingReq_PrepareTerminalFileSystem(); }, std::string("\0\0\0\x32", 4),
       "Preparing Terminal File System for Upgrade.."},
      {[](ZingChannel& z) { z.ZingReq_HaltStack(); }, std::string("\0\0\0\x33", 4),
       "Preparing Terminal software for Upgrade ..."},
      {[](ZingChannel& z) { z.ZingReq_UpgradeAntennaFW(); }, std::string("\0\0\0\x90\x02", 5),
       "Upgrading Antenna Firmware ..."},
      {[](ZingChannel& z) { z.ZingReq_Fetch_All_Release_Info(); }, std::string("\0\0\0\x92", 4),
       "Fetching Terminal Release Info..."},
      {[](ZingChannel& z) { z.ZingReq_FetchIBUpgradeStatus(); }, std::string("\0\0\0\x93", 4),
       "Flashing IB Firmware ... DO NOT Interrupt !"},
      {[](ZingChannel& z) { z.ZingReq_PrepareTerm4IBUpgrade(); }, std::string("\0\0\0\x94", 4),
       "Preparing Terminal for IB Firmware ..."},
      {[](ZingChannel& z) { z.ResetTerminal(); }, std::string("\0\0\0\x0D", 4),
       "Resetting modem. Wait 40 seconds."},
  };
  for (const auto& c : cases) {
    c.call(up->zing);
    EXPECT_EQ(zing().host, "192.168.128.100");
    EXPECT_EQ(zing().port, 1827);
    EXPECT_TRUE(p.uiFake.busy);
    EXPECT_EQ(connectAndTakeRequest(), c.bytes);
    EXPECT_EQ(status(), c.status);
    EXPECT_FALSE(up->zing.tmrConnect.enabled());
  }
  EXPECT_TRUE(logHas("Code: /x90, arg: 2"));
  EXPECT_TRUE(logHas("Upgrading Antenna Firmware."));
  EXPECT_TRUE(logHas("Code: /x92"));
  // The reset awaits no reply: it waits 40 s for the restart instead.
  EXPECT_FALSE(up->zing.tmrResponse.enabled());
  EXPECT_TRUE(up->pic.tmr40SecDelay.enabled());
  EXPECT_EQ(up->zing.pendingZingReq, 0);
  EXPECT_EQ(up->win.backColor("statusLED"), kColorRed);
}

TEST_F(ZingConnection, TerminalOffGivesTheExclamationMessageAfterTheTest) {
  p.vclock.advance(5000);
  EXPECT_EQ(status(), "ZING Connection failed.");
  EXPECT_EQ(test().port, 21);
  EXPECT_EQ(up->win.text("txtCurrentSoftwareVersion"), "UNKNOWN");
  EXPECT_TRUE(p.uiFake.messages.empty());
  p.vclock.advance(2000);
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].flags, vbOKOnly | vbExclamation);
  EXPECT_EQ(p.uiFake.messages[0].title, kProgramTitle);
  EXPECT_TRUE(StartsWith(lastMessage(),
                         "Unable to get Satellite IP Modem's software version.\r\n\r\nWARNING"));
  EXPECT_EQ(status(), "Connection failed.");
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_FALSE(up->st.bSwVersionUnavailable);
}

TEST_F(ZingConnection, FtpPortAnsweringGivesTheInformationMessage) {
  zing().raiseError();  // at once, like the connect time-out
  EXPECT_EQ(status(), "ZING Connection failed.");
  test().acceptConnect();
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].flags, vbOKOnly | vbInformation);
  EXPECT_TRUE(up->st.bSwVersionUnavailable);
  EXPECT_TRUE(up->st.bOkToFTP);
  EXPECT_FALSE(up->zing.tmrConneTest.enabled());
  EXPECT_TRUE(logHas("sckTestConnect: Connection succeed."));

  // After an FTP time-out the test only clears the flag, in both outcomes.
  up->st.bFtpTimedOut = true;
  up->zing.ZingReq_GetCurrentSoftwareVersion();
  p.vclock.advance(5000);
  test().acceptConnect();
  EXPECT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_FALSE(up->st.bFtpTimedOut);
  up->st.bFtpTimedOut = true;
  up->zing.ZingReq_GetCurrentSoftwareVersion();
  p.vclock.advance(5000);
  test().raiseError();
  EXPECT_TRUE(StartsWith(lastMessage(), "FTP timeout.\r\nCan not connect to the Satellite"));
}

TEST_F(ZingConnection, RestartWaitRetriesSixTimesThenTests) {
  up->st.bWaitTermRestart = true;
  for (int retry = 1; retry <= 6; ++retry) {
    p.vclock.advance(5000);
    EXPECT_EQ(up->st.restartRetryCount, retry);
    EXPECT_EQ(status(), "Retrying connection. Please Wait ..");
    EXPECT_EQ(test().connects, 0);
    p.vclock.advance(40000);  // tmr40SecDelay asks for the version again
  }
  EXPECT_EQ(zing().connects, 7);
  EXPECT_EQ(logCount("Retry Connecting"), 6);
  p.vclock.advance(5000);
  EXPECT_EQ(status(), "ZING Connection failed.");
  EXPECT_EQ(test().connects, 1);
}

TEST_F(ZingConnection, ConnectFailureRowsForOtherRequests) {
  // A reset connection that never comes up.
  up->zing.ResetTerminal();
  p.vclock.advance(5000);
  EXPECT_EQ(lastMessage(),
            "Unable to reset Satellite IP Modem.\r\n\r\nPlease power down and power up the "
            "Satellite IP Modem.");
  EXPECT_EQ(status(), "");
  EXPECT_FALSE(p.uiFake.busy);

  // The reset went out and the terminal dropped the connection.
  up->zing.ResetTerminal();
  zing().acceptConnect();
  up->pic.tmr40SecDelay.setEnabled(false);
  zing().raiseError();
  EXPECT_EQ(status(), "Reset done. Please wait .....");
  EXPECT_TRUE(up->pic.tmr40SecDelay.enabled());

  // Release information (or any other request) ends in the connectivity
  // test rather than a busy window without a timer.
  up->zing.ZingReq_Fetch_All_Release_Info();
  p.vclock.advance(5000);
  EXPECT_EQ(status(), "ZING Connection failed.");
  p.vclock.advance(2000);
  EXPECT_EQ(status(), "Connection failed.");
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_EQ(p.uiFake.quits, 0);
}

TEST_F(ZingConnection, NoConnectionForThePreparationEndsTheProgram) {
  for (bool halt : {false, true}) {
    p.uiFake.quits = 0;
    up->st.bUnloaded = false;
    halt ? up->zing.ZingReq_HaltStack() : up->zing.ZingReq_PrepareTerminalFileSystem();
    p.vclock.advance(5000);
    EXPECT_EQ(status(), halt ? "No response for halt stack" : "No response for chkdsk");
    EXPECT_EQ(p.uiFake.messages.back().flags, vbOKOnly | vbCritical);
    EXPECT_TRUE(EndsWith(lastMessage(), "The upgrader will now close.\r\n"));
    EXPECT_EQ(p.uiFake.quits, 1);
  }
}

TEST_F(ZingConnection, ReplyTimeOuts) {
  // The antenna upgrade answers after 150 s: three extra waits.
  up->zing.ZingReq_UpgradeAntennaFW();
  connectAndTakeRequest();
  p.vclock.advance(150000);
  EXPECT_TRUE(logHas("Waiting little longer for Antenna Response. 3"));
  EXPECT_FALSE(logHas("Waiting little longer for Antenna Response. 4"));
  zing().deliver(AntennaReply(1, "ok"));
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_ANT_DONE);
  EXPECT_FALSE(up->zing.tmrResponse.enabled());
  EXPECT_EQ(test().connects, 0);
  EXPECT_TRUE(up->ant.tmrAntUpgDelay.enabled());
  up->ant.tmrAntUpgDelay.setEnabled(false);  // the restart wait is not part of this test

  // No answer at all: seven periods, then the connectivity test.
  up->zing.ZingReq_UpgradeAntennaFW();
  connectAndTakeRequest();
  p.vclock.advance(7 * 40000 - 1);
  EXPECT_EQ(test().connects, 0);
  p.vclock.advance(1);
  EXPECT_EQ(test().connects, 1);
  EXPECT_FALSE(up->zing.bAntRespAwaited);
  EXPECT_FALSE(up->zing.tmrResponse.enabled());

  // A silent halt-stack request counts as done.
  up->st.upgPrepState = UPG_PREP_FS_READY;
  up->zing.ZingReq_HaltStack();
  connectAndTakeRequest();
  p.vclock.advance(40000);
  EXPECT_EQ(up->st.upgPrepState, UPG_PREP_ALL_DONE);  // the preparation went on
  EXPECT_TRUE(logHas("upgPrepState = UPG_PREP_STACK_READY"));
  EXPECT_EQ(test().connects, 1);

  // Any other silent request: the connectivity test.
  up->zing.ZingReq_GetCurrentSoftwareVersion();
  connectAndTakeRequest();
  p.vclock.advance(40000);
  EXPECT_EQ(test().connects, 2);
  EXPECT_EQ(zing().state(), sckClosed);
}

TEST_F(ZingConnection, RequestSetUpAndErrors) {
  // A halt-stack request while the version connection is open replaces it.
  zing().acceptConnect();
  up->zing.ZingReq_HaltStack();
  EXPECT_TRUE(logHas("Closing the open Zing Socket."));
  EXPECT_TRUE(logHas("Zing Socket State.0"));
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x33", 4));

  // A second request while the first still connects starts afresh.
  up->zing.ZingReq_GetCurrentSoftwareVersion();
  up->zing.ZingReq_Fetch_All_Release_Info();
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x92", 4));

  // The socket refuses the connect: the version request reports it.
  zing().failNextConnect = RuntimeError{10049, "Address is not available", 0, "sckZING"};
  up->zing.ZingReq_GetCurrentSoftwareVersion();
  EXPECT_EQ(status(), "Check Satellite IP Modem software version.");
  EXPECT_TRUE(up->zing.tmrConnect.enabled());
  // ... the others log it and go on.
  zing().failNextConnect = RuntimeError{10049, "Address is not available", 7, "sckZING"};
  up->zing.ZingReq_HaltStack();
  EXPECT_TRUE(logHas(">> e_ZingReq_HaltStack "));
  EXPECT_TRUE(logHas("Source: sckZING"));
  EXPECT_EQ(logLines().back().substr(11), "DET: \ttmrConnect.Enabled = True");

  // An empty address stops the request with the busy pointer on.
  up->st.strModemIPAddress.clear();
  const int connects = zing().connects;
  up->zing.ZingReq_PrepareTerminalFileSystem();
  EXPECT_EQ(lastMessage(), "Please enter Satellite IP Modem's IP address.");
  EXPECT_EQ(p.uiFake.messages.back().title, "");
  EXPECT_EQ(status(), "Preparing Terminal File System for Upgrade..");
  EXPECT_EQ(zing().connects, connects);
  EXPECT_TRUE(p.uiFake.busy);
}

TEST_F(ZingConnection, TerminalClosingFirstIsReported) {
  zing().acceptConnect();
  zing().peerClose();
  EXPECT_EQ(lastMessage(), "Satellite IP Modem closed the connection. Connection lost.");
  EXPECT_EQ(p.uiFake.messages.back().title, "Error");
  EXPECT_EQ(p.uiFake.messages.back().flags, vbOKOnly | vbCritical);
  // The next request still gets a new connection.
  up->zing.ZingReq_GetCurrentSoftwareVersion();
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x04", 4));
}

TEST_F(ZingConnection, ResetModemCommand) {
  up->st.strModemIPAddress.clear();
  up->click("cmdResetModem");
  EXPECT_EQ(lastMessage(), "Please enter Satellite IP Modem's IP Address.");
  up->st.strModemIPAddress = "127.0.0.9";
  answer(VersionReply(kVersionText));
  up->click("cmdResetModem");
  EXPECT_EQ(up->win.text("txtCurrentSoftwareVersion"), "UNKNOWN");
  EXPECT_EQ(up->st.strCurrSwVersion, "0_0_0_0");
  EXPECT_EQ(status(), "Resetting Satellite IP Modem...");
  const int connects = zing().connects;
  up->click("cmdResetModem");  // while the first still connects
  EXPECT_EQ(zing().connects, connects + 1);
  EXPECT_FALSE(up->st.bWaitTermRestart);
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x0D", 4));
}

TEST_F(ZingConnection, AResetIsDoneOnlyWhenTheTerminalWentDownAndAnsweredAgain) {
  using Outcome = ZingChannel::ResetOutcome;
  // How the terminal's FTP port takes each try after the reset request.
  enum Probe { Answers, Refuses, Hangs };
  const std::pair<Probe, Outcome> cases[] = {
      {Answers, Outcome::StayedUp}, {Refuses, Outcome::CameBack}, {Hangs, Outcome::CameBack}};
  for (auto [probe, outcome] : cases) {
    SCOPED_TRACE(probe);
    p.socket("sckResetProbe").onConnectRequested = [probe = probe](FakeSocket& s) {
      if (probe == Answers) s.acceptConnect();
      if (probe == Refuses) s.raiseError();
    };
    up->click("cmdResetModem");
    EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x0D", 4));
    EXPECT_EQ(up->zing.ResetRequestOutcome(), Outcome::Sent);
    p.vclock.advance(40000);
    answer(VersionReply(kVersionText));
    EXPECT_EQ(up->zing.ResetRequestOutcome(), outcome);
  }
}

TEST_F(ZingConnection, FactoryDefaultsThenDelayedRestart) {
  answer(VersionReply(kVersionText));
  up->st.restartRetryCount = 3;
  up->st.bIbRefetchDone = true;
  up->click("cmdRestoreDefaults");
  answer(PlainReply(0x1013));
  EXPECT_EQ(status(), "Restore in Progress. Please Wait .. ");
  EXPECT_TRUE(logHas("Restore defaults response has arrived"));
  EXPECT_TRUE(up->zing.tmrFiveSecDelayedReset.enabled());
  p.vclock.advance(5000);
  EXPECT_TRUE(up->st.bWaitTermRestart);
  EXPECT_EQ(up->st.restartRetryCount, 0);
  EXPECT_FALSE(up->st.bIbRefetchDone);
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x0D", 4));
  // Forty seconds later the version is asked again.
  p.vclock.advance(40000);
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x04", 4));
}

}  // namespace
}  // namespace orvex::test
