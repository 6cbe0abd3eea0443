// The engine on the real adapters against a simulated terminal that plays
// faults: a scenario built from the sample terminal, the upgrade of chosen
// items as a technician starts it, and the checks that hold after every
// attempt (the terminal boots, its running image stays until a verified new
// one replaced it, the PC's backup is a byte copy of what ran, the window
// is usable again).
#pragma once

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <algorithm>
#include <string>
#include <vector>

#include "app/app_frame.h"
#include "support/sim_upgrade.h"
#include "upgrade/sequencer.h"
#include "zing/zing_channel.h"

namespace orvex::test {

// The terminal's times scaled for speed: the 40 s reply time-out becomes
// 2 s, the FTP request time-out 3 s, the 40 s restart wait 2 s.
constexpr double kFaultScale = 0.05;
// Bound for one attempt, far beyond what a healthy one takes.
constexpr int kAttemptMs = 90000;

inline const std::string kRunningImage = "/tffs0/bin/orvex_5_1_0_9.bin";
inline const std::string kNewImage = "/tffs0/bin/orvex_5_1_0_12.bin";

// A strict server that renames, or a classic one that knows neither RNFR
// nor RNTO.
enum class Server { Strict, Classic };
inline void PrintTo(Server server, std::ostream* os) {
  *os << (server == Server::Classic ? "classic" : "strict");
}

// The sample terminal with `ftp` lines after the server's mode and
// `faults` as its [faults] section.
inline std::string FaultScenario(Server server, const std::string& faults,
                                 const std::string& ftp = "") {
  QFile sample(QStringLiteral(ORVEX_SOURCE_DIR) + "/tools/terminal-sim/scenarios/sample.ini");
  EXPECT_TRUE(sample.open(QIODevice::ReadOnly));
  return sample.readAll().toStdString() + "\n[ftp]\n" +
         (server == Server::Classic ? "commands = classic" : "strict = yes") + "\n" + ftp +
         "\n[faults]\n" + faults + "\n";
}

inline const char* ItemCheckBox(const std::string& item) {
  return UpgradeItemCheckBox(ItemOfWord(item).value());
}

class SimFaultTest : public SimUpgradeTest {
 protected:
  // The FTP client's own 60 s request time-out, scaled like the timers.
  void SetUp() override {
    setenv("ORVEX_TIME_SCALE", std::to_string(kFaultScale).c_str(), 1);
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
  // Ticks the items' boxes and clicks Upgrade; the confirmation is answered
  // Yes by the fake.
  void attempt(Upgrader& u, const std::vector<std::string>& items) {
    for (UpgradeItem item : kUpgradeItems) u.win.setValue(UpgradeItemCheckBox(item), 0);
    for (const auto& item : items) u.win.setValue(ItemCheckBox(item), 1);
    u.click("cmdUpgrade");
  }
  // The item ended done in the last chain and the window shows its new version.
  bool itemDone(const std::string& item) const {
    bool done = false;
    for (const auto& r : up->seq.itemResults())
      if (r.item == ItemOf(item)) done = r.outcome == ItemOutcome::Done;
    return done && ShowsNew(item);
  }
  // The sample release's versions, in the order of the items.
  bool ShowsNew(const std::string& item) const {
    static const char* const kNew[] = {"5.1.0.12", "12", "31.05", "2.05"};
    const UpgradeItem i = ItemOf(item);
    return up->win.text(FactsOf(i).versions[0].terminal) == kNew[static_cast<int>(i)];
  }
  static UpgradeItem ItemOf(const std::string& item) { return ItemOfWord(item).value(); }
  // What keeps the window from being idle, for a failure message.
  std::string busyText() const {
    if (!up || up->st.bUnloaded) return "";
    const auto& z = up->zing;
    return std::string("[busy] chain ") + (up->seq.ChainActive() ? "active" : "-") + " ftpState " +
           std::to_string(up->st.ftpState) + " ftpDone " + (up->st.bFtpDone ? "1" : "0") + " upg " +
           std::to_string(up->st.currUpgradeState) + " pic " +
           std::to_string(up->st.picUpgradeState) + " ib " + std::to_string(up->st.ibUpgState) +
           " pointer " + std::to_string(up->st.screenMousePointer) + " zing timers " +
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
  // named by image.txt, for the next attempt to replace (partAllowed).
  // A close during the backup's download may leave its temporary file on
  // the PC too (pcPartAllowed), for the next attempt to replace.
  // A PIC upgrade cut short between its passes (picPassPending) leaves the
  // terminal in BOOTROM mode with its descriptor saved as uimage.txt, for the
  // reflash pass of the next attempt to put back.
  // A chain may replace the running image with this one once it is verified.
  std::string verifiedImage = kNewImage;
  void expectSafe(const SimulatedTerminal& t, const std::string& when, bool partAllowed = false,
                  bool pcPartAllowed = false, bool picPassPending = false) {
    SCOPED_TRACE(when);
    const QJsonObject report = FlashReport(t.flash());
    const QJsonObject boot = report["boot"].toObject();
    ASSERT_FALSE(boot.isEmpty()) << "no flash report";
    bool descriptorSaved = false;
    QJsonObject running;
    for (const auto& f : report["files"].toArray()) {
      const std::string path = f.toObject()["path"].toString().toStdString();
      if (path == kRunningImage) running = f.toObject();
      descriptorSaved |= path == "/tffs0/uimage.txt";
    }
    const bool betweenPicPasses = picPassPending && descriptorSaved;
    EXPECT_TRUE(betweenPicPasses || boot["bootable"].toBool())
        << boot["reason"].toString().toStdString() << "\n"
        << logTail();
    const std::string booted = boot["image_path"].toString().toStdString();
    if (booted != verifiedImage) {
      EXPECT_TRUE(betweenPicPasses || booted == kRunningImage) << booted << "\n" << logTail();
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
    EXPECT_TRUE(pcPartAllowed || QDir(QString::fromStdString(home.path()) + "/Backup")
                                     .entryList({"*.part"}, QDir::Files)
                                     .isEmpty())
        << "a partial backup is left on the PC";
  }

  // An older backup on the PC, which a restore may make the running image.
  void offerOlderBackup() {
    QDir(QString::fromStdString(home.path())).mkpath("Backup");
    home.write("Backup/orvex_5_1_0_3.bin", std::string(262144, '3'));
    verifiedImage = kRestoredImage;
  }
  // The restore of the older backup, chosen in its dialog.
  void restore(Upgrader& u) {
    p.fakeUi.onModal = [&](const std::string& form) {
      const auto& items = u.win.at("lstOldSoftwareVersions").items;
      const auto it = std::find(items.begin(), items.end(), "5.1.0.3");
      if (form != "frmRestore" || it == items.end()) return;
      u.win.setListIndex("lstOldSoftwareVersions", static_cast<int>(it - items.begin()));
      u.click("cmdOkRestore");
    };
    u.click("cmdRestore");
    p.fakeUi.onModal = nullptr;
  }
  bool restoreDone() const {
    bool done = false;
    for (const auto& r : up->seq.itemResults())
      if (r.restore) done = r.outcome == ItemOutcome::Done;
    return done && up->win.text("txtCurrentSoftwareVersion") == "5.1.0.3";
  }
  inline static const std::string kRestoredImage = "/tffs0/bin/orvex_5_1_0_3.bin";
};

}  // namespace orvex::test
