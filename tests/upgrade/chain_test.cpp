// A selection of several items run to its end across the terminal's
// restarts, through the real reply dispatcher and FTP command engine.
#include <gtest/gtest.h>

#include "support/upgrade_fixture.h"
#include "upgrade/release_series.h"
#include "upgrade/sequencer.h"

namespace orvex::test {
namespace {

// The release information once the new antenna parts (ATB 12, HPA V3)
// and then the new IB firmware (31.05) are installed.
constexpr const char* kNewAntenna =
    "PIC: 2.03\r\nIB: 01.00.31.02\r\nATB: 12\r\nAHW: 03\r\nHPA: V3\r\nASN: A10042317\r\n"
    "CLASS: 11\r\n";
constexpr const char* kNewAntennaAndIb =
    "PIC: 2.03\r\nIB: 01.00.31.05\r\nATB: 12\r\nAHW: 03\r\nHPA: V3\r\nASN: A10042317\r\n"
    "CLASS: 11\r\n";

class UpgradeChain : public UpgradeTest {
 protected:
  void ftpCompletes() { p.ftp().fire(icResponseCompleted); }
  void ftpDisconnects() { p.ftp().fire(icDisconnected); }
  // At this moment of the chain nothing can start another chain, change the
  // address or fetch the log; with the normal pointer, Exit stays usable.
  void expectNoSecondChain(const char* moment) {
    SCOPED_TRACE(moment);
    for (const char* name :
         {"cmdUpgrade", "cmdUpgradeMenu", "cmdRestore", "cmdRestoreMenu", "cmdGetSoftwareVersion",
          "cmdSetModemIP", "cmdResetModem", "cmdRestoreDefaults", "cmdAntUpgradeMenu",
          "cmdIbUpgradeMenu", "cmdPicUpgradeMenu", "txtIPAddress", "mnuTools"})
      EXPECT_FALSE(up->win.enabled(name)) << name;
    if (!p.uiFake.busy) {
      EXPECT_TRUE(up->win.enabled("mnuFileExit") && up->win.enabled("frmMain"));
    }
    const size_t sent = p.ftp().commands.size();
    up->keyPress(ReleaseSeries::kLogKeyArm);
    up->keyPress(ReleaseSeries::kLogKeyFire);
    EXPECT_EQ(p.ftp().commands.size(), sent);
  }
};

TEST_F(UpgradeChain, AntennaThenIbToTheEnd) {
  startWith({{"ATB_XX0773112.sxm", 50}, {"HPA_X8629V3.sxm", 50}, {"ib_3105.glo", 25678}});
  FakeHistory history;
  history.failAt = 2;
  p.historyPort = &history;
  bringUp();
  clickUpgrade({"chkAntUpg", "chkIBUpg"});
  ASSERT_EQ(messages().size(), 1u);
  expectNoSecondChain("antenna upload");

  // Antenna: both parts, then the install request.
  ftpCompletes();
  ftpCompletes();
  ftpDisconnects();
  // Each file is checked by its size before the next step.
  EXPECT_EQ(p.ftp().commands,
            (std::vector<std::string>{"PUT ATB_XX0773112.sxm atb.sxm", "DIR ",
                                      "PUT HPA_X8629V3.sxm hpa.sxm", "DIR ", "CLOSE"}));
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x90\x02", 5));
  zing().deliver(AntennaReply(1, "ATB 12 HPA V3"));
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_ANT_DONE);
  expectNoSecondChain("antenna restart wait");

  // The terminal restarts with the new antenna firmware; its release
  // information starts the IB item.
  p.vclock.advance(65000);
  answer(VersionReply(kVersionText));
  expectNoSecondChain("after the restart, before the release information");
  answer(ReleaseInfoReply(kNewAntenna));
  EXPECT_TRUE(logHas("INF: \tAttempting pending IB Upgrade..."));
  EXPECT_FALSE(up->st.bIbUpgPending);
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x94", 4));
  zing().deliver(IbPrepareReply(0));
  ftpCompletes();
  ftpDisconnects();
  EXPECT_EQ(p.ftp().commands.size(), 8u);
  EXPECT_EQ(p.ftp().commands[5], "PUT \"" + home.path() + "/ib_3105.glo\" /tffs0/bin/ib_3105.glo");
  EXPECT_EQ(p.ftp().commands[6], "DIR /tffs0/bin");
  EXPECT_EQ(up->st.ibUpgState, IB_UPG_RESET_SENT);
  expectNoSecondChain("wait before the reset");

  // Reset, restart, flashing with progress, and the restart after it.
  p.vclock.advance(5000);
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x0D", 4));
  p.vclock.advance(40000);
  answer(VersionReply(kVersionText));
  EXPECT_EQ(status(), "Checking IB Upgrade. Please Wait...");
  expectNoSecondChain("IB flashing");
  p.vclock.advance(60000);
  answer(IbStatusReply(128));
  EXPECT_EQ(up->win.text("lblIbUpgStatus"), "50 %");
  expectNoSecondChain("IB progress");
  p.vclock.advance(5000);
  answer(IbStatusReply(0));
  p.vclock.advance(40000);
  answer(VersionReply(kVersionText));
  EXPECT_EQ(up->st.ibUpgState, IB_UPG_IDLE);
  answer(ReleaseInfoReply(kNewAntennaAndIb));

  EXPECT_TRUE(logHas("INF: \tSkipped Antenna & PIC Upgrades. Upgrade Complete."));
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
  EXPECT_FALSE(up->st.bAntUpgPending || up->st.bIbUpgPending || up->st.bPicUpgPending);
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_EQ(messages().size(), 1u);  // only the question
  // The chain has ended: the commands come back.
  p.vclock.advance(500);
  EXPECT_TRUE(up->win.enabled("cmdUpgrade") && up->win.enabled("cmdSetModemIP"));

  // Each item with the versions before and after it, and its result.
  const auto& items = up->seq.itemResults();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].item, UpgradeItem::Antenna);
  EXPECT_EQ(items[0].after, "ATB 12, HPA V3");
  EXPECT_EQ(items[1].item, UpgradeItem::Ib);
  EXPECT_EQ(items[1].before, "31.02");
  EXPECT_EQ(items[1].after, "31.05");
  for (const auto& item : items) EXPECT_EQ(item.outcome, ItemOutcome::Done);
  EXPECT_TRUE(
      logHas("INF: \tUpgrade result: Antenna firmware: before ATB 11, HPA V2, after ATB 12, "
             "HPA V3, new ATB 12, HPA V3: done"));
  EXPECT_TRUE(
      logHas("INF: \tUpgrade result: IB firmware: before 31.02, after 31.05, new 31.05: done"));
  // One row per item in the history, once; a failed write is logged and
  // ends nothing.
  ASSERT_EQ(history.rows.size(), 2u);
  EXPECT_EQ(history.rows[0].item, "antenna");
  EXPECT_EQ(history.rows[1].item, "ib");
  EXPECT_EQ(history.rows[1].before + " " + history.rows[1].after + " " + history.rows[1].result,
            "31.02 31.05 done");
  EXPECT_EQ(history.rows[1].antennaSerial, "A10042317");
  EXPECT_EQ(history.rows[1].address, up->st.strModemIPAddress);
  EXPECT_EQ(history.rows[1].frontEnd, "orvex-upgrader");
  EXPECT_FALSE(history.rows[1].logFile.empty());
  EXPECT_TRUE(logHas("ERR: \tThe upgrade history could not be written: disk full"));
}

}  // namespace
}  // namespace orvex::test
