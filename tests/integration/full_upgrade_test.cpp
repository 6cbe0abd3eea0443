// A whole upgrade of all four items, as a technician starts it, with the
// engine on the real Qt and libcurl adapters against the simulated terminal
// on loopback, time-scaled: software, antenna, IB and PIC across the
// terminal's restarts until the window is idle again with the new versions.
#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>

#include "app/app_frame.h"
#include "support/sim_upgrade.h"
#include "transfer/transfer_meter.h"

namespace orvex::test {
namespace {

// Time-scaled for speed, with room for a busy machine: the 5 s connect
// time-out becomes 0.5 s, the FTP request time-out 6 s.
constexpr double kScale = 0.1;

class FullUpgrade : public SimUpgradeTest {};

TEST_F(FullUpgrade, AllFourItemsAcrossTheRestarts) {
  SimulatedTerminal terminal("127.0.0.63", kScale);
  ASSERT_TRUE(terminal.ready()) << terminal.output().toStdString();

  Config cfg;
  cfg.homeFolder = home.path();
  cfg.modemAddress = "127.0.0.63";
  cfg.timeScale = kScale;
  up = std::make_unique<Upgrader>(p, cfg);
  Upgrader& u = *up;
  std::vector<TransferProgress> ends;
  u.meter.subscribe([&](const TransferProgress& r) {
    if (r.ended) ends.push_back(r);
  });
  u.app.Form_Load();
  ASSERT_TRUE(WaitFor([&] { return u.win.text("txtAntCLSver") == "Class 11"; }, 20000))
      << u.win.text("sbUpgrade") << "\n"
      << messages();
  ASSERT_EQ(u.win.text("txtCurrentSoftwareVersion"), "5.1.0.9");
  for (const char* frame : {"lblBinUpdate", "lblAntUpdate", "lblIbUpdate", "lblPicUpdate"})
    EXPECT_EQ(u.win.text(frame), "Update available") << frame;
  ASSERT_TRUE(u.st.bAntFwAvailable && u.st.bIbFwAvailable && u.st.bPicFwAvailable);

  for (const char* box : {"chkBinUpg", "chkAntUpg", "chkIBUpg", "chkPICUpg"})
    u.win.setValue(box, 1);
  u.click("cmdUpgrade");  // the confirmation is answered Yes by the fake
  ASSERT_FALSE(p.fakeUi.messages.empty());
  EXPECT_TRUE(StartsWith(p.fakeUi.messages[0].text, "Please Confirm your selections."));

  // PIC is the last item; the release information after its restart shows
  // the new PIC version, confirms the success and ends the chain.
  ASSERT_TRUE(WaitFor(
      [&] {
        return u.win.text("txtTermPICVersion") == "2.05" &&
               u.st.currUpgradeState == UPG_STATE_IDLE && u.st.screenMousePointer == vbDefault &&
               u.win.text("sbUpgrade") == "PIC Upgrade Successful. Software version retrieved!";
      },
      240000))
      << "status: " << u.win.text("sbUpgrade") << "\nmessages:\n"
      << messages() << "\nterminal:\n"
      << terminal.output().toStdString() << "\nlog:\n"
      << logTail();
  EXPECT_EQ(p.fakeUi.messages.size(), 1u) << messages();
  EXPECT_EQ(u.win.text("txtCurrentSoftwareVersion"), "5.1.0.12");
  EXPECT_EQ(u.win.text("txtAntATBver"), "12");
  EXPECT_EQ(u.win.text("txtAntHPAver"), "V3");
  EXPECT_EQ(u.win.text("txtTermIBVer"), "31.05");
  EXPECT_EQ(u.win.text("txtTermPICVersion"), "2.05");
  EXPECT_EQ(u.st.currUpgradeState, UPG_STATE_IDLE);
  EXPECT_FALSE(u.st.bSwUpgPending || u.st.bAntUpgPending || u.st.bIbUpgPending ||
               u.st.bPicUpgPending);

  // The terminal boots the new image, and the old one was backed up first.
  QFile imageTxt(terminal.flash() + "/tffs0/image.txt");
  ASSERT_TRUE(imageTxt.open(QIODevice::ReadOnly));
  EXPECT_EQ(imageTxt.readAll().toStdString(), "/bin/orvex_5_1_0_12.bin");
  EXPECT_TRUE(QFile::exists(terminal.flash() + "/tffs0/bin/orvex_5_1_0_12.bin"));
  EXPECT_FALSE(QFile::exists(terminal.flash() + "/tffs0/bin/orvex_5_1_0_12.bin.part"));
  // Each item is confirmed by what the terminal shows after its restart.
  int done = 0;
  for (const auto& line :
       SplitCrLf(home.read("logs/" + FindFiles(home.path() + "/logs", "*.txt")[0])))
    done += line.find("INF: \tUpgrade result: ") != std::string::npos && EndsWith(line, ": done");
  EXPECT_EQ(done, 4) << logTail();
  // ... and in its frame, with the transfers that made it, each to its end.
  const std::pair<const char*, const char*> results[] = {
      {"lblBinResult", "Before 5.1.0.9, after 5.1.0.12: done"},
      {"lblAntResult", "Before ATB 11, HPA V2, after ATB 12, HPA V3: done"},
      {"lblIbResult", "Before 31.02, after 31.05: done"},
      {"lblPicResult", "Before 2.03, after 2.05: done"},
  };
  for (const auto& [label, text] : results) {
    EXPECT_TRUE(u.win.visible(label)) << label;
    EXPECT_EQ(u.win.text(label), text);
  }
  for (const char* frame : {"lblBinUpdate", "lblAntUpdate", "lblIbUpdate", "lblPicUpdate"})
    EXPECT_EQ(u.win.text(frame), "Up to date") << frame;
  std::vector<std::string> transfers;
  for (const TransferProgress& r : ends)
    transfers.push_back(
        TransferStepName(r.step) + " " + r.fileName + " " +
        (r.completed && r.bytesDone == r.bytesTotal && r.bytesTotal > 0 ? "complete" : "cut"));
  EXPECT_EQ(transfers, (std::vector<std::string>{
                           "backup orvex_5_1_0_9.bin complete", "image orvex_5_1_0_12.bin complete",
                           "antenna ATB_XX0773112.sxm complete", "antenna HPA_X8629V3.sxm complete",
                           "IB ib_3105.glo complete", "PIC PIC_2_05.s19 complete"}));
  EXPECT_FALSE(u.win.visible("prgBarTransfer"));
  EXPECT_EQ(QFile(QString::fromStdString(home.path()) + "/Backup/orvex_5_1_0_9.bin").size(),
            262144);
}

// A terminal whose FTP server knows only the classic commands (no RNFR,
// RNTO, SIZE, EPSV): the software goes up under its final name, checked by
// its size, and a restore of the backup brings the old version back.
TEST_F(FullUpgrade, SoftwareAndRestoreOnAClassicFtpServer) {
  QFile sample(QStringLiteral(ORVEX_SOURCE_DIR) + "/tools/terminal-sim/scenarios/sample.ini");
  ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
  TempDir scenarios;
  scenarios.write("classic.ini", sample.readAll().toStdString() + "\n[ftp]\ncommands = classic\n");
  SimulatedTerminal terminal("127.0.0.64", kScale,
                             QString::fromStdString(scenarios.path() + "/classic.ini"));
  ASSERT_TRUE(terminal.ready()) << terminal.output().toStdString();
  Upgrader& u = launch("127.0.0.64", kScale);
  auto idleOn = [&](const char* version) {
    return WaitFor(
        [&] {
          return u.win.text("txtCurrentSoftwareVersion") == version && !u.app.WorkPending() &&
                 u.st.currUpgradeState == UPG_STATE_IDLE;
        },
        120000);
  };
  ASSERT_TRUE(idleOn("5.1.0.9")) << messages();

  for (const char* box : {"chkBinUpg", "chkAntUpg", "chkIBUpg", "chkPICUpg"})
    u.win.setValue(box, std::string(box) == "chkBinUpg" ? 1 : 0);
  u.click("cmdUpgrade");
  ASSERT_TRUE(idleOn("5.1.0.12")) << messages() << logTail();
  EXPECT_EQ(p.fakeUi.messages.size(), 1u) << messages();  // the confirmation only
  QFile imageTxt(terminal.flash() + "/tffs0/image.txt");
  ASSERT_TRUE(imageTxt.open(QIODevice::ReadOnly));
  EXPECT_EQ(imageTxt.readAll().toStdString(), "/bin/orvex_5_1_0_12.bin");
  imageTxt.close();

  p.fakeUi.onModal = [&](const std::string&) {
    const auto& items = u.win.at("lstOldSoftwareVersions").items;
    const auto it = std::find(items.begin(), items.end(), "5.1.0.9");
    u.win.setListIndex("lstOldSoftwareVersions", static_cast<int>(it - items.begin()));
    u.click("cmdOkRestore");
  };
  u.click("cmdRestore");
  ASSERT_TRUE(idleOn("5.1.0.9")) << messages() << logTail();
  EXPECT_EQ(p.fakeUi.messages.size(), 1u) << messages();
  const QJsonObject boot = FlashReport(terminal.flash())["boot"].toObject();
  EXPECT_TRUE(boot["bootable"].toBool());
  EXPECT_EQ(boot["image_path"].toString(), "/tffs0/bin/orvex_5_1_0_9.bin");
}

}  // namespace
}  // namespace orvex::test
