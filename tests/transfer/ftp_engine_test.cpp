// The FTP command engine: the state events, every completion row, every
// error row (12003 by state), the disconnect rows and the watchdog.
#include "transfer/ftp_engine.h"

#include "support/transfer_fixture.h"
#include "transfer/software_upgrade.h"
#include "ui/main_window.h"

namespace orvex::test {
namespace {

using FtpEngineTest = TransferTest;

const char* kFailedUpgrade =
    "Upgrade failed.  Click OK and close the upgrader.  Check connection before retrying upgrade.  "
    "Upgrader FTP state : ";

TEST_F(FtpEngineTest, ProgressStatesOnlyLog) {
  up->st.ftpState = 11;
  for (int s : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}) up->ftp.inetFTP_StateChanged(s);
  for (const char* line :
       {"DET: \tFTP-State: Resolving Host", "DET: \tFTP-State: Host Resolved",
        "DET: \tFTP-State: Connecting...", "DET: \tFTP-State: Connected",
        "DET: \tFTP-State: ReceivingResponse from command= 11",
        "DET: \tFTP-State: Resp received...", "DET: \tFTP-State: Disconnecting..."})
    EXPECT_TRUE(logHas(line)) << line;
  EXPECT_TRUE(commands().empty());
  EXPECT_TRUE(p.uiFake.messages.empty());
}

TEST_F(FtpEngineTest, CompletionOfTheOtherChains) {
  // Each upload is first checked by its size in the listing of its folder.
  home.writeSize("PIC.s19", 120);
  home.writeSize("ATB11.sxm", 50);
  home.writeSize("HPA2.sxm", 60);
  home.writeSize("ib.glo", 70);
  up->st.strLocalPicFile = "PIC.s19";
  up->st.strGloFile = "ib.glo";
  auto completeChecked = [this](const std::string& dir, const std::string& name, int size) {
    p.ftp().fire(icResponseCompleted);
    EXPECT_EQ(commands().back(), dir);
    EXPECT_EQ(up->st.ftpState, VERIFY_UPLOAD_CMD);
    p.ftp().chunks.assign(
        {"-rw-r--r-- 1 root root " + std::to_string(size) + " Dec 08 08:20 " + name + "\r\n"});
    p.ftp().fire(icResponseCompleted);
  };
  // PIC: close, then the PIC work starts on the disconnect.
  up->st.bFtpDone = false;
  up->st.ftpState = 22;
  up->ftp.tmrFTPReq.setEnabled(true);
  completeChecked("DIR /tffs0", "pic.s19", 120);
  EXPECT_TRUE(up->st.bFtpDone);
  EXPECT_FALSE(up->ftp.tmrFTPReq.enabled());
  EXPECT_EQ(up->st.ftpState, 19);
  EXPECT_EQ(commands().back(), "CLOSE");
  EXPECT_EQ(status(), "PIC successfully uploaded! Wait...");
  EXPECT_EQ(up->st.picUpgradeState, PIC_UPG_STATE_PREP_INIT_CONNECT);
  EXPECT_TRUE(logInOrder({"Current FTP Command: 22", "FTP-State: Command Complete",
                          "DET: \tClosing FTP connection", "DET: \tFTP state : CLOSE_CONNECTION",
                          "DET: \tpicUpgradeState = PIC_UPG_STATE_PREP_INIT_CONNECT"}));

  // Antenna with an HPA file: the HPA upload follows, under the watchdog.
  up->st.strAtbFile = "ATB11.sxm";
  up->st.strHpaFile = "HPA2.sxm";
  up->st.ftpState = 23;
  completeChecked("DIR ", "atb.sxm", 50);
  EXPECT_EQ(up->st.ftpState, 24);
  EXPECT_EQ(commands().back(), "PUT HPA2.sxm hpa.sxm");
  EXPECT_TRUE(up->ftp.tmrFTPReq.enabled());
  EXPECT_EQ(status(), "Uploading Antenna software! Wait...");
  EXPECT_TRUE(logInOrder({"DET: \tFTP state : UPGRADE_ANTENNA_HPA_CMD",
                          "VRB: \tUploaded ATB file Successfully ! Continue with HPA."}));
  // ... a failure of that upload is handled, not ignored.
  p.ftp().code = 12029;
  p.ftp().fire(icError);
  EXPECT_EQ(p.uiFake.messages.size(), 1u);
  p.uiFake.messages.clear();

  up->st.ftpState = 24;
  completeChecked("DIR ", "hpa.sxm", 60);
  EXPECT_EQ(commands().back(), "CLOSE");
  EXPECT_EQ(up->st.ftpState, 19);
  EXPECT_EQ(status(), "Upgrading Antenna Firmware ...");  // the install request went out
  EXPECT_TRUE(logHas("VRB: \tUploaded HPA file Successfully !"));
  EXPECT_EQ(zing().host, "192.168.128.100");

  // Antenna without an HPA file: close and install at once.
  up->st.strHpaFile.clear();
  up->st.ftpState = 23;
  const size_t before = commands().size();
  completeChecked("DIR ", "atb.sxm", 50);
  EXPECT_EQ(commands().size(), before + 2);
  EXPECT_EQ(commands().back(), "CLOSE");
  EXPECT_TRUE(up->st.bFtpDone);
  EXPECT_TRUE(logHas("VRB: \tUploaded ATB file Successfully !"));

  // IB.
  up->st.ftpState = 25;
  completeChecked("DIR /tffs0/bin", "ib.glo", 70);
  EXPECT_EQ(commands().back(), "CLOSE");
  EXPECT_TRUE(logHas("VRB: \tUploaded IB file Successfully !"));

  // Log download: closes under the watchdog.
  up->st.ftpState = 21;
  p.ftp().fire(icResponseCompleted);
  EXPECT_EQ(commands().back(), "CLOSE");
  EXPECT_EQ(status(), "Log downloaded");
  EXPECT_TRUE(up->ftp.tmrFTPReq.enabled());
  EXPECT_TRUE(p.uiFake.messages.empty());
}

TEST_F(FtpEngineTest, ACompletionWhileClosingIsAFailedUpgrade) {
  for (long state : {19L, 20L, 2L}) {
    p.uiFake.messages.clear();
    up->st.bFtpDone = false;
    up->st.ftpState = state;
    up->ui.SetMouseCursor(1);
    p.ftp().fire(icResponseCompleted);
    ASSERT_EQ(p.uiFake.messages.size(), 1u);
    EXPECT_EQ(p.uiFake.messages[0].text, kFailedUpgrade + std::to_string(state));
    EXPECT_EQ(p.uiFake.messages[0].flags, vbExclamation);
    EXPECT_EQ(p.uiFake.messages[0].title, kProgramTitle);
    EXPECT_TRUE(up->st.bFtpDone);
    EXPECT_FALSE(p.uiFake.busy);
    EXPECT_EQ(status(), "");
  }
}

TEST_F(FtpEngineTest, ErrorRows) {
  struct Case {
    long code;
    std::string message;  // empty: none
    std::string status;
    bool cancels, versionReset, versionRequest;
  };
  const Case cases[] = {
      {12002, "", "FTP Timeout. Checking connection.....", true, true, true},
      {12014, "Incorrect Username or Password!", "", true, false, false},
      {12029, "Cannot connect to Satellite IP Modem. Please check cable connection and retry.", "",
       true, true, false},
      {12345,
       "An unexpected FTP error occurred.\r\nOperation cancelled.\r\n\r\nError Code:  12345 : "
       "426 aborted",
       "", true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    p.uiFake.messages.clear();
    up->st.strCurrSwVersion = "5_1_0_9";
    up->st.bFtpTimedOut = false;
    up->st.bFtpDone = false;
    up->st.ftpState = 3;
    up->ui.SetMouseCursor(1);
    up->ftp.tmrFTPReq.setEnabled(true);
    zing().connects = 0;
    const int cancels = p.ftp().cancels;
    p.ftp().code = c.code;
    p.ftp().info = "426 aborted";
    p.ftp().fire(icError);
    EXPECT_TRUE(logHas("ERR: \tCommand not complete, Error code: " + std::to_string(c.code) +
                       " 426 aborted ftp command: 3"));
    EXPECT_FALSE(up->ftp.tmrFTPReq.enabled());
    EXPECT_TRUE(up->st.bFtpDone);
    EXPECT_EQ(p.ftp().cancels - cancels, c.cancels ? 1 : 0);
    EXPECT_EQ(up->st.strCurrSwVersion, c.versionReset ? "0_0_0_0" : "5_1_0_9");
    EXPECT_EQ(up->st.bFtpTimedOut, c.versionRequest);
    EXPECT_EQ(zing().connects, c.versionRequest ? 1 : 0);
    EXPECT_EQ(status(), c.versionRequest ? "Retrieving Terminal software version..." : c.status);
    if (c.message.empty()) {
      EXPECT_TRUE(p.uiFake.messages.empty());
      EXPECT_TRUE(logHas("DET: \tInside inetFtp_stateChanged, icerror"));
    } else {
      ASSERT_EQ(p.uiFake.messages.size(), 1u);
      EXPECT_EQ(p.uiFake.messages[0].text, c.message);
      EXPECT_EQ(p.uiFake.messages[0].flags, vbExclamation);
      EXPECT_EQ(p.uiFake.messages[0].title, kProgramTitle);
      EXPECT_FALSE(p.uiFake.busy);
    }
    if (c.versionRequest) answer(VersionReply(kVersionText));
  }
  EXPECT_TRUE(logHas("ERR: \t[ FTP ERROR ] : unexpected FTP error occurred"));
  EXPECT_EQ(p.uiFake.quits, 0);
}

TEST_F(FtpEngineTest, ConnectionResetEndsTheProgram) {
  up->st.bFtpDone = false;
  up->st.ftpState = 1;
  p.ftp().code = 12031;
  p.ftp().fire(icError);
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].text,
            "\r\nWARNING: Connection Problem.\r\n\r\n# Please check the cable connection.\r\n# "
            "Restart the Upgrader.\r\n# Reset the Modem using the 'Tools>Reset Modem' option.\r\n# "
            "Retry the Upgrade after the modem Restarts.\r\nThe upgrader will now close.\r\n");
  EXPECT_EQ(p.uiFake.messages[0].flags, vbExclamation);
  EXPECT_EQ(p.uiFake.quits, 1);
  EXPECT_EQ(status(), "Please check the connections to the terminal, Plug in power and try again");
}

TEST_F(FtpEngineTest, ErrorsAfterTheChainEndedOnlyLog) {
  up->st.bFtpDone = true;
  up->st.ftpState = 3;
  up->ftp.tmrFTPReq.setEnabled(true);
  p.ftp().code = 12029;
  p.ftp().fire(icError);
  EXPECT_TRUE(logHas("DET: \tFTP-State: Error"));
  EXPECT_FALSE(logHas("ftp command: 3"));
  EXPECT_FALSE(up->ftp.tmrFTPReq.enabled());
  EXPECT_TRUE(p.uiFake.messages.empty());
  EXPECT_EQ(p.ftp().cancels, 0);
}

TEST_F(FtpEngineTest, ServerRefusalByState) {
  // 21: the log does not exist.
  up->st.bFtpDone = false;
  up->st.ftpState = 21;
  up->ui.SetMouseCursor(1);
  p.ftp().code = 12003;
  p.ftp().info = "550 No such file";
  p.ftp().fire(icError);
  EXPECT_TRUE(logHas("DET: \tFile not found on modem, FTP state : 21"));
  EXPECT_EQ(status(), "Log file doesn't exist.");
  EXPECT_TRUE(up->st.bFtpDone);
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_TRUE(p.uiFake.messages.empty());

  // Any other state: the one-line message; the client is cancelled, so the
  // next chain starts at the login folder.
  for (long state : {22L, 25L}) {
    p.uiFake.messages.clear();
    up->st.bFtpDone = false;
    up->st.ftpState = state;
    p.ftp().code = 12003;
    p.ftp().info = "550 No such file";
    p.ftp().fire(icError);
    // What arrived goes first.
    EXPECT_EQ(commands().back(), state == 22 ? "Delete /tffs0/pic.s19" : "Delete /tffs0/bin/");
    p.vclock.advance(100);
    ASSERT_EQ(p.uiFake.messages.size(), 1u);
    EXPECT_EQ(p.uiFake.messages[0].text,
              "An unexpected FTP error occurred. Operation cancelled.\r\n\r\nError Code:  12003 : "
              "550 No such file");
    EXPECT_TRUE(up->st.bFtpDone);
  }
  EXPECT_EQ(p.ftp().cancels, 2);
  // 1 and 8 go on with the upgrade, a refused image put removes what the
  // flash took of it first: see the software upgrade tests.
}

// IB, antenna and PIC files are checked by their size before the terminal
// acts on them; a wrong one is removed, a cut-off one goes before the retry.
TEST_F(FtpEngineTest, UploadsAreCheckedBeforeTheTerminalActsOnThem) {
  home.writeSize("ib.glo", 70);
  home.writeSize("ATB1.sxm", 50);
  home.writeSize("PIC_2.s19", 120);
  up->st.strGloFile = "ib.glo";
  up->st.strAtbFile = "ATB1.sxm";
  up->st.strHpaFile.clear();
  up->st.strLocalPicFile = "PIC_2.s19";
  FakeHistory history;
  p.historyPort = &history;
  struct Case {
    const char* name;
    long state;
    std::string put, remote;
    long long shortBy;
    long fault;                      // an error for the PUT, or 0
    std::vector<std::string> after;  // the commands after the PUT
    const char* shown;               // "" when none
  };
  const std::string ib = "PUT \"" + home.path() + "/ib.glo\" /tffs0/bin/ib.glo";
  const Case cases[] = {
      {"ib whole", 25, ib, "/tffs0/bin/ib.glo", 0, 0, {"DIR /tffs0/bin", "CLOSE"}, ""},
      {"ib short",
       25,
       ib,
       "/tffs0/bin/ib.glo",
       1,
       0,
       {"DIR /tffs0/bin", "Delete /tffs0/bin/ib.glo"},
       "The IB firmware on the Satellite IP Modem is not complete."},
      {"atb cut off",
       23,
       "PUT ATB1.sxm atb.sxm",
       "atb.sxm",
       0,
       ftpErrConnectionReset,
       {},
       "Do not restart or switch off the Satellite IP Modem."},
      {"pic short",
       22,
       "PUT PIC_2.s19 /tffs0/pic.s19",
       "/tffs0/pic.s19",
       5,
       0,
       {"DIR /tffs0", "Delete /tffs0/pic.s19"},
       "is not complete."},
      {"pic cut off",
       22,
       "PUT PIC_2.s19 /tffs0/pic.s19",
       "/tffs0/pic.s19",
       0,
       ftpErrConnectionReset,
       {},
       "The PIC firmware of the terminal is unchanged"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Each row is a terminal of its own: a leftover stays with its terminal.
    up->st.strModemIPAddress = "127.0.0." + std::to_string(50 + (&c - cases));
    ftp.reset();
    ftp = std::make_unique<FtpScript>(p);
    ftp->localFolder = home.path() + "/";
    ftp->putShortBy = c.shortBy;
    if (c.fault) ftp->fail("PUT", c.fault, "connection reset");
    p.uiFake.messages.clear();
    p.ftp().commands.clear();
    up->st.bFtpDone = false;
    up->st.ftpState = c.state;
    up->ftp.PutCheckedUpload({"PUT", {}, c.put});  // the fake reads the text
    p.vclock.advance(1000);
    std::vector<std::string> expected{c.put};
    expected.insert(expected.end(), c.after.begin(), c.after.end());
    EXPECT_EQ(commands(), expected);
    EXPECT_FALSE(up->st.bUnloaded);
    if (*c.shown) {
      ASSERT_EQ(p.uiFake.messages.size(), 1u);
      EXPECT_NE(p.uiFake.messages[0].text.find(c.shown), std::string::npos)
          << p.uiFake.messages[0].text;
      EXPECT_TRUE(up->st.bFtpDone);
    } else {
      EXPECT_TRUE(p.uiFake.messages.empty());
    }
    EXPECT_EQ(ftp->flash.count(c.remote), (*c.shown || c.fault) ? 0u : 1u);
    EXPECT_EQ(up->ftp.HasUploadLeftover(c.remote), c.fault != 0);
  }
  // The retry of the cut-off PIC upload removes what it left first.
  ftp.reset();
  ftp = std::make_unique<FtpScript>(p);
  ftp->localFolder = home.path() + "/";
  p.ftp().commands.clear();
  up->st.bFtpDone = false;
  up->st.ftpState = UPGRADE_PIC_SA_CMD;
  up->ftp.PutCheckedUpload("PUT PIC_2.s19 /tffs0/pic.s19");
  p.vclock.advance(1000);
  EXPECT_EQ(commands(),
            (std::vector<std::string>{"Delete /tffs0/pic.s19", "PUT PIC_2.s19 /tffs0/pic.s19",
                                      "DIR /tffs0", "CLOSE"}));
  EXPECT_FALSE(up->ftp.HasUploadLeftover("/tffs0/pic.s19"));
  // The next run's software upgrade of the terminal with the cut-off
  // antenna file removes it before anything else.
  ftp.reset();
  up.reset();
  start();
  ftp = std::make_unique<FtpScript>(p);
  up->st.strModemIPAddress = "127.0.0.52";
  up->st.strCurrSwVersion = "5_1_0_9";
  up->sw.UPG_SoftwareUpgradeIgnite();
  p.vclock.advance(10);
  ASSERT_GE(commands().size(), 2u);
  EXPECT_EQ(commands()[0], "Delete atb.sxm");
  EXPECT_EQ(commands()[1].rfind("GET image.txt", 0), 0u) << commands()[1];
  EXPECT_TRUE(history.leftovers["127.0.0.52"].empty());
  p.historyPort = nullptr;
}

TEST_F(FtpEngineTest, DisconnectRows) {
  // After the image put: image.txt follows 2 s later; the state becomes 19.
  up->st.ftpState = 20;
  up->st.bFtpDone = false;
  up->ui.SetMouseCursor(1);
  p.ftp().code = 226;
  p.ftp().fire(icDisconnected);
  EXPECT_TRUE(up->st.bFtpDone);
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_TRUE(up->sw.tmrImagePutTrig.enabled());
  EXPECT_EQ(up->st.ftpState, 19);
  EXPECT_TRUE(logInOrder({"DET: \tFTP-State: Disconnected", "DET: \tCLOSE: current ftp command: 19",
                          "DET: \tThe result code: 226"}));
  up->sw.tmrImagePutTrig.setEnabled(false);

  // A plain close: nothing more.
  p.ftp().fire(icDisconnected);
  EXPECT_FALSE(logHas("FTP connection was suddenly closed."));

  // Any other state: the link dropped.
  up->st.ftpState = 3;
  up->win.setText("sbUpgrade", "Uploading");
  p.ftp().fire(icDisconnected);
  EXPECT_TRUE(logHas("ERR: \tFTP connection was suddenly closed."));
  EXPECT_EQ(status(), "");
  EXPECT_TRUE(logHas("DET: \tCLOSE: current ftp command: 3"));
  EXPECT_FALSE(up->sw.tmrImagePutTrig.enabled());
}

TEST_F(FtpEngineTest, DisconnectAfterThePicUploadStartsThePicWork) {
  for (bool bootrom : {false, true}) {
    up->st.bBootromMode = bootrom;
    up->st.picUpgradeState = PIC_UPG_STATE_PREP_INIT_CONNECT;
    up->st.ftpState = 19;
    p.ftp().fire(icDisconnected);
    EXPECT_TRUE(logInOrder(
        {bootrom ? "INF: \tInitializing PIC Upgrade." : "INF: \tStart Preparing for PIC Upgrade",
         ">> UI_UpdateUIUpgState() : 5"}));
  }
}

TEST_F(FtpEngineTest, WatchdogFallsBackToAVersionCheck) {
  up->sw.UPG_SoftwareUpgradeIgnite();
  ftp->hang("GET image.txt");
  ASSERT_TRUE(up->ftp.tmrFTPReq.enabled());
  zing().connects = 0;
  p.vclock.advance(64999);
  EXPECT_EQ(p.ftp().cancels, 0);
  p.vclock.advance(1);
  EXPECT_TRUE(logHas("VRB: \t>> tmrFTPReq_Timer()"));
  EXPECT_TRUE(up->st.bFtpDone);
  EXPECT_FALSE(up->ftp.tmrFTPReq.enabled());
  EXPECT_EQ(p.ftp().cancels, 1);
  EXPECT_TRUE(up->st.bFtpTimedOut);
  EXPECT_EQ(up->st.strCurrSwVersion, "0_0_0_0");
  EXPECT_EQ(zing().connects, 1);
  // A late answer of the cancelled command changes nothing.
  p.ftp().code = 12002;
  p.ftp().fire(icError);
  EXPECT_TRUE(p.uiFake.messages.empty());
}

TEST_F(FtpEngineTest, ACompletionInTimeStopsTheWatchdog) {
  up->sw.UPG_SoftwareUpgradeIgnite();
  ftp->imageTxt = "/bin/orvex_5_1_0_9.bin";
  p.vclock.advance(10);
  EXPECT_FALSE(up->ftp.tmrFTPReq.enabled());
  EXPECT_EQ(commands().back(), "CD /tffs0/bin");
  ftp->hang("CD ");
  p.vclock.advance(200000);
  EXPECT_EQ(p.ftp().cancels, 0);  // CD has no watchdog of its own
}

}  // namespace
}  // namespace orvex::test
