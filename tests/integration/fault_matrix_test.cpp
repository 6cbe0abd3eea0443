// Every fault the simulated terminal can play, at each step of the software
// chain and of the other items, against the real adapters on loopback: the
// first attempt meets the fault, a second one in the same run (or after the
// upgrader closed itself) goes through. After each attempt the terminal
// boots, its running image is there until a verified new one replaced it,
// the PC's backup is a byte copy of what ran, and the window is usable again
// with the reason shown.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <iterator>
#include <string_view>
#include <tuple>

#include "support/sim_upgrade.h"

namespace orvex::test {
namespace {

// The terminal's times scaled for speed: the 40 s reply time-out becomes
// 2 s, the FTP request time-out 3 s, the 40 s restart wait 2 s.
constexpr double kScale = 0.05;
// Bound for one attempt, far beyond what a healthy one takes.
constexpr int kAttemptMs = 90000;

const std::string kRunning = "/tffs0/bin/orvex_5_1_0_9.bin";
const std::string kNew = "/tffs0/bin/orvex_5_1_0_12.bin";

enum class First { Fails, Quits, Succeeds };

struct Row {
  const char* name;
  const char* item;    // software, antenna, ib, pic
  const char* faults;  // the [faults] section
  First first;
  const char* shown;  // part of a box or the status line after the first attempt
  bool partMayStay = false;
  bool renameOnly = false;  // the fault hits a rename, which a classic server never gets
};

// A row by its name in failure messages.
void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

// Every row runs against a strict server that renames, and against a
// classic one that knows neither RNFR nor RNTO.
enum class Server { Strict, Classic };
using Param = std::tuple<Row, Server>;
void PrintTo(Server server, std::ostream* os) {
  *os << (server == Server::Classic ? "classic" : "strict");
}

// The sample terminal, like an older embedded FTP server, with faults.
std::string Scenario(const Row& row, Server server) {
  QFile sample(QStringLiteral(ORVEX_SOURCE_DIR) + "/tools/terminal-sim/scenarios/sample.ini");
  EXPECT_TRUE(sample.open(QIODevice::ReadOnly));
  return sample.readAll().toStdString() + "\n[ftp]\n" +
         (server == Server::Classic ? "commands = classic" : "strict = yes") + "\n\n[faults]\n" +
         row.faults + "\n";
}

const char* CheckBox(const std::string& item) {
  if (item == "software") return "chkBinUpg";
  if (item == "antenna") return "chkAntUpg";
  if (item == "ib") return "chkIBUpg";
  return "chkPICUpg";
}

class FaultMatrix : public SimUpgradeTest, public ::testing::WithParamInterface<Param> {
 protected:
  // The FTP client's own 60 s request time-out, scaled like the timers.
  void SetUp() override {
    setenv("ORVEX_TIME_SCALE", std::to_string(kScale).c_str(), 1);
    SimUpgradeTest::SetUp();
  }
  void TearDown() override {
    SimUpgradeTest::TearDown();
    unsetenv("ORVEX_TIME_SCALE");
  }
  // The window is usable again: nothing runs or waits, normal pointer.
  bool idle() const { return up && (up->st.bUnloaded || !up->app.WorkPending()); }
  bool connected(Upgrader& u) {
    return WaitFor([&] { return u.win.text("txtAntCLSver") == "Class 11" && idle(); }, 20000);
  }
  void attempt(Upgrader& u, const std::string& item) {
    for (const char* box : {"chkBinUpg", "chkAntUpg", "chkIBUpg", "chkPICUpg"})
      u.win.setValue(box, 0);
    u.win.setValue(CheckBox(item), 1);
    u.click("cmdUpgrade");  // the confirmation is answered Yes by the fake
  }
  bool itemDone(const std::string& item) const {
    const auto& results = up->seq.itemResults();
    return !results.empty() && results.back().outcome == ItemOutcome::Done &&
           ((item == "software" && up->win.text("txtCurrentSoftwareVersion") == "5.1.0.12") ||
            (item == "antenna" && up->win.text("txtAntATBver") == "12") ||
            (item == "ib" && up->win.text("txtTermIBVer") == "31.05") ||
            (item == "pic" && up->win.text("txtTermPICVersion") == "2.05"));
  }
  // What keeps the window from being idle, for a failure message.
  std::string busyText() const {
    if (!up || up->st.bUnloaded) return "";
    const auto& z = up->zing;
    return std::string("[busy] chain ") + (up->seq.UPG_ChainActive() ? "active" : "-") +
           " ftpState " + std::to_string(up->st.ftpState) + " ftpDone " +
           (up->st.bFtpDone ? "1" : "0") + " upg " + std::to_string(up->st.currUpgradeState) +
           " pic " + std::to_string(up->st.picUpgradeState) + " ib " +
           std::to_string(up->st.ibUpgState) + " pointer " +
           std::to_string(up->st.screenMousePointer) + " zing timers " +
           (z.tmrConnect.enabled() ? "C" : "") + (z.tmrResponse.enabled() ? "R" : "") +
           (z.tmrConneTest.enabled() ? "T" : "") + " in progress " +
           (up->app.UpgradeInProgress() ? "yes" : "no") + "\n";
  }
  std::string shownText() const {
    return messages() + "[status] " + (up && !up->st.bUnloaded ? up->win.text("sbUpgrade") : "") +
           "\n" + busyText();
  }

  // The terminal boots; its running image is there unless a verified new one
  // replaced it; the PC's backup, if any, is a byte copy of the running one.
  // A transfer cut off (reset, stall) may leave its temporary file, never
  // named by image.txt, for the next attempt to replace.
  void expectSafe(const SimulatedTerminal& t, const std::string& when, bool partAllowed = false) {
    SCOPED_TRACE(when);
    const QJsonObject report = FlashReport(t.flash());
    const QJsonObject boot = report["boot"].toObject();
    ASSERT_FALSE(boot.isEmpty()) << "no flash report";
    EXPECT_TRUE(boot["bootable"].toBool()) << boot["reason"].toString().toStdString() << "\n"
                                           << logTail();
    const std::string booted = boot["image_path"].toString().toStdString();
    QJsonObject running;
    for (const auto& f : report["files"].toArray())
      if (f.toObject()["path"].toString().toStdString() == kRunning) running = f.toObject();
    if (booted != kNew) {
      EXPECT_EQ(booted, kRunning) << logTail();
      ASSERT_FALSE(running.isEmpty()) << "the running image is gone\n" << logTail();
    }
    QFile backup(QString::fromStdString(home.path()) + "/Backup/orvex_5_1_0_9.bin");
    if (backup.exists() && !running.isEmpty()) {
      ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
      EXPECT_EQ(QCryptographicHash::hash(backup.readAll(), QCryptographicHash::Sha256).toHex(),
                running["sha256"].toString().toLatin1())
          << "the PC backup is not what ran";
    }
    for (const auto& f : report["files"].toArray())
      EXPECT_FALSE(!partAllowed && f.toObject()["path"].toString().endsWith(".part"))
          << f.toObject()["path"].toString().toStdString() << " left on the flash";
    EXPECT_TRUE(QDir(QString::fromStdString(home.path()) + "/Backup")
                    .entryList({"*.part"}, QDir::Files)
                    .isEmpty())
        << "a partial backup is left on the PC";
  }
};

int RowPlace(std::string_view name);

TEST_P(FaultMatrix, FailsSafelyThenSucceedsOnRetry) {
  const auto& [row, server] = GetParam();
  if (row.renameOnly && server == Server::Classic) GTEST_SKIP() << "no rename on this server";
  TempDir scenarios;
  const std::string scenarioPath = scenarios.path() + "/" + row.name + ".ini";
  scenarios.write(std::string(row.name) + ".ini", Scenario(row, server));
  // Each row on an address of its own, by its place in the table and the
  // server: a slow shutdown never meets the next row, and rows run side by side.
  const std::string address = std::string(server == Server::Classic ? "127.0.4." : "127.0.3.") +
                              std::to_string(RowPlace(row.name) + 1);
  SimulatedTerminal terminal(QString::fromStdString(address), kScale,
                             QString::fromStdString(scenarioPath));
  ASSERT_TRUE(terminal.ready()) << terminal.output().toStdString();

  Upgrader* u = &launch(address, kScale);
  ASSERT_TRUE(connected(*u)) << shownText();
  attempt(*u, row.item);
  ASSERT_TRUE(WaitFor([&] { return !idle(); }, 5000)) << shownText();
  ASSERT_TRUE(WaitFor(
      [&] { return idle() && (row.first != First::Succeeds || itemDone(row.item)); }, kAttemptMs))
      << "first attempt did not end\n"
      << shownText() << logTail();
  EXPECT_NE(shownText().find(row.shown), std::string::npos) << shownText() << logTail(400);
  if (row.first == First::Quits)
    EXPECT_TRUE(u->st.bUnloaded) << shownText();
  else
    EXPECT_FALSE(u->st.bUnloaded) << shownText();
  if (row.first == First::Fails) {
    EXPECT_FALSE(itemDone(row.item)) << shownText();
    EXPECT_NE(logTail(400).find("ERR: \tUpgrade stopped: "), std::string::npos) << logTail();
  }
  expectSafe(terminal, "after the first attempt", row.partMayStay);
  if (row.first == First::Succeeds) return;

  // The retry: in the same run, or after the upgrader closed itself.
  if (u->st.bUnloaded) {
    u = &launch(address, kScale);
    ASSERT_TRUE(connected(*u)) << shownText();
  } else {
    ASSERT_TRUE(WaitFor([&] { return u->win.text("txtAntCLSver") == "Class 11"; }, 20000));
  }
  p.fakeUi.messages.clear();
  attempt(*u, row.item);
  ASSERT_TRUE(WaitFor([&] { return idle() && itemDone(row.item); }, kAttemptMs))
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
     First::Quits, "Unexpected Error !!"},
    // A reset while image.txt goes up under its temporary name: image.txt
    // is as it was. (A classic server writes image.txt in place, where a
    // cut leaves it partial until the retry: the box says not to restart.)
    {"ResetDuringImageTxtPut", "software",
     "ftp_reset_after = 5\nftp_reset_on = STOR\nftp_reset_match = image.txt*\n"
     "ftp_reset_count = 1",
     First::Quits, "Unexpected Error !!", true, true},
    // A silent terminal at each ZING step.
    {"SilentFileSystemCheck", "software", "drop_reply = 0x32\ndrop_count = 1", First::Succeeds, ""},
    {"SilentHaltStack", "software", "drop_reply = 0x33\ndrop_count = 1", First::Succeeds, ""},
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
     First::Quits, "The upgrader will now close."},
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
