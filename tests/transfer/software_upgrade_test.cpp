// The software upgrade sequence: preparation, the FTP chain with its exact
// commands and log lines, its short paths, and the deletion rule.
#include "transfer/software_upgrade.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <utility>

#include "support/transfer_fixture.h"
#include "transfer/ftp_engine.h"
#include "zing/zing_channel.h"

namespace orvex::test {
namespace {

// The lines of a log kept under tests/transfer/data, notes left out and each
// placeholder replaced.
std::vector<std::string> ExpectedLog(
    const std::string& name, const std::vector<std::pair<std::string, std::string>>& values) {
  std::ifstream in(std::string(ORVEX_SOURCE_DIR) + "/tests/transfer/data/" + name);
  EXPECT_TRUE(in) << name;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    for (const auto& [key, value] : values)
      for (size_t at = line.find(key); at != std::string::npos;
           at = line.find(key, at + value.size()))
        line.replace(at, key.size(), value);
    lines.push_back(line);
  }
  return lines;
}

class SoftwareUpgradeTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    h = up->st.strHomeDir;
    b = up->st.strBackupDir + "/";
  }
  // Runs the preparation from its first step with the terminal answering.
  void prepare() {
    up->st.upgPrepState = UPG_PREP_IDLE;
    up->sw.UPG_HandleSwUpgradePreparation();
    answer(PlainReply(0x1032));
    answer(PlainReply(0x1033));
  }
  std::vector<std::string> deletes() {
    std::vector<std::string> out;
    for (const auto& c : commands())
      if (c.rfind("Delete ", 0) == 0) out.push_back(c.substr(7));
    return out;
  }
  // Runs only the deletion rule on a listing.
  std::vector<std::string> deletionsFor(const std::vector<std::string>& chunks, bool imageValid,
                                        const std::string& executable) {
    p.ftp().commands.clear();
    p.ftp().chunks.assign(chunks.begin(), chunks.end());
    up->sw.bImageValid = imageValid;
    up->sw.strCurrExecutable = executable;
    up->st.bFtpDone = false;
    up->sw.UPG_HandleOldBinDeletions();
    return deletes();
  }

  std::string h, b;
  const std::string kListing =
      "orvex_5_0_0_1.bin\r\norvex_5_1_0_9.bin\r\norvex.bin\r\nreadme.txt\r\n";
};

TEST_F(SoftwareUpgradeTest, RegularUpgradeRunsTheWholeChain) {
  home.write("Backup/orvex_5_1_0_9.bin", "old copy");
  ftp->imageTxt = "/bin/orvex_5_1_0_9.bin\r\n";
  ftp->listing = {kListing};
  prepare();
  EXPECT_EQ(up->st.upgPrepState, UPG_PREP_ALL_DONE);
  EXPECT_TRUE(logInOrder(
      {"DET: \tUpgPrepState: UPG_PREP_IDLE", "DET: \tUpgPrepState: UPG_PREP_FS_READY",
       "DET: \tupgPrepState = UPG_PREP_ALL_DONE", "VRB: \tProceeeding with Regular Upgrade ..."}));
  p.vclock.advance(11999);
  EXPECT_TRUE(commands().empty());
  p.vclock.advance(1);
  ASSERT_EQ(commands().size(), 1u);
  EXPECT_EQ(p.ftp().host, "192.168.128.100");
  p.vclock.advance(1000);

  const std::vector<std::string> expected = {
      "GET image.txt \"" + h + "image.txt\"",
      "CD /tffs0/bin",
      "LS ",
      "Delete orvex_5_0_0_1.bin",
      "Delete orvex.bin",
      "GET \"/tffs0/bin/orvex_5_1_0_9.bin\" \"" + b + "orvex_5_1_0_9.bin.part\"",
      "HELP",
      "PUT \"" + h + "orvex_5_1_0_12.bin\" /tffs0/bin/orvex_5_1_0_12.bin.part",
      "DIR /tffs0/bin",
      "RENAME /tffs0/bin/orvex_5_1_0_12.bin.part /tffs0/bin/orvex_5_1_0_12.bin",
      "CLOSE",
  };
  EXPECT_EQ(commands(), expected);
  EXPECT_EQ(home.read("Backup/orvex_5_1_0_9.bin"), "backup of /tffs0/bin/orvex_5_1_0_9.bin");
  EXPECT_FALSE(home.exists("Backup/orvex_5_1_0_9.bin.part"));
  EXPECT_EQ(ftp->flash, (std::map<std::string, long long>{{"/tffs0/bin/orvex_5_1_0_12.bin",
                                                           FileLength(h + "orvex_5_1_0_12.bin")}}));
  EXPECT_TRUE(up->sw.bImageValid);
  EXPECT_EQ(up->sw.strCurrExecutable, "/bin/orvex_5_1_0_9.bin");
  EXPECT_TRUE(p.uploads.empty());
  EXPECT_FALSE(p.uiFake.busy);

  p.vclock.advance(2000);
  ASSERT_EQ(p.uploads.size(), 1u);
  EXPECT_EQ(p.uploads[0]->calls,
            (std::vector<std::string>{"open ORVEX Software Upgrader",
                                      "connect 192.168.128.100 termuser skyharbor",
                                      "put " + h + "image.txt image.txt.part ascii"}));
  // Checked by its size, then renamed over image.txt.
  EXPECT_EQ(std::vector<std::string>(commands().end() - 3, commands().end()),
            (std::vector<std::string>{"DIR ", "RENAME image.txt.part image.txt", "CLOSE"}));
  EXPECT_EQ(ftp->imageTxt, "/bin/orvex_5_1_0_12.bin");
  EXPECT_EQ(home.read("image.txt"), "/bin/orvex_5_1_0_12.bin");
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_BIN_DONE);
  EXPECT_EQ(up->win.value("chkBinUpg"), 0);
  EXPECT_TRUE(up->st.bFtpDone);
  EXPECT_EQ(status(), "Successfully upgraded! Wait...");
  EXPECT_TRUE(up->zing.tmrFiveSecDelayedReset.enabled());
  EXPECT_TRUE(p.uiFake.messages.empty());

  EXPECT_TRUE(logInOrder(
      ExpectedLog("regular_upgrade.log",
                  {{"{home}", h},
                   {"{backup}", b},
                   {"{get_bin}", expected[5]},
                   {"{put_bin}", expected[7]},
                   {"{image_bytes}", std::to_string(FileLength(h + "orvex_5_1_0_12.bin"))}})));
  EXPECT_FALSE(logHas("Command not complete"));
}

TEST_F(SoftwareUpgradeTest, WithoutImageTxtTheDefaultAndTheRunningImagesSurvive) {
  ftp->listing = {kListing};
  up->sw.bImageValid = true;  // from an earlier upgrade
  up->sw.UPG_SoftwareUpgradeIgnite();
  p.vclock.advance(1000);
  // The terminal reports 5.1.0.9: that image runs, whatever image.txt says.
  EXPECT_EQ(deletes(), (std::vector<std::string>{"orvex_5_0_0_1.bin"}));
  EXPECT_EQ(commands()[1], "CD /tffs0/bin");
  EXPECT_EQ(commands()[4], "GET \"/tffs0/bin/orvex.bin\" \"" + b + "orvex_5_1_0_9.bin.part\"");
  EXPECT_EQ(commands()[6],
            "PUT \"" + h + "orvex_5_1_0_12.bin\" /tffs0/bin/orvex_5_1_0_12.bin.part");
  EXPECT_FALSE(up->sw.bImageValid);
  EXPECT_FALSE(logHas("Command not complete"));
  EXPECT_TRUE(logInOrder(
      {"DET: \tFile not found on modem, FTP state : 8",
       "ERR: \t[ FTP ERROR ] : image.txt file does not exist in flash memory, default name to "
       "orvex.bin",
       "DET: \tGet_IMG_CMG in icerror", "DET: \tFTP state : CD_TO_BIN_FOLDER",
       "DET: \tleaving Get_img_cmd in icerror", "DET: \tNo Image backup default orvex.bin",
       "INF: \tBackup kept until its new copy is complete: "}));
  EXPECT_TRUE(p.uiFake.messages.empty());
}

TEST_F(SoftwareUpgradeTest, ARejectedImageTxtSkipsCleanupAndBackup) {
  // The last case is accepted by form but too long to be a boot name: with
  // a stale bImageValid the deletion rule would spare nothing.
  const std::string tooLong = "/bin/" + std::string(41, 'x') + ".bin";
  ASSERT_EQ(tooLong.size(), 50u);
  ftp->hang("PUT ");
  for (const std::string& content :
       {std::string("bin/orvex_5_0_0_1.bin"), std::string("/BIN/orvex_5_0_0_1.bin"),
        std::string(""), std::string("/bin/orvex_5_0_0_1.BIN"), tooLong}) {
    SCOPED_TRACE(content);
    p.ftp().commands.clear();
    ftp->imageTxt = content;
    up->sw.bImageValid = true;
    up->sw.UPG_SoftwareUpgradeIgnite();
    p.vclock.advance(100);
    ASSERT_EQ(commands().size(), 3u);
    EXPECT_EQ(commands()[2],
              "PUT \"" + h + "orvex_5_1_0_12.bin\" /tffs0/bin/orvex_5_1_0_12.bin.part");
    EXPECT_EQ(up->sw.strCurrExecutable, "");
    EXPECT_EQ(up->st.ftpState, 3);
    EXPECT_TRUE(p.uiFake.busy);
  }
  EXPECT_TRUE(logInOrder({"ERR: \tRetrieved Image file Corrupt. Bypassing Binary retieval.",
                          "VRB: \tContinuing with binary Upload  .."}));
  EXPECT_TRUE(logHas("ERR: \timage file content too long: 50 characters"));
}

TEST_F(SoftwareUpgradeTest, ARefusedBackupUploadsWithoutIt) {
  ftp->imageTxt = "/bin/orvex_5_1_0_9.bin";
  ftp->listing = {"orvex_5_1_0_9.bin\r\n"};
  ftp->fail("GET \"", 12003);
  up->sw.UPG_SoftwareUpgradeIgnite();
  p.vclock.advance(1000);
  ASSERT_EQ(commands().size(), 9u);
  EXPECT_EQ(commands()[3],
            "GET \"/tffs0/bin/orvex_5_1_0_9.bin\" \"" + b + "orvex_5_1_0_9.bin.part\"");
  EXPECT_EQ(commands()[5],
            "PUT \"" + h + "orvex_5_1_0_12.bin\" /tffs0/bin/orvex_5_1_0_12.bin.part");
  EXPECT_EQ(commands()[8], "CLOSE");
  EXPECT_TRUE(logInOrder(
      {"ERR: \tCommand not complete, Error code: 12003 550 refused ftp command: 1",
       "DET: \tFile not found on modem, FTP state : 1", "DET: \torvex bin not found, continuing",
       "ERR: \t[ FTP ERROR ] : orvex*.bin file does not exist in flash memory, will upload "
       "current new version to terminal"}));
  p.vclock.advance(2000);
  EXPECT_EQ(home.read("image.txt"), "/bin/orvex_5_1_0_12.bin");
}

TEST_F(SoftwareUpgradeTest, BootromUploadsAtOnce) {
  up->st.bBootromMode = true;
  up->st.upgPrepState = UPG_PREP_STACK_READY;
  up->sw.UPG_HandleSwUpgradePreparation();
  EXPECT_TRUE(logHas("VRB: \tBOOTROM mode, no-backup required, start upload new binary."));
  EXPECT_FALSE(up->sw.tmrDelayedSwUpgIgnite.enabled());
  p.vclock.advance(10);                       // HELP answered
  EXPECT_FALSE(up->ftp.tmrFTPReq.enabled());  // the PUT has no watchdog
  p.vclock.advance(100);
  EXPECT_EQ(
      commands(),
      (std::vector<std::string>{
          "HELP", "PUT \"" + h + "orvex_5_1_0_12.bin\" /tffs0/bin/orvex_5_1_0_12.bin.part",
          "DIR /tffs0/bin",
          "RENAME /tffs0/bin/orvex_5_1_0_12.bin.part /tffs0/bin/orvex_5_1_0_12.bin", "CLOSE"}));
  p.vclock.advance(2000);
  EXPECT_EQ(home.read("image.txt"), "/bin/orvex_5_1_0_12.bin");

  up->st.upgPrepState = 7;
  up->sw.UPG_HandleSwUpgradePreparation();
  EXPECT_TRUE(logHas("ERR: \tUnexpected Preparation State: 7"));
}

TEST_F(SoftwareUpgradeTest, WithoutRenameTheImageGoesUpUnderItsFinalName) {
  // A classic server lists neither RNFR nor RNTO; one without HELP refuses it.
  ftp->helpText =
      "214-The following commands are recognized:\r\n HELP USER PASS QUIT LIST NLST "
      "RETR STOR CWD TYPE\r\n PORT PWD STRU MODE ALLO ACCT PASV NOOP DELE\r\n214 "
      "End of HELP info.\r\n";
  struct Case {
    const char* name;
    bool noHelp, bootrom;
    const char* running;
    bool refused;
  };
  const Case cases[] = {
      {"classic", false, false, "5_1_0_9", false},
      {"the same version", false, false, "5_1_0_12", true},
      {"the same version in BOOTROM", false, true, "5_1_0_12", false},
      {"no HELP", true, false, "5_1_0_9", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.noHelp) ftp->fail("HELP", 12003, "500 'HELP': command not understood.");
    p.ftp().commands.clear();
    p.uiFake.messages.clear();
    up->st.bBootromMode = c.bootrom;
    up->st.strCurrSwVersion = c.running;
    up->sw.UPG_UploadOrvexBinToTarget();
    p.vclock.advance(100);
    const std::string put = "PUT \"" + h + "orvex_5_1_0_12.bin\" /tffs0/bin/orvex_5_1_0_12.bin";
    const std::vector<std::string> expected =
        c.refused ? std::vector<std::string>{"HELP"}
                  : std::vector<std::string>{"HELP", put, "DIR /tffs0/bin", "CLOSE"};
    EXPECT_EQ(commands(), expected);
    EXPECT_FALSE(up->sw.bRenameWorks);
    ASSERT_EQ(p.uiFake.messages.size(), c.refused ? 1u : 0u);
    if (c.refused) {
      EXPECT_TRUE(StartsWith(p.uiFake.messages[0].text,
                             "The Satellite IP Modem already runs this software version"));
      EXPECT_TRUE(up->st.bFtpDone);
    }
    p.vclock.advance(3000);
  }
  EXPECT_FALSE(logHas("Command not complete"));
}

TEST_F(SoftwareUpgradeTest, TheBackupIsOfTheImageThatBootsAndNeedsTheVersion) {
  // image.txt names another file than the reported version would.
  ftp->imageTxt = "/bin/orvex_5_1_0_7.bin";
  ftp->listing = {"orvex_5_1_0_7.bin\r\norvex_5_1_0_9.bin\r\n"};
  ftp->hang("PUT ");
  up->sw.UPG_SoftwareUpgradeIgnite();
  p.vclock.advance(1000);
  ASSERT_GE(commands().size(), 4u);
  EXPECT_EQ(commands()[3],
            "GET \"/tffs0/bin/orvex_5_1_0_7.bin\" \"" + b + "orvex_5_1_0_9.bin.part\"");

  // A name that is no plain path goes into no command.
  up->sw.strCurrExecutable = "/bin/a\" \"b.bin";
  up->sw.UPG_GetCurrentOrvexBintoPc();
  EXPECT_EQ(commands().back(),
            "GET \"/tffs0/bin/orvex_5_1_0_9.bin\" \"" + b + "orvex_5_1_0_9.bin.part\"");
  p.vclock.advance(100);

  // With the version unknown nothing starts outside BOOTROM mode.
  for (const bool bootrom : {false, true}) {
    SCOPED_TRACE(bootrom);
    p.ftp().commands.clear();
    p.uiFake.messages.clear();
    up->st.strCurrSwVersion = "0_0_0_0";
    up->st.bBootromMode = bootrom;
    up->st.upgPrepState = bootrom ? UPG_PREP_STACK_READY : UPG_PREP_IDLE;
    up->sw.UPG_HandleSwUpgradePreparation();
    p.vclock.advance(100);
    ASSERT_EQ(p.uiFake.messages.size(), bootrom ? 0u : 1u);
    EXPECT_EQ(commands().size(), bootrom ? 2u : 0u);  // HELP, PUT
    if (!bootrom) {
      EXPECT_TRUE(StartsWith(p.uiFake.messages[0].text,
                             "The software version of the Satellite IP Modem is not known"));
    }
  }
}

TEST_F(SoftwareUpgradeTest, AnEmptyBackupDownloadNeverReplacesAGoodCopy) {
  home.write("Backup/orvex_5_1_0_9.bin", "old copy");
  ftp->imageTxt = "/bin/orvex_5_1_0_9.bin";
  ftp->listing = {"orvex_5_1_0_9.bin\r\n"};
  ftp->backupContent = "";  // 0 bytes, then 226
  up->sw.UPG_SoftwareUpgradeIgnite();
  p.vclock.advance(1000);
  EXPECT_EQ(home.read("Backup/orvex_5_1_0_9.bin"), "old copy");
  EXPECT_FALSE(home.exists("Backup/orvex_5_1_0_9.bin.part"));
}

TEST_F(SoftwareUpgradeTest, DeletionRule) {
  struct Case {
    std::string name;
    std::vector<std::string> chunks;
    bool valid;
    std::string executable;
    std::vector<std::string> deleted;
  };
  const std::string listing =
      "orvex_5_0_0_1.bin\r\norvex_5_1_0_12.bin\r\norvex.bin\r\nreadme.txt\r\n";
  const Case cases[] = {
      {"valid image.txt",
       {listing},
       true,
       "/bin/orvex_5_0_0_1.bin",
       {"orvex_5_1_0_12.bin", "orvex.bin"}},
      {"no image.txt", {listing}, false, "", {"orvex_5_0_0_1.bin", "orvex_5_1_0_12.bin"}},
      {"other case is not an image", {"ORVEX_5.BIN\r\norvex_5_0_0_1.BIN\r\n"}, false, "", {}},
      {"same version as the new image",
       {listing},
       true,
       "/bin/orvex_5_1_0_12.bin",
       {"orvex_5_0_0_1.bin", "orvex.bin"}},
      {"running image named in other case",
       {"orvex_5_1_0_a.bin\r\norvex_5_0.bin\r\n"},
       true,
       "/bin/orvex_5_1_0_A.bin",
       {"orvex_5_0.bin"}},
      {"line end left in the running name",
       {listing},
       true,
       "/bin/orvex_5_0_0_1.bin\n",
       {"orvex_5_1_0_12.bin", "orvex.bin"}},
      {"blanks and empty lines", {"\r\n \r\n  orvex_1.bin  \r\n\r\n"}, false, "", {"orvex_1.bin"}},
      {"running image named with a path",
       {"./orvex_5_0_0_1.bin\r\n/tffs0/bin/orvex_5_0_0_1.bin\r\nbin\\ORVEX_5_0_0_1.bin\r\n"
        "orvex_5_1_0_12.bin\r\n"},
       true,
       "/bin/orvex_5_0_0_1.bin",
       {"orvex_5_1_0_12.bin"}},
      {"control characters and wildcards",
       {std::string("orvex_5_0_0_1.bin\t\r\norvex_5_0_0_1.bin\x01\r\norvex*.bin\r\n") +
        "orvex_5_0_0_?.bin\r\norvex.bin\x7f\r\norvex_1.bin\r\n"},
       true,
       "/bin/orvex_5_0_0_1.bin",
       {"orvex_1.bin"}},
      {"names in quotes are checked as sent",
       {"\"orvex_5_0_0_1.bin\"\r\n\"orvex_1.bin\"\r\n\"\"orvex_2.bin\"\"\r\n"},
       true,
       "/bin/orvex_5_0_0_1.bin",
       {"orvex_1.bin"}},
      {"empty listing", {}, true, "/bin/orvex_5_0_0_1.bin", {}},
      {"running image unknown", {listing}, true, "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(deletionsFor(c.chunks, c.valid, c.executable), c.deleted);
    EXPECT_FALSE(up->st.bFtpDone);
  }
  EXPECT_EQ(up->sw.strCurrExecutable, "");
  EXPECT_TRUE(logHas("INF: \tMissing bin file on terminal!!!"));
  EXPECT_TRUE(logHas("DET: \tSkip File :ORVEX_5.BIN"));
  EXPECT_EQ(status(), "Cleaning Up Flash Memory...");
}

TEST_F(SoftwareUpgradeTest, ALongListingIsJoinedAcrossChunks) {
  std::string listing;
  std::vector<std::string> names;
  for (int i = 100; i < 230; ++i) {
    names.push_back("orvex_5_0_0_" + std::to_string(i) + ".bin");
    listing += names.back() + "\r\n";
  }
  ASSERT_GT(listing.size(), 2048u);
  const auto deleted = deletionsFor({listing}, true, "/bin/orvex_5_0_0_140.bin");
  names.erase(names.begin() + 40);
  EXPECT_EQ(deleted, names);
  int raw = 0;
  for (const auto& line : logLines()) raw += EndsWith(line, "Raw Search Response: ");
  EXPECT_EQ(raw, 3);
}

TEST_F(SoftwareUpgradeTest, ARefusedDeleteEndsTheChain) {
  ftp->imageTxt = "/bin/orvex_5_1_0_9.bin";
  ftp->listing = {kListing};
  ftp->fail("Delete orvex_5_0_0_1.bin", 12003, "550 busy");
  up->sw.UPG_SoftwareUpgradeIgnite();
  p.vclock.advance(5000);
  EXPECT_EQ(commands().back(), "Delete orvex_5_0_0_1.bin");
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].text,
            "An unexpected FTP error occurred. Operation cancelled.\r\n\r\nError Code:  12003 : "
            "550 busy");
  EXPECT_TRUE(up->st.bFtpDone);
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_TRUE(p.uploads.empty());
}

TEST_F(SoftwareUpgradeTest, ADeleteThatNeverEndsIsBounded) {
  ftp->imageTxt = "/bin/orvex_5_1_0_9.bin";
  ftp->listing = {kListing};
  ftp->hang("Delete ");
  up->sw.UPG_SoftwareUpgradeIgnite();
  zing().connects = 0;
  p.vclock.advance(100);
  EXPECT_EQ(commands().back(), "Delete orvex_5_0_0_1.bin");
  p.vclock.advance(SoftwareUpgrade::kFtpCommandWaitMs);
  EXPECT_TRUE(logHas("ERR: \tFTP command did not finish: Delete orvex_5_0_0_1.bin"));
  EXPECT_EQ(commands().back(), "Delete orvex_5_0_0_1.bin");
  EXPECT_EQ(p.ftp().cancels, 1);
  EXPECT_TRUE(up->st.bFtpDone);
  EXPECT_TRUE(logHas("VRB: \t>> tmrFTPReq_Timer()"));
  EXPECT_EQ(zing().connects, 1);  // the connection is checked
}

// "Close anyway" while the deletion loop waits: nothing more is sent.
TEST_F(SoftwareUpgradeTest, CloseAnywayInTheDeletionLoopSendsNothingMore) {
  ftp->imageTxt = "/bin/orvex_5_1_0_9.bin";
  ftp->listing = {kListing};
  ftp->hang("Delete ");
  up->sw.UPG_SoftwareUpgradeIgnite();
  p.vclock.schedule(200, [this] {
    p.uiFake.answers.push_back(vbYes);
    up->click("mnuFileExit");
  });
  p.vclock.advance(1000);
  EXPECT_TRUE(up->st.bUnloaded);
  // No further delete, no backup and no upload follow.
  const auto& sent = commands();
  const auto del = std::find(sent.begin(), sent.end(), "Delete orvex_5_0_0_1.bin");
  ASSERT_NE(del, sent.end());
  EXPECT_EQ(std::vector<std::string>(del + 1, sent.end()), std::vector<std::string>{});
  EXPECT_TRUE(p.uploads.empty());
}

// A new image is named in image.txt only once it is on the flash whole and
// in place; otherwise its temporary copy is removed and the chain ends.
TEST_F(SoftwareUpgradeTest, AnImageThatFailsItsCheckIsRemovedAndNeverNamed) {
  struct Case {
    std::string name;
    std::string failPrefix;  // empty: the flash keeps one byte fewer
    std::string message;
  };
  const Case cases[] = {
      {"short on the flash", "", "The software image on the Satellite IP Modem is not complete."},
      {"listing refused", "DIR ", "could not be verified"},
      {"rename refused", "RENAME ", "refused to put the new software image in place"},
      {"put refused, a full flash", "PUT ", "An unexpected FTP error occurred."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ftp.reset();
    ftp = std::make_unique<FtpScript>(p);
    p.ftp().commands.clear();
    p.uiFake.messages.clear();
    p.uploads.clear();
    ftp->putShortBy = c.failPrefix.empty() ? 1 : 0;
    if (!c.failPrefix.empty()) ftp->fail(c.failPrefix, 12003, "550 refused");
    up->st.bPicUpgPending = up->st.bAntUpgPending = true;
    up->st.upgPrepState = UPG_PREP_STACK_READY;
    up->st.bBootromMode = true;
    up->sw.UPG_HandleSwUpgradePreparation();
    p.vclock.advance(10000);
    EXPECT_EQ(commands().back(), "Delete /tffs0/bin/orvex_5_1_0_12.bin.part");
    EXPECT_FALSE(ftp->flash.count("/tffs0/bin/orvex_5_1_0_12.bin"));
    EXPECT_TRUE(p.uploads.empty());  // no image.txt names it
    EXPECT_FALSE(up->zing.tmrFiveSecDelayedReset.enabled());
    ASSERT_EQ(p.uiFake.messages.size(), 1u);
    EXPECT_NE(p.uiFake.messages[0].text.find(c.message), std::string::npos);
    EXPECT_FALSE(up->st.bPicUpgPending || up->st.bAntUpgPending);
    EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
    EXPECT_TRUE(up->st.bFtpDone);
    EXPECT_FALSE(p.uiFake.busy);
  }
}

// The old backup stays until a complete new copy replaces it, and a refusal
// of image.txt other than "not found" deletes nothing.
TEST_F(SoftwareUpgradeTest, FailuresBeforeThePutLoseNothing) {
  struct Case {
    std::string name;
    std::string prefix;
    long code;
    std::string info;
    bool deletes;
  };
  const Case cases[] = {
      {"backup download fails", "GET \"", 12345, "426 aborted", true},
      {"backup download times out", "GET \"", 12002, "timed out", true},
      {"image.txt refused, not missing", "GET image.txt", 12003, "451 local error", false},
      {"image.txt times out", "GET image.txt", 12002, "timed out", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    home.write("Backup/orvex_5_1_0_9.bin", "old copy");
    ftp.reset();
    ftp = std::make_unique<FtpScript>(p);
    p.ftp().commands.clear();
    ftp->imageTxt = "/bin/orvex_5_1_0_9.bin";
    ftp->listing = {kListing};
    ftp->fail(c.prefix, c.code, c.info);
    up->st.bFtpDone = false;
    up->st.strCurrSwVersion = "5_1_0_9";  // an earlier case's failure forgot it
    up->sw.UPG_SoftwareUpgradeIgnite();
    p.vclock.advance(5000);
    EXPECT_EQ(home.read("Backup/orvex_5_1_0_9.bin"), "old copy");
    EXPECT_FALSE(home.exists("Backup/orvex_5_1_0_9.bin.part"));
    EXPECT_EQ(!deletes().empty(), c.deletes);
    for (const auto& command : commands()) EXPECT_NE(command.rfind("PUT ", 0), 0u) << command;
    EXPECT_TRUE(up->st.bFtpDone);
    if (c.code == 12002) answer(VersionReply(kVersionText));
  }
}

TEST_F(SoftwareUpgradeTest, AnImageTxtThatCannotBeWrittenOnThePcIsNotSent) {
  // A folder where the file should be: image.txt cannot be written.
  std::filesystem::create_directories(home.path() + "/image.txt/keep");
  up->st.bBootromMode = true;
  up->st.upgPrepState = UPG_PREP_STACK_READY;
  up->sw.UPG_HandleSwUpgradePreparation();
  p.vclock.advance(5000);
  ASSERT_EQ(commands().back(), "CLOSE");
  EXPECT_TRUE(p.uploads.empty());
  EXPECT_FALSE(up->zing.tmrFiveSecDelayedReset.enabled());
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_NE(p.uiFake.messages[0].text.find("Unable to write image.txt"), std::string::npos);
  EXPECT_EQ(p.uiFake.quits, 0);
}

}  // namespace
}  // namespace orvex::test
