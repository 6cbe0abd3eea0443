// The release series rule and the hidden log download.
#include "upgrade/release_series.h"

#include <gtest/gtest.h>

#include "support/upgrade_fixture.h"
#include "transfer/ftp_engine.h"

namespace orvex::test {
namespace {

struct SeriesCase {
  const char* current;
  const char* next;
  bool factory, bootrom, unreadable;
  bool allowed;
  const char* line;
};

class ReleaseSeries : public UpgradeTest {};

TEST_F(ReleaseSeries, RuleCases) {
  startWith({});
  const SeriesCase cases[] = {
      {"5_1_0_12", "5_1_1_3", false, false, false, true, "Release Streams Match !"},
      {"5_0_9_3", "5_1_0_12", false, false, false, false, "Upgrade Not permitted !"},
      {"5_0_9_3", "5_1_0_12", true, false, false, true, "Factory mode Override !"},
      {"0_0_0_0", "5_1_0_12", false, false, false, true,
       "Development/BOOTROM-mode Upgrade over-ride!"},
      {"BOOTROM MODE", "5_1_0_12", false, true, false, true,
       "Development/BOOTROM-mode Upgrade over-ride!"},
      {"5_0_9_3", "5_1_0_12", false, false, true, true,
       "Development/BOOTROM-mode Upgrade over-ride!"},
      // Only the first four characters count: 5.10 is a series of its own.
      {"5_1_0_12", "5_1_10_1", false, false, false, true, "Release Streams Match !"},
      {"5_1_0_12", "5_10_0_1", false, false, false, false, "Upgrade Not permitted !"},
      {"5_1_0_12", "5_2_0_1", false, false, false, false, "Upgrade Not permitted !"},
      // Letter case does not matter, and a short version is its own prefix.
      {"d_1_0_1", "D_1_0_2", false, false, false, true, "Release Streams Match !"},
      {"5_1", "5_1_0_2", false, false, false, false, "Upgrade Not permitted !"},
  };
  for (const auto& c : cases) {
    up->st.strCurrSwVersion = c.current;
    up->st.bFactoryMode = c.factory;
    up->st.bBootromMode = c.bootrom;
    up->st.bSwVersionUnavailable = c.unreadable;
    const size_t before = logLines().size();
    EXPECT_EQ(up->series.DetectReleaseSeriesConflict(c.next), c.allowed) << c.current << c.next;
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), before + 4) << c.current;
    EXPECT_TRUE(EndsWith(lines[before], "VRB: \t>> DetectReleaseSeriesConflict()"));
    EXPECT_TRUE(EndsWith(lines[before + 1], std::string("VRB: \tCurrent Software Ver: ") +
                                                c.current + " Prefix: " + Left(c.current, 4)))
        << lines[before + 1];
    EXPECT_TRUE(EndsWith(lines[before + 2], std::string("VRB: \tUpgrading Software Ver: ") +
                                                c.next + " Prefix: " + Left(c.next, 4)));
    EXPECT_TRUE(EndsWith(lines[before + 3], std::string("INF: \t") + c.line)) << lines[before + 3];
  }
}

TEST_F(ReleaseSeries, FactoryMarkerLiftsTheRule) {
  home.write("factory.txt", "");
  startWith({});
  EXPECT_TRUE(EndsWith(up->win.text("frmMain"), ": FACTORY MODE"));
  up->st.strCurrSwVersion = "5_0_9_3";
  EXPECT_TRUE(up->series.DetectReleaseSeriesConflict("5_1_0_12"));
  EXPECT_TRUE(logHas("INF: \tFactory mode Override !"));
}

class LogDownload : public UpgradeTest {
 protected:
  std::string target() const { return home.path() + "/Backup/sylog.log"; }
  // The FTP engine ends the chain this long after the command.
  void finishAfter(long long ms) {
    p.ftp().onExecute = [this, ms](FakeFtpClient&, const std::string&) {
      p.vclock.schedule(ms, [this] { up->st.bFtpDone = true; });
    };
  }
  void keys(std::initializer_list<int> codes) {
    for (int c : codes) up->keyPress(c);
  }
};

TEST_F(LogDownload, KeySequenceArmsAndFires) {
  startWith({});
  bringUp();
  finishAfter(5000);
  // The second key alone, the first key twice, or anything in between: nothing.
  keys({7, 12, 12, 7, 12, 'a', 7, 12, 13, 7, 7});
  EXPECT_TRUE(p.ftp().commands.empty());
  EXPECT_FALSE(up->series.bLogKeyArmed);

  home.write("Backup/sylog.log", "old log");
  keys({12, 7});
  ASSERT_EQ(p.ftp().commands.size(), 1u);
  EXPECT_EQ(p.ftp().commands[0], "GET /ram0/syslog.log \"" + target() + "\"");
  EXPECT_EQ(p.ftp().host, "127.0.0.9");
  EXPECT_FALSE(FileExists(target()));  // the old copy went first
  EXPECT_EQ(up->st.ftpState, 21);
  EXPECT_TRUE(logHas("DET: \tFTP state : GET_LOG_CMD"));
  EXPECT_EQ(status(), "Downloading Log");
  EXPECT_FALSE(p.uiFake.busy);  // the wait ended with the chain
  EXPECT_TRUE(messages().empty());

  // Armed again only by the first key; a second Ctrl+G does nothing.
  keys({7});
  EXPECT_EQ(p.ftp().commands.size(), 1u);
  keys({12, 7});
  EXPECT_EQ(p.ftp().commands.size(), 2u);
}

TEST_F(LogDownload, WaitEndsAfterThreeMinutes) {
  // Timers run four times slower, so the FTP watchdog (65 s) cannot end the
  // chain first: the wait's own limit must.
  startWith({}, 4.0);
  bringUp();
  const long long before = p.vclock.nowMs();
  keys({12, 7});
  const long long waited = p.vclock.nowMs() - before;
  EXPECT_GT(waited, 180000);
  EXPECT_LE(waited, 182000);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].text,
            "Upgrade failed.  Click OK and close the upgrader.  Check connection before "
            "retrying upgrade.");
  EXPECT_EQ(messages()[0].flags, vbOKOnly | vbExclamation);
  EXPECT_EQ(messages()[0].title, "ORVEX Satellite IP Modem Upgrader");
  EXPECT_EQ(status(), "");
  EXPECT_EQ(p.ftp().cancels, 1);
  EXPECT_TRUE(up->st.bFtpDone);
  EXPECT_FALSE(up->ftp.tmrFTPReq.enabled());
  EXPECT_FALSE(p.uiFake.busy);
}

}  // namespace
}  // namespace orvex::test
