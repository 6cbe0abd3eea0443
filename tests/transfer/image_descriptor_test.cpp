// The image descriptor: which fetched image.txt files are accepted, the file
// written for the terminal, its upload and what a failed upload does, and
// the clean-up of the home folder.
#include <functional>

#include "support/transfer_fixture.h"
#include "transfer/software_upgrade.h"
#include "zing/zing_channel.h"

namespace orvex::test {
namespace {

using ImageDescriptorTest = TransferTest;

const char* kFatal =
    "Unexpected Error !!\r\n\r\nWARNING: Connection Problem.\r\n\r\n# Please check the cable "
    "connection.\r\n# Restart the Upgrader.\r\n# Reset the Modem using the 'Tools>Reset Modem' "
    "option.\r\n# Retry the Upgrade after the modem Restarts.\r\nThe upgrader will now close.";

const char* kDamagedFatal =
    "Unexpected Error !!\r\n\r\nWARNING: image.txt on the Satellite IP Modem may be "
    "incomplete.\r\n\r\n# Do NOT restart or switch off the Satellite IP Modem: it might not "
    "start its software.\r\n# Check the cable connection.\r\n# Run the software upgrade again: "
    "it writes image.txt anew.\r\nThe upgrader will now close.";
const char* kDamagedRestoreFatal =
    "Unexpected Error !!\r\n\r\nWARNING: image.txt on the Satellite IP Modem may be "
    "incomplete.\r\n\r\n# Do NOT restart or switch off the Satellite IP Modem: it might not "
    "start its software.\r\n# Check the cable connection.\r\n# Run the restore again: it "
    "writes image.txt anew.\r\nThe upgrader will now close.";

TEST_F(ImageDescriptorTest, AcceptanceOfTheFetchedFile) {
  struct Case {
    std::string content;
    bool accepted;
    std::string executable;
  };
  const Case cases[] = {
      {"/bin/orvex_5_0_0_1.bin\r\n", true, "/bin/orvex_5_0_0_1.bin"},
      {"/bin/orvex_5_0_0_1.bin\n", true, "/bin/orvex_5_0_0_1.bin"},
      {"/bin/orvex.bin", true, "/bin/orvex.bin"},
      {"/bin/orvex_5\r\n_0_0_1.bin", true, "/bin/orvex_5_0_0_1.bin"},  // lines are joined
      {"/bin/" + std::string(40, 'x') + ".bin", true, "/bin/" + std::string(40, 'x') + ".bin"},
      {"bin/orvex_5_0_0_1.bin", false, ""},
      {"/BIN/orvex_5_0_0_1.bin", false, ""},
      {"/bin/orvex_5_0_0_1.bin.old", false, ""},
      {"", false, ""},
      {"/bin/" + std::string(41, 'x') + ".bin", false, ""},  // 50 characters
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    home.write("image.txt", c.content);
    up->sw.bImageValid = false;
    EXPECT_EQ(up->sw.UPG_CheckRetrievedImage(), c.accepted);
    EXPECT_EQ(up->sw.strCurrExecutable, c.executable);
    EXPECT_EQ(up->sw.bImageValid, c.accepted);
  }
  EXPECT_TRUE(logHas("VRB: \t Image Prefix & Suffix : /bin/ ex.bin"));
  EXPECT_TRUE(logHas("VRB: \t Image Prefix & Suffix :  "));
  EXPECT_TRUE(logHas("DET: \timage file content:"));
}

TEST_F(ImageDescriptorTest, TheUpgradeWritesTheNewNameWithoutLineEnd) {
  home.write("image.txt", "something longer than the new content, with a line end\r\n");
  up->sw.tmrImagePutTrig.setEnabled(true);
  p.vclock.advance(1999);
  EXPECT_TRUE(p.uploads.empty());
  p.vclock.advance(1);
  EXPECT_FALSE(up->sw.tmrImagePutTrig.enabled());
  EXPECT_EQ(home.read("image.txt"), "/bin/orvex_5_1_0_12.bin");
  EXPECT_EQ(home.read("image.txt").size(), 23u);
  EXPECT_EQ(up->sw.strLocalImageFile, up->st.strHomeDir + "image.txt");
  ASSERT_EQ(p.uploads.size(), 1u);
  EXPECT_EQ(p.uploads[0]->closes, 1);
  EXPECT_EQ(p.uiFake.quits, 0);
  // The reset follows 5 s after image.txt was read back.
  p.vclock.advance(100);
  zing().sent.clear();
  p.vclock.advance(5000);
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x0D", 4));
}

TEST_F(ImageDescriptorTest, RestoreVariant) {
  up->st.currUpgradeState = UPG_STATE_IDLE;
  up->win.setValue("chkBinUpg", 1);
  up->st.bSwUpgPending = true;
  p.uploadOpenOk = false;  // logged, and the upload goes on
  // The version put by the restore (cmdRestore_Click) names the image.
  home.write("Backup/orvex_5_1_0_3.bin", "image 5.1.0.3");
  p.uiFake.onModal = [this](const std::string&) { up->click("cmdOkRestore"); };
  up->sw.cmdRestore_Click();
  p.vclock.advance(100);  // PUT, CLOSE
  EXPECT_EQ(commands().back(), "CLOSE");
  p.vclock.advance(2000);
  EXPECT_EQ(home.read("image.txt"), "/bin/orvex_5_1_0_3.bin");
  ASSERT_EQ(p.uploads.size(), 1u);
  EXPECT_EQ(p.uploads[0]->calls[0], "open ORVEX Software Upgrader Restore");
  EXPECT_TRUE(logInOrder({"VRB: \t>> createAndSendRestoreImageFile()",
                          "DET: \tASCII connection open failure",
                          "DET: \tImage File transfer complete !", ">> UI_UpdateUIUpgState() : 1",
                          "DET: \tFTP state : Done sending image.txt file to terminal"}));
  EXPECT_EQ(status(), "Successfully upgraded! Wait...");
  EXPECT_TRUE(up->zing.tmrFiveSecDelayedReset.enabled());
  EXPECT_FALSE(up->st.bSwUpgPending);
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
  EXPECT_EQ(up->win.value("chkBinUpg"), 1);
  EXPECT_FALSE(up->sw.bRestoreImagePut);
}

TEST_F(ImageDescriptorTest, AFailedUploadEndsTheProgram) {
  struct Case {
    bool restore, connectOk;
    std::vector<std::string> lines;
    bool inPlace = false;  // no rename: the put went to image.txt itself
    const char* shown = kFatal;
  };
  const Case cases[] = {
      {false,
       false,
       {"ERR: \t[ FTP Error ] : connection for uploading image.txt file failed",
        "ERR: \tFTP connection establishment failure."}},
      {false, true, {"ERR: \t[ FTP Error ] : new image.txt file upload failure.0"}},
      {true, false, {"DET: \tFTP-Raw connection failure."}},
      {true, true, {"DET: \tput image.txt file fail0"}},
      {false, false, {"ERR: \tFTP connection establishment failure."}, true},
      {false,
       true,
       {"ERR: \t[ FTP Error ] : new image.txt file upload failure.0"},
       true,
       kDamagedFatal},
      {true, true, {"DET: \tput image.txt file fail0"}, true, kDamagedRestoreFatal},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.restore) + std::to_string(c.connectOk));
    p.uiFake.messages.clear();
    up->st.bUnloaded = false;
    up->st.currUpgradeState = UPG_STATE_IDLE;
    p.uploadConnectOk = c.connectOk;
    p.uploadPutOk = false;
    up->sw.bRestoreImagePut = c.restore;
    up->sw.bRenameWorks = !c.inPlace;
    up->sw.tmrImagePutTrig_Timer();
    ASSERT_EQ(p.uiFake.messages.size(), 1u);
    EXPECT_EQ(p.uiFake.messages[0].text, c.shown);
    EXPECT_EQ(p.uiFake.messages[0].flags, vbCritical);
    EXPECT_EQ(p.uiFake.messages[0].title, kProgramTitle);
    EXPECT_TRUE(up->st.bUnloaded);
    EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
    EXPECT_FALSE(up->zing.tmrFiveSecDelayedReset.enabled());
    EXPECT_EQ(p.uploads.back()->closes, 1);
    for (const auto& line : c.lines) EXPECT_TRUE(logHas(line)) << line;
  }
  EXPECT_EQ(p.uiFake.quits, 7);
}

// image.txt is never left empty or partial: under its temporary name it is
// checked and renamed over image.txt; in place (no rename, or none over an
// existing file) it is read back. A failure says whether a restart is safe.
TEST_F(ImageDescriptorTest, ImageTxtIsReplacedOnlyWhenVerified) {
  enum Outcome { Written, NotWritten, Damaged, Removed };
  struct Case {
    const char* name;
    bool renameWorks;
    std::function<void(FtpScript&)> fault;
    std::vector<std::string> commands;  // after the put
    Outcome outcome;
    bool defaultListed = false;  // orvex.bin is on the flash
  };
  const std::string rb = "GET image.txt \"" + home.path() + "/image.txt.readback\"";
  const Case cases[] = {
      {"renamed", true, nullptr, {"DIR ", "RENAME image.txt.part image.txt", "CLOSE"}, Written},
      {"short part",
       true,
       [](FtpScript& f) { f.uploadShortBy = 1; },
       {"DIR ", "Delete image.txt.part"},
       NotWritten},
      {"listing cut",
       true,
       [](FtpScript& f) { f.fail("DIR", ftpErrConnectionReset); },
       {"DIR "},
       NotWritten},
      {"rename over it refused",
       true,
       [](FtpScript& f) { f.fail("RENAME", ftpErrServerRefused, "550 image.txt: File exists."); },
       {"DIR ", "RENAME image.txt.part image.txt", rb, "Delete image.txt.part", "CLOSE"},
       Written},
      {"rename cut",
       true,
       [](FtpScript& f) { f.fail("RENAME", ftpErrConnectionReset); },
       {"DIR ", "RENAME image.txt.part image.txt"},
       Damaged},
      {"in place", false, nullptr, {rb, "CLOSE"}, Written},
      // A failed in-place write is repaired: the old descriptor written
      // back, else image.txt removed where orvex.bin is there to boot.
      {"in place short", false, [](FtpScript& f) { f.uploadShortBy = 1; }, {rb, rb}, Damaged},
      {"in place short once",
       false,
       [](FtpScript& f) { f.uploadShortBy = f.uploadShortCount = 1; },
       {rb, rb},
       NotWritten},
      {"in place short, default image",
       false,
       [](FtpScript& f) { f.uploadShortBy = 1; },
       {rb, rb, "Delete image.txt", rb},
       Removed,
       true},
      {"read back refused",
       false,
       [](FtpScript& f) { f.fail("GET image.txt", ftpErrServerRefused, "451 Local error"); },
       {rb, rb},
       Damaged},
      {"read back timed out", false, [](FtpScript& f) { f.hang("GET image.txt"); }, {rb}, Damaged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ftp = std::make_unique<FtpScript>(p);
    ftp->imageTxt = "/bin/orvex_5_1_0_9.bin";
    if (c.fault) c.fault(*ftp);
    p.uiFake.messages.clear();
    p.ftp().commands.clear();
    p.ftp().limits.clear();
    up->st.currUpgradeState = UPG_STATE_IDLE;
    up->zing.tmrFiveSecDelayedReset.setEnabled(false);
    up->sw.bRenameWorks = c.renameWorks;
    up->sw.strCurrExecutable = "/bin/orvex_5_1_0_9.bin";
    up->sw.bDefaultImageListed = c.defaultListed;
    auto resets = [this] {
      int n = 0;
      for (const auto& line : logLines()) n += EndsWith(line, "Resetting terminal in 5 seconds ..");
      return n;
    };
    const int resetsBefore = resets();
    up->sw.tmrImagePutTrig_Timer();
    p.vclock.advance(1000);
    if (c.name == std::string("read back timed out")) p.vclock.advance(65000);  // the watchdog
    EXPECT_EQ(commands(), c.commands);
    EXPECT_FALSE(up->st.bUnloaded);
    EXPECT_TRUE(up->st.bFtpDone);
    if (c.outcome == Written) {
      EXPECT_EQ(ftp->texts.count("image.txt.part"), 0u) << "the temporary file is left";
    }
    for (size_t i = 0; i < commands().size(); ++i)
      if (commands()[i].rfind("GET ", 0) == 0) {
        EXPECT_EQ(p.ftp().limits[i], 4096);
      }
    EXPECT_EQ(resets() - resetsBefore, c.outcome == Written ? 1 : 0);
    if (c.outcome == Written) {
      EXPECT_EQ(ftp->imageTxt, "/bin/orvex_5_1_0_12.bin");
      EXPECT_TRUE(p.uiFake.messages.empty());
      EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_BIN_DONE);
    } else {
      ASSERT_EQ(p.uiFake.messages.size(), 1u);
      const std::string& shown = p.uiFake.messages[0].text;
      EXPECT_EQ(shown.find("Do NOT restart") != std::string::npos, c.outcome == Damaged) << shown;
      EXPECT_EQ(shown.find("keeps its current software") != std::string::npos,
                c.outcome == NotWritten)
          << shown;
      EXPECT_NE(shown.find("un the software upgrade again"), std::string::npos) << shown;
      if (c.outcome == NotWritten) {
        EXPECT_EQ(ftp->imageTxt, "/bin/orvex_5_1_0_9.bin");
      }
      EXPECT_EQ(!ftp->imageTxt, c.outcome == Removed);
      EXPECT_NE(up->st.currUpgradeState, UPG_STATE_BIN_DONE);
    }
  }
}

TEST_F(ImageDescriptorTest, CleanUpRemovesOneDescriptorPerCall) {
  home.write("image.txt", "a");
  home.write("image_old.txt", "b");
  home.write("images.dat", "c");
  up->sw.Util_CleanUpHomeDirectory();
  EXPECT_FALSE(FileExists(home.path() + "/image.txt"));
  EXPECT_TRUE(FileExists(home.path() + "/image_old.txt"));
  up->sw.Util_CleanUpHomeDirectory();
  EXPECT_FALSE(FileExists(home.path() + "/image_old.txt"));
  EXPECT_TRUE(FileExists(home.path() + "/images.dat"));
  up->sw.Util_CleanUpHomeDirectory();  // nothing left: nothing happens
  EXPECT_TRUE(logHas("VRB: \t>> Util_CleanUpHomeDirectory()"));

  // The name the download goes to is cleared of links in any case, dangling
  // or not, and what they point at stays.
  home.write("victim", "mine");
  std::filesystem::create_symlink(home.path() + "/victim", home.path() + "/IMAGE.TXT");
  std::filesystem::create_symlink(home.path() + "/nowhere", home.path() + "/Image.txt");
  up->sw.Util_CleanUpHomeDirectory();
  EXPECT_FALSE(std::filesystem::is_symlink(home.path() + "/IMAGE.TXT"));
  EXPECT_FALSE(std::filesystem::is_symlink(home.path() + "/Image.txt"));
  EXPECT_EQ(home.read("victim"), "mine");
}

}  // namespace
}  // namespace orvex::test
