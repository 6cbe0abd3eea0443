// The Upgrade command and the sequencer: the confirmation per selection,
// the version wait, the first item, and every row of Handle_UpgradeState.
#include "upgrade/sequencer.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/upgrade_fixture.h"
#include "transfer/ftp_engine.h"
#include "ui/main_window.h"
#include "zing/zing_channel.h"

namespace orvex::test {
namespace {

constexpr const char* kHead =
    "Please Confirm your selections.\r\nDo you want to proceed upgrading the following items "
    "?\r\n\r\n";
constexpr const char* kShortPicWarning =
    "WARNING: \r\n= Make sure the Terminal has DC-power cord connected.\r\n= Please Close all "
    "active Telnet connections to the Terminal.\r\n";
constexpr const char* kLongPicWarning =
    "WARNING: \r\n= Make sure the Terminal has DC-power cord connected.\r\n= Make sure the "
    "Battery is NOT connected.\r\n= Please Close all active Telnet connections to the "
    "Terminal.\r\n\r\nNote: \r\n # The unit may display 'No Software' momentarily during the PIC "
    "Upgrade process.\r\n # The Terminal DOES NOT automatically restart after PIC Upgrade.\r\n # "
    "The user needs to manually Power-up the Unit following the PIC Upgrade when prompted.";
constexpr const char* kMultiNote =
    "\r\n\r\nNote: Terminal will Upgrade each chosen Item in the order shown above.\r\nPlease "
    "Note that the Terminal will Reset between each Upgrade Item.\r\n";

class Sequencer : public UpgradeTest {
 protected:
  // Asks the question for the ticked boxes, answers No, returns the question.
  std::string questionFor(std::vector<const char*> boxes) {
    p.uiFake.messages.clear();
    clickUpgrade(std::move(boxes), vbNo);
    EXPECT_EQ(messages().size(), 1u);
    if (messages().empty()) return "";
    EXPECT_EQ(messages()[0].flags, vbYesNo | vbQuestion);
    EXPECT_EQ(messages()[0].title, "ORVEX Satellite IP Modem Upgrader");
    return messages()[0].text;
  }
};

TEST_F(Sequencer, ConfirmationTextPerSelection) {
  startWith({});
  bringUp();
  EXPECT_EQ(up->st.termPlatformId, 1);
  EXPECT_EQ(up->st.pkgPlatformId, 1);

  // Only PIC: the warning, no note on the order.
  EXPECT_EQ(questionFor({"chkPICUpg"}), std::string(kHead) + "- PIC\r\n" + kShortPicWarning);
  // Software and IB: the note follows the list.
  EXPECT_EQ(questionFor({"chkBinUpg", "chkIBUpg"}),
            std::string(kHead) + "- Software\r\n- IB Firmware\r\n" + kMultiNote);
  // All four: the listed order puts PIC (with its warning) before IB.
  EXPECT_EQ(questionFor({"chkBinUpg", "chkAntUpg", "chkIBUpg", "chkPICUpg"}),
            std::string(kHead) + "- Software\r\n- Antenna Firmware\r\n- PIC\r\n" +
                kShortPicWarning + "- IB Firmware\r\n" + kMultiNote);
  // Antenna and PIC with a platform 8 terminal: the long warning, which ends
  // without a line break, runs straight into the note.
  up->st.termPlatformId = 8;
  EXPECT_EQ(questionFor({"chkAntUpg", "chkPICUpg"}),
            std::string(kHead) + "- Antenna Firmware\r\n- PIC\r\n" + kLongPicWarning + kMultiNote);
  // A platform 8 image alone is enough for the long warning.
  up->st.termPlatformId = 1;
  up->st.pkgPlatformId = 8;
  EXPECT_EQ(questionFor({"chkPICUpg"}), std::string(kHead) + "- PIC\r\n" + kLongPicWarning);
  // Platforms 9 and 3: the short one.
  up->st.termPlatformId = 9;
  up->st.pkgPlatformId = 3;
  EXPECT_EQ(questionFor({"chkPICUpg"}), std::string(kHead) + "- PIC\r\n" + kShortPicWarning);

  // Every No: cancelled, nothing pending, boxes unticked, nothing started.
  EXPECT_EQ(logCount("Upgrade Cancelled by User"), 6);
  EXPECT_FALSE(up->st.bSwUpgPending || up->st.bAntUpgPending || up->st.bIbUpgPending ||
               up->st.bPicUpgPending);
  for (const char* box : {"chkBinUpg", "chkAntUpg", "chkIBUpg", "chkPICUpg"})
    EXPECT_EQ(up->win.value(box), 0) << box;
  EXPECT_EQ(up->zing.pendingZingReq, 0x92);  // still the release information
  EXPECT_TRUE(p.ftp().commands.empty());
}

TEST_F(Sequencer, NotReadyOrNothingTicked) {
  startWith({});
  answer(VersionReply(kVersionText));
  up->ftp.setOKToFTP(false);
  clickUpgrade({"chkBinUpg"});
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(up->st.bSwUpgPending);
  EXPECT_EQ(up->win.value("chkBinUpg"), 1);  // left as it was

  up->ftp.setOKToFTP(true);
  p.uiFake.answers.clear();
  up->win.setValue("chkBinUpg", 0);
  up->click("cmdUpgradeMenu");
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].text, "Please Select the Item(s) you wish to Upgrade.");
  EXPECT_EQ(messages()[0].flags, vbOKOnly | vbCritical);
  EXPECT_EQ(messages()[0].title, "");
  EXPECT_TRUE(logHas(">> Upgrade Button Clicked()"));
}

TEST_F(Sequencer, UnknownVersionIsAskedForFirst) {
  startWith({});
  autoAnswer({{'\x04', VersionReply(kVersionText)}, {'\x92', ReleaseInfoReply(kReleaseText)}});
  ASSERT_EQ(up->st.strCurrSwVersion, "0_0_0_0");
  const long long before = p.vclock.nowMs();
  clickUpgrade({"chkBinUpg", "chkPICUpg"}, vbNo);
  // The version reply asks for the release information at once, so the wait
  // ends only when both have arrived; then the question follows. The normal
  // pointer unticks "Upgrade PIC" on the way.
  EXPECT_EQ(up->st.strCurrSwVersion, "5_1_0_9");
  EXPECT_EQ(up->st.antClassId, 4);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].text, std::string(kHead) + "- Software\r\n");
  EXPECT_LT(p.vclock.nowMs() - before, 1000);
}

TEST_F(Sequencer, VersionWaitIsBounded) {
  startWith({});
  bringUp();
  // The version is unknown and, whatever the terminal does, something keeps
  // the pointer busy: the wait still ends.
  up->st.strCurrSwVersion = "0_0_0_0";
  std::function<void()> keepBusy = [&] {
    up->ui.SetMouseCursor(1);
    p.vclock.schedule(50, keepBusy);
  };
  p.vclock.schedule(0, keepBusy);
  const long long before = p.vclock.nowMs();
  clickUpgrade({"chkBinUpg"});
  EXPECT_GE(p.vclock.nowMs() - before, 600000);
  EXPECT_LT(p.vclock.nowMs() - before, 601000);
  EXPECT_TRUE(logHas("ERR: \tNo software version from the terminal in time. Upgrade not started."));
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_TRUE(up->win.enabled("cmdUpgrade"));
  EXPECT_FALSE(up->st.bSwUpgPending);
  keepBusy = [] {};
}

TEST_F(Sequencer, SoftwareFirstChecksTheSeriesAndPrepares) {
  startWith({});
  bringUp();
  clickUpgrade({"chkBinUpg", "chkIBUpg"});
  EXPECT_TRUE(logHas("INF: \tcurrUpgradeState = UPG_STATE_IDLE"));
  EXPECT_TRUE(logHas(">> UPG_UpgradeSoftware()"));
  EXPECT_TRUE(logHas("Release Streams Match !"));
  EXPECT_TRUE(logHas("DET: \tupgPrepState = UPG_PREP_IDLE"));
  EXPECT_TRUE(logHas("DET: \tSpawned Software Upgrade."));
  EXPECT_TRUE(highlighted("frameBin"));
  EXPECT_TRUE(up->st.bSwUpgPending);
  EXPECT_TRUE(up->st.bIbUpgPending);
  EXPECT_FALSE(up->st.bAntUpgPending);
}

TEST_F(Sequencer, SoftwareFromBootromSkipsThePreparationRequests) {
  startWith({});
  answer(VersionReply("BOOTROM 1.0.4, Mar 03 2009 fpga 12"));
  clickUpgrade({"chkBinUpg"});
  EXPECT_TRUE(logHas("Development/BOOTROM-mode Upgrade over-ride!"));
  EXPECT_TRUE(logHas("DET: \tupgPrepState = UPG_PREP_STACK_READY"));
}

TEST_F(Sequencer, SeriesRefusalAbandonsTheSelection) {
  startWith({{"ib_3105.glo", 25678}});
  bringUp();
  up->st.strCurrSwVersion = "5_0_9_3";
  clickUpgrade({"chkBinUpg", "chkIBUpg"});
  ASSERT_EQ(messages().size(), 2u);
  EXPECT_EQ(messages()[1].text, "Release Series conflict detected. Upgrade not possible.");
  EXPECT_EQ(messages()[1].flags, vbOKOnly | vbCritical);
  EXPECT_EQ(status(), "Release Series conflict detected. Upgrade not possible.");
  EXPECT_TRUE(logHas("Upgrade Not permitted !"));
  EXPECT_FALSE(logHas("upgPrepState = UPG_PREP_IDLE"));
  // Nothing of the refused selection may start after a later restart.
  EXPECT_FALSE(up->st.bSwUpgPending || up->st.bIbUpgPending);
  up->st.currUpgradeState = UPG_STATE_BIN_DONE;
  up->seq.Handle_UpgradeState();
  EXPECT_FALSE(logHas("Attempting pending IB Upgrade..."));
}

TEST_F(Sequencer, AntennaFirstUploadsWhenTheClassesMatch) {
  startWith({{"ATB_XX0773112.sxm", 50}, {"HPA_X8629V3.sxm", 50}});
  bringUp();
  ASSERT_EQ(up->st.antClassId, 4);
  clickUpgrade({"chkAntUpg", "chkPICUpg"});
  EXPECT_TRUE(logHas("INF: \tInitializing Antenna Upgrade.."));
  EXPECT_TRUE(logHas(">> UPG_UpgradeAntennaFW()"));
  EXPECT_TRUE(logHas("INF: \tcurrUpgradeState = UPG_STATE_BIN_DONE"));
  EXPECT_TRUE(logHas("INF: \tAttempting pending Antenna Upgrade..."));
  EXPECT_TRUE(logHas("DET: \tSpawned Antenna Upgrade."));
  ASSERT_EQ(p.ftp().commands, std::vector<std::string>{"PUT ATB_XX0773112.sxm atb.sxm"});
  EXPECT_EQ(up->st.ftpState, 23);
  EXPECT_FALSE(up->st.bAntUpgPending);
  EXPECT_TRUE(up->st.bPicUpgPending);
  EXPECT_TRUE(highlighted("frameAntenna"));
}

TEST_F(Sequencer, AntennaFirstWithAClassConflictStartsNothing) {
  // An ATB part alone leaves the HPA class at 0, which differs from class 4.
  startWith({{"ATB_XX0773112.sxm", 50}, {"ib_3105.glo", 25678}});
  bringUp();
  clickUpgrade({"chkAntUpg", "chkIBUpg"});
  ASSERT_EQ(messages().size(), 2u);
  EXPECT_EQ(messages()[1].text, "Antenna-Type conflict. Operation Cancelled.");
  EXPECT_EQ(messages()[1].flags, vbOKOnly | vbExclamation);
  EXPECT_FALSE(up->win.enabled("chkAntUpg"));
  EXPECT_FALSE(up->win.enabled("cmdAntUpgradeMenu"));
  EXPECT_TRUE(p.ftp().commands.empty());
  EXPECT_FALSE(logHas("Initializing IB Upgrade.."));
  EXPECT_FALSE(up->st.bAntUpgPending || up->st.bIbUpgPending);
}

TEST_F(Sequencer, IbOrPicFirstPassThroughTheSequencer) {
  startWith({{"ib_3105.glo", 25678}});
  bringUp();
  clickUpgrade({"chkIBUpg"});
  EXPECT_TRUE(logHas("INF: \tInitializing IB Upgrade.."));
  EXPECT_TRUE(logHas(">> UPG_UpgradeIB()"));
  EXPECT_TRUE(logHas("INF: \tcurrUpgradeState = UPG_STATE_ANT_DONE"));
  EXPECT_TRUE(logHas("INF: \tAttempting pending IB Upgrade..."));
  EXPECT_TRUE(logHas("DET: \tSpawned IB Upgrade."));
  EXPECT_EQ(connectAndTakeRequest(), std::string("\0\0\0\x94", 4));

  // PIC without a PIC file: skipped, and the upgrade is over.
  zing().deliver(IbPrepareReply(1));  // refused, so nothing else runs
  up->win.setEnabled("chkPICUpg", true);
  clickUpgrade({"chkPICUpg"});
  EXPECT_TRUE(logHas("INF: \tInitializing PIC Upgrade.."));
  EXPECT_TRUE(logHas("INF: \tcurrUpgradeState = UPG_STATE_IB_DONE"));
  EXPECT_TRUE(logHas("INF: \tSkip PIC Upgrades. Upgrade Complete"));
  EXPECT_EQ(status(), "Upgrade Complete !");
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
  EXPECT_FALSE(up->st.bPicUpgPending);
}

// One row of the decision of Handle_UpgradeState.
struct Row {
  long state;
  bool ant, ib, pic;  // pending (and available)
  const char* line;   // the INF line of the decision, or nullptr
  long stateAfter;
  bool antAfter, ibAfter, picAfter;
  bool complete;   // "Upgrade Complete !" in the status line
  long zingAfter;  // the request then pending (0x92: none started)
};

void PrintTo(const Row& r, std::ostream* os) {
  *os << "state " << r.state << (r.ant ? " ant" : "") << (r.ib ? " ib" : "")
      << (r.pic ? " pic" : "");
}

class HandleUpgradeState : public UpgradeTest, public ::testing::WithParamInterface<Row> {};

TEST_P(HandleUpgradeState, Row) {
  const Row& r = GetParam();
  startWith({});
  bringUp();
  up->win.setText("sbUpgrade", "before");
  up->st.strAtbFile = "ATB_XX0773112.sxm";
  up->st.strGloFile = "ib_3105.glo";
  up->st.bAntFwAvailable = up->st.bIbFwAvailable = up->st.bPicFwAvailable = true;
  up->st.locAtbClassId = up->st.locHpaClassId = up->st.antClassId;  // the classes match
  up->st.bAntUpgPending = r.ant;
  up->st.bIbUpgPending = r.ib;
  up->st.bPicUpgPending = r.pic;
  up->st.currUpgradeState = r.state;
  up->seq.Handle_UpgradeState();

  EXPECT_TRUE(logHas("INF: \tIs Antenna Upgrade Pending= " + BoolText(r.ant)));
  EXPECT_TRUE(logHas("INF: \tIs IB Upgrade Pending= " + BoolText(r.ib)));
  EXPECT_TRUE(logHas("INF: \tIs PIC Upgrade Pending = " + BoolText(r.pic)));
  EXPECT_TRUE(logHas("ERR: \tUpgrade Progress State Invalid."));
  if (r.line) {
    EXPECT_TRUE(logHas(std::string("INF: \t") + r.line));
  }
  EXPECT_EQ(up->st.currUpgradeState, r.stateAfter);
  EXPECT_EQ(up->st.bAntUpgPending, r.antAfter);
  EXPECT_EQ(up->st.bIbUpgPending, r.ibAfter);
  EXPECT_EQ(up->st.bPicUpgPending, r.picAfter);
  if (r.stateAfter == UPG_STATE_IDLE) {
    EXPECT_EQ(status(), r.complete ? "Upgrade Complete !" : "before");
  }
  EXPECT_EQ(up->zing.pendingZingReq, r.zingAfter);
  const bool antennaStarted =
      r.line && std::string(r.line) == "Attempting pending Antenna Upgrade...";
  EXPECT_EQ(p.ftp().commands.size(), antennaStarted ? 1u : 0u);
  if (r.stateAfter == UPG_STATE_IDLE) {
    EXPECT_TRUE(logHas("INF: \tcurrUpgradeState = UPG_STATE_IDLE"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HandleUpgradeState,
    ::testing::Values(
        Row{2, true, true, true, "Attempting pending Antenna Upgrade...", 2, false, true, true,
            false, 0x92},
        Row{2, false, true, true, "Skipped Antenna Upgrade. Attempting pending IB Upgrade...", 3,
            false, false, true, false, 0x94},
        Row{2, false, false, true,
            "Skipped Antenna & IB Upgrades. Attempting pending PIC Upgrade...", 4, false, false,
            false, false, 0x92},
        Row{2, false, false, false, "Skipped Antenna & PIC Upgrades. Upgrade Complete.", 1, false,
            false, false, false, 0x92},
        Row{3, true, true, true, "Attempting pending IB Upgrade...", 3, true, false, true, false,
            0x94},
        Row{3, false, false, true, "Skipped Antenna Upgrade. Attempting pending PIC Upgrade...", 4,
            false, false, false, false, 0x92},
        Row{3, true, false, false, "Skipped Antenna & PIC Upgrades. Upgrade Complete.", 1, false,
            false, false, false, 0x92},
        Row{4, false, false, true, "Attempting pending PIC Upgrade...", 4, false, false, true,
            false, 0x92},
        Row{4, true, true, false, "Skip PIC Upgrades. Upgrade Complete", 1, false, false, false,
            true, 0x92},
        Row{5, true, true, true, "All Upgrades Complete.", 1, false, false, false, true, 0x92},
        Row{1, true, true, true, nullptr, 1, false, false, false, false, 0x92},
        Row{0, true, false, false, nullptr, 1, false, false, false, false, 0x92},
        Row{7, false, false, true, nullptr, 1, false, false, false, false, 0x92}));

TEST_F(Sequencer, UnavailableItemsAreSkippedSilently) {
  startWith({});
  bringUp();
  up->st.bAntUpgPending = up->st.bIbUpgPending = up->st.bPicUpgPending = true;
  up->st.currUpgradeState = UPG_STATE_BIN_DONE;
  const size_t shown = messages().size();
  up->seq.Handle_UpgradeState();
  EXPECT_TRUE(logHas("INF: \tSkipped Antenna & PIC Upgrades. Upgrade Complete."));
  EXPECT_EQ(messages().size(), shown);
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
}

}  // namespace
}  // namespace orvex::test
