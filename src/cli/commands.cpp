// The commands of orvex-upgrade. Each drives the engine as the technician
// drives the window: it sets the window model's controls, clicks them, and
// waits until the engine is idle; then it reports what the engine recorded.
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <algorithm>

#include "cli/command.h"
#include "cli/session.h"
#include "upgrade/sequencer.h"
#include "zing/zing_channel.h"

namespace orvex::cli {

namespace {

constexpr const auto& kItems = kUpgradeItems;

// The item words in the order a chain runs them, and "all".
QStringList ItemWords() {
  QStringList words;
  for (UpgradeItem item : kItems) words << ItemWord(item);
  return words << QStringLiteral("all");
}

// "software, antenna, ib, pic"
QString ItemList() {
  QStringList words = ItemWords();
  words.removeLast();
  return words.join(QStringLiteral(", "));
}

QString RefusalReason(Refusal r) {
  return QStringLiteral("refused by the %1 rule").arg(QLatin1String(RefusalName(r)));
}

// restore, reset and factory defaults change the terminal without a
// question of the upgrader: without --yes or a Yes on stdin nothing is sent.
int NotConfirmed(Session& s) {
  return s.finish(kExitConfirmationNeeded,
                  QStringLiteral("not confirmed: run with --yes, or on a terminal to answer the "
                                 "question; nothing was sent"));
}

// --------------------------------------------------------------- versions

class VersionsCommand : public Command {
 public:
  VersionsCommand()
      : Command(QStringLiteral("versions"),
                QStringLiteral("Show the terminal's and the release's versions side by side, item "
                               "by item.")) {}

  int run(Session& s, const QStringList&) const override {
    Upgrader& up = s.up();
    for (UpgradeItem item : kItems)
      s.out().version(ItemWord(item), Latin1(up.seq.TerminalVersionOf(item)),
                      Latin1(up.seq.NewVersionOf(item)), up.seq.ItemDiffers(item),
                      up.seq.ItemOffered(item));
    return s.finish(kExitDone, {});
  }
};

// ---------------------------------------------------------------- upgrade

class UpgradeCommand : public Command {
 public:
  UpgradeCommand()
      : Command(
            QStringLiteral("upgrade"),
            QStringLiteral("Upgrade the items, in the order %1, across the terminal's restarts.")
                .arg(ItemList()),
            {{QStringLiteral("ITEM..."),
              QStringLiteral("%1, or all (every item the release folder has firmware for); "
                             "without ITEM, every item whose release version differs from "
                             "the terminal's.")
                  .arg(ItemList()),
              true, Argument::Completion::Words}},
            ItemWords()) {}

  QString check(const QStringList& args) const override {
    for (const QString& a : args)
      if (!words().contains(a))
        return QStringLiteral("upgrade: unknown item \"%1\" (%2)")
            .arg(a, words().join(QStringLiteral(", ")));
    return {};
  }

  int run(Session& s, const QStringList& args) const override {
    Upgrader& up = s.up();
    // No ITEM: the items whose version differs; "all": every item the
    // release folder has firmware for, those at its version said to be so.
    const bool bare = args.isEmpty();
    const bool all = bare || args.contains(QLatin1String("all"));
    std::vector<UpgradeItem> wanted;
    for (UpgradeItem item : kItems)
      if (all || args.contains(ItemWord(item))) wanted.push_back(item);
    const auto choices = up.seq.ChooseItems(wanted, s.settings().reinstall);

    std::vector<UpgradeItem> asked;
    for (const Sequencer::ItemChoice& c : choices) {
      const QString word = ItemWord(c.item);
      if (c.choice == Sequencer::Choice::NotOffered) {
        // Two ATB, HPA or GLO files leave their item without a file: the
        // release folder is refused before anything is sent.
        if (s.refusal() == Refusal::ReleaseFiles)
          return s.finish(kExitRefused, RefusalReason(Refusal::ReleaseFiles));
        if (!all)
          return s.finish(kExitRefused,
                          QStringLiteral("refused: %1 cannot be upgraded: the release folder "
                                         "has no usable file for it, or the terminal does not "
                                         "take it")
                              .arg(word));
      } else if (c.choice == Sequencer::Choice::AtNewVersion) {
        if (bare) continue;
        const QString version = Latin1(up.seq.TerminalVersionOf(c.item));
        s.out().note(QStringLiteral("%1 is at the release's version %2: skipped (--reinstall "
                                    "installs it again)")
                         .arg(word, version));
        s.out().item(word, version, version, Latin1(up.seq.NewVersionOf(c.item)),
                     QStringLiteral("skipped"));
      } else {
        asked.push_back(c.item);
      }
    }
    if (asked.empty())
      return s.finish(kExitNothingToDo,
                      QStringLiteral("nothing to do: every item is at the release's version"));

    for (UpgradeItem item : kItems)
      up.win.setValue(UpgradeItemCheckBox(item),
                      std::count(asked.begin(), asked.end(), item) ? 1 : 0);
    s.setAskedItems(asked);
    s.openHistory();
    up.click("cmdUpgrade");
    if (s.ui().confirmationNeeded())
      return s.finish(kExitConfirmationNeeded,
                      QStringLiteral("confirmation needed: run with --yes, or on a terminal to "
                                     "answer the question"));
    s.waitIdle(s.upgradeBoundMs(), QStringLiteral("the end of the upgrade"));
    s.reportItems(true);
    // A rule that refused before any item was done changed nothing.
    if (s.refusal() != Refusal::None && !s.anyItemDone())
      return s.finish(kExitRefused, RefusalReason(s.refusal()));
    if (!s.allItemsDone())
      return s.finish(kExitFailed, QStringLiteral("not every item was done and verified"));
    return s.finish(kExitDone, {});
  }
};

// ---------------------------------------------------------------- restore

class RestoreCommand : public Command {
 public:
  RestoreCommand()
      : Command(QStringLiteral("restore"),
                QStringLiteral("Put an older software image from the release folder's Backup "
                               "folder back on the terminal."),
                {{QStringLiteral("VERSION"),
                  QStringLiteral("the version of the backup, as 5.1.0.9 or 5_1_0_9."), false,
                  Argument::Completion::BackupVersions}}) {}

  int run(Session& s, const QStringList& args) const override {
    Upgrader& up = s.up();
    const QString wanted = QString(args.value(0)).replace(QLatin1Char('_'), QLatin1Char('.'));
    const std::string before = up.win.text("txtCurrentSoftwareVersion");
    bool found = false, confirmed = false;
    QStringList offered;
    // The restore dialog: the version is chosen from its list, as the
    // technician chooses it.
    s.ui().setModalHandler([&](const std::string& form) {
      if (form != "frmRestore") return;
      const Control& list = up.win.at("lstOldSoftwareVersions");
      for (size_t i = 0; i < list.items.size(); ++i) {
        offered << Latin1(list.items[i]);
        if (Latin1(list.items[i]) == wanted) {
          up.win.setListIndex("lstOldSoftwareVersions", static_cast<int>(i));
          found = true;
        }
      }
      // The version chosen, the technician is asked before it is put.
      confirmed =
          found && s.ui().confirm(kProgramTitle, "Restore software " + wanted.toStdString() +
                                                     " from the Backup folder on the terminal?");
      // The engine records the restore in the history, as it does an upgrade.
      if (confirmed) s.openHistory();
      up.click(confirmed ? "cmdOkRestore" : "cmdCancelRestore");
    });
    up.click("cmdRestore");
    s.ui().setModalHandler(nullptr);
    if (!found)
      return s.finish(kExitRefused,
                      QStringLiteral("no backup of version %1 in %2 (there is: %3)")
                          .arg(wanted, QDir(s.settings().release).filePath("Backup"),
                               offered.isEmpty() ? QStringLiteral("none") : offered.join(", ")));
    if (!confirmed) return NotConfirmed(s);
    if (s.refusal() != Refusal::None) return s.finish(kExitRefused, RefusalReason(s.refusal()));
    s.waitIdle(s.upgradeBoundMs(), QStringLiteral("the end of the restore"));
    // The engine judged the restore by the version after the restart.
    const auto& results = up.seq.itemResults();
    const UpgradeItemResult* r =
        !results.empty() && results.back().restore ? &results.back() : nullptr;
    const bool done = r && r->outcome == ItemOutcome::Done;
    const QString after = Latin1(r ? r->after : up.win.text("txtCurrentSoftwareVersion"));
    const ItemOutcome outcome =
        !r || r->outcome == ItemOutcome::Running ? ItemOutcome::Failed : r->outcome;
    s.out().item(ItemWord(UpgradeItem::Software), Latin1(r ? r->before : before), after, wanted,
                 Latin1(ItemOutcomeName(outcome)));
    return done ? s.finish(kExitDone, {})
                : s.finish(kExitFailed,
                           QStringLiteral("the terminal does not show version %1 after the restore")
                               .arg(wanted));
  }
};

// ------------------------------------------------------------------ tools

// Reset and factory defaults end with the terminal's restart: done when the
// engine saw it go down after the reset request and answer again.
class RestartingToolCommand : public Command {
 public:
  RestartingToolCommand(QString name, QString description, const char* control,
                        std::string question)
      : Command(std::move(name), std::move(description)),
        control_(control),
        question_(std::move(question)) {}

  int run(Session& s, const QStringList&) const override {
    if (!s.ui().confirm(kProgramTitle, question_)) return NotConfirmed(s);
    s.up().click(control_);
    s.waitIdle(s.upgradeBoundMs(), QStringLiteral("the terminal's restart"));
    using Outcome = ZingChannel::ResetOutcome;
    switch (s.up().zing.ResetRequestOutcome()) {
      case Outcome::CameBack: break;
      case Outcome::StayedUp:
        return s.finish(kExitFailed,
                        QStringLiteral("the terminal did not go down after the reset request: it "
                                       "did not restart"));
      case Outcome::None:
      case Outcome::Asked:
        return s.finish(kExitFailed,
                        QStringLiteral("the reset request did not reach the terminal"));
      case Outcome::Sent:
      case Outcome::WentDown:
        return s.finish(kExitFailed,
                        QStringLiteral("the terminal did not answer after its restart"));
    }
    s.out().note(QStringLiteral("The terminal runs software %1.")
                     .arg(Latin1(s.up().win.text("txtCurrentSoftwareVersion"))));
    return s.finish(kExitDone, {});
  }

 private:
  const char* control_;
  std::string question_;
};

class FetchLogCommand : public Command {
 public:
  FetchLogCommand()
      : Command(QStringLiteral("fetch-log"),
                QStringLiteral("Download the terminal's system log into Backup/sylog.log.")) {}

  int run(Session& s, const QStringList&) const override {
    Upgrader& up = s.up();
    // The window's hidden command: Ctrl+L, then Ctrl+G.
    up.keyPress(12);
    up.keyPress(7);
    s.waitIdle(s.queryBoundMs(), QStringLiteral("the terminal's log"));
    const QString path = QDir(s.settings().release).filePath(QStringLiteral("Backup/sylog.log"));
    if (!QFileInfo(path).isFile())
      return s.finish(kExitFailed, QStringLiteral("the terminal's log could not be fetched"));
    s.out().note(path);
    return s.finish(kExitDone, {});
  }
};

// ---------------------------------------------------------------- history

class HistoryCommand : public Command {
 public:
  HistoryCommand()
      : Command(QStringLiteral("history"),
                QStringLiteral("List the upgrade history, newest first: one line per item of "
                               "every upgrade, with its time (UTC), the terminal's address and "
                               "antenna serial number, the versions before and after, the "
                               "result, the log file and the front-end; with --address, that "
                               "terminal's only. Needs no terminal.")) {}

  bool needsTerminal() const override { return false; }

  int run(Session& s, const QStringList&) const override {
    SqlHistory history;
    const QString path = s.historyPath();
    if (!history.openExisting(path)) {
      if (history.error().isEmpty()) return s.finish(kExitDone, {});  // no upgrade yet
      return s.finish(kExitFailed,
                      QStringLiteral("the upgrade history %1: %2").arg(path, history.error()));
    }
    const std::vector<HistoryRow> rows = history.rows(s.settings().address);
    if (!history.error().isEmpty())
      return s.finish(kExitFailed,
                      QStringLiteral("the upgrade history %1: %2").arg(path, history.error()));
    for (const HistoryRow& r : rows) {
      QJsonObject o{{"time", Latin1(r.time)},     {"address", Latin1(r.address)},
                    {"item", Latin1(r.item)},     {"before", Latin1(r.before)},
                    {"after", Latin1(r.after)},   {"new", Latin1(r.expected)},
                    {"result", Latin1(r.result)}, {"front_end", Latin1(r.frontEnd)}};
      if (!r.antennaSerial.empty()) o.insert("antenna_serial", Latin1(r.antennaSerial));
      if (!r.logFile.empty()) o.insert("log", Latin1(r.logFile));
      s.out().historyRow(o);
    }
    return s.finish(kExitDone, {});
  }
};

}  // namespace

const std::vector<std::unique_ptr<Command>>& Commands() {
  static const std::vector<std::unique_ptr<Command>> commands = [] {
    std::vector<std::unique_ptr<Command>> c;
    c.push_back(std::make_unique<VersionsCommand>());
    c.push_back(std::make_unique<UpgradeCommand>());
    c.push_back(std::make_unique<RestoreCommand>());
    c.push_back(std::make_unique<RestartingToolCommand>(
        QStringLiteral("reset"), QStringLiteral("Restart the terminal; needs --yes."),
        "cmdResetModem", "Restart the Satellite IP Modem now?"));
    c.push_back(std::make_unique<RestartingToolCommand>(
        QStringLiteral("factory-defaults"),
        QStringLiteral("Restore the terminal's factory defaults; it restarts. Needs --yes."),
        "cmdRestoreDefaults", "Restore the factory defaults of the Satellite IP Modem now?"));
    c.push_back(std::make_unique<FetchLogCommand>());
    c.push_back(std::make_unique<HistoryCommand>());
    return c;
  }();
  return commands;
}

}  // namespace orvex::cli
