// The enabling rules of the main window, the busy pointer, the frame colours
// of the upgrade stage and the terminal address.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <map>

#include "pic/pic_upgrade.h"
#include "support/engine_fixture.h"
#include "upgrade/sequencer.h"

namespace orvex::test {
namespace {

class MainWindowTest : public EngineTest {
 protected:
  void SetUp() override { startWithImage(); }
  std::map<std::string, bool> enabledSnapshot() const {
    std::map<std::string, bool> m;
    for (const auto& n : up->win.names()) m[n] = up->win.enabled(n);
    return m;
  }
  bool on(const char* name) const { return up->win.enabled(name); }
};

const char* const kCommands[] = {"cmdSetModemIP",
                                 "cmdGetSoftwareVersion",
                                 "cmdRestoreDefaults",
                                 "cmdResetModem",
                                 "cmdUpgrade",
                                 "cmdRestore",
                                 "cmdUpgradeMenu",
                                 "cmdRestoreMenu",
                                 "mnuHelpAbout",
                                 "mnuFileExit",
                                 "txtIPAddress",
                                 "chkBinUpg",
                                 "mnuFile",
                                 "mnuTools",
                                 "mnuHelp",
                                 "frmMain"};

TEST_F(MainWindowTest, BusyPointerDisablesEverythingNormalPointerRestoresCommands) {
  EXPECT_TRUE(up->ui.SetMouseCursor(1));
  EXPECT_TRUE(p.uiFake.busy);
  EXPECT_EQ(up->st.screenMousePointer, vbArrowHourglass);
  for (const char* n : kCommands) EXPECT_FALSE(on(n)) << n;
  for (const char* n : {"cmdPicUpgradeMenu", "cmdIbUpgradeMenu", "cmdAntUpgradeMenu", "chkAntUpg",
                        "chkIBUpg", "chkPICUpg"})
    EXPECT_FALSE(on(n)) << n;

  EXPECT_TRUE(up->ui.SetMouseCursor(0));
  EXPECT_FALSE(p.uiFake.busy);
  EXPECT_EQ(up->st.screenMousePointer, vbDefault);
  for (const char* n : kCommands) EXPECT_TRUE(on(n)) << n;
}

TEST_F(MainWindowTest, OtherPointerModesChangeNothing) {
  up->ui.SetMouseCursor(1);
  const auto before = enabledSnapshot();
  EXPECT_FALSE(up->ui.SetMouseCursor(2));
  EXPECT_FALSE(up->ui.SetMouseCursor(-1));
  EXPECT_EQ(enabledSnapshot(), before);
  EXPECT_TRUE(p.uiFake.busy);
}

TEST_F(MainWindowTest, NormalPointerEnablesItemsOnlyByTheirAvailability) {
  // Nothing available: antenna and IB stay as the disable helpers left them.
  up->ui.UI_DisableAntennaFunctionality();
  up->ui.SetMouseCursor(1);
  up->ui.SetMouseCursor(0);
  EXPECT_FALSE(on("chkAntUpg"));
  EXPECT_FALSE(on("cmdAntUpgradeMenu"));
  EXPECT_FALSE(on("chkPICUpg"));
  EXPECT_FALSE(on("cmdPicUpgradeMenu"));

  // Available firmware is switched on again; PIC is always unticked.
  up->st.bAntFwAvailable = up->st.bIbFwAvailable = up->st.bPicFwAvailable = true;
  up->win.setValue("chkPICUpg", 1);
  up->win.setValue("chkAntUpg", 1);
  up->ui.SetMouseCursor(1);
  EXPECT_EQ(up->win.value("chkAntUpg"), 1);  // check box values are not changed while busy
  up->ui.SetMouseCursor(0);
  for (const char* n : {"chkAntUpg", "cmdAntUpgradeMenu", "chkIBUpg", "cmdIbUpgradeMenu",
                        "chkPICUpg", "cmdPicUpgradeMenu"})
    EXPECT_TRUE(on(n)) << n;
  EXPECT_EQ(up->win.value("chkPICUpg"), 0);
  EXPECT_EQ(up->win.value("chkAntUpg"), 1);

  // An IB or antenna item that is not available but was enabled stays enabled.
  up->st.bIbFwAvailable = false;
  up->ui.SetMouseCursor(0);
  EXPECT_TRUE(on("chkIBUpg"));
}

TEST_F(MainWindowTest, GroupHelpersSwitchTheirControls) {
  up->ui.UI_EnableIBFunctionality();
  up->win.setValue("chkIBUpg", 1);
  up->ui.UI_DisableIBFunctionality(false);
  EXPECT_FALSE(on("frameIbInfo"));
  EXPECT_FALSE(on("txtLocIBVer"));
  EXPECT_TRUE(on("txtTermIBVer"));
  EXPECT_FALSE(on("chkIBUpg"));
  EXPECT_EQ(up->win.value("chkIBUpg"), 0);
  up->ui.UI_DisableIBFunctionality(true);
  EXPECT_FALSE(on("txtTermIBVer"));
  EXPECT_FALSE(on("lblTermIbVer"));

  up->st.bIbFwAvailable = false;
  up->ui.UI_EnableIBFunctionality();
  EXPECT_TRUE(on("txtTermIBVer"));
  EXPECT_TRUE(on("frameIbInfo"));
  EXPECT_FALSE(on("chkIBUpg"));
  up->st.bIbFwAvailable = true;
  up->ui.UI_EnableIBFunctionality();
  EXPECT_TRUE(on("chkIBUpg"));
  EXPECT_TRUE(on("cmdIbUpgradeMenu"));

  up->win.setValue("chkAntUpg", 1);
  up->ui.UI_DisableAntennaFunctionality();
  for (const char* n : {"frameAntenna", "txtLocAtbVer", "lblAntClass", "txtAntCLSver", "chkAntUpg",
                        "cmdAntUpgradeMenu"})
    EXPECT_FALSE(on(n)) << n;
  EXPECT_EQ(up->win.value("chkAntUpg"), 0);
  up->win.setValue("chkAntUpg", 1);
  up->st.bAntFwAvailable = false;
  up->ui.UI_EnableAntennaFunctionality();
  EXPECT_TRUE(on("frameAntenna"));
  EXPECT_TRUE(on("txtAntHPAver"));
  EXPECT_FALSE(on("chkAntUpg"));
  EXPECT_EQ(up->win.value("chkAntUpg"), 1);  // keeps its value

  up->win.setText("txtAntATBver", "07");
  up->ui.UI_InitTermAntennaFields();
  EXPECT_EQ(up->win.text("txtAntATBver"), "UNKNOWN");
  EXPECT_EQ(up->win.text("txtAntHPAver"), "UNKNOWN");
  EXPECT_EQ(up->win.text("txtAntCLSver"), "UNKNOWN");
  EXPECT_TRUE(on("chkAntUpg"));  // without looking at the availability flag

  up->ui.UI_DisableIBFunctionality(true);
  up->ui.UI_InitTermIbFields();
  EXPECT_EQ(up->win.text("txtTermIBVer"), "UNKNOWN");
  EXPECT_TRUE(on("chkIBUpg"));

  up->st.bPicFwAvailable = false;
  up->win.setValue("chkPICUpg", 1);
  up->pic.UI_DisablePICFunctionality(false);
  EXPECT_TRUE(on("framePIC"));
  EXPECT_FALSE(on("txtLocPICVer"));
  EXPECT_TRUE(on("txtTermPICVersion"));
  EXPECT_EQ(up->win.value("chkPICUpg"), 0);
  up->pic.UI_DisablePICFunctionality(true);
  EXPECT_FALSE(on("txtTermPICVersion"));
  up->pic.UI_EnablePICFunctionality();
  EXPECT_TRUE(on("txtTermPICVersion"));
  EXPECT_FALSE(on("chkPICUpg"));
}

TEST_F(MainWindowTest, UpgradeStageColoursOneFrameAndClearsPendingAtTheEnd) {
  auto colours = [this] {
    return std::vector<long>{up->win.backColor("frameBin"), up->win.backColor("frameAntenna"),
                             up->win.backColor("frameIbInfo"), up->win.backColor("framePIC")};
  };
  const long n = kColorButtonFace, h = kColorHighlight;
  up->ui.UI_UpdateUIUpgState(3);
  EXPECT_EQ(colours(), (std::vector<long>{n, h, n, n}));
  up->ui.UI_UpdateUIUpgState(2);
  EXPECT_EQ(colours(), (std::vector<long>{h, n, n, n}));
  up->ui.UI_UpdateUIUpgState(5);
  EXPECT_EQ(colours(), (std::vector<long>{n, n, n, h}));
  up->ui.UI_UpdateUIUpgState(4);
  EXPECT_EQ(colours(), (std::vector<long>{n, n, h, n}));

  auto setPending = [this] {
    up->st.bSwUpgPending = up->st.bAntUpgPending = up->st.bIbUpgPending = up->st.bPicUpgPending =
        true;
  };
  auto anyPending = [this] {
    return up->st.bSwUpgPending || up->st.bAntUpgPending || up->st.bIbUpgPending ||
           up->st.bPicUpgPending;
  };
  setPending();
  up->ui.UI_UpdateUIUpgState(0);
  EXPECT_EQ(colours(), (std::vector<long>{n, n, n, n}));
  EXPECT_TRUE(anyPending());
  EXPECT_TRUE(logHas("ERR: \tUpgrade Progress State Invalid."));

  up->ui.UI_UpdateUIUpgState(1);
  EXPECT_FALSE(anyPending());
  EXPECT_TRUE(logHas("VRB: \tUpgrade Progress Complete. Clear Pending requests: 1"));

  setPending();
  up->ui.UI_UpdateUIUpgState(7);
  EXPECT_FALSE(anyPending());
  EXPECT_EQ(colours(), (std::vector<long>{n, n, n, n}));
  EXPECT_TRUE(logHas("ERR: \tUnexpected Progress State, Clear Pending requests: 7"));
  EXPECT_TRUE(logHas("VRB: \t>> UI_UpdateUIUpgState() : 7"));
}

TEST_F(MainWindowTest, AddressKeepsItsBlanksInTheBoxButNotInUse) {
  up->ui.UpdateModemIPAddress(" 192.168.128.100 ");
  EXPECT_EQ(up->win.text("txtIPAddress"), " 192.168.128.100 ");
  EXPECT_EQ(up->st.strModemIPAddress, "192.168.128.100");
  const auto lines = logLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_TRUE(EndsWith(lines[lines.size() - 2], "VRB: \t>> UpdateModemIPAddress()"));
  EXPECT_TRUE(EndsWith(lines.back(), "INF: \tModem IP Address:  192.168.128.100 "));
}

TEST_F(MainWindowTest, ItemFramesShowUpdatesAndTheLastResultsUntilTheNextAction) {
  EXPECT_EQ(up->win.text("lblBinUpdate"), "Unknown");
  // Only the antenna parts with a release file count.
  up->win.setText("txtAntATBver", "11");
  up->win.setText("txtLocAtbVer", "UNAVAILABLE");
  up->win.setText("txtAntHPAver", "V3");
  up->win.setText("txtLocHpaVer", "V3");
  EXPECT_EQ(up->win.text("lblAntUpdate"), "Up to date");
  up->win.setText("txtLocHpaVer", "UNAVAILABLE");
  EXPECT_EQ(up->win.text("lblAntUpdate"), "Unknown");

  up->win.setText("txtCurrentSoftwareVersion", "5.1.0.9");
  EXPECT_EQ(up->win.text("lblBinUpdate"), "Update available");
  EXPECT_EQ(up->win.at("lblBinUpdate").foreColor, kColorDarkOrange);
  up->seq.ItemStarted(UpgradeItem::Software);
  up->seq.ItemInstalled();
  EXPECT_FALSE(up->win.visible("lblBinResult"));  // the chain still runs
  up->seq.EndChainOnFailure("test");
  EXPECT_TRUE(up->win.visible("lblBinResult"));
  EXPECT_EQ(up->win.text("lblBinResult"), "Before 5.1.0.9, after not read, new 5.1.0.12: failed");
  EXPECT_EQ(up->win.at("lblBinResult").foreColor, kColorDarkRed);
  for (const char* other : {"lblAntResult", "lblIbResult", "lblPicResult"})
    EXPECT_FALSE(up->win.visible(other)) << other;  // these items did not run

  up->win.setValue("chkBinUpg", 1);  // ticking is no action
  EXPECT_TRUE(up->win.visible("lblBinResult"));
  up->click("cmdGetSoftwareVersion");
  EXPECT_FALSE(up->win.visible("lblBinResult"));
}

TEST(WindowModel, UnknownNamesAreRejectedAndChangesAreReported) {
  WindowModel m;
  EXPECT_THROW(m.setText("txtNoSuchBox", "x"), std::out_of_range);
  std::vector<std::string> changed;
  m.setListener([&](const std::string& n) { changed.push_back(n); });
  m.setText("sbUpgrade", "x");
  m.setEnabled("cmdUpgrade", false);
  m.addItem("lstOldSoftwareVersions", "5.0.0.1");
  m.setListIndex("lstOldSoftwareVersions", 3);  // out of range: no selection
  EXPECT_EQ(m.at("lstOldSoftwareVersions").listIndex, -1);
  m.setListIndex("lstOldSoftwareVersions", 0);
  EXPECT_EQ(m.at("lstOldSoftwareVersions").listIndex, 0);
  EXPECT_EQ(changed.size(), 5u);
  EXPECT_EQ(m.text("txtIPAddress"), "192.168.128.100");
  EXPECT_EQ(m.text("frmMain"), "Orvex Satellite IP Modem Upgrader");
}

}  // namespace
}  // namespace orvex::test
