// A seeded random campaign over the fault matrix's fixture: each case draws
// from one seed an item chain, a fault the simulated terminal plays and the
// step it hits, the server's FTP mode and maybe a technician action at a
// random moment. After every attempt the terminal boots, its running image
// stays until a verified new one replaced it, the PC's backup is a byte copy
// of what ran, the window is usable within a bound, and no item is reported
// done unless the terminal shows it; then what is not done is retried until
// it is. A failing case names its seed; scripts/soak replays or explores.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <iostream>
#include <random>
#include <set>
#include <sstream>

#include "app/app_frame.h"
#include "support/sim_fault_fixture.h"
#include "upgrade/sequencer.h"

namespace orvex::test {
namespace {

// Retries after the first attempt before a case counts as never done.
constexpr int kMaxRetries = 4;

// One case as drawn from its seed.
struct Draw {
  unsigned seed = 0;
  Server server = Server::Strict;
  std::vector<std::string> chain;
  std::string kind = "none";  // the fault's kind, for the table
  std::string step;           // what it hits
  std::string faults, ftp;    // the scenario's [faults] and extra [ftp] lines
  std::string action = "none";
  int actionMs = 0;

  std::string chainText() const {
    std::string s;
    for (const auto& i : chain) s += (s.empty() ? "" : "+") + i;
    return s;
  }
  std::string text() const {
    std::ostringstream os;
    os << "seed=" << seed << " server=" << (server == Server::Classic ? "classic" : "strict")
       << " chain=" << chainText() << " fault=" << kind << " step=\"" << step
       << "\" action=" << action << "@" << actionMs << "ms";
    return os.str();
  }
};

// The controls a technician may click in the main window.
const char* const kControls[] = {
    "cmdUpgrade",         "cmdUpgradeMenu",        "cmdRestore",        "cmdRestoreMenu",
    "cmdAntUpgradeMenu",  "cmdIbUpgradeMenu",      "cmdPicUpgradeMenu", "cmdSetModemIP",
    "cmdRestoreDefaults", "cmdGetSoftwareVersion", "cmdResetModem",     "cmdAntInfo",
    "mnuHelpAbout"};
// Those that start a chain of their own, or change the address.
bool StartsWork(const std::string& control) {
  return control != "cmdAntInfo" && control != "mnuHelpAbout";
}

Draw DrawCase(unsigned seed) {
  std::mt19937 rng(seed);
  const auto pick = [&](size_t n) {
    return static_cast<size_t>(std::uniform_int_distribution<size_t>(0, n - 1)(rng));
  };
  const auto one = [&](std::initializer_list<const char*> list) {
    return std::string(list.begin()[pick(list.size())]);
  };
  Draw d;
  d.seed = seed;
  d.server = pick(2) ? Server::Classic : Server::Strict;
  const char* const items[] = {"software", "antenna", "ib", "pic"};
  // Half the cases one item, the others any chain of them.
  const size_t mask = pick(2) ? size_t{1} << pick(4) : 1 + pick(15);
  for (size_t i = 0; i < 4; ++i)
    if (mask & (size_t{1} << i)) d.chain.push_back(items[i]);
  // One case in six restores an older backup instead, drawn apart so that
  // the other seeds keep their cases.
  if (std::mt19937(seed ^ 0x7777u)() % 6 == 0) d.chain = {"restore"};

  // The files the chain sends or fetches (their transfer and about their
  // size), and every file.
  struct File {
    const char* match;
    const char* transfer;
    int size;
  };
  std::vector<File> files = {{"", "any", 300}};
  for (const auto& item : d.chain) {
    if (item == "software")
      files.insert(files.end(), {{"image*", "any", 23},
                                 {"orvex_5_1_0_12.bin*", "STOR", 262144},
                                 {"orvex_5_1_0_9.bin", "RETR", 262144}});
    if (item == "antenna") files.push_back({"*.sxm", "STOR", 36864});
    if (item == "ib") files.push_back({"*.glo", "STOR", 25678});
    if (item == "pic") files.push_back({"pic.s19", "STOR", 700});
    if (item == "restore")
      files.insert(files.end(), {{"image*", "any", 23}, {"orvex_5_1_0_3.bin*", "STOR", 262144}});
  }
  const File file = files[pick(files.size())];
  const std::string match = file.match;
  // Where in the transfer: at its start, half-way, one byte short.
  const std::string cut =
      std::to_string(std::vector<int>{0, file.size / 2, file.size - 1}[pick(3)]);
  const std::string nth = std::to_string(1 + pick(2));
  const auto on = [&](const std::string& key) {
    return key + "_match = " + match + "\n" + key + "_nth = " + nth + "\n" + key + "_count = 1\n";
  };
  d.kind =
      one({"none", "ftp_reset", "ftp_reset", "ftp_stall", "ftp_stor_refuse", "ftp_stor_refuse",
           "ftp_retr_refuse", "ftp_dele_refuse", "ftp_rnfr_refuse", "ftp_rnto_refuse", "drop_reply",
           "drop_reply", "delay_reply", "zing_split", "shell_split", "rename_existing"});
  const std::string at = "'" + (match.empty() ? "*" : match) + "' #" + nth;
  if (d.kind == "ftp_reset" || d.kind == "ftp_stall") {
    const std::string transfer = file.transfer;
    const std::string after = cut;
    d.step = transfer + " " + at + " after " + after;
    d.faults =
        d.kind + "_after = " + after + "\n" + d.kind + "_on = " + transfer + "\n" + on(d.kind);
  } else if (d.kind == "ftp_stor_refuse") {
    const std::string code = one({"552", "452"});
    const std::string after = pick(2) ? "" : cut;
    d.step = code + " " + at + (after.empty() ? "" : " flash full after " + after);
    d.faults = "ftp_stor_refuse = " + code + "\n" + on(d.kind) +
               (after.empty() ? "" : "ftp_stor_refuse_after = " + after + "\n");
  } else if (d.kind == "ftp_retr_refuse") {
    const std::string code = one({"450", "451"});
    d.step = code + " " + at;
    d.faults = "ftp_retr_refuse = " + code + "\n" + on(d.kind);
  } else if (d.kind == "ftp_dele_refuse" || d.kind == "ftp_rnfr_refuse" ||
             d.kind == "ftp_rnto_refuse") {
    d.step = at;
    d.faults = d.kind + " = yes\n" + on(d.kind);
  } else if (d.kind == "drop_reply") {
    const std::string code = one({"0x04", "0x92", "0x32", "0x33", "0x90", "0x94", "0x93", "0x0D"});
    const std::string n = std::to_string(1 + pick(3));
    d.step = code + " #" + n;
    d.faults = "drop_reply = " + code + "\ndrop_nth = " + n + "\ndrop_count = 1\n";
  } else if (d.kind == "delay_reply") {
    // Every reply of the code late, but within the reply time-out.
    const std::string code = one({"0x04", "0x92", "0x32", "0x33", "0x90", "0x94", "0x93"});
    const std::string secs = one({"1", "5", "20"});
    d.step = code + " by " + secs + " s";
    d.faults = "delay_reply = " + code + ":" + secs + "\n";
  } else if (d.kind == "zing_split") {
    const std::string parts = std::to_string(2 + pick(4));
    d.step = parts + " writes";
    d.faults = "zing_split = " + parts + "\nzing_split_pause = " + one({"0.1", "1"}) + "\n";
  } else if (d.kind == "shell_split") {
    d.step = one({"calls", "lines", "bytes"});
    d.faults = "shell_split = " + d.step + "\nshell_split_bytes = " + std::to_string(1 + pick(9)) +
               "\nshell_split_pause = " + one({"0.1", "1"}) + "\n";
  } else if (d.kind == "rename_existing") {
    d.step = "refuse";
    d.ftp = "rename_existing = refuse\n";
  }

  // One case in eight the terminal loses its power during an upload,
  // drawn apart as the restore is. An image.txt written in place (no
  // rename on the server) cannot survive that, so only a server that
  // renames sees it hit image.txt.
  std::mt19937 power(seed ^ 0x5a5au);
  std::vector<File> stored;
  for (const auto& f : files)
    if (f.transfer != std::string("RETR") && *f.match &&
        (d.server == Server::Strict || f.match != std::string("image*")))
      stored.push_back(f);
  if (power() % 8 == 0 && !stored.empty()) {
    const File& f = stored[power() % stored.size()];
    const int after = std::vector<int>{0, f.size / 2, f.size - 1}[power() % 3];
    d.kind = "ftp_restart";
    d.step = std::string("STOR '") + f.match + "' after " + std::to_string(after);
    d.faults =
        "ftp_reset_restart = yes\nftp_reset_on = STOR\nftp_reset_after = " + std::to_string(after) +
        "\nftp_reset_match = " + f.match + "\nftp_reset_count = 1\n";
  }

  d.action = one({"none", "none", "none", "click", "closeYes", "closeNo", "address", "logKeys"});
  if (d.action == "click") d.action += std::string(":") + kControls[pick(std::size(kControls))];
  if (d.action != "none") d.actionMs = static_cast<int>(pick(8000));
  return d;
}

class Campaign : public SimFaultTest {
 protected:
  // The terminal's journal, one object an event.
  static std::vector<QJsonObject> Journal(const SimulatedTerminal& t) {
    QFile f(t.journal());
    std::vector<QJsonObject> events;
    if (!f.open(QIODevice::ReadOnly)) return events;
    while (!f.atEnd()) events.push_back(QJsonDocument::fromJson(f.readLine()).object());
    return events;
  }
  // The terminal itself shows the item's new version: it boots the new
  // image, or it installed, flashed or reflashed the item's firmware.
  static bool TerminalShows(const SimulatedTerminal& t, const std::string& item) {
    if (item == "software" || item == "restore")
      return FlashReport(t.flash())["boot"].toObject()["image_path"].toString().toStdString() ==
             (item == "software" ? kNewImage : kRestoredImage);
    for (const auto& e : Journal(t)) {
      const QString event = e["event"].toString();
      if ((item == "antenna" && event == "antenna_install" &&
           !e["installed"].toArray().isEmpty()) ||
          (item == "ib" && event == "ib_flash_done") ||
          (item == "pic" && event == "pic_reflash" && e["outcome"].toString() == "completed"))
        return true;
    }
    return false;
  }

  // The upgrader goes to `address` through the address dialog.
  void setAddress(Upgrader& u, const std::string& address) {
    p.fakeUi.onModal = [&, address](const std::string& form) {
      if (form != "UpdateModemIP") return;
      const QStringList octets = QString::fromStdString(address).split('.');
      for (int i = 0; i < 4; ++i)
        u.win.setText("txtIP" + std::to_string(i + 1), octets.value(i).toStdString());
      u.click("cmdUpdate");
    };
    u.click("cmdSetModemIP");
    p.fakeUi.onModal = nullptr;
  }

  // The technician's action; a disabled control cannot be clicked. While a
  // chain runs no control may start another one or change the address.
  void act(Upgrader& u, const std::string& action) {
    const bool busy = u.app.UpgradeInProgress();
    if (action.rfind("click:", 0) == 0) {
      const std::string control = action.substr(6);
      if (!u.win.enabled(control)) return;
      EXPECT_FALSE(busy && StartsWork(control)) << control << " is enabled while a chain runs";
      // Dialogs are closed again, the restore cancelled.
      p.fakeUi.onModal = [&](const std::string& form) {
        if (form == "UpdateModemIP") u.click("cmdClose");
        if (form == "frmRestore") u.click("cmdCancelRestore");
      };
      u.click(control);
      p.fakeUi.onModal = nullptr;
    } else if (action == "closeYes" || action == "closeNo") {
      p.fakeUi.answers.push_back(action == "closeYes" ? vbYes : vbNo);
      u.click("mnuFileExit");
      p.fakeUi.answers.clear();
    } else if (action == "address") {
      if (!u.win.enabled("cmdSetModemIP")) return;
      EXPECT_FALSE(busy) << "the address can be changed while a chain runs";
      setAddress(u, "127.0.7.1");
      addressMoved = true;
    } else if (action == "logKeys") {
      u.keyPress(12);
      u.keyPress(7);
    }
  }

  // Returns the number of attempts it took; a violation is a test failure.
  int run(const Draw& d, const std::string& address) {
    SCOPED_TRACE(d.text());
    TempDir scenarios;
    scenarios.write("case.ini", FaultScenario(d.server, d.faults, d.ftp));
    SimulatedTerminal terminal(QString::fromStdString(address), kFaultScale,
                               QString::fromStdString(scenarios.path() + "/case.ini"));
    EXPECT_TRUE(terminal.ready()) << terminal.output().toStdString();
    if (!terminal.ready()) return 0;
    // The terminal is asked only while the upgrader waits for nothing: the
    // question blocks the event loop.
    std::vector<std::string> pending = d.chain;
    if (pending.front() == "restore") offerOlderBackup();
    Upgrader* u = nullptr;
    for (int n = 0;; ++n) {
      if (pending.empty()) {
        expectSafe(terminal, "when every item is done");
        return n;
      }
      if (n > kMaxRetries) {
        ADD_FAILURE() << "not done after " << kMaxRetries << " retries\n"
                      << shownText() << logTail(400);
        return n;
      }
      const std::string when = n == 0 ? "the first attempt" : "retry " + std::to_string(n);
      if (!u || u->st.bUnloaded) u = &launch(address, kFaultScale);
      if (addressMoved) setAddress(*u, address);
      addressMoved = false;
      // Usable: idle with the terminal's version shown (in BOOTROM mode,
      // between the PIC passes, there is no release information).
      const auto usableNow = [&] {
        const std::string v = u->win.text("txtCurrentSoftwareVersion");
        return idle() && !u->st.bUnloaded && !v.empty() && v != "UNKNOWN";
      };
      bool usable = connected(*u) || usableNow();
      // The version or the release information a silent reply left unknown.
      if (WaitFor([&] { return idle(); }, 20000) && (!usable || n > 0) &&
          u->win.enabled("cmdGetSoftwareVersion")) {
        u->click("cmdGetSoftwareVersion");
        usable = connected(*u) || usableNow();
      }
      if (!usable) {
        ADD_FAILURE() << "the window is not usable before " << when << "\n"
                      << shownText() << logTail();
        return n;
      }
      p.fakeUi.messages.clear();
      if (pending.front() == "restore")
        restore(*u);
      else
        attempt(*u, pending);
      if (n == 0 && d.action != "none") {
        WaitFor([&] { return u->st.bUnloaded; }, d.actionMs);
        if (!u->st.bUnloaded) act(*u, d.action);
      }
      const bool ended = WaitFor([&] { return idle(); }, kAttemptMs);
      hits = 0;
      for (const auto& e : Journal(terminal))
        hits += e["event"] == "fault" || (e["event"] == "zing" && e["fault"].isString()) ||
                (e["event"] == "ftp_refused" && e["reason"] == "target exists");
      if (!ended) {
        ADD_FAILURE() << when << " did not end\n" << shownText() << logTail();
        return n;
      }
      const std::vector<UpgradeItemResult> results =
          u->st.bUnloaded ? std::vector<UpgradeItemResult>{} : u->seq.itemResults();
      for (const auto& item : d.chain) {
        bool reported = false;
        for (const auto& r : results)
          reported |= (item == "restore" ? r.restore : r.item == ItemOf(item)) &&
                      r.outcome == ItemOutcome::Done;
        EXPECT_FALSE(reported && !TerminalShows(terminal, item))
            << item << " reported done after " << when << " but the terminal does not show it\n"
            << shownText() << logTail();
      }
      expectSafe(terminal, "after " + when, true, u->st.bUnloaded,
                 std::count(d.chain.begin(), d.chain.end(), "pic") > 0);
      if (HasFailure()) return n;
      pending.clear();
      for (const auto& item : d.chain)
        if (!TerminalShows(terminal, item)) pending.push_back(item);
    }
  }

  // Every case prints one line; scripts/soak makes its table of them.
  void play(unsigned seed, const std::string& address) {
    const Draw d = DrawCase(seed);
    const int attempts = run(d, address);
    std::cout << "campaign: " << d.text() << " hits=" << hits << " attempts=" << attempts
              << " result=" << (HasFailure() ? "VIOLATION" : "ok") << std::endl;
  }

  bool addressMoved = false;
  int hits = 0;  // the faults the terminal played, by its journal
};

// A fixed set for every test run, each on an address of its own.
class CampaignSeed : public Campaign, public ::testing::WithParamInterface<unsigned> {};
const unsigned kFixedSeeds[] = {1002, 1004, 1010, 1011, 1014, 1027, 1035, 1135};

TEST_P(CampaignSeed, KeepsTheInvariants) {
  for (size_t i = 0; i < std::size(kFixedSeeds); ++i)
    if (kFixedSeeds[i] == GetParam()) play(GetParam(), "127.0.5." + std::to_string(i + 1));
}
INSTANTIATE_TEST_SUITE_P(Fixed, CampaignSeed, ::testing::ValuesIn(kFixedSeeds),
                         [](const auto& info) { return "Seed" + std::to_string(info.param); });

// One seed from ORVEX_CAMPAIGN_SEED, as scripts/soak runs them, on
// ORVEX_CAMPAIGN_ADDRESS (default 127.0.6.1).
TEST_F(Campaign, SeedFromTheEnvironment) {
  const char* seed = getenv("ORVEX_CAMPAIGN_SEED");
  if (!seed) GTEST_SKIP() << "ORVEX_CAMPAIGN_SEED is not set";
  const std::string address =
      getenv("ORVEX_CAMPAIGN_ADDRESS") ? getenv("ORVEX_CAMPAIGN_ADDRESS") : "127.0.6.1";
  ASSERT_EQ(address.rfind("127.", 0), 0u) << "only loopback: " << address;
  play(static_cast<unsigned>(std::stoul(seed)), address);
}

}  // namespace
}  // namespace orvex::test
