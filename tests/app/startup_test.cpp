// Start-up and shutdown of the main window, with the engine on the fakes.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "app/app_frame.h"
#include "app/settings.h"
#include "pic/pic_upgrade.h"
#include "support/engine_fixture.h"
#include "transfer/ftp_engine.h"
#include "transfer/software_upgrade.h"
#include "ui/dialogs.h"
#include "upgrade/antenna_upgrade.h"
#include "zing/zing_channel.h"

namespace fs = std::filesystem;

namespace orvex::test {
namespace {

const std::string kStars(79, '*');

class StartupTest : public EngineTest {
 protected:
  Config loopback(std::string commandLine = "") {
    Config cfg;
    cfg.modemAddress = "127.0.0.9";
    cfg.commandLine = std::move(commandLine);
    return cfg;
  }
};

TEST_F(StartupTest, OneImageShowsItsVersionAndTheTerminalsAsUnknown) {
  home.writeSize("orvex_5_1_0_12.bin", 1000);
  Upgrader& u = start(loopback());
  EXPECT_FALSE(u.st.bUnloaded);
  EXPECT_EQ(u.st.strHomeDir, home.path() + "/");
  EXPECT_EQ(u.st.strBackupDir, home.path() + "/Backup");
  EXPECT_TRUE(fs::is_directory(home.path() + "/Backup"));
  EXPECT_EQ(u.st.strLocalBinFile, "orvex_5_1_0_12.bin");
  EXPECT_EQ(u.st.strNewSwVersion, "5_1_0_12");
  EXPECT_EQ(u.win.text("txtNewSoftwareVersion"), "5.1.0.12");
  EXPECT_EQ(u.win.text("txtCurrentSoftwareVersion"), "UNKNOWN");
  EXPECT_EQ(u.st.strCurrSwVersion, "0_0_0_0");
  EXPECT_EQ(u.st.strModemIPAddress, "127.0.0.9");
  EXPECT_EQ(u.win.text("txtAntATBver"), "UNKNOWN");
  EXPECT_EQ(u.win.text("txtTermIBVer"), "UNKNOWN");
  EXPECT_EQ(u.win.text("txtTermPICVersion"), "UNKNOWN");
  EXPECT_FALSE(u.win.visible("prgBarIbUpgrade"));
  EXPECT_FALSE(u.win.visible("lblIbUpgStatus"));
  EXPECT_EQ(u.win.text("lblIbUpgStatus"), "");
  EXPECT_TRUE(p.uiFake.messages.empty());

  const auto lines = logLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], kStars);
  EXPECT_EQ(lines[1], "ORVEX Software Upgrader logging initialized: 4/25/2013 @ 2:03:22 PM");
  EXPECT_EQ(lines[2], kStars);
}

TEST_F(StartupTest, NoImageOrTwoImagesEndTheProgramWithoutContactingTheTerminal) {
  Upgrader& none = start(loopback());
  EXPECT_TRUE(none.st.bUnloaded);
  EXPECT_EQ(p.uiFake.quits, 1);
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].text,
            "Unable to find the binary file " + home.path() + "/orvex*.bin. ");
  EXPECT_EQ(p.uiFake.messages[0].flags, vbOKOnly | vbExclamation);
  EXPECT_EQ(p.uiFake.messages[0].title, "");
  EXPECT_EQ(p.socket("sckZING").connects, 0);
  EXPECT_FALSE(fs::exists(home.path() + "/Backup"));

  home.writeSize("orvex_5_1_0_12.bin", 10);
  home.writeSize("orvex_5_0_9_3.bin", 10);
  p.uiFake.messages.clear();
  up.reset();
  Upgrader& two = start(loopback());
  EXPECT_TRUE(two.st.bUnloaded);
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].text,
            "Unable to find the binary file " + home.path() + "/orvex*.bin. \r\n" +
                "Or there is more than one binary file in the application's home directory.\r\n"
                "Please make sure there is only one binary file in that directory.");
  EXPECT_EQ(p.socket("sckZING").connects, 0);
}

TEST_F(StartupTest, ImageSearchIgnoresCaseFoldersAndOddNames) {
  // Names that are not images, or not files, never count and never crash.
  fs::create_directory(home.path() + "/orvex_9_9_9_9.bin");  // a folder named like an image
  home.writeSize("readme with blanks.txt", 5);
  home.writeSize(std::string("caf\xE9-\xFF\xFE.bin"), 5);  // not UTF-8
  home.writeSize(std::string(240, 'x') + ".glo", 5);       // very long name
  home.writeSize("ORVEX_5_1_0_12.BIN", 5);                 // other case
  Upgrader& u = start(loopback());
  EXPECT_FALSE(u.st.bUnloaded);
  EXPECT_EQ(u.st.strLocalBinFile, "ORVEX_5_1_0_12.BIN");
  EXPECT_EQ(u.st.strNewSwVersion, "5_1_0_12");
}

TEST_F(StartupTest, ImageNameTooShortForAVersionGivesNoneInsteadOfFailing) {
  home.writeSize("orvex.bin", 5);
  Upgrader& u = start(loopback());
  EXPECT_FALSE(u.st.bUnloaded);
  EXPECT_EQ(u.st.strNewSwVersion, "");
  EXPECT_EQ(u.win.text("txtNewSoftwareVersion"), "");
  EXPECT_EQ(AppFrame::ImageVersionFromName("orvex_5_1.bin.bin"), "5_1");
  EXPECT_EQ(AppFrame::ImageVersionFromName("orvex_"), "");
}

TEST_F(StartupTest, UpgradeLaterInTheStartupQuestionEndsBeforeTheFolderIsSearched) {
  home.writeSize("orvex_5_1_0_12.bin", 10);
  make(loopback("-u"));
  p.uiFake.onModal = [this](const std::string& form) {
    ASSERT_EQ(form, "frmUpgrade");
    EXPECT_EQ(up->win.value("UpgradeNow"), 1);  // selected when the dialog opens
    up->click("UpgradeLater");
    up->click("OKButton");
  };
  up->app.Form_Load();
  EXPECT_EQ(up->dialogs.intExitApplication, 1);
  EXPECT_TRUE(up->st.bUnloaded);
  EXPECT_EQ(p.uiFake.closed, std::vector<std::string>{"frmUpgrade"});
  EXPECT_FALSE(fs::exists(home.path() + "/Backup"));
  EXPECT_EQ(p.socket("sckZING").connects, 0);
}

TEST_F(StartupTest, OnlyTheExactSwitchShowsTheStartupQuestion) {
  home.writeSize("orvex_5_1_0_12.bin", 10);
  start(loopback("-U"));
  EXPECT_TRUE(p.uiFake.modals.empty());
  up.reset();
  make(loopback("-u"));
  p.uiFake.onModal = [this](const std::string&) { up->click("OKButton"); };
  up->app.Form_Load();
  EXPECT_EQ(p.uiFake.modals, std::vector<std::string>{"frmUpgrade"});
  EXPECT_FALSE(up->st.bUnloaded);  // "Complete upgrade now" stays chosen
}

TEST_F(StartupTest, AddressOverrideReplacesTheDesignTimeText) {
  home.writeSize("orvex_5_1_0_12.bin", 10);
  Config plain;
  Upgrader& u = make(plain);
  EXPECT_EQ(u.win.text("txtIPAddress"), "192.168.128.100");
  up.reset();
  Upgrader& v = start(loopback());
  EXPECT_EQ(v.win.text("txtIPAddress"), "127.0.0.9");
}

TEST_F(StartupTest, UnwritableLogFolderIsToldOnceAndStartupCompletes) {
  home.writeSize("orvex_5_1_0_12.bin", 10);
  home.write("logs", "not a folder");
  Upgrader& u = start(loopback());
  EXPECT_FALSE(u.st.bUnloaded);
  EXPECT_EQ(u.win.text("txtNewSoftwareVersion"), "5.1.0.12");
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_NE(p.uiFake.messages[0].text.find("without a log"), std::string::npos);
  u.click("mnuFileExit");
  EXPECT_EQ(p.uiFake.messages.size(), 1u);  // told once only
}

TEST_F(StartupTest, LinksOutOfTheReleaseFolderAndForeignFoldersAreRefusedByName) {
  const std::string outside = home.path() + "-outside";
  fs::create_directories(outside + "/dir");
  std::fclose(std::fopen((outside + "/id_rsa").c_str(), "w"));
  struct Case {
    std::string link, target;  // a link planted in the release folder
    std::string message;       // "" when nothing is said
    bool refused = true;
  };
  const std::string h = home.path() + "/";
  const Case cases[] = {
      {"ATB_XX0773112.sxm", outside + "/id_rsa",
       "The release file " + h + "ATB_XX0773112.sxm is a link to " + outside +
           "/id_rsa outside the release folder; the upgrader does not send it."},
      {"Backup/orvex_5_0_0_1.bin", "../../" + fs::path(outside).filename().string() + "/id_rsa",
       "The release file " + h + "Backup/orvex_5_0_0_1.bin is a link to " + outside +
           "/id_rsa outside the release folder; the upgrader does not send it."},
      {"Backup", outside + "/dir",
       "The folder " + h + "Backup is a link to " + outside +
           "/dir outside the release folder; the upgrader does not use it."},
      {"logs", outside + "/dir",
       "Unable to write the upgrader log folder " + h + "logs (a link to " + outside +
           "/dir outside the release folder).\r\nThe upgrader goes on without a log.",
       false},
      {"HPA_X8629V3.sxm", "parts/HPA_X8629V3.sxm", "", false},  // inside: fine
  };
  fs::create_directories(h + "parts");
  home.writeSize("parts/HPA_X8629V3.sxm", 10);
  home.writeSize("orvex_5_1_0_12.bin", 10);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    fs::create_directories(fs::path(h + c.link).parent_path());
    fs::remove_all(h + c.link);
    fs::create_symlink(c.target, h + c.link);
    p.uiFake.messages.clear();
    up.reset();
    Upgrader& u = start(loopback());
    EXPECT_EQ(u.st.bUnloaded, c.refused);
    ASSERT_EQ(p.uiFake.messages.size(), c.message.empty() ? 0u : 1u);
    if (!c.message.empty()) {
      EXPECT_EQ(p.uiFake.messages[0].text, c.message);
    }
    EXPECT_EQ(p.socket("sckZING").connects > 0, !c.refused);
    fs::remove(h + c.link);
  }
  fs::remove_all(outside);
}

TEST_F(StartupTest, FileExitWritesTheClosingBannerTheCloseBoxDoesNot) {
  home.writeSize("orvex_5_1_0_12.bin", 10);
  start(loopback());
  up->app.UnloadMainWindow();  // the window's close box
  for (const auto& line : logLines()) EXPECT_FALSE(StartsWith(line, "Close logging.")) << line;
  EXPECT_EQ(p.uiFake.quits, 1);

  TempDir other;
  other.writeSize("orvex_5_1_0_12.bin", 10);
  up.reset();
  Config cfg = loopback();
  cfg.homeFolder = other.path();
  start(cfg);
  // An event falling due during the pause after the log closes must not run:
  // its line would land after "Close logging.".
  p.vclock.schedule(5, [&] { up->log.Util_LogWrite(INF, "too late"); });
  up->click("mnuFileExit");
  EXPECT_TRUE(up->st.bUnloaded);
  const auto text = other.read("logs/2013-04-25_14_03_22-ORVEX_Upgrader_Log.txt");
  EXPECT_TRUE(EndsWith(text, std::string("\r\n\r\n") + kStars + "\r\n" +
                                 "Close logging. [04/25/2013 @ 02:03:22 PM] \r\n" + kStars +
                                 "\r\n"));
}

TEST_F(StartupTest, ShutdownStopsTheTimersAndCancelsFtpButLeavesTwo) {
  home.writeSize("orvex_5_1_0_12.bin", 10);
  Upgrader& u = start(loopback("/SysInfo"));
  std::vector<Timer*> all = {&u.zing.tmrConnect,
                             &u.zing.tmrResponse,
                             &u.zing.tmrConneTest,
                             &u.zing.tmrIbPollUpgStatus,
                             &u.zing.tmrIbUpgStatusCheck,
                             &u.zing.tmrRefetchIbVersion,
                             &u.zing.tmrFiveSecDelayedReset,
                             &u.ftp.tmrFTPReq,
                             &u.sw.tmrImagePutTrig,
                             &u.sw.tmrDelayedSwUpgIgnite,
                             &u.pic.tmrTelnetConnect,
                             &u.pic.tmrPicUpgrCnt,
                             &u.pic.tmrPicUpgResetDelay,
                             &u.pic.tmr40SecDelay,
                             &u.ant.tmrAntUpgDelay};
  for (Timer* t : all) t->setEnabled(true);
  u.app.UnloadMainWindow();
  for (Timer* t : all) {
    const bool left = t == &u.pic.tmrPicUpgResetDelay || t == &u.zing.tmrIbUpgStatusCheck;
    EXPECT_EQ(t->enabled(), left) << t->name();
  }
  EXPECT_EQ(p.ftp().cancels, 1);
  ASSERT_EQ(p.proc.started.size(), 1u);
  EXPECT_EQ(p.proc.started[0].first, "../SysInfo/SysInfoUpgrader.exe");
  EXPECT_EQ(p.proc.started[0].second, "../SysInfo/");
}

TEST_F(StartupTest, TheTimeScaleMultipliesEveryTimersIntervalAndNoneStartsRunning) {
  home.writeSize("orvex_5_1_0_12.bin", 10);
  Config cfg = loopback();
  cfg.timeScale = 0.1;
  Upgrader& u = make(cfg);
  for (Timer* t :
       {&u.zing.tmrConnect, &u.zing.tmrResponse, &u.zing.tmrConneTest, &u.zing.tmrIbPollUpgStatus,
        &u.zing.tmrIbUpgStatusCheck, &u.zing.tmrRefetchIbVersion, &u.zing.tmrFiveSecDelayedReset,
        &u.ftp.tmrFTPReq, &u.sw.tmrImagePutTrig, &u.sw.tmrDelayedSwUpgIgnite,
        &u.pic.tmrTelnetConnect, &u.pic.tmrPicUpgrCnt, &u.pic.tmrPicUpgResetDelay,
        &u.pic.tmr40SecDelay, &u.ant.tmrAntUpgDelay}) {
    EXPECT_EQ(t->effectiveInterval(), t->interval() / 10) << t->name();
    EXPECT_FALSE(t->enabled()) << t->name();
  }
}

TEST(Environment, TimeScaleAndAddressAreReadOnlyWhenUsable) {
  setenv("ORVEX_TIME_SCALE", "0.25", 1);
  setenv("ORVEX_MODEM_ADDRESS", "127.0.0.7", 1);
  Config cfg;
  ApplyEnvironment(cfg);
  EXPECT_DOUBLE_EQ(cfg.timeScale, 0.25);
  EXPECT_EQ(cfg.modemAddress, "127.0.0.7");
  for (const char* bad : {"abc", "-1", "0", "nan", "1e9", "2x"}) {
    setenv("ORVEX_TIME_SCALE", bad, 1);
    Config c;
    ApplyEnvironment(c);
    EXPECT_DOUBLE_EQ(c.timeScale, 1.0) << bad;
  }
  const char* before = std::getenv("ORVEX_LOOPBACK_ONLY");
  const std::optional<std::string> saved =
      before ? std::optional<std::string>(before) : std::nullopt;
  for (const auto& [value, on] :
       {std::pair{"1", true}, {"0", false}, {"yes", false}, {"", false}}) {
    setenv("ORVEX_LOOPBACK_ONLY", value, 1);
    EXPECT_EQ(LoopbackOnlySetting(), on) << value;
  }
  unsetenv("ORVEX_LOOPBACK_ONLY");
  EXPECT_FALSE(LoopbackOnlySetting());
  if (saved) setenv("ORVEX_LOOPBACK_ONLY", saved->c_str(), 1);
  unsetenv("ORVEX_TIME_SCALE");
  unsetenv("ORVEX_MODEM_ADDRESS");
  Config none;
  ApplyEnvironment(none);
  EXPECT_DOUBLE_EQ(none.timeScale, 1.0);
  EXPECT_FALSE(none.modemAddress.has_value());
}

// Closing while an upgrade runs asks first, and only Yes closes.
TEST_F(StartupTest, ClosingDuringAnUpgradeAsksFirst) {
  home.writeSize("orvex_5_1_0_12.bin", 10);
  Upgrader& u = start(loopback());
  struct Case {
    std::string name;
    std::function<void()> busy;
    std::optional<int> answer;  // none: no question is asked
    bool closes;
  };
  const Case cases[] = {
      {"idle", [] {}, std::nullopt, true},
      {"FTP chain, No", [&] { u.st.bFtpDone = false, u.st.ftpState = 3; }, vbNo, false},
      {"pending item, default", [&] { u.st.bPicUpgPending = true; }, vbNo, false},
      {"waiting for the restart, Yes", [&] { u.pic.tmr40SecDelay.setEnabled(true); }, vbYes, true},
      {"PIC reflash pass, No", [&] { u.st.picUpgradeState = PIC_UPG_STATE_CHECK_BATT; }, vbNo,
       false},
      // A finished PIC upgrade leaves the state that opens the next pass.
      {"after a PIC upgrade", [&] { u.st.picUpgradeState = PIC_UPG_STATE_INIT_CONNECT; },
       std::nullopt, true},
      {"PIC shell connecting, No",
       [&] {
         u.st.picUpgradeState = PIC_UPG_STATE_INIT_CONNECT;
         u.pic.tmrTelnetConnect.setEnabled(true);
       },
       vbNo, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    u.st.bFtpDone = true;
    u.st.bPicUpgPending = false;
    u.pic.tmr40SecDelay.setEnabled(false);
    u.pic.tmrTelnetConnect.setEnabled(false);
    u.st.picUpgradeState = 0;
    c.busy();
    p.uiFake.messages.clear();
    if (c.answer) p.uiFake.answers.push_back(*c.answer);
    EXPECT_EQ(u.app.ConfirmClose(), c.closes);
    ASSERT_EQ(p.uiFake.messages.size(), c.answer ? 1u : 0u);
    if (c.answer) {
      EXPECT_EQ(p.uiFake.messages[0].flags, vbYesNo | vbExclamation | vbDefaultButton2);
    }
  }
  // File > Exit asks the same question and stays open on No.
  u.st.bPicUpgPending = true;
  p.uiFake.answers.push_back(vbNo);
  u.click("mnuFileExit");
  EXPECT_FALSE(u.st.bUnloaded);
}

}  // namespace
}  // namespace orvex::test
