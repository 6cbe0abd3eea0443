// The reply dispatcher: every reply code, the version and release
// information evaluation, the IB progress cycle, and replies that are short,
// long, garbled or arrive two in one.
#include "pic/pic_upgrade.h"
#include "support/zing_peer.h"
#include "upgrade/antenna_upgrade.h"
#include "zing/zing_channel.h"
#include "zing/zing_codec.h"

namespace orvex::test {
namespace {

using ZingDispatcher = ZingTest;

std::string ReleaseWith(const std::string& cls) {
  return "PIC: 2.03\r\nIB: 01.00.31.02\r\nATB: 11\r\nAHW: 03\r\nHPA: V2\r\nASN: A1\r\nCLASS: " +
         cls + "\r\n";
}

TEST_F(ZingDispatcher, VersionReplyShowsTheVersionAndAsksForReleaseInfo) {
  up->st.bWaitTermRestart = true;
  up->st.restartRetryCount = 2;
  answer(VersionReply(kVersionText));
  EXPECT_EQ(up->win.text("txtCurrentSoftwareVersion"), "5.1.0.9");
  EXPECT_EQ(up->st.strCurrSwVersion, "5_1_0_9");
  EXPECT_EQ(up->st.termPlatformId, 1);
  EXPECT_FALSE(up->st.bWaitTermRestart);
  EXPECT_EQ(up->st.restartRetryCount, 0);
  EXPECT_TRUE(up->st.bOkToFTP);
  EXPECT_FALSE(up->zing.tmrResponse.enabled());
  EXPECT_TRUE(logHas("ZingResponseCode: /x1004"));
  EXPECT_TRUE(logHas("Release Date:  Oct 29 2009 "));
  EXPECT_TRUE(logHas("Not in Bootrom mode, request additional Release Info."));
  EXPECT_EQ(up->zing.pendingZingReq, 0x92);
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x92", 4));
}

TEST_F(ZingDispatcher, BootromOldAndUnreadableVersions) {
  up->st.picUpgradeState = PIC_UPG_STATE_PREP_REBOOT;
  up->win.setText("txtAntATBver", "11");
  answer(VersionReply("BOOTROM 1.0.4, Mar 03 2009 fpga 12"));
  EXPECT_EQ(up->win.text("txtCurrentSoftwareVersion"), "BOOTROM MODE");
  EXPECT_TRUE(up->st.bBootromMode);
  EXPECT_TRUE(logHas("Upgrade PIC in BOOTROM mode."));
  EXPECT_EQ(up->win.text("txtAntATBver"), "UNKNOWN");
  EXPECT_EQ(status(), "Operation Successful. Software version retrieved!");
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_EQ(up->zing.pendingZingReq, 0x04);  // no release information asked

  up->zing.ZingReq_GetCurrentSoftwareVersion();
  answer(VersionReply("5.0.9.3 Rel, Oct 26 2009 fpga 12"));
  EXPECT_TRUE(logHas("Older release, skip Release-Info request."));
  EXPECT_EQ(up->st.termPlatformId, 0);
  EXPECT_EQ(up->zing.pendingZingReq, 0x04);

  // A date this program cannot read asks anyway; so do texts that lack the
  // comma, the "fpga" or even the blank.
  for (const char* text : {"5.1.0.9 Rel, 29.10.2009 fpga 12", "5.1.0.9", "5.1.0.9 Rel Oct 29",
                           "5.2.0.1 Rel, 10/27/2009"}) {
    up->zing.ZingReq_GetCurrentSoftwareVersion();
    answer(VersionReply(text));
    EXPECT_EQ(up->zing.pendingZingReq, 0x92) << text;
  }
  EXPECT_TRUE(logHas("Unable to read the release date, taken as a current release."));
  EXPECT_EQ(up->st.strCurrSwVersion, "5_2_0_1");
}

TEST_F(ZingDispatcher, VersionAfterPicUpgradeOrFtpTimeOut) {
  up->st.picUpgradeState = PIC_UPG_STATE_WAIT_RESET;
  up->st.currUpgradeState = UPG_STATE_PIC_DONE;
  up->st.bFtpTimedOut = true;
  answer(VersionReply("5.1.0.9 Rel, Oct 26 2009 fpga 12"));  // no release info asked
  EXPECT_EQ(status(), "PIC Upgrade Successful. Software version retrieved!");
  EXPECT_EQ(up->st.picUpgradeState, PIC_UPG_STATE_INIT_CONNECT);
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
  EXPECT_TRUE(logHas("currUpgradeState = UPG_STATE_IDLE"));
  EXPECT_FALSE(up->st.bFtpTimedOut);
  EXPECT_TRUE(StartsWith(lastMessage(), "FTP timeout.\r\n\r\n\r\nGet system version"));
}

TEST_F(ZingDispatcher, ReleaseInfoFillsTheTerminalFields) {
  up->st.termPlatformId = 1;
  up->zing.ZingReq_Fetch_All_Release_Info();
  answer(ReleaseInfoReply(kReleaseText));
  EXPECT_EQ(up->win.text("txtTermPICVersion"), "2.03");
  EXPECT_EQ(up->win.text("txtTermIBVer"), "31.02");
  EXPECT_EQ(up->st.strTermIbVersion, "31.02");
  EXPECT_EQ(up->win.text("txtAntATBver"), "11");
  EXPECT_EQ(up->win.text("txtAntAHWver"), "03");
  EXPECT_EQ(up->win.text("txtAntHPAver"), "V2");
  EXPECT_EQ(up->win.text("txtAntASNver"), "A10042317");
  EXPECT_EQ(up->win.text("txtAntCLSver"), "Class 11");
  EXPECT_EQ(up->st.antClassId, 4);
  EXPECT_TRUE(up->win.enabled("frameAntenna"));  // no local antenna files
  EXPECT_TRUE(up->st.bAntInfoValid);
  EXPECT_EQ(status(), "Operation Successful. Release Info retrieved!");

  // Local files of another class: antenna upgrade off.
  up->st.bAntFwAvailable = true;
  up->st.bAntUpgPending = true;
  up->zing.ZingReq_Fetch_All_Release_Info();
  answer(ReleaseInfoReply(ReleaseWith("10")));
  EXPECT_EQ(up->win.text("txtAntCLSver"), "Class 10R");
  EXPECT_FALSE(up->win.enabled("frameAntenna"));
  EXPECT_FALSE(up->st.bAntUpgPending);
  // ... of the same class (ATB or HPA): on.
  up->st.locHpaClassId = 3;
  up->zing.ZingReq_Fetch_All_Release_Info();
  answer(ReleaseInfoReply(ReleaseWith("10")));
  EXPECT_TRUE(up->win.enabled("frameAntenna"));
  EXPECT_TRUE(up->win.enabled("chkAntUpg"));

  // An antenna line missing: antenna off, class unknown.
  up->zing.ZingReq_Fetch_All_Release_Info();
  answer(ReleaseInfoReply("IB: 01.02.03.04\r\nATB: 11\r\n"));
  EXPECT_FALSE(up->win.enabled("frameAntenna"));
  EXPECT_EQ(up->st.antClassId, 5);
  EXPECT_EQ(up->win.text("txtTermIBVer"), "03.04");
  EXPECT_EQ(up->win.text("txtTermPICVersion"), "UNKNOWN");  // no PIC line
}

TEST_F(ZingDispatcher, ReleaseInfoWithoutOrWithUnknownIbVersion) {
  up->zing.ZingReq_Fetch_All_Release_Info();
  answer(ReleaseInfoReply("PIC: 2.03\r\n"));
  EXPECT_EQ(up->win.text("txtTermIBVer"), "UNKNOWN");
  EXPECT_FALSE(up->win.enabled("txtTermIBVer"));
  EXPECT_EQ(up->st.strTermIbVersion, "");

  up->zing.ZingReq_Fetch_All_Release_Info();
  answer(ReleaseInfoReply("IB: Unknown yet\r\nPIC: 2.03\r\n"));
  EXPECT_EQ(up->st.strTermIbVersion, "Unknown yet");
  EXPECT_TRUE(up->win.enabled("txtTermIBVer"));
  p.vclock.advance(10000);
  EXPECT_TRUE(logHas("Retry fetching all Up-to-date Release Information."));
  EXPECT_TRUE(up->st.bIbRefetchDone);
  answer(ReleaseInfoReply("IB: Unknown yet\r\n"));
  p.vclock.advance(10000);  // at most one re-fetch
  EXPECT_EQ(logCount("Retry fetching all Up-to-date Release Information."), 1);
  EXPECT_EQ(zing().state(), sckClosed);

  // Length 0: nothing shown, the old values stay.
  up->zing.ZingReq_Fetch_All_Release_Info();
  answer(U32(0x1092) + U32(0) + U32(0) + U32(0) + "IB: 9.9.9.9");
  EXPECT_TRUE(logHas("Invalid Release Info response length."));
  EXPECT_FALSE(up->st.bAntInfoValid);
  EXPECT_EQ(up->st.strTermIbVersion, "Unknown yet");

  // A text without a zero byte, shorter than announced, runs to the last
  // received byte once the reply time-out has given the rest its chance.
  up->zing.ZingReq_Fetch_All_Release_Info();
  answer(U32(0x1092) + U32(0) + U32(200) + U32(0) + "PIC: 3.1");
  EXPECT_EQ(up->win.text("txtTermPICVersion"), "UNKNOWN");
  p.vclock.advance(40000);
  EXPECT_EQ(up->win.text("txtTermPICVersion"), "3.1");
}

TEST_F(ZingDispatcher, PreparationAntennaAndIbPreparationReplies) {
  up->zing.ZingReq_HaltStack();
  answer(PlainReply(0x1033));  // halt before check disk: only logged
  EXPECT_TRUE(logHas("Halt GPRS Stack response has arrived"));
  EXPECT_EQ(up->st.upgPrepState, 0);
  up->zing.ZingReq_PrepareTerminalFileSystem();
  answer(PlainReply(0x1032));
  EXPECT_EQ(up->st.upgPrepState, UPG_PREP_FS_READY);
  up->zing.ZingReq_HaltStack();
  answer(PlainReply(0x1033));
  // Stack ready: the preparation goes on to its last step at once.
  EXPECT_TRUE(logHas("upgPrepState = UPG_PREP_STACK_READY"));
  EXPECT_EQ(up->st.upgPrepState, UPG_PREP_ALL_DONE);

  up->zing.ZingReq_UpgradeAntennaFW();
  answer(AntennaReply(0xFFFFFFFF, "ATB 11"));  // counts as status 0
  EXPECT_TRUE(logHas("Antenna FW Info response."));
  EXPECT_TRUE(logHas("Ant Query Response: ATB 11"));
  EXPECT_FALSE(up->ant.tmrAntUpgDelay.enabled());
  up->zing.ZingReq_UpgradeAntennaFW();
  answer(AntennaReply(1, ""));  // started, without a text: state unchanged
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
  EXPECT_EQ(status(), "Modem will Restart after Antenna Upgrade. Please Do Not Interrupt !");
  EXPECT_TRUE(up->ant.tmrAntUpgDelay.enabled());

  up->zing.ZingReq_PrepareTerm4IBUpgrade();
  answer(IbPrepareReply(1));
  EXPECT_EQ(status(), "IB Upgrade Cancelled.");
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IB_DONE);
  up->zing.ZingReq_PrepareTerm4IBUpgrade();
  answer(IbPrepareReply(0));
  EXPECT_EQ(status(), "IB Upgrade in Progress ...");
}

TEST_F(ZingDispatcher, IbProgressCycleToCompletionWithRestart) {
  answer(VersionReply(kVersionText));
  up->st.ibImageBlocks = 100;
  up->st.ibUpgState = IB_UPG_RESET_SENT;
  up->zing.ZingReq_GetCurrentSoftwareVersion();
  answer(VersionReply(kVersionText));
  EXPECT_EQ(status(), "Checking IB Upgrade. Please Wait...");
  EXPECT_TRUE(p.uiFake.busy);
  p.vclock.advance(60000);
  EXPECT_EQ(up->st.ibUpgState, IB_UPG_IN_PROGRESS);
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x93", 4));
  zing().deliver(IbStatusReply(45));
  EXPECT_EQ(up->win.text("lblIbUpgStatus"), "45 %");
  EXPECT_TRUE(up->win.visible("prgBarIbUpgrade"));
  EXPECT_EQ(up->win.value("prgBarIbUpgrade"), 45);
  EXPECT_TRUE(p.uiFake.busy);
  EXPECT_EQ(zing().state(), sckClosed);
  p.vclock.advance(4999);
  EXPECT_EQ(zing().state(), sckClosed);
  p.vclock.advance(1);  // the next poll
  answer(IbStatusReply(95));
  EXPECT_EQ(up->win.text("lblIbUpgStatus"), "95 %");
  EXPECT_EQ(zing().state(), sckConnecting);  // asked again at once
  answer(IbStatusReply(0));
  EXPECT_EQ(status(), "IB Upgrade Complete !! Terminal Rebooting ...");
  EXPECT_EQ(up->st.ibUpgState, IB_UPG_COMPLETE_WAIT_RESET);
  EXPECT_EQ(up->win.text("lblIbUpgStatus"), "");
  EXPECT_FALSE(up->win.visible("prgBarIbUpgrade"));
  p.vclock.advance(40000);
  answer(VersionReply("5.1.0.12 Rel, Dec 14 2009 fpga 12"));
  EXPECT_EQ(up->st.ibUpgState, IB_UPG_IDLE);
  EXPECT_TRUE(logHas("ibUpgState = IB_UPG_IDLE"));
  EXPECT_EQ(up->zing.pendingZingReq, 0x92);
}

TEST_F(ZingDispatcher, IbProgressEdgeCases) {
  up->st.ibImageBlocks = 256;
  up->zing.ZingReq_FetchIBUpgradeStatus();
  answer(IbStatusReply(128));
  EXPECT_EQ(up->win.text("lblIbUpgStatus"), "50 %");
  up->zing.tmrIbPollUpgStatus.setEnabled(false);

  // Up to 89 % the next poll waits for its timer; from 90 % it goes at once.
  up->st.ibImageBlocks = 100;
  for (const auto& [percent, atOnce] : {std::pair{89u, false}, std::pair{90u, true}}) {
    SCOPED_TRACE(percent);
    up->zing.ZingReq_FetchIBUpgradeStatus();
    answer(IbStatusReply(percent));
    EXPECT_EQ(zing().state() == sckConnecting, atOnce);
    EXPECT_EQ(up->zing.tmrIbPollUpgStatus.enabled(), !atOnce);
    up->zing.tmrIbPollUpgStatus.setEnabled(false);
  }

  // More blocks than the image, or an image under one block: the bar stops at 100.
  for (long blocks : {10L, 0L}) {
    up->st.ibImageBlocks = blocks;
    up->zing.ZingReq_FetchIBUpgradeStatus();
    answer(IbStatusReply(30));
    EXPECT_EQ(up->win.value("prgBarIbUpgrade"), 100);
    EXPECT_EQ(up->win.text("lblIbUpgStatus"), "100 %");
  }

  // Completion without a progress shown: done at once.
  up->win.setValue("prgBarIbUpgrade", 0);
  up->zing.ZingReq_FetchIBUpgradeStatus();
  answer(IbStatusReply(0));
  EXPECT_EQ(status(), "IB Upgrade Complete !! Checking Pending actions ...");
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IB_DONE);
  EXPECT_EQ(up->st.ibUpgState, IB_UPG_IDLE);
  EXPECT_FALSE(up->pic.tmr40SecDelay.enabled());

  // No upgrade running.
  up->win.setValue("prgBarIbUpgrade", 40);
  up->st.currUpgradeState = UPG_STATE_IDLE;
  up->zing.ZingReq_FetchIBUpgradeStatus();
  answer(IbStatusReply(65535));
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IB_DONE);
  EXPECT_EQ(up->win.value("prgBarIbUpgrade"), 0);
  EXPECT_FALSE(p.uiFake.busy);

  // Not a valid report: ignored, no further poll.
  up->zing.ZingReq_FetchIBUpgradeStatus();
  answer(IbStatusReply(45, 0));
  EXPECT_FALSE(up->zing.tmrIbPollUpgStatus.enabled());
  EXPECT_FALSE(logHas("IB Upgrade Progress: 45"));
}

TEST_F(ZingDispatcher, ShortRepliesAreLoggedAndLeaveTheReplyTimeOutRunning) {
  // Each reply with the length it needs: the code, then its fields.
  const std::pair<std::string, size_t> replies[] = {
      {VersionReply("5.1"), 8},         {PlainReply(0x1013), 4}, {AntennaReply(1, "ok"), 16},
      {ReleaseInfoReply("PIC: 1"), 17}, {IbStatusReply(45), 12}, {IbPrepareReply(0), 8}};
  for (const auto& [reply, need] : replies) {
    for (size_t n = 0; n < need; ++n) {
      up->zing.ZingReq_GetCurrentSoftwareVersion();
      answer(reply.substr(0, n));
      EXPECT_TRUE(up->zing.tmrResponse.enabled()) << n;
      EXPECT_EQ(up->zing.pendingZingReq, 0x04);
    }
  }
  EXPECT_TRUE(logHas("ZING reply too short: 3 bytes."));
  EXPECT_TRUE(logHas("ZING reply too short: /x1092 with 16 bytes, 22 needed."));
  EXPECT_TRUE(logHas("ZING reply too short: /x1093 with 11 bytes, 12 needed."));

  // An unknown code is logged and the time-out still ends the exchange.
  up->zing.ZingReq_GetCurrentSoftwareVersion();
  answer(U32(0x1055) + "junk");
  EXPECT_TRUE(logHas("ZingResponseCode: /x1055"));
  p.vclock.advance(42000);
  EXPECT_EQ(status(), "Connection failed.");
}

TEST_F(ZingDispatcher, TwoRepliesInOneOrOneInTwoDeliveries) {
  answer(VersionReply(kVersionText) + ReleaseInfoReply(kReleaseText));
  EXPECT_EQ(up->win.text("txtCurrentSoftwareVersion"), "5.1.0.9");
  EXPECT_EQ(up->win.text("txtTermPICVersion"), "UNKNOWN");  // the second is not read

  // A reply in two deliveries is put back together.
  const std::string reply = ReleaseInfoReply(kReleaseText);
  connectAndTakeRequest();
  zing().deliver(reply.substr(0, 10));
  EXPECT_EQ(up->win.text("txtTermPICVersion"), "UNKNOWN");
  zing().deliver(reply.substr(10));
  EXPECT_EQ(up->win.text("txtTermPICVersion"), "2.03");
  EXPECT_FALSE(logHas("ZING reply too short: /x1092 with 10 bytes, 12 needed."));

  // A long version text is cut at its zero byte; a long release text at 256.
  up->zing.ZingReq_GetCurrentSoftwareVersion();
  answer(VersionReply("5.1.0.9 " + std::string(5000, 'x')) + std::string(100, '7'));
  EXPECT_EQ(up->st.strCurrSwVersion, "5_1_0_9");
  answer(ReleaseInfoReply(std::string(248, ' ') + "PIC: 4.56789"));
  EXPECT_EQ(up->win.text("txtTermPICVersion"), "4.5");
}

// Each reply handed over one byte at a time is read as if it came whole.
TEST_F(ZingDispatcher, RepliesInPiecesArePutBackTogether) {
  struct Case {
    void (ZingChannel::*request)();
    std::string reply;
    const char* field;
    const char* shown;
    size_t whole;  // bytes after which the reply is complete
  };
  up->st.ibImageBlocks = 100;
  const Case cases[] = {
      {&ZingChannel::ZingReq_GetCurrentSoftwareVersion, VersionReply(kVersionText),
       "txtCurrentSoftwareVersion", "5.1.0.9", VersionReply(kVersionText).size()},
      {&ZingChannel::ZingReq_Fetch_All_Release_Info, ReleaseInfoReply(kReleaseText),
       "txtTermPICVersion", "2.03", 16 + std::string(kReleaseText).size()},  // its zero is spare
      {&ZingChannel::ZingReq_FetchIBUpgradeStatus, IbStatusReply(45), "lblIbUpgStatus", "45 %", 12},
  };
  for (const Case& c : cases) {
    (up->zing.*c.request)();
    connectAndTakeRequest();
    up->win.setText(c.field, "");
    for (size_t i = 0; i < c.reply.size(); ++i) {
      if (i < c.whole) {
        EXPECT_EQ(up->win.text(c.field), "") << c.field << " after " << i;
      }
      zing().deliver(c.reply.substr(i, 1));
    }
    EXPECT_EQ(up->win.text(c.field), c.shown);
  }
  EXPECT_FALSE(logHas("ZING reply too short"));

  // A release text that announces more than arrives, or more than any reply
  // may hold, is read up to the last byte received when the reply time-out
  // ends the wait.
  up->zing.tmrIbPollUpgStatus.setEnabled(false);  // the IB row's next poll
  for (const long length : {100000L, 0x7FFFFFFFL}) {
    up->zing.ZingReq_Fetch_All_Release_Info();
    answer(U32(0x1092) + U32(0) + U32(length) + U32(0) + "PIC: 9.99");
    EXPECT_NE(up->win.text("txtTermPICVersion"), "9.99");
    EXPECT_TRUE(up->zing.tmrResponse.enabled());
    p.vclock.advance(40000);
    EXPECT_EQ(up->win.text("txtTermPICVersion"), "9.99") << length;
    EXPECT_EQ(status(), "Operation Successful. Release Info retrieved!");
    up->win.setText("txtTermPICVersion", "");
  }
  EXPECT_FALSE(logHas("ZING reply dropped"));
}

// The tail of a reply too long to take is not read as replies of its own,
// however the connection hands it over; the next request reads again.
TEST_F(ZingDispatcher, TheTailOfATooLongReplyIsNotRead) {
  struct Case {
    const char* name;
    void (ZingChannel::*request)();
    std::string head;  // its first bytes already tell that it is too long
    std::string tail;  // what the connection carries after them
    const char* field;
    const char* notShown;
  };
  const std::string hugeRelease = U32(0x1092) + U32(0) + U32(0x7FFFFFFF) + U32(0);
  const std::string hugeAntenna = U32(0x1090) + U32(0) + U32(1) + U32(0x00100000);
  const std::string endlessVersion = U32(0x1004) + U32(0) + std::string(kZingMaxReply, 'x');
  const Case cases[] = {
      {"release text", &ZingChannel::ZingReq_Fetch_All_Release_Info, hugeRelease,
       ReleaseInfoReply("PIC: 9.99"), "txtTermPICVersion", "9.99"},
      {"antenna text", &ZingChannel::ZingReq_UpgradeAntennaFW, hugeAntenna,
       VersionReply("6.6.6.6 Rel, Oct 29 2009 fpga 1"), "txtCurrentSoftwareVersion", "6.6.6.6"},
      {"version text", &ZingChannel::ZingReq_GetCurrentSoftwareVersion, endlessVersion,
       VersionReply("6.6.6.6 Rel, Oct 29 2009 fpga 1"), "txtCurrentSoftwareVersion", "6.6.6.6"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    (up->zing.*c.request)();
    connectAndTakeRequest();
    zing().deliver(c.head);
    zing().deliver(c.tail);
    zing().deliver(c.tail.substr(0, 5));
    zing().deliver(c.tail.substr(5));
    EXPECT_NE(up->win.text(c.field), c.notShown);
    EXPECT_TRUE(up->zing.tmrResponse.enabled());
  }
  up->zing.ZingReq_Fetch_All_Release_Info();
  answer(ReleaseInfoReply(kReleaseText));
  EXPECT_EQ(up->win.text("txtTermPICVersion"), "2.03");
}

// A reply that does not answer the request sent ends that step at once: a
// preparation is not confirmed by it, and nothing else acts on it.
TEST_F(ZingDispatcher, AReplyToAnotherRequestEndsTheStep) {
  const std::pair<void (ZingChannel::*)(), std::string> cases[] = {
      {&ZingChannel::ZingReq_PrepareTerminalFileSystem, U32(0x1055) + "junk"},
      {&ZingChannel::ZingReq_HaltStack, PlainReply(0x1013)},
      {&ZingChannel::ZingReq_FetchIBUpgradeStatus, PlainReply(0x1033)},
      {&ZingChannel::ZingReq_Fetch_All_Release_Info, VersionReply(kVersionText)},
  };
  for (const auto& [request, reply] : cases) {
    up->st.upgPrepState = UPG_PREP_FS_READY;
    (up->zing.*request)();
    answer(reply);
    EXPECT_FALSE(up->zing.tmrResponse.enabled()) << reply.size();
    EXPECT_EQ(zing().state(), sckClosed);
    EXPECT_EQ(up->st.upgPrepState, UPG_PREP_FS_READY);
    EXPECT_FALSE(up->zing.tmrFiveSecDelayedReset.enabled());
    EXPECT_NE(up->win.text("txtCurrentSoftwareVersion"), "5.1.0.9");
  }
  EXPECT_EQ(p.uiFake.messages.size(), 2u);  // the two preparation steps
  EXPECT_TRUE(logHas("ERR: \tZING reply /x1004 does not answer request /x92."));
}

}  // namespace
}  // namespace orvex::test
