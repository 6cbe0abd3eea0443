// How an upgrade item is judged after its restart, and how a failure
// anywhere in an item ends the whole chain: no later item starts, now or at
// the next release information, and the technician is told.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "pic/pic_upgrade.h"
#include "support/upgrade_fixture.h"
#include "transfer/software_upgrade.h"
#include "upgrade/antenna_upgrade.h"
#include "upgrade/sequencer.h"
#include "zing/zing_channel.h"

namespace orvex::test {
namespace {

constexpr const char* kBootromText = "BOOTROM 1.0.4, Mar 03 2009 fpga 12";

std::string Release(const std::string& atb, const std::string& hpa, const std::string& ib,
                    const std::string& pic = "2.03", const std::string& cls = "11") {
  return "PIC: " + pic + "\r\nIB: " + ib + "\r\nATB: " + atb + "\r\nAHW: 03\r\nHPA: " + hpa +
         "\r\nASN: A1\r\nCLASS: " + cls + "\r\n";
}

class ChainFailure : public UpgradeTest {
 protected:
  // A fresh upgrader and log for the next row of a table.
  void restart(const std::vector<std::pair<std::string, size_t>>& files,
               const std::string& release = kReleaseText) {
    up.reset();
    std::filesystem::remove_all(home.path() + "/logs");
    p.uiFake.messages.clear();
    p.uiFake.answers.clear();
    p.uiFake.busy = false;
    p.timers.clear();
    startWith(files);
    bringUp(release);
  }
  void ftpCompletes() { p.ftp().fire(icResponseCompleted); }
  void ftpDisconnects() { p.ftp().fire(icDisconnected); }
  // The IB is prepared and sent, the terminal restarts and answers, and the
  // first status poll is due.
  void ibSentAndTerminalBack() {
    answer(IbPrepareReply(0));
    ftpCompletes();
    ftpDisconnects();
    p.vclock.advance(5000);
    connectAndTakeRequest();  // the reset
    p.vclock.advance(40000);
    answer(VersionReply(kVersionText));
    p.vclock.advance(60000);
  }
  // A fresh run with the antenna and IB items chosen, the two antenna files
  // sent: the terminal is asked to install them next.
  void antennaFilesSent(const std::string& release = kReleaseText) {
    restart({{"ATB_XX0773112.sxm", 50}, {"HPA_X8629V3.sxm", 50}, {"ib_3105.glo", 25678}}, release);
    clickUpgrade({"chkAntUpg", "chkIBUpg"});
    ftpCompletes();
    ftpCompletes();
    ftpDisconnects();
  }
  bool anyPending() const {
    return up->st.bSwUpgPending || up->st.bAntUpgPending || up->st.bIbUpgPending ||
           up->st.bPicUpgPending;
  }
  ItemOutcome lastOutcome() const {
    return up->seq.itemResults().empty() ? ItemOutcome::Running
                                         : up->seq.itemResults().back().outcome;
  }
  // The chain has ended after a failure, and a later restart of the
  // terminal starts nothing.
  void expectChainEnded() {
    bool stopped = false;
    for (const auto& line : logLines())
      if (line.find("ERR: \tUpgrade stopped: ") != std::string::npos) stopped = true;
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(anyPending());
    EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
    EXPECT_EQ(lastOutcome(), ItemOutcome::Failed);
    p.vclock.advance(200000);
    up->zing.ZingReq_GetCurrentSoftwareVersion();
    answer(VersionReply(kVersionText));
    answer(ReleaseInfoReply(kReleaseText));
    EXPECT_FALSE(logHas("Attempting pending PIC Upgrade..."));
    EXPECT_EQ(p.socket("telnetShell").connects, 0);
    EXPECT_FALSE(p.uiFake.busy);
  }
};

// The version after the software item's restart decides.
TEST_F(ChainFailure, SoftwareCountsOnlyWhenTheNewImageRuns) {
  struct Row {
    const char* version;
    bool done;
  };
  for (const Row& r : {Row{"5.1.0.12 Rel, Oct 29 2009 fpga 12", true}, Row{kVersionText, false},
                       Row{kBootromText, false}}) {
    SCOPED_TRACE(r.version);
    restart({{"ATB_XX0773112.sxm", 50}, {"HPA_X8629V3.sxm", 50}});
    // The image is on the terminal and it restarts (the FTP part is the
    // software upgrade's own test).
    up->st.bSwUpgPending = up->st.bAntUpgPending = true;
    up->seq.ItemStarted(UpgradeItem::Software);
    up->st.currUpgradeState = UPG_STATE_BIN_DONE;
    up->zing.ZingReq_GetCurrentSoftwareVersion();
    answer(VersionReply(r.version));
    ASSERT_EQ(up->seq.itemResults().size(), 1u);
    if (r.done) {
      EXPECT_EQ(lastOutcome(), ItemOutcome::Done);
      EXPECT_TRUE(messages().empty());
      EXPECT_EQ(up->zing.pendingZingReq, 0x92);  // the chain goes on
      EXPECT_TRUE(up->st.bAntUpgPending);
    } else {
      ASSERT_EQ(messages().size(), 1u);
      EXPECT_TRUE(StartsWith(lastMessage(), "Software Upgrade failed.")) << lastMessage();
      EXPECT_NE(status(), "Operation Successful. Software version retrieved!");
      expectChainEnded();
    }
  }
}

// The release information after the antenna restart decides; a form that
// cannot be compared is logged, not failed.
TEST_F(ChainFailure, AntennaCountsOnlyWhenTheNewVersionsShow) {
  struct Row {
    std::string release;
    ItemOutcome outcome;
  };
  const Row rows[] = {
      {Release("12", "V3", "01.00.31.02"), ItemOutcome::Done},
      {Release("11", "V3", "01.00.31.02"), ItemOutcome::Failed},
      {"PIC: 2.03\r\nIB: 01.00.31.02\r\n", ItemOutcome::NotVerified},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.release);
    antennaFilesSent();
    answer(AntennaReply(1, "ATB 12 HPA V3"));
    p.vclock.advance(65000);
    answer(VersionReply(kVersionText));
    answer(ReleaseInfoReply(r.release));
    ASSERT_FALSE(up->seq.itemResults().empty());
    const UpgradeItemResult& ant = up->seq.itemResults().front();
    EXPECT_EQ(ant.item, UpgradeItem::Antenna);
    EXPECT_EQ(ant.outcome, r.outcome);
    EXPECT_EQ(ant.before, "ATB 11, HPA V2");
    EXPECT_EQ(ant.expected, "ATB 12, HPA V3");
    if (r.outcome == ItemOutcome::Failed) {
      EXPECT_EQ(messages().size(), 2u);
      EXPECT_TRUE(StartsWith(lastMessage(), "Antenna Firmware Upgrade failed.")) << lastMessage();
      expectChainEnded();
    } else {
      EXPECT_EQ(messages().size(), 1u);  // only the question
      EXPECT_TRUE(logHas("INF: \tAttempting pending IB Upgrade..."));
    }
  }
  EXPECT_TRUE(logHas("cannot be compared, so the upgrade is not verified."));
}

// The terminal answers the antenna upgrade with "nothing installed": the
// item counts only if it already shows the new versions; otherwise the chain
// ends and the IB item never starts.
TEST_F(ChainFailure, AntennaThatInstallsNothing) {
  struct Row {
    std::string release;  // what the terminal showed before the upgrade
    ItemOutcome outcome;
  };
  const Row rows[] = {
      {Release("12", "V3", "01.00.31.02"), ItemOutcome::Done},
      {Release("12", "V2", "01.00.31.02"), ItemOutcome::Failed},
      {kReleaseText, ItemOutcome::Failed},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.release);
    antennaFilesSent(r.release);
    answer(AntennaReply(0, ""));
    ASSERT_FALSE(up->seq.itemResults().empty());
    EXPECT_EQ(up->seq.itemResults().front().outcome, r.outcome);
    if (r.outcome == ItemOutcome::Failed) {
      EXPECT_EQ(messages().size(), 2u);
      EXPECT_TRUE(StartsWith(lastMessage(), "Antenna Firmware Upgrade failed.")) << lastMessage();
      EXPECT_NE(lastMessage().find("installed no antenna firmware"), std::string::npos);
      EXPECT_FALSE(up->ant.tmrAntUpgDelay.enabled());
      expectChainEnded();
    } else {
      EXPECT_TRUE(logHas("Antenna firmware ATB 12, HPA V3 already installed."));
      EXPECT_TRUE(logHas("Skipped Antenna Upgrade. Attempting pending IB Upgrade..."));
    }
  }
}

// The terminal comes back from the antenna restart in BOOTROM mode, with no
// release information: the chain ends and says why.
TEST_F(ChainFailure, BootromAfterTheAntennaRestartEndsTheChain) {
  antennaFilesSent();
  answer(AntennaReply(1, "ATB 12 HPA V3"));
  p.vclock.advance(65000);
  answer(VersionReply(kBootromText));
  answer(ReleaseInfoReply("PIC: 2.03\r\n"));
  ASSERT_FALSE(messages().empty());
  EXPECT_TRUE(StartsWith(lastMessage(), "Upgrade stopped.")) << lastMessage();
  EXPECT_NE(lastMessage().find("restarted in BOOTROM mode after the Antenna firmware upgrade"),
            std::string::npos)
      << lastMessage();
  expectChainEnded();
}

// A chained antenna item is class-checked like a standalone one.
TEST_F(ChainFailure, ChainedAntennaItemGetsTheClassCheck) {
  for (const char* cls : {"10", "77"}) {  // another class; a class not known here
    SCOPED_TRACE(cls);
    restart({{"ATB_XX0773112.sxm", 50}, {"HPA_X8629V3.sxm", 50}, {"PIC_2_05.s19", 200}});
    // The software item has just come back with its new version.
    up->st.bSwUpgPending = up->st.bAntUpgPending = up->st.bPicUpgPending = true;
    up->seq.ItemStarted(UpgradeItem::Software);
    up->st.currUpgradeState = UPG_STATE_BIN_DONE;
    up->zing.ZingReq_GetCurrentSoftwareVersion();
    answer(VersionReply("5.1.0.12 Rel, Oct 29 2009 fpga 12"));
    answer(ReleaseInfoReply(Release("11", "V2", "01.00.31.02", "2.03", cls)));
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(lastMessage(), "Antenna-Type conflict. Operation Cancelled.");
    EXPECT_EQ(messages().back().flags, vbOKOnly | vbExclamation);
    EXPECT_TRUE(p.ftp().commands.empty());
    EXPECT_FALSE(anyPending());
    EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
    EXPECT_EQ(up->seq.itemResults().front().outcome, ItemOutcome::Done);  // the software
  }
  // Reached straight through the sequencer with the class not known.
  up->st.antClassId = 5;
  up->st.locAtbClassId = up->st.locHpaClassId = 5;
  up->st.bAntUpgPending = up->st.bPicUpgPending = true;
  up->st.currUpgradeState = UPG_STATE_BIN_DONE;
  up->seq.Handle_UpgradeState();
  EXPECT_EQ(lastMessage(), "Antenna-Type conflict. Operation Cancelled.");
  EXPECT_FALSE(anyPending());
  EXPECT_TRUE(p.ftp().commands.empty());
}

// Every failure inside the IB item ends the chain; the pending PIC item
// never starts.
TEST_F(ChainFailure, AnyFailureInTheIbItemEndsTheChain) {
  struct Row {
    const char* what;
    std::function<void()> fail;
    const char* message;  // start of the message box
  };
  const Row rows[] = {
      {"preparation refused",
       [this] {
         connectAndTakeRequest();
         zing().deliver(IbPrepareReply(1));
       },
       "IB Upgrade Cancelled."},
      {"no connection for the preparation", [this] { p.vclock.advance(5000); }, "Upgrade stopped."},
      {"no reply to the preparation",
       [this] {
         connectAndTakeRequest();
         p.vclock.advance(40000);
       },
       "Upgrade stopped."},
      {"unreadable progress",
       [this] {
         answer(IbPrepareReply(0));
         up->zing.ZingReq_FetchIBUpgradeStatus();
         answer(IbStatusReply(45, 0));
       },
       "IB Firmware Upgrade stopped."},
      {"no reply to a progress poll",
       [this] {
         answer(IbPrepareReply(0));
         up->zing.ZingReq_FetchIBUpgradeStatus();
         connectAndTakeRequest();
         p.vclock.advance(40000);
       },
       "Upgrade stopped."},
      {"the percentage of a progress poll stops moving",
       [this] {
         answer(IbPrepareReply(0));
         up->zing.ZingReq_FetchIBUpgradeStatus();
         for (int poll = 0; poll < 2 * ZingChannel::kIbStallPolls && messages().size() < 2;
              ++poll) {
           answer(IbStatusReply(poll < 3 ? 5 * poll + 1 : 11));  // then it stays
           p.vclock.advance(5000);
         }
         const int percent = static_cast<int>(11 * 100 / up->st.ibImageBlocks);
         EXPECT_TRUE(
             logHas("ERR: \tIB flashing has not moved on from " + std::to_string(percent) + " %."));
       },
       "IB Firmware Upgrade stopped."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    restart({{"ib_3105.glo", 25678}, {"PIC_2_05.s19", 200}});
    clickUpgrade({"chkIBUpg", "chkPICUpg"});
    ASSERT_EQ(up->zing.pendingZingReq, 0x94);
    r.fail();
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_TRUE(StartsWith(lastMessage(), r.message)) << lastMessage();
    // While the terminal may be flashing, it is not to be switched off.
    if (std::string(r.what).find("poll") != std::string::npos) {
      EXPECT_NE(lastMessage().find(kIbFlashingAdvice), std::string::npos) << lastMessage();
    }
    EXPECT_FALSE(up->zing.tmrIbPollUpgStatus.enabled());
    expectChainEnded();
  }
}

// "No IB upgrade running" after the IB restart: the release information
// decides, and a pending PIC item starts only after a confirmed IB item.
TEST_F(ChainFailure, NoIbUpgradeRunningIsChecked) {
  for (const bool newVersionShows : {true, false}) {
    SCOPED_TRACE(newVersionShows);
    restart({{"ib_3105.glo", 25678}, {"PIC_2_05.s19", 200}});
    clickUpgrade({"chkIBUpg", "chkPICUpg"});
    ibSentAndTerminalBack();
    answer(IbStatusReply(65535));
    EXPECT_EQ(up->zing.pendingZingReq, 0x92);
    EXPECT_EQ(status(), "Fetching Terminal Release Info...");
    answer(ReleaseInfoReply(Release("11", "V2", newVersionShows ? "01.00.31.05" : "01.00.31.02")));
    const UpgradeItemResult& ib = up->seq.itemResults().front();
    EXPECT_EQ(ib.item, UpgradeItem::Ib);
    EXPECT_EQ(ib.before, "31.02");
    EXPECT_EQ(ib.after, newVersionShows ? "31.05" : "31.02");
    if (newVersionShows) {
      EXPECT_EQ(ib.outcome, ItemOutcome::Done);
      EXPECT_TRUE(logHas("INF: \tAttempting pending PIC Upgrade..."));
      EXPECT_EQ(up->seq.itemResults().back().item, UpgradeItem::Pic);
    } else {
      EXPECT_TRUE(StartsWith(lastMessage(), "IB Firmware Upgrade failed.")) << lastMessage();
      expectChainEnded();
    }
  }
}

// A preparation reply that reports failure, or cannot be read, does not
// count as prepared; a silent terminal still does.
TEST_F(ChainFailure, GarbledPreparationRepliesDoNotPrepare) {
  struct Row {
    const char* what;
    std::function<void()> reply;
    bool prepared;
  };
  const Row rows[] = {
      {"check disk fails", [this] { answer(U32(0x1032) + U32(1)); }, false},
      {"halt stack fails",
       [this] {
         answer(PlainReply(0x1032));
         answer(U32(0x1033) + U32(7));
       },
       false},
      {"half a check disk reply",
       [this] {
         answer(PlainReply(0x1032).substr(0, 5));
         p.vclock.advance(40000);
       },
       false},
      {"silent terminal",
       [this] {
         connectAndTakeRequest();
         p.vclock.advance(40000);
       },
       true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    restart({{"PIC_2_05.s19", 200}});
    clickUpgrade({"chkBinUpg", "chkPICUpg"});
    ASSERT_EQ(up->zing.pendingZingReq, 0x32);
    r.reply();
    if (r.prepared) {
      EXPECT_EQ(up->st.upgPrepState, UPG_PREP_ALL_DONE);
      EXPECT_EQ(messages().size(), 1u);
    } else {
      EXPECT_LT(up->st.upgPrepState, UPG_PREP_STACK_READY);
      ASSERT_EQ(messages().size(), 2u);
      EXPECT_TRUE(StartsWith(lastMessage(), "Software Upgrade stopped.")) << lastMessage();
      EXPECT_FALSE(up->sw.tmrDelayedSwUpgIgnite.enabled());
      expectChainEnded();
    }
  }
}

// After the PIC item's restart: BOOTROM mode fails it; otherwise the
// release information must show the new PIC version before success is told.
TEST_F(ChainFailure, PicItemAfterItsRestart) {
  struct Row {
    const char* version;
    const char* pic;  // in the release information
    bool done;
  };
  for (const Row& r : {Row{kBootromText, "", false}, Row{kVersionText, "2.05", true},
                       Row{kVersionText, "2.03", false}}) {
    SCOPED_TRACE(std::string(r.version) + " " + r.pic);
    restart({{"PIC_2_05.s19", 200}});
    up->seq.ItemStarted(UpgradeItem::Pic);
    up->st.picUpgradeState = PIC_UPG_STATE_WAIT_RESET;
    up->st.currUpgradeState = UPG_STATE_PIC_DONE;
    up->zing.ZingReq_GetCurrentSoftwareVersion();
    answer(VersionReply(r.version));
    EXPECT_FALSE(logHas("PIC Upgrade was Successful. Software version retrieved!"));
    if (*r.pic) answer(ReleaseInfoReply(Release("11", "V2", "01.00.31.02", r.pic)));
    EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
    EXPECT_NE(up->st.picUpgradeState, PIC_UPG_STATE_WAIT_RESET);
    if (r.done) {
      EXPECT_EQ(lastOutcome(), ItemOutcome::Done);
      EXPECT_EQ(status(), "PIC Upgrade Successful. Software version retrieved!");
      EXPECT_TRUE(logHas("INF: \tPIC Upgrade was Successful. Software version retrieved!"));
      EXPECT_TRUE(messages().empty());
    } else {
      EXPECT_EQ(lastOutcome(), ItemOutcome::Failed);
      EXPECT_NE(status(), "PIC Upgrade Successful. Software version retrieved!");
      ASSERT_EQ(messages().size(), 1u);
      EXPECT_TRUE(StartsWith(lastMessage(), "PIC Upgrade failed.")) << lastMessage();
      EXPECT_TRUE(logHas(
          "ERR: \tUpgrade stopped: " +
          std::string(*r.pic ? "PIC firmware after the "
                               "restart is 2.03, not the "
                               "new 2.05."
                             : "The terminal restarted in BOOTROM mode after the PIC reflash.")));
    }
  }
}

// The stand-alone PIC upgrade is judged as the chained item is, and the
// stand-alone IB upgrade is told successful only once the release
// information shows its new version: each status line the window shows
// (and the command line prints) is looked at.
TEST_F(ChainFailure, StandaloneItemsAreToldDoneOnlyOnceVerified) {
  struct Row {
    UpgradeItem item;
    const char* shown;  // the item's version in the release information
    bool done;
  };
  const Row rows[] = {{UpgradeItem::Pic, "2.05", true},
                      {UpgradeItem::Pic, "2.03", false},
                      {UpgradeItem::Ib, "01.00.31.05", true},
                      {UpgradeItem::Ib, "01.00.31.02", false}};
  for (const Row& r : rows) {
    const bool pic = r.item == UpgradeItem::Pic;
    SCOPED_TRACE(std::string(pic ? "PIC " : "IB ") + r.shown);
    restart({{"PIC_2_05.s19", 200}, {"ib_3105.glo", 25678}});
    std::vector<std::string> shown;
    up->win.setListener([&](const std::string& name) {
      if (name == "sbUpgrade") shown.push_back(status());
    });
    const char* success = pic ? "PIC Upgrade Successful. Software version retrieved!"
                              : "IB Upgrade Successful. Software version retrieved!";
    p.uiFake.answers.push_back(vbYes);
    up->click(pic ? "cmdPicUpgradeMenu" : "cmdIbUpgradeMenu");
    if (pic) {
      ftpCompletes();
      ftpDisconnects();
      // The reflash has been accepted (the passes are tested on their own).
      up->pic.tmrTelnetConnect.setEnabled(false);
      up->st.picUpgradeState = PIC_UPG_STATE_WAIT_RESET;
      up->zing.ZingReq_GetCurrentSoftwareVersion();
    } else {
      ibSentAndTerminalBack();
      answer(IbStatusReply(128));
      p.vclock.advance(5000);
      answer(IbStatusReply(0));
      p.vclock.advance(40000);
    }
    EXPECT_FALSE(up->win.enabled("cmdUpgrade"));
    answer(VersionReply(kVersionText));
    EXPECT_EQ(std::count(shown.begin(), shown.end(), success), 0);
    answer(ReleaseInfoReply(pic ? Release("11", "V2", "01.00.31.02", r.shown)
                                : Release("11", "V2", r.shown)));
    ASSERT_FALSE(up->seq.itemResults().empty());
    EXPECT_EQ(up->seq.itemResults().back().item, r.item);
    EXPECT_EQ(lastOutcome(), r.done ? ItemOutcome::Done : ItemOutcome::Failed);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), success), r.done ? 1 : 0);
    if (r.done) {
      EXPECT_EQ(status(), success);
      EXPECT_EQ(messages().size(), 1u);  // only the question
    } else {
      EXPECT_TRUE(
          StartsWith(lastMessage(), pic ? "PIC Upgrade failed." : "IB Firmware Upgrade failed."))
          << lastMessage();
    }
    up->win.setListener(nullptr);
  }
}

}  // namespace
}  // namespace orvex::test
