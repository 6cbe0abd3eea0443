#include "cli/command.h"

namespace orvex::cli {

const ExitCodeDoc kExitCodeDocs[10] = {
    {kExitDone, "every item asked for is done and verified on the terminal"},
    {kExitFailed,
     "an item failed or could not be verified, also after another item was done (the item "
     "lines say which were done); reset and factory-defaults: the terminal did not go down and "
     "come back"},
    {kExitNothingToDo, "nothing to do: every item asked for is at the release's version"},
    {kExitUnreachable, "the terminal could not be reached, or another upgrader is working with it"},
    {kExitRefused,
     "refused by a rule before anything on the terminal changed: release series, antenna class, "
     "battery present, conflicting release files (two ATB, HPA or GLO files), or a restore of a "
     "version that is not in Backup/"},
    {kExitConfirmationNeeded,
     "not confirmed: no --yes and no terminal to ask on, or the answer was No; nothing that "
     "changes the terminal has been sent"},
    {kExitUsage, "wrong usage (with --json, a result line says why)"},
    {kExitHangUp, "ended by SIGHUP while no upgrade was running (during one it is ignored)"},
    {kExitInterrupted, "ended by SIGINT (a second one during an upgrade)"},
    {kExitTerminated, "ended by SIGTERM (a second one during an upgrade)"},
};

const EnvironmentDoc kEnvironmentDocs[3] = {
    {"ORVEX_MODEM_ADDRESS",
     "the terminal address to use when --address is not given, instead of the default "
     "192.168.128.100 (for a simulated terminal on 127.0.0.x)"},
    {"ORVEX_TIME_SCALE",
     "a positive number (at most 1000) that multiplies every timer interval (rehearsals against "
     "a simulated terminal)"},
    {"ORVEX_LOOPBACK_ONLY", "1 refuses every connection outside 127.0.0.0/8"},
};

Command::Command(QString name, QString description, QList<Argument> arguments, QStringList words)
    : name_(std::move(name)),
      description_(std::move(description)),
      arguments_(std::move(arguments)),
      words_(std::move(words)) {}

QString Command::synopsis() const {
  QString s = name_;
  for (const Argument& a : arguments_)
    s += a.optional ? QStringLiteral(" [%1]").arg(a.name) : QStringLiteral(" %1").arg(a.name);
  return s;
}

QString Command::check(const QStringList& args) const {
  qsizetype least = 0, most = 0;
  for (const Argument& a : arguments_) {
    const bool many = a.name.endsWith(QLatin1String("..."));
    if (!a.optional) ++least;
    most = many || most < 0 ? -1 : most + 1;
  }
  if (args.size() < least)
    return QStringLiteral("%1: missing %2").arg(name_, arguments_.value(args.size()).name);
  if (most >= 0 && args.size() > most)
    return QStringLiteral("%1: unexpected argument \"%2\"").arg(name_, args.value(most));
  return {};
}

Options::Options()
    : address(QStringList{QStringLiteral("a"), QStringLiteral("address")},
              QStringLiteral("The terminal's address (default: the window's, 192.168.128.100, "
                             "or ORVEX_MODEM_ADDRESS)."),
              QStringLiteral("ADDR")),
      release(QStringList{QStringLiteral("r"), QStringLiteral("release")},
              QStringLiteral("The release folder, the home folder of the upgrader: exactly one "
                             "orvex_<version>.bin, the firmware files, logs/ and Backup/ "
                             "(default: the current folder)."),
              QStringLiteral("DIR")),
      history(QStringLiteral("history"),
              QStringLiteral("The upgrade history file (default: "
                             "$XDG_DATA_HOME/orvex-upgrader/history.db, or "
                             "~/.local/share/orvex-upgrader/history.db)."),
              QStringLiteral("FILE")),
      yes(QStringList{QStringLiteral("y"), QStringLiteral("yes"), QStringLiteral("assume-yes")},
          QStringLiteral("Answer Yes to every question of the upgrader, and confirm restore, "
                         "reset and factory-defaults; never to \"close anyway?\" after a "
                         "signal.")),
      reinstall(QStringLiteral("reinstall"),
                QStringLiteral("upgrade: also the items asked for that are at the release's "
                               "version already.")),
      json(QStringLiteral("json"),
           QStringLiteral("Write one JSON object per line on stdout, and nothing else there.")),
      quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")},
            QStringLiteral("Print only errors and the final lines.")),
      help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
           QStringLiteral("Show this help and exit.")),
      version(QStringList{QStringLiteral("V"), QStringLiteral("version")},
              QStringLiteral("Show the version and exit.")),
      manPage(QStringLiteral("man-page"), QStringLiteral("Write the manual page.")),
      bashCompletion(QStringLiteral("bash-completion"),
                     QStringLiteral("Write the bash completion.")) {
  manPage.setFlags(QCommandLineOption::HiddenFromHelp);
  bashCompletion.setFlags(QCommandLineOption::HiddenFromHelp);
}

QList<QCommandLineOption> Options::documented() const {
  return {address, release, history, yes, reinstall, json, quiet, help, version};
}

QList<QCommandLineOption> Options::all() const {
  return documented() + QList<QCommandLineOption>{manPage, bashCompletion};
}

const Command* FindCommand(const QString& name) {
  for (const auto& c : Commands())
    if (c->name() == name) return c.get();
  return nullptr;
}

}  // namespace orvex::cli
