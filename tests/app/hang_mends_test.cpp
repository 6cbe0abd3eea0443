// Failures that, handled literally, would leave the window busy for good:
// each must give the technician the window back and say what happened.
#include <gtest/gtest.h>

#include "pic/pic_upgrade.h"
#include "support/engine_fixture.h"
#include "transfer/ftp_engine.h"
#include "upgrade/antenna_upgrade.h"
#include "zing/zing_channel.h"

namespace orvex::test {
namespace {

class HangMendsTest : public EngineTest {
 protected:
  void SetUp() override {
    home.writeSize("ATB_XX0773112.sxm", 500);
    home.writeSize("PIC_2_05.s19", 500);
    startWithImage();
    // As after any finished FTP chain (for example the software item).
    up->st.bFtpDone = true;
  }
  void expectCannotConnectReported() {
    ASSERT_FALSE(p.uiFake.messages.empty());
    EXPECT_EQ(p.uiFake.messages.back().text,
              "Cannot connect to Satellite IP Modem. Please check cable connection and retry.");
    EXPECT_EQ(up->st.screenMousePointer, vbDefault);
    EXPECT_FALSE(up->ftp.tmrFTPReq.enabled());
  }
};

TEST_F(HangMendsTest, FailedAntennaUploadAfterAFinishedChainIsReported) {
  up->ant.UPG_StandaloneAntennaUpgrade();
  ASSERT_EQ(p.ftp().commands.back(), "PUT ATB_XX0773112.sxm atb.sxm");
  p.ftp().code = ftpErrCannotConnect;
  p.ftp().fire(icError);
  expectCannotConnectReported();
}

TEST_F(HangMendsTest, FailedPicUploadAfterAFinishedChainIsReported) {
  up->pic.UPG_StandalonePICUpgrade();
  ASSERT_EQ(p.ftp().commands.back(), "PUT PIC_2_05.s19 /tffs0/pic.s19");
  p.ftp().code = ftpErrCannotConnect;
  p.ftp().fire(icError);
  expectCannotConnectReported();
}

TEST_F(HangMendsTest, ConnectivityTestGivesThePointerBackAfterAnFtpTimeout) {
  // An FTP time-out asks for the version again (busy pointer); ZING stays
  // silent but the FTP port answers.
  up->st.bFtpTimedOut = true;
  up->zing.ZingReq_GetCurrentSoftwareVersion();
  ASSERT_EQ(up->st.screenMousePointer, vbArrowHourglass);
  p.vclock.advance(5000);  // connect time-out, then the test on port 21
  ASSERT_EQ(p.socket("sckTest").port, 21);
  p.socket("sckTest").acceptConnect();
  EXPECT_EQ(up->st.screenMousePointer, vbDefault);
  EXPECT_FALSE(up->st.bFtpTimedOut);
  EXPECT_TRUE(p.uiFake.messages.empty());
  EXPECT_TRUE(up->win.enabled("frmMain"));
}

}  // namespace
}  // namespace orvex::test
