// Every fault the simulated terminal can play, at each step of the software
// chain and of the other items, against the real adapters on loopback: the
// first attempt meets the fault, a second one in the same run (or after the
// upgrader closed itself) goes through. After each attempt the terminal
// boots, its running image is there until a verified new one replaced it,
// the PC's backup is a byte copy of what ran, and the window is usable again
// with the reason shown.
#include <gtest/gtest.h>

#include <iterator>
#include <string_view>
#include <tuple>

#include "support/sim_fault_fixture.h"

namespace orvex::test {
namespace {

enum class First { Fails, Quits, Succeeds };

struct Row {
  const char* name;
  const char* item;    // software, antenna, ib, pic, restore
  const char* faults;  // the [faults] section
  First first;
  const char* shown;  // part of a box or the status line after the first attempt
  bool partMayStay = false;
  bool renameOnly = false;  // the fault hits a rename, which a classic server never gets
  // A classic server gets image.txt in place: the failed write is repaired
  // at once with the old descriptor, and the chain fails without closing.
  bool repairedInPlace = false;
  // The terminal's versions are unknown when Upgrade is clicked.
  bool unknownAtClick = false;
};

// A row by its name in failure messages.
void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

// Every row runs against a strict server that renames, and against a
// classic one that knows neither RNFR nor RNTO.
using Param = std::tuple<Row, Server>;

class FaultMatrix : public SimFaultTest, public ::testing::WithParamInterface<Param> {};

int RowPlace(std::string_view name);

TEST_P(FaultMatrix, FailsSafelyThenSucceedsOnRetry) {
  auto [row, server] = GetParam();
  if (row.renameOnly && server == Server::Classic) GTEST_SKIP() << "no rename on this server";
  if (row.repairedInPlace && server == Server::Classic) {
    row.first = First::Fails;
    row.shown = "The terminal keeps its current software.";
  }
  TempDir scenarios;
  const std::string scenarioPath = scenarios.path() + "/" + row.name + ".ini";
  scenarios.write(std::string(row.name) + ".ini", FaultScenario(server, row.faults));
  // Each row on an address of its own, by its place in the table and the
  // server: a slow shutdown never meets the next row, and rows run side by side.
  const std::string address = std::string(server == Server::Classic ? "127.0.4." : "127.0.3.") +
                              std::to_string(RowPlace(row.name) + 1);
  SimulatedTerminal terminal(QString::fromStdString(address), kFaultScale,
                             QString::fromStdString(scenarioPath));
  ASSERT_TRUE(terminal.ready()) << terminal.output().toStdString();

  // A restore brings back the older backup; the other rows upgrade an item.
  const bool restoring = std::string_view(row.item) == "restore";
  if (restoring) offerOlderBackup();
  const auto start = [&](Upgrader& on) { restoring ? restore(on) : attempt(on, {row.item}); };
  const auto done = [&] { return restoring ? restoreDone() : itemDone(row.item); };
  Upgrader* u = &launch(address, kFaultScale);
  ASSERT_TRUE(
      row.unknownAtClick
          ? WaitFor([&] { return idle() && u->win.text("txtCurrentSoftwareVersion") == "UNKNOWN"; },
                    20000)
          : connected(*u))
      << shownText();
  start(*u);
  // A click without the version waits for it, and may end within the click.
  ASSERT_TRUE(row.unknownAtClick || WaitFor([&] { return !idle(); }, 5000)) << shownText();
  ASSERT_TRUE(
      WaitFor([&] { return idle() && (row.first != First::Succeeds || done()); }, kAttemptMs))
      << "first attempt did not end\n"
      << shownText() << logTail();
  EXPECT_NE(shownText().find(row.shown), std::string::npos) << shownText() << logTail(400);
  if (row.first == First::Quits)
    EXPECT_TRUE(u->st.bUnloaded) << shownText();
  else
    EXPECT_FALSE(u->st.bUnloaded) << shownText();
  if (row.first == First::Fails) {
    EXPECT_FALSE(done()) << shownText();
    EXPECT_NE(logTail(400).find("ERR: \tUpgrade stopped: "), std::string::npos) << logTail();
  }
  expectSafe(terminal, "after the first attempt", row.partMayStay);
  if (row.first == First::Succeeds) return;

  // The retry: in the same run, or after the upgrader closed itself.
  if (u->st.bUnloaded) {
    u = &launch(address, kFaultScale);
    ASSERT_TRUE(connected(*u)) << shownText();
  } else {
    // In BOOTROM mode the terminal has no release information.
    ASSERT_TRUE(WaitFor(
        [&] {
          return restoring || row.unknownAtClick ? idle()
                                                 : u->win.text("txtAntCLSver") == "Class 11";
        },
        20000));
  }
  p.fakeUi.messages.clear();
  start(*u);
  ASSERT_TRUE(WaitFor([&] { return idle() && done(); }, kAttemptMs))
      << "the retry did not succeed\n"
      << shownText() << logTail();
  expectSafe(terminal, "after the retry");
}

const Row kRows[] = {
    // The software chain, step by step.
    {"ImageTxtRetrRefused", "software",
     "ftp_retr_refuse = 451\nftp_retr_refuse_match = image.txt\nftp_retr_refuse_count = 1",
     First::Fails, "An unexpected FTP error occurred."},
    {"DeleRefused", "software", "ftp_dele_refuse = yes\nftp_dele_refuse_count = 1", First::Fails,
     "An unexpected FTP error occurred."},
    {"BackupRetrRefused", "software",
     "ftp_retr_refuse = 451\nftp_retr_refuse_match = orvex_*.bin\nftp_retr_refuse_count = 1",
     First::Fails, "An unexpected FTP error occurred."},
    {"ResetDuringBackupGet", "software",
     "ftp_reset_after = 100000\nftp_reset_on = RETR\nftp_reset_match = orvex_*.bin\n"
     "ftp_reset_count = 1",
     First::Quits, "The upgrader will now close."},
    {"StorFlashFull", "software",
     "ftp_stor_refuse = 552\nftp_stor_refuse_after = 100000\nftp_stor_refuse_match = "
     "orvex_5_1_0_12.bin*\n"
     "ftp_stor_refuse_count = 1",
     First::Fails, "An unexpected FTP error occurred."},
    {"StorRefused", "software",
     "ftp_stor_refuse = 552\nftp_stor_refuse_match = orvex_5_1_0_12.bin*\nftp_stor_refuse_count = "
     "1",
     First::Fails, "An unexpected FTP error occurred."},
    {"ResetDuringPut", "software",
     "ftp_reset_after = 100000\nftp_reset_on = STOR\nftp_reset_count = 1", First::Quits,
     "The upgrader will now close.", true},
    {"StallDuringPut", "software",
     "ftp_stall_after = 100000\nftp_stall_on = STOR\nftp_stall_count = 1", First::Fails,
     "FTP timeout.", true},
    {"RnfrRefused", "software", "ftp_rnfr_refuse = yes\nftp_rnfr_refuse_count = 1", First::Fails,
     "refused to put the new software image in place.", false, true},
    {"RntoRefused", "software", "ftp_rnto_refuse = yes\nftp_rnto_refuse_count = 1", First::Fails,
     "refused to put the new software image in place.", false, true},
    {"ImageTxtPutRefused", "software",
     "ftp_stor_refuse = 552\nftp_stor_refuse_match = image.txt*\nftp_stor_refuse_count = 1",
     First::Quits, "Unexpected Error !!", false, false, true},
    // A reset while image.txt goes up under its temporary name: image.txt
    // is as it was.
    {"ResetDuringImageTxtPut", "software",
     "ftp_reset_after = 5\nftp_reset_on = STOR\nftp_reset_match = image.txt*\n"
     "ftp_reset_count = 1",
     First::Quits, "Unexpected Error !!", true, false, true},
    // A silent terminal at each ZING step.
    {"SilentFileSystemCheck", "software", "drop_reply = 0x32\ndrop_count = 1", First::Succeeds, ""},
    {"SilentHaltStack", "software", "drop_reply = 0x33\ndrop_count = 1", First::Succeeds, ""},
    // No version at the start nor at the click: no upgrade without a backup.
    {"SilentVersionAtClick", "software", "drop_reply = 0x04\ndrop_count = 2", First::Fails,
     "The software version of the Satellite IP Modem is not known", false, false, false, true},
    // The restore's restart ends in BOOTROM: a failure, and a retry restores.
    {"RestoreIntoBootrom", "restore", "bootrom_boots = 2", First::Fails,
     "does not run the restored software 5.1.0.3."},
    // The other items.
    {"AntennaStorRefused", "antenna",
     "ftp_stor_refuse = 552\nftp_stor_refuse_match = *.sxm\nftp_stor_refuse_count = 1",
     First::Fails, "An unexpected FTP error occurred."},
    {"AntennaSilentInstall", "antenna", "drop_reply = 0x90\ndrop_count = 1", First::Fails,
     "did not answer the antenna upgrade request"},
    {"IbStorRefused", "ib",
     "ftp_stor_refuse = 552\nftp_stor_refuse_match = *.glo\nftp_stor_refuse_count = 1",
     First::Fails, "An unexpected FTP error occurred."},
    {"IbSilentPrepare", "ib", "drop_reply = 0x94\ndrop_count = 1", First::Fails, "did not answer"},
    {"AntennaResetDuringPut", "antenna",
     "ftp_reset_after = 1000\nftp_reset_on = STOR\nftp_reset_match = *.sxm\nftp_reset_count = 1",
     First::Fails, "Do not restart or switch off the Satellite IP Modem."},
    {"IbResetDuringPut", "ib",
     "ftp_reset_after = 1000\nftp_reset_on = STOR\nftp_reset_match = *.glo\nftp_reset_count = 1",
     First::Fails, "Do not restart or switch off the Satellite IP Modem."},
    {"PicResetDuringPut", "pic",
     "ftp_reset_after = 100\nftp_reset_on = STOR\nftp_reset_match = pic.s19\nftp_reset_count = 1",
     First::Fails, "The PIC firmware of the terminal is unchanged"},
    {"PicStorRefused", "pic",
     "ftp_stor_refuse = 552\nftp_stor_refuse_match = pic.s19\nftp_stor_refuse_count = 1",
     First::Fails, "An unexpected FTP error occurred."},
};

int RowPlace(std::string_view name) {
  for (size_t i = 0; i < std::size(kRows); ++i)
    if (name == kRows[i].name) return static_cast<int>(i);
  return -1;
}

INSTANTIATE_TEST_SUITE_P(EveryStep, FaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(kRows),
                                            ::testing::Values(Server::Strict, Server::Classic)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == Server::Classic ? "_Classic" : "");
                         });

}  // namespace
}  // namespace orvex::test
