// The local release files: antenna parts, IB and PIC firmware, the platform
// of the image, and factory mode, as start-up finds them.
#include <gtest/gtest.h>

#include "support/engine_fixture.h"

namespace orvex::test {
namespace {

class LocalFilesTest : public EngineTest {
 protected:
  Upgrader& startWith(const std::vector<std::pair<std::string, size_t>>& files,
                      const std::string& image = "orvex_5_1_0_12.bin") {
    home.writeSize(image, 10);
    for (const auto& [name, size] : files) home.writeSize(name, size);
    Config cfg;
    cfg.modemAddress = "127.0.0.9";
    return start(cfg);
  }
  const std::string& text(const char* n) const { return up->win.text(n); }
  bool on(const char* n) const { return up->win.enabled(n); }
};

TEST_F(LocalFilesTest, AntennaPartsGiveClassAndVersion) {
  Upgrader& u = startWith({{"ATB_XX0773112.sxm", 50}, {"HPA_X8629V3.sxm", 50}});
  EXPECT_EQ(u.st.strAtbFile, "ATB_XX0773112.sxm");
  EXPECT_EQ(u.st.locAtbClassId, 4);
  EXPECT_EQ(u.st.locHpaClassId, 4);
  EXPECT_EQ(text("txtLocAtbVer"), "12");
  EXPECT_EQ(text("txtLocHpaVer"), "V3");
  EXPECT_TRUE(u.st.bAntFwAvailable);
  EXPECT_TRUE(on("chkAntUpg"));
  EXPECT_TRUE(on("cmdAntUpgradeMenu"));
  EXPECT_EQ(u.win.value("chkAntUpg"), 0);
}

TEST_F(LocalFilesTest, OnlyAClass2HpaPartIsUsable) {
  Upgrader& u = startWith({{"HPA_X8853V3.sxm", 50}});
  EXPECT_EQ(u.st.locHpaClassId, 0);
  EXPECT_EQ(u.st.locAtbClassId, 0);  // keeps its start value
  EXPECT_EQ(text("txtLocHpaVer"), "V3");
  EXPECT_EQ(text("txtLocAtbVer"), "UNAVAILABLE");
  EXPECT_TRUE(u.st.bAntFwAvailable);
}

TEST_F(LocalFilesTest, PartsOfDifferentClassesConflict) {
  Upgrader& u = startWith({{"ATB_XX0773112.sxm", 50}, {"HPA_X8537V3.sxm", 50}});
  EXPECT_FALSE(u.st.bAntFwAvailable);
  EXPECT_EQ(text("txtLocAntClass"), "UNKNOWN");
  EXPECT_FALSE(on("chkAntUpg"));
  EXPECT_FALSE(on("frameAntenna"));
  EXPECT_TRUE(logHas("ERR: \tAntenna Type Conflict detected in Antenna files."));
}

TEST_F(LocalFilesTest, TwoAtbFilesStopTheCheckWithAWarning) {
  Upgrader& u =
      startWith({{"ATB_XX0773112.sxm", 5}, {"atb_XX0773113.SXM", 5}, {"HPA_X8629V3.sxm", 5}});
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].text,
            "Conflict detected: There is more than one ATB binary file in the application's "
            "home directory.");
  EXPECT_EQ(u.st.strAtbFile, "");
  EXPECT_EQ(u.st.strHpaFile, "");  // not examined
  EXPECT_FALSE(u.st.bAntFwAvailable);
  EXPECT_FALSE(on("chkAntUpg"));
}

TEST_F(LocalFilesTest, NoAntennaFilesAndUnknownPartNumbers) {
  Upgrader& none = startWith({});
  EXPECT_EQ(text("txtLocAntClass"), "UNAVAILABLE");
  EXPECT_FALSE(none.st.bAntFwAvailable);
  up.reset();
  TempDir other;
  home.writeSize("ATB.sxm", 5);  // too short for a key: class unknown, no version
  Upgrader& odd = startWith({});
  EXPECT_EQ(odd.st.locAtbClassId, 5);
  EXPECT_EQ(text("txtLocAtbVer"), "");
  EXPECT_TRUE(odd.st.bAntFwAvailable);
}

TEST_F(LocalFilesTest, IbFileVersionAndBlocks) {
  Upgrader& u = startWith({{"ib_3105.glo", 25678}});
  EXPECT_EQ(u.st.strGloFile, "ib_3105.glo");
  EXPECT_EQ(text("txtLocIBVer"), "31.05");
  EXPECT_EQ(u.st.ibImageBlocks, 256);
  EXPECT_TRUE(u.st.bIbFwAvailable);
  EXPECT_TRUE(on("chkIBUpg"));
  EXPECT_TRUE(on("cmdIbUpgradeMenu"));
  EXPECT_TRUE(logHas("DET: \tGLO file size : 25678 Blocks: 256"));
}

TEST_F(LocalFilesTest, IbFileNamesInAndOutOfRange) {
  // The number decides; the version is the name's own characters.
  const std::pair<const char*, const char*> cases[] = {
      {"ib_3000.glo", "UNKNOWN"}, {"ib_3001.glo", "30.01"},  {"ib_3999.glo", "39.99"},
      {"ib_4000.glo", "UNKNOWN"}, {"ib_3105a.glo", "31.5a"}, {"ib3105.glo", "UNKNOWN"},
      {"ib_.glo", "UNKNOWN"},     {"ib_abc.glo", "UNKNOWN"},
  };
  for (const auto& [name, shown] : cases) {
    SCOPED_TRACE(name);
    up.reset();
    TempDir dir;
    dir.writeSize("orvex_5_1_0_12.bin", 1);
    dir.writeSize(name, 5000);
    Config cfg;
    cfg.homeFolder = dir.path();
    cfg.modemAddress = "127.0.0.9";
    start(cfg);
    const bool known = std::string(shown) != "UNKNOWN";
    EXPECT_EQ(up->win.text("txtLocIBVer"), shown);
    EXPECT_EQ(up->st.bIbFwAvailable, known);
    EXPECT_EQ(up->win.enabled("chkIBUpg"), known);
  }
  // A file under one block still counts as one, so progress never divides by zero.
  up.reset();
  Upgrader& tiny = startWith({{"IB_3999.GLO", 40}});
  EXPECT_EQ(tiny.win.text("txtLocIBVer"), "39.99");
  EXPECT_EQ(tiny.st.ibImageBlocks, 1);
}

TEST_F(LocalFilesTest, TwoIbFilesWarnAndLeaveTheControls) {
  Upgrader& u = startWith({{"ib_3105.glo", 500}, {"ib_3106.glo", 500}});
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].text,
            " There is more than one GLO binary file in the application's home directory.\r\n"
            "Please make sure there is only one IB binary file in that directory.");
  EXPECT_EQ(u.st.strGloFile, "");
  EXPECT_FALSE(u.st.bIbFwAvailable);
}

// A '*' in a file name is a character like any other: the search's own '*'
// still matches, so such a file counts as a second one of its kind.
TEST_F(LocalFilesTest, AStarInAFileNameStillCountsAsASecondFile) {
  const std::pair<std::vector<std::pair<std::string, size_t>>, const char*> cases[] = {
      {{{"ib_3105.glo", 500}, {"*b.glo", 500}}, " There is more than one GLO binary file "},
      {{{"ib_3105.glo", 500}, {"*.glo", 500}}, " There is more than one GLO binary file "},
      {{{"ATB_07731_11.sxm", 5}, {"ATB*x.sxm", 5}},
       "Conflict detected: There is more than one ATB"},
      {{{"HPA_8629_11.sxm", 5}, {"HPA**.sxm", 5}}, "Conflict detected: There is more than one HPA"},
  };
  for (const auto& [files, message] : cases) {
    SCOPED_TRACE(files[1].first);
    up.reset();
    TempDir dir;
    dir.writeSize("orvex_5_1_0_12.bin", 1);
    for (const auto& [name, size] : files) dir.writeSize(name, size);
    Config cfg;
    cfg.homeFolder = dir.path();
    cfg.modemAddress = "127.0.0.9";
    p.uiFake.messages.clear();
    start(cfg);
    ASSERT_EQ(p.uiFake.messages.size(), 1u);
    EXPECT_EQ(p.uiFake.messages[0].text.rfind(message, 0), 0u) << p.uiFake.messages[0].text;
  }
}

TEST_F(LocalFilesTest, PicFileVersionAndMinimumSize) {
  Upgrader& u = startWith({{"PIC_2_05.s19", 100}});
  EXPECT_TRUE(u.st.bPicFwAvailable);
  EXPECT_EQ(text("txtLocPICVer"), "2.05");
  EXPECT_TRUE(on("chkPICUpg"));
  EXPECT_TRUE(on("cmdPicUpgradeMenu"));

  up.reset();
  TempDir small;
  small.writeSize("orvex_5_1_0_12.bin", 1);
  small.writeSize("PIC_2_05.s19", 99);
  Config cfg;
  cfg.homeFolder = small.path();
  cfg.modemAddress = "127.0.0.9";
  Upgrader& v = start(cfg);
  EXPECT_FALSE(v.st.bPicFwAvailable);
  EXPECT_EQ(v.win.text("txtLocPICVer"), "UNAVAILABLE");
  EXPECT_FALSE(v.win.enabled("chkPICUpg"));
  EXPECT_FALSE(v.win.enabled("cmdPicUpgradeMenu"));

  up.reset();
  TempDir plain;
  plain.writeSize("orvex_5_1_0_12.bin", 1);
  plain.writeSize("PIC.S19", 200);
  cfg.homeFolder = plain.path();
  Upgrader& w = start(cfg);
  EXPECT_EQ(w.win.text("txtLocPICVer"), "PIC");
}

TEST_F(LocalFilesTest, PlatformOfTheImageAndFactoryMode) {
  Upgrader& u = startWith({{"factory.txt", 0}}, "orvex_5_8_1_3.bin");
  EXPECT_EQ(u.st.pkgPlatformId, 8);
  EXPECT_TRUE(u.win.at("lblLocPICVer").underline);
  EXPECT_TRUE(u.st.bFactoryMode);
  EXPECT_EQ(u.win.text("frmMain"), "Orvex Satellite IP Modem Upgrader: FACTORY MODE");
  EXPECT_TRUE(logHas("INF: \tPackaged Platform ID 8"));

  up.reset();
  TempDir other;
  other.writeSize("orvex_6_0_0_1.bin", 1);
  Config cfg;
  cfg.homeFolder = other.path();
  cfg.modemAddress = "127.0.0.9";
  Upgrader& v = start(cfg);
  EXPECT_EQ(v.st.pkgPlatformId, 11);
  EXPECT_FALSE(v.win.at("lblLocPICVer").underline);
  EXPECT_FALSE(v.st.bFactoryMode);
}

}  // namespace
}  // namespace orvex::test
