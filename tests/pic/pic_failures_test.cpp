// The ways a PIC upgrade fails: each ends the whole chain, none restarts by
// itself, nothing of the PIC flow runs while its message box is up, and the
// terminal is never left booting the PIC file while success is reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>

#include "pic/pic_upgrade.h"
#include "support/pic_fixture.h"
#include "transfer/ftp_engine.h"
#include "upgrade/sequencer.h"

namespace orvex::test {
namespace {

class PicFailuresTest : public PicTest {
 public:
  using PicTest::restartIntoBootrom;
  using PicTest::settle;
  using PicTest::shell;
  using PicTest::tel;
  using PicTest::uploadDone;
  FakePlatform& platform() { return p; }
  Upgrader& upgrader() { return *up; }

  void platforms(long term, long pkg) {
    up->st.termPlatformId = term;
    up->st.pkgPlatformId = pkg;
  }
  // A chain with the PIC item running and, to see them cleared, more items
  // marked pending.
  void inChain() {
    up->st.currUpgradeState = UPG_STATE_IB_DONE;
    up->st.bPicUpgPending = up->st.bAntUpgPending = up->st.bIbUpgPending = true;
  }

 protected:
  int puts() {
    int n = 0;
    for (const auto& c : p.ftp().commands)
      if (c.rfind("PUT ", 0) == 0) ++n;
    return n;
  }
  // Lines the log gained since `from`.
  std::vector<std::string> logFrom(size_t from) const {
    const auto lines = logLines();
    return {lines.begin() + static_cast<long>(std::min(from, lines.size())), lines.end()};
  }
};

// One way into a failure.
struct FailureCase {
  const char* id;
  std::function<void(PicFailuresTest&)> fail;
  const char* reason;  // of the ERR line that ends the chain
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.id;
}

std::string CaseName(const ::testing::TestParamInfo<FailureCase>& info) {
  return info.param.id;
}

const std::string kOk = ShellValue(true);
const std::string kFailed = ShellValue(false);
const std::string kBattery = "BATT_PRESENT=1\r\n" + kOk;

const FailureCase kFailures[] = {
    {"ConnectTimeOutPreparation",
     [](PicFailuresTest& t) {
       t.shell->acceptConnects = false;
       t.uploadDone();
       t.platform().vclock.advance(5000);
     },
     "No PIC shell session: the terminal did not answer on its telnet port."},
    {"ConnectErrorPreparation",
     [](PicFailuresTest& t) {
       t.shell->acceptConnects = false;
       t.uploadDone();
       t.tel().raiseError(10061, "Connection is forcefully rejected");
       t.platform().vclock.advance(5000);
     },
     "No PIC shell session: the terminal did not answer on its telnet port."},
    {"ConnectTimeOutReflash",
     [](PicFailuresTest& t) {
       t.shell->acceptConnects = false;
       t.upgrader().pic.Init_PIC_Upgrade();
       t.platform().vclock.advance(5000);
     },
     "No PIC shell session: the terminal did not answer on its telnet port."},
    {"SessionLimit",
     [](PicFailuresTest& t) {
       t.shell->banner = {"Sorry, session limit reached.\r\n", "\r\nVxWorks login: "};
       t.uploadDone();
     },
     "PIC shell session failed: Make sure there is no other active Telnet session to the TE."},
    {"Watchdog",
     [](PicFailuresTest& t) {
       t.shell->replies.erase("copy \"image.txt\"");
       t.uploadDone();
       t.platform().vclock.advance(220000);
     },
     "PIC Upgrade stalled: the terminal's shell did not finish in time."},
    {"BatteryPreparation",
     [](PicFailuresTest& t) {
       t.shell->replies["pic_data_show"] = {"BATT_PRESENT=1\r\n", kOk};
       t.uploadDone();
     },
     "PIC Upgrade prevented: battery detected."},
    {"BatteryReflash",
     [](PicFailuresTest& t) {
       t.uploadDone();
       t.shell->replies["pic_data_show"] = {"BATT_PRESENT=1\r\n", kOk};
       t.restartIntoBootrom();
     },
     "PIC Upgrade skipped: battery detected."},
    {"UnexpectedPicData",
     [](PicFailuresTest& t) {
       t.uploadDone();
       t.shell->replies["pic_data_show"] = {"PIC fw 2.03\r\n"};
       t.restartIntoBootrom();
       for (int i = 0; i < 10; ++i) t.shell->say("PIC fw 2.03\r\n");
     },
     "Unexpected PIC data."},
    {"ReflashFail",
     [](PicFailuresTest& t) {
       t.platforms(9, 9);
       t.shell->replies["pic_driver_reflash 1"] = {"PIC reflash FAIL\r\n", kOk};
       t.uploadDone();
       t.restartIntoBootrom();
     },
     "The terminal reported a failed PIC reflash."},
};

class PicFailureEndsChainTest : public PicFailuresTest,
                                public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PicFailureEndsChainTest, NothingStaysPendingAndNothingStartsByItself) {
  inChain();
  GetParam().fail(*this);
  EXPECT_TRUE(logHas(std::string("ERR: \tUpgrade stopped: ") + GetParam().reason));
  EXPECT_FALSE(up->st.bPicUpgPending || up->st.bAntUpgPending || up->st.bIbUpgPending ||
               up->st.bSwUpgPending);
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
  EXPECT_NE(picState(), PIC_UPG_STATE_PREP_INIT_CONNECT);
  EXPECT_FALSE(up->pic.tmrPicUpgrCnt.enabled());
  EXPECT_FALSE(up->pic.tmrTelnetConnect.enabled());
  EXPECT_FALSE(up->pic.tmrPicUpgResetDelay.enabled());

  // Whatever comes next, nothing starts by itself: not the restarts and
  // waits still under way, not the release information after them, not the
  // close of a later FTP chain.
  p.vclock.advance(120000);
  up->seq.Handle_UpgradeState();
  EXPECT_EQ(puts(), 0);
  EXPECT_FALSE(logHas("INF: \tAll Upgrades Complete."));
  const int connects = tel().connects;
  up->st.ftpState = CLOSE_CONNECTION;
  p.ftp().fire(icDisconnected);
  settle();
  EXPECT_EQ(tel().connects, connects);
  EXPECT_FALSE(logHas("INF: \tStart Preparing for PIC Upgrade"));
}

INSTANTIATE_TEST_SUITE_P(Pic, PicFailureEndsChainTest, ::testing::ValuesIn(kFailures), CaseName);

// Each box stays open five minutes of virtual time; while it is up no timer
// and no shell output may run a step of the PIC flow, and no second box
// appears.
class PicBoxOpenTest : public PicFailuresTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PicBoxOpenTest, NothingReentersWhileTheBoxIsUp) {
  inChain();
  p.uiFake.boxOpenMs = 300000;
  size_t opened = 0;
  std::vector<std::string> duringBox;
  p.uiFake.onMessage = [&](const ShownMessage&) { opened = logLines().size(); };
  p.uiFake.onBoxClosed = [&](const ShownMessage&) {
    const auto lines = logFrom(opened);
    duringBox.insert(duringBox.end(), lines.begin(), lines.end());
  };
  GetParam().fail(*this);
  EXPECT_LE(p.uiFake.messages.size(), 1u);
  for (const auto& line : duringBox)
    for (const char* step :
         {" ----------- STATE: ", ">> tmrPicUpgrCnt_Timer()", ">> tmrTelnetConnect_Timer()",
          ">> tmrPicUpgResetDelay_Timer()", ">> tmr40SecDelay_Timer()", ">> OUT :"})
      EXPECT_EQ(line.find(step), std::string::npos) << line;
}

// The preparation pass's connect failures show no box.
INSTANTIATE_TEST_SUITE_P(Pic, PicBoxOpenTest,
                         ::testing::ValuesIn(kFailures + 2, kFailures + std::size(kFailures)),
                         CaseName);

// A stalled upload used to start again at every release-information reply
// (the PIC item stays pending while it runs): the FTP engine's two time-outs
// end the chain.
const FailureCase kStalls[] = {
    {"FtpWatchdog", [](PicFailuresTest& t) { t.platform().vclock.advance(65000); }, ""},
    {"ClientTimeOut",
     [](PicFailuresTest& t) {
       t.platform().ftp().code = ftpErrTimeout;
       t.platform().ftp().fire(icError);
     },
     ""},
};

class PicUploadStallTest : public PicFailuresTest,
                           public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PicUploadStallTest, UploadDoesNotStartAgain) {
  inChain();
  up->st.bAntUpgPending = up->st.bIbUpgPending = false;
  up->seq.Handle_UpgradeState();
  ASSERT_EQ(puts(), 1);
  GetParam().fail(*this);
  for (int round = 0; round < 8; ++round) {
    // The version check after the time-out, then the release information.
    answer(VersionReply(kVersionText));
    answer(ReleaseInfoReply(kReleaseText));
    p.vclock.advance(70000);
  }
  EXPECT_EQ(puts(), 1);
  int ftpTimeouts = 0;
  for (const auto& m : p.uiFake.messages)
    if (m.text.rfind("FTP timeout.", 0) == 0) ++ftpTimeouts;
  EXPECT_LE(ftpTimeouts, 1);
  EXPECT_FALSE(up->st.bPicUpgPending);
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
}

INSTANTIATE_TEST_SUITE_P(Pic, PicUploadStallTest, ::testing::ValuesIn(kStalls), CaseName);

// Every state after the login decides on complete result lines, however the
// shell cuts its answer (in two at any place, or byte by byte): the reflash
// pass's `cd "/tffs0/"; copy "uimage.txt"` needs both results, a battery
// check acts once pic_data_show's result has ended (the rest of its answer
// is no answer to the next command), the newer platforms' reflash report is
// read by whole lines on every platform, and the prompt that ends an
// answer is no text.
TEST_F(PicFailuresTest, ScriptStatesWaitForCompleteResultsAtEverySplit) {
  struct Case {
    const char* name;
    long state, platform;
    std::string answer;
    const char* command;  // the line sent on it, or none
    long next;
  };
  const std::string data =
      "PIC_FW_VER=2.03\r\nBATT_PRESENT=0\r\nDC_PRESENT=1\r\nTEMP_C=34\r\n" + kOk;
  const Case cases[] = {
      {"no saved descriptor", PIC_UPG_STATE_LOGGEDIN, 11,
       "value = 0 = 0x0\r\ncopy: can't open\r\nvalue = -1 = 0xffffffff\r\n-> ",
       "copy \"image.txt\"", PIC_UPG_STATE_RECOVER_IMG},
      {"saved descriptor", PIC_UPG_STATE_LOGGEDIN, 11,
       "value = 0 = 0x0\r\norvex_5_1_0_9.bin\r\nvalue = 0 = 0x0\r\n-> ",
       "mv \"uimage.txt\", \"image.txt\"", PIC_UPG_STATE_RECOVER_IMG},
      {"cd failed", PIC_UPG_STATE_LOGGEDIN, 11, "value = -1 = 0xffffffff\r\nvalue = 0 = 0x0\r\n-> ",
       "copy \"image.txt\"", PIC_UPG_STATE_RECOVER_IMG},
      // A retry after a reflash pass that put the descriptor back keeps it.
      {"descriptor already back", PIC_UPG_STATE_RECOVER_IMG, 11, "/bin/orvex_5_1_0_9.bin\r\n" + kOk,
       "pic_data_show", PIC_UPG_STATE_CHECK_BATT},
      {"PIC descriptor to remove", PIC_UPG_STATE_RECOVER_IMG, 11, "S00600004844521B\r\n" + kOk,
       "rm \"image.txt\"", PIC_UPG_STATE_RECOVER_IMG},
      {"battery check, preparation", PIC_UPG_STATE_PREP_CHECK_BATT, 11, data, "copy \"image.txt\"",
       PIC_UPG_STATE_PREP_CHK_IMG},
      {"battery check, reflash", PIC_UPG_STATE_CHECK_BATT, 11, data, "pic_driver_reflash 1",
       PIC_UPG_STATE_REFLASH_SENT},
      {"descriptor after a prompt", PIC_UPG_STATE_PREP_CHK_IMG, 11,
       "-> /bin/orvex_5_1_0_9.bin\r\n" + kOk, "copy \"uimage.txt\"", PIC_UPG_STATE_PREP_CHK_IMG},
      {"reflash completed", PIC_UPG_STATE_REFLASH_SENT, 9, "PIC Reflash Completed\r\n" + kOk,
       nullptr, PIC_UPG_STATE_WAIT_RESET},
      {"recovery mode", PIC_UPG_STATE_REFLASH_SENT, 8,
       "PIC entered Recovery Mode. Press ENTER to continue.\r\n", "", PIC_UPG_STATE_REFLASH_SENT},
      {"older platform, no line ended", PIC_UPG_STATE_REFLASH_SENT, 11,
       "-> \r\nStarting PIC reflash ...", nullptr, PIC_UPG_STATE_REFLASH_SENT},
  };
  shell->replies.clear();
  for (const auto& c : cases) {
    std::vector<std::vector<std::string>> splits;
    for (size_t cut = 1; cut < c.answer.size(); ++cut)
      splits.push_back({c.answer.substr(0, cut), c.answer.substr(cut)});
    splits.emplace_back();
    for (char ch : c.answer) splits.back().push_back(std::string(1, ch));
    for (size_t i = 0; i < splits.size(); ++i) {
      SCOPED_TRACE(std::string(c.name) + ", split " + std::to_string(i + 1));
      tel().close();
      tel().acceptConnect();
      shell->lines.clear();
      platforms(c.platform, c.platform);
      up->st.picUpgradeState = c.state;
      up->pic.loggedInText.clear();
      up->pic.prepSavedCheck = false;
      up->pic.reflashImageCheck = c.state == PIC_UPG_STATE_RECOVER_IMG;
      up->pic.picDataWaitCount = 0;
      for (const auto& piece : splits[i]) shell->say(piece);
      EXPECT_EQ(shell->lines,
                c.command ? std::vector<std::string>{c.command} : std::vector<std::string>{});
      EXPECT_EQ(picState(), c.next);
    }
  }
}

// A preparation pass run again after one that stopped part-way never moves
// image.txt over a saved descriptor, nor saves a descriptor that names no
// software image; it goes on to the reflash pass. The answer to the copy of
// image.txt may come cut anywhere.
TEST_F(PicFailuresTest, ARepeatedPreparationKeepsTheSavedDescriptor) {
  struct Case {
    const char* name;
    std::string imageTxt;  // the shell's print of image.txt
    bool saved;            // uimage.txt is on the terminal
    bool moved;            // image.txt is saved as uimage.txt
  };
  const Case cases[] = {
      {"first pass", "/bin/orvex_5_1_0_9.bin", false, true},
      {"stopped after the PIC copy", "S00F000068656C6C6F202020202000003C", true, false},
      {"stopped after the PIC copy, saved one gone", "S00F000068656C6C6F2020", false, false},
      {"stopped before the move, saved one there", "/bin/orvex_5_1_0_9.bin", true, false},
  };
  const std::string mv = "mv \"image.txt\",\"uimage.txt\"";
  for (const auto& c : cases) {
    const std::string answer = c.imageTxt + "\r\n" + kOk;
    for (size_t cut : {answer.size(), answer.size() - 6, size_t{3}}) {
      SCOPED_TRACE(std::string(c.name) + ", cut at " + std::to_string(cut));
      tel().close();
      shell->lines.clear();
      shell->replies["copy \"image.txt\""] = {answer.substr(0, cut), answer.substr(cut)};
      shell->replies["copy \"uimage.txt\""] = {c.saved ? "/bin/orvex_5_1_0_9.bin\r\n" + kOk
                                                       : "copy: can't open\r\n" + kFailed};
      uploadDone();
      settle();
      const bool sentMv = std::count(shell->lines.begin(), shell->lines.end(), mv) > 0;
      EXPECT_EQ(sentMv, c.moved);
      EXPECT_EQ(picState(), PIC_UPG_STATE_PREP_REBOOT);
      EXPECT_EQ(shell->lines.back(), "copy \"pic.s19\",\"image.txt\"");
    }
  }
}

// After the reflash the terminal must run its software again; one that
// answers in BOOTROM mode (the PIC file still named by image.txt, say) has
// not been upgraded. Needs the reply dispatcher's call of
// PicRestartedInBootrom.
class PicBootromAfterReflashTest : public PicFailuresTest,
                                   public ::testing::WithParamInterface<long> {};

TEST_P(PicBootromAfterReflashTest, IsAFailure) {
  platforms(GetParam(), GetParam());
  shell->replies["pic_driver_reflash 1"] = {"PIC Reflash Completed\r\n" + kOk};
  inChain();
  uploadDone();
  restartIntoBootrom();
  ASSERT_EQ(picState(), PIC_UPG_STATE_WAIT_RESET);
  versionAfterReflash("BOOTROM 1.0.2");
  EXPECT_FALSE(logHas("INF: \tPIC Upgrade was Successful. Software version retrieved!"));
  EXPECT_NE(status(), "PIC Upgrade Successful. Software version retrieved!");
  EXPECT_TRUE(logHas(
      "ERR: \tUpgrade stopped: The terminal restarted in BOOTROM mode after the PIC reflash."));
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_EQ(p.uiFake.messages[0].text,
            "PIC Upgrade failed. The terminal restarted in BOOTROM mode and does not run its "
            "software.\r\nUpgrade the software of the terminal before retrying the PIC "
            "Upgrade.\r\nPlease refer to the Help menu if needed.");
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
  EXPECT_FALSE(up->st.bPicUpgPending);
  EXPECT_FALSE(p.uiFake.busy);
}

INSTANTIATE_TEST_SUITE_P(Pic, PicBootromAfterReflashTest, ::testing::Values(11L, 9L));

// A terminal that comes back running its software after the preparation
// pass cannot be reflashed: the chain ends there, and nothing starts the
// preparation pass again over the saved descriptor.
TEST_F(PicFailuresTest, NoBootromAfterThePreparationEndsTheChain) {
  inChain();
  uploadDone();
  const size_t linesBefore = shell->lines.size();
  restartIntoBootrom(kVersionText);
  answer(ReleaseInfoReply(kReleaseText));
  runUntil([] { return false; }, 60000);
  EXPECT_TRUE(
      logHas("ERR: \tUpgrade stopped: The terminal did not restart in BOOTROM mode for the PIC "
             "reflash."));
  ASSERT_EQ(p.uiFake.messages.size(), 1u);
  EXPECT_TRUE(StartsWith(p.uiFake.messages[0].text, "PIC Upgrade stopped."));
  EXPECT_EQ(picState(), 0);
  EXPECT_FALSE(up->st.bPicUpgPending);
  EXPECT_EQ(up->st.currUpgradeState, UPG_STATE_IDLE);
  EXPECT_EQ(shell->lines.size(), linesBefore) << "the shell was opened again";
  EXPECT_FALSE(p.uiFake.busy);
}

}  // namespace
}  // namespace orvex::test
