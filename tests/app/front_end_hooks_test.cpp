// What the engine offers a front-end that runs one command and ends: a log
// of its own per start and its lines as they are written, working files
// apart from other upgraders in the same folder, whether anything is under
// way, which rule refused a command, and whether an item would change.
#include <gtest/gtest.h>

#include "app/app_frame.h"
#include "support/ftp_script.h"
#include "support/upgrade_fixture.h"
#include "upgrade/sequencer.h"

namespace orvex::test {
namespace {

class LogPerStart : public ::testing::Test {
 protected:
  std::string startOnce() {
    UpgraderLog log(p.clock(), p.ui());
    log.newFileEachStart = true;
    log.setBaseFolder(home.path());
    log.Util_LogInit();
    log.Util_LogWrite(INF, "run " + log.strLogFileName);
    return log.strLogFileName;
  }
  TempDir home;
  FakePlatform p;
};

TEST_F(LogPerStart, StartsInTheSameSecondTakeTheNextFreeSeconds) {
  // The fake clock starts at 4/25/2013 2:03:22 PM.
  EXPECT_EQ(startOnce(), "2013-04-25_14_03_22-ORVEX_Upgrader_Log.txt");
  EXPECT_EQ(startOnce(), "2013-04-25_14_03_23-ORVEX_Upgrader_Log.txt");
  const std::string third = startOnce();
  EXPECT_EQ(third, "2013-04-25_14_03_24-ORVEX_Upgrader_Log.txt");
  // Each file is a log of one start, its banner at the time of its name.
  const auto lines = SplitCrLf(home.read("logs/" + third));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[1], "ORVEX Software Upgrader logging initialized: 4/25/2013 @ 2:03:24 PM");
  EXPECT_TRUE(EndsWith(lines[3], "INF: \trun " + third));
  EXPECT_EQ(lines.size(), 4u);
}

TEST_F(LogPerStart, TheLastSecondOfADayMovesOnToTheNextDay) {
  p.vclock.advance(((23 - 14) * 3600 + (59 - 3) * 60 + (59 - 22)) * 1000LL);
  EXPECT_EQ(startOnce(), "2013-04-25_23_59_59-ORVEX_Upgrader_Log.txt");
  EXPECT_EQ(startOnce(), "2013-04-26_00_00_00-ORVEX_Upgrader_Log.txt");
}

TEST_F(LogPerStart, TheListenerHearsTheLinesThatAreWritten) {
  UpgraderLog log(p.clock(), p.ui());
  std::vector<std::pair<long, std::string>> heard;
  log.setListener([&](long level, const std::string& text) { heard.emplace_back(level, text); });
  log.Util_LogWrite(INF, "before the log is open");
  log.setBaseFolder(home.path());
  log.Util_LogInit();
  log.logThreshold = 2;
  log.Util_LogWrite(DET, "below the threshold");
  log.Util_LogWrite(VRB, "first written");
  log.Util_LogWrite(ERR, "Upgrade stopped: why");
  EXPECT_EQ(heard, (std::vector<std::pair<long, std::string>>{{VRB, "first written"},
                                                              {ERR, "Upgrade stopped: why"}}));
}

// Two upgraders in one release folder: each keeps its copies of image.txt
// and its backup on the way in a folder of its own; the backup lands in
// Backup as before.
class ScratchFolder : public UpgradeTest {};

TEST_F(ScratchFolder, WorkingFilesGoThereAndTheBackupIntoBackup) {
  home.writeSize("orvex_5_1_0_12.bin", 10);
  home.write("image.txt", "another upgrader's copy");
  Config cfg;
  cfg.modemAddress = "127.0.0.9";
  cfg.scratchFolder = home.path() + "/Backup/.work";
  start(cfg);
  bringUp();
  FtpScript ftp(p);
  ftp.imageTxt = "/bin/orvex_5_1_0_9.bin";
  ftp.listing = {"orvex_5_1_0_9.bin\r\n"};
  const std::string s = home.path() + "/Backup/.work/";
  EXPECT_EQ(up->st.strScratchDir, s);

  clickUpgrade({"chkBinUpg"});
  answer(PlainReply(0x1032));
  answer(PlainReply(0x1033));
  p.vclock.advance(20000);
  const auto& commands = p.ftp().commands;
  ASSERT_GE(commands.size(), 4u);
  EXPECT_EQ(commands[0], "GET image.txt \"" + s + "image.txt\"");
  EXPECT_EQ(commands[1], "CD /tffs0/bin");
  EXPECT_EQ(commands[3],
            "GET \"/tffs0/bin/orvex_5_1_0_9.bin\" \"" + s + "orvex_5_1_0_9.bin.part\"");
  EXPECT_EQ(home.read("Backup/orvex_5_1_0_9.bin"), "backup of /tffs0/bin/orvex_5_1_0_9.bin");
  EXPECT_FALSE(home.exists("Backup/.work/orvex_5_1_0_9.bin.part"));
  ASSERT_EQ(p.uploads.size(), 1u);
  EXPECT_EQ(p.uploads[0]->calls.back(), "put " + s + "image.txt image.txt.part ascii");
  EXPECT_EQ(ftp.imageTxt, "/bin/orvex_5_1_0_12.bin");
  EXPECT_EQ(home.read("Backup/.work/image.txt"), "/bin/orvex_5_1_0_12.bin");
  EXPECT_EQ(home.read("image.txt"), "another upgrader's copy");
}

class FrontEndQueries : public UpgradeTest {};

TEST_F(FrontEndQueries, WorkIsPendingUntilTheTerminalHasAnsweredEverything) {
  startWith({});
  EXPECT_TRUE(up->app.WorkPending());  // the version request is connecting
  answer(VersionReply(kVersionText));
  EXPECT_TRUE(up->app.WorkPending());  // the release information follows
  answer(ReleaseInfoReply(kReleaseText));
  EXPECT_FALSE(up->app.WorkPending());
  up->click("cmdResetModem");
  EXPECT_TRUE(up->app.WorkPending());
}

TEST_F(FrontEndQueries, AnItemDiffersUnlessTheTerminalShowsItsNewVersion) {
  startWith({{"PIC_2_05.s19", 2000}});
  bringUp();
  struct Case {
    const char* shown;
    bool differs;
  } cases[] = {{"2.03", true},    {"2.05", false}, {" 2.05 ", false},
               {"UNKNOWN", true}, {"", true},      {"2.050", true}};
  for (const Case& c : cases) {
    up->win.setText("txtTermPICVersion", c.shown);
    EXPECT_EQ(up->seq.ItemDiffers(UpgradeItem::Pic), c.differs) << c.shown;
  }
  EXPECT_TRUE(up->seq.ItemDiffers(UpgradeItem::Software));  // 5.1.0.9 against 5.1.0.12
}

TEST_F(FrontEndQueries, TheRuleThatRefusedIsRecordedAndClearedByTheNextUpgrade) {
  startWith({{"ATB_XX0773112.sxm", 100}, {"ATB_XX0773113.sxm", 100}});
  EXPECT_EQ(up->st.refusal, Refusal::ReleaseFiles);  // two ATB files
  EXPECT_STREQ(RefusalName(up->st.refusal), "release folder files");
  answer(VersionReply("5.0.9.3 Rel, Oct 29 2009 fpga 12"));
  answer(ReleaseInfoReply(kReleaseText));
  clickUpgrade({"chkBinUpg"});
  EXPECT_EQ(up->st.refusal, Refusal::ReleaseSeries);
  EXPECT_STREQ(RefusalName(up->st.refusal), "release series");
  clickUpgrade({"chkBinUpg"}, vbNo);
  EXPECT_EQ(up->st.refusal, Refusal::None);
  EXPECT_STREQ(RefusalName(up->st.refusal), "");
}

TEST_F(FrontEndQueries, AnAntennaOfAnotherClassIsRefusedByItsRule) {
  startWith({{"ATB_XX0773112.sxm", 100}, {"HPA_X8629V3.sxm", 100}});
  bringUp(
      "PIC: 2.03\r\nIB: 01.00.31.02\r\nATB: 11\r\nAHW: 03\r\nHPA: V2\r\nASN: A1\r\nCLASS: 7\r\n");
  clickUpgrade({"chkAntUpg"});
  EXPECT_EQ(up->st.refusal, Refusal::AntennaClass);
  EXPECT_STREQ(RefusalName(up->st.refusal), "antenna class");
}

}  // namespace
}  // namespace orvex::test
