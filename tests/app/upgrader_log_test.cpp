#include "app/upgrader_log.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/engine_fixture.h"

namespace orvex::test {
namespace {

const std::string kStars(79, '*');

class LogTest : public ::testing::Test {
 protected:
  LogTest() : log(p.clock(), p.ui()) { log.setBaseFolder(home.path()); }
  std::string file() const { return home.read("logs/" + log.strLogFileName); }

  TempDir home;
  FakePlatform p;
  UpgraderLog log;
};

TEST_F(LogTest, FileNameBannersAndLineLayoutByteForByte) {
  log.Util_LogInit();
  EXPECT_EQ(log.strLogFileName, "2013-04-25_14_03_22-ORVEX_Upgrader_Log.txt");
  EXPECT_EQ(log.strLogFolder, home.path() + "/logs/");

  p.vclock.advance(3000);
  log.Util_LogWrite(VRB, ">> ZingReq_GetCurrentSoftwareVersion()");
  log.Util_LogWrite(DET, "tmrConnect.Enabled = True");
  log.Util_LogWrite(INF, "currUpgradeState = UPG_STATE_IDLE");
  log.Util_LogWrite(ERR, "Upgrade Progress State Invalid.");
  log.Util_LogWrite(7, "a level without a tag");
  log.Util_LogWrite(0, "never written below the threshold");
  log.Util_LogWrite(-3, "nor this");
  log.Util_LogWrite(DET, std::string("error text\r\nwith its own line end"));
  p.vclock.advance(10LL * 3600 * 1000);  // 00:03:25 the next day
  log.Util_LogClose();

  const std::string expected =
      kStars + "\r\n" + "ORVEX Software Upgrader logging initialized: 4/25/2013 @ 2:03:22 PM\r\n" +
      kStars + "\r\n" + "[14:03:25] VRB: \t>> ZingReq_GetCurrentSoftwareVersion()\r\n" +
      "[14:03:25] DET: \ttmrConnect.Enabled = True\r\n" +
      "[14:03:25] INF: \tcurrUpgradeState = UPG_STATE_IDLE\r\n" +
      "[14:03:25] ERR: \tUpgrade Progress State Invalid.\r\n" +
      "[14:03:25] \t\ta level without a tag\r\n" +
      "[14:03:25] DET: \terror text\r\nwith its own line end\r\n" + "\r\n" + kStars + "\r\n" +
      "Close logging. [04/26/2013 @ 12:03:25 AM] \r\n" + kStars + "\r\n";
  EXPECT_EQ(file(), expected);
}

// Both banners take the system's separators; the closing one keeps its order.
TEST_F(LogTest, BannersUseTheSystemSeparators) {
  p.wall.dateSeparator = '.';
  p.wall.timeSeparator = '.';
  log.Util_LogInit();
  log.Util_LogClose();
  const auto lines = SplitCrLf(file());
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[1], "ORVEX Software Upgrader logging initialized: 4.25.2013 @ 2.03.22 PM");
  EXPECT_EQ(lines[5], "Close logging. [04.25.2013 @ 02.03.22 PM] ");
}

TEST_F(LogTest, SecondStartInTheSameSecondAppendsToTheSameFile) {
  log.Util_LogInit();
  log.Util_LogWrite(INF, "first run");
  UpgraderLog second(p.clock(), p.ui());
  second.setBaseFolder(home.path() + "/");  // a folder that already ends in a separator
  second.Util_LogInit();
  EXPECT_EQ(second.strLogFolder, home.path() + "/logs/");
  const auto lines = SplitCrLf(file());
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[3], "[14:03:22] INF: \tfirst run");
  EXPECT_EQ(lines[4], kStars);
}

TEST_F(LogTest, UnwritableLogFolderIsReportedOnceAndTheRunGoesOn) {
  home.write("logs", "a file where the folder should be");
  log.Util_LogInit();
  log.Util_LogWrite(ERR, "lost");
  log.Util_LogClose();
  EXPECT_FALSE(log.usable());
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_NE(p.uiFake.messages[0].text.find("The upgrader goes on without a log."),
            std::string::npos);
}

TEST_F(LogTest, LogFileThatCannotBeOpenedIsReportedOnce) {
  std::filesystem::create_directories(home.path() +
                                      "/logs/2013-04-25_14_03_22-ORVEX_Upgrader_Log.txt");
  log.Util_LogInit();
  log.Util_LogWrite(ERR, "lost");
  EXPECT_FALSE(log.usable());
  EXPECT_EQ(p.uiFake.messages.size(), 1u);
}

TEST(TraceText, PrintableCopiedOthersAsHex) {
  EXPECT_EQ(Util_TraceText("value = 0 = 0x0\r\n", 17), "value = 0 = 0x0 /xD  /xA ");
  EXPECT_EQ(Util_TraceText("", 0), "");
  EXPECT_EQ(Util_TraceText("abc", 3), "abc");
  EXPECT_EQ(Util_TraceText("\t", 1), " /x9 ");
  EXPECT_EQ(Util_TraceText("\x7F", 1), " /x7F ");
  EXPECT_EQ(Util_TraceText("\xFF", 1), " /xFF ");
  EXPECT_EQ(Util_TraceText(std::string("a\0b", 3), 3), "a /x0 b");
  // Only `count` characters, never more than the text holds.
  EXPECT_EQ(Util_TraceText("abcdef", 2), "ab");
  EXPECT_EQ(Util_TraceText("abc", 0), "");
  EXPECT_EQ(Util_TraceText("abc", 50), "abc");
  EXPECT_EQ(Util_TraceText("abc", -1), "");
}

}  // namespace
}  // namespace orvex::test
