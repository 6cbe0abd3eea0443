// Transfer progress: which item and step a byte count belongs to, the
// throttle (first report, then at most one per interval, the full count and
// the end always), and the technician's text.
#include "transfer/transfer_meter.h"

#include "support/transfer_fixture.h"
#include "transfer/ftp_engine.h"
#include "transfer/software_upgrade.h"

namespace orvex::test {
namespace {

class TransferMeterTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    handle = up->meter.subscribe([this](const TransferProgress& r) { seen.push_back(r); });
  }
  std::vector<TransferProgress> seen;
  int handle = 0;
};

TEST_F(TransferMeterTest, ThrottlesToTheIntervalAndAlwaysDeliversTheFullCountAndTheEnd) {
  ftp->hang("PUT ");
  up->sw.UPG_UploadOrvexBinToTarget();
  p.vclock.advance(10);  // HELP
  ASSERT_EQ(up->st.ftpState, PUT_NEW_BIN_CMD);
  struct Row {
    long long done, ms;
    bool published;
  };
  const long long total = 31'000'000;
  const Row rows[] = {
      {1'000, 5, true},          // the first report of a transfer
      {2'000, 100, false},       // within the interval
      {3'000, 254, false},       // still within
      {4'000, 255, true},        // the interval has passed
      {30'000'000, 504, false},  // within again
      {total, 505, true},        // the full count at once
      {total, 900, false},       // said once
  };
  for (const Row& r : rows) {
    const size_t before = seen.size();
    p.ftp().progress(r.done, total, r.ms);
    EXPECT_EQ(seen.size(), before + (r.published ? 1 : 0)) << r.done << " at " << r.ms;
    if (r.published) {
      EXPECT_EQ(seen.back().bytesDone, r.done);
    }
  }
  ASSERT_TRUE(up->meter.current());
  EXPECT_EQ(up->meter.current()->bytesDone, total);

  p.ftp().fire(icResponseCompleted);
  ASSERT_EQ(seen.size(), 4u);
  const TransferProgress& end = seen.back();
  EXPECT_TRUE(end.ended);
  EXPECT_TRUE(end.completed);
  EXPECT_EQ(end.bytesDone, total);
  EXPECT_EQ(end.percent(), 100);
  EXPECT_FALSE(up->meter.current());
  for (const TransferProgress& r : seen) {
    EXPECT_EQ(r.item, UpgradeItem::Software);
    EXPECT_EQ(r.step, TransferStep::Image);
    EXPECT_TRUE(r.upload);
    EXPECT_EQ(r.fileName, "orvex_5_1_0_12.bin");  // the local file, without its folder
  }
  // The verification that follows lists the folder, and the small files of
  // the chains (image.txt, listings) report nothing.
  EXPECT_EQ(commands().back().rfind("DIR ", 0), 0u);
  for (long state : {VERIFY_NEW_BIN_CMD, GET_IMG_CMD, SEARCH_ALL_BIN_FILE, CLOSE_CONNECTION}) {
    up->st.ftpState = state;
    p.ftp().progress(10, 10, 1, "image.txt");
  }
  EXPECT_EQ(seen.size(), 4u);
}

TEST_F(TransferMeterTest, FailuresEndTheTransferWithoutCompletingIt) {
  // Refused by the server (the message box follows).
  ftp->hang("PUT ");
  up->sw.UPG_UploadOrvexBinToTarget();
  p.vclock.advance(10);  // HELP
  p.ftp().progress(5'000'000, 31'000'000, 2000);
  p.ftp().code = ftpErrServerRefused;
  p.ftp().fire(icError);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(seen.back().ended);
  EXPECT_FALSE(seen.back().completed);
  EXPECT_EQ(seen.back().bytesDone, 5'000'000);
  EXPECT_FALSE(up->meter.current());

  // Cut off by the watchdog: the chain ends, and so does its transfer.
  seen.clear();
  up->st.bFtpDone = false;
  up->st.ftpState = UPGRADE_PIC_SA_CMD;
  p.ftp().progress(100, 1000, 10, "PIC0204.s19");
  up->ftp.tmrFTPReq_Timer();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(seen.back().ended);
  EXPECT_FALSE(seen.back().completed);

  // An unsubscribed observer hears nothing more.
  up->meter.unsubscribe(handle);
  up->st.ftpState = UPGRADE_IB_SA_CMD;
  p.ftp().progress(1, 2, 0, "ib.glo");
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(TransferMeterTest, AtbThenHpaAreTwoTransfersAndAScriptedServerReportsThem) {
  home.write("ATB11.sxm", "atb");
  home.write("HPA2.sxm", "hpa");
  up->st.strAtbFile = "ATB11.sxm";
  up->st.strHpaFile = "HPA2.sxm";
  ftp->progressSteps = 4;
  ftp->transferMs = 1000;
  ftp->transferBytes = 8'000'000;
  up->st.ftpState = UPGRADE_ANTENNA_ATB_CMD;
  up->st.bFtpDone = false;
  up->ftp.inetFTP->execute({"PUT", {"ATB11.sxm", "atb.sxm"}});
  p.vclock.advance(5000);
  std::vector<std::string> trail;
  for (const TransferProgress& r : seen)
    trail.push_back(r.fileName + " " + std::to_string(r.percent()) + (r.ended ? " end" : ""));
  EXPECT_EQ(trail, (std::vector<std::string>{"ATB11.sxm 25", "ATB11.sxm 50", "ATB11.sxm 75",
                                             "ATB11.sxm 100", "ATB11.sxm 100 end", "HPA2.sxm 25",
                                             "HPA2.sxm 50", "HPA2.sxm 75", "HPA2.sxm 100",
                                             "HPA2.sxm 100 end"}));
}

TEST(TransferProgressText, ShowsWhatIsKnown) {
  struct Row {
    bool upload;
    long long done, total, ms;
    std::string text;
  };
  const Row rows[] = {
      {true, 12'300'000, 31'000'000, 3000,
       "Uploading orvex_5_1_0_12.bin: 12.3 of 31.0 MB, 4.1 MB/s, 5 s left"},
      {true, 0, 31'000'000, 0, "Uploading orvex_5_1_0_12.bin: 0.0 of 31.0 MB"},
      {false, 12'300'000, 0, 3000, "Downloading orvex_5_1_0_12.bin: 12.3 MB, 4.1 MB/s"},
      {true, 1'000'000, 126'000'000, 1000,
       "Uploading orvex_5_1_0_12.bin: 1.0 of 126.0 MB, 1.0 MB/s, 2 min 5 s left"},
      {true, 31'000'000, 31'000'000, 7000,
       "Uploading orvex_5_1_0_12.bin: 31.0 of 31.0 MB, 4.4 MB/s, 0 s left"},
      // More than the size (a server's size that was wrong): no negative time.
      {true, 32'000'000, 31'000'000, 8000,
       "Uploading orvex_5_1_0_12.bin: 32.0 of 31.0 MB, 4.0 MB/s, 0 s left"},
  };
  for (const Row& r : rows) {
    TransferProgress p;
    p.upload = r.upload;
    p.fileName = "orvex_5_1_0_12.bin";
    p.bytesDone = r.done;
    p.bytesTotal = r.total;
    p.elapsedMs = r.ms;
    EXPECT_EQ(TransferProgressText(p), r.text);
    EXPECT_GE(p.percent(), 0);
    EXPECT_LE(p.percent(), 100);
  }
}

}  // namespace
}  // namespace orvex::test
