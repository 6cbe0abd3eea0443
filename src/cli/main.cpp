// orvex-upgrade: the upgrader on the command line, for scripts, depots and
// remote sessions. The same engine as the window, on Qt Core and Network.
#include <signal.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "app/version.h"
#include "cli/command.h"
#include "cli/session.h"

namespace {

void Print(std::FILE* f, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), f);
  std::fflush(f);
}

// Wrong usage: the reason on stderr, and with --json a result line.
struct Usage {
  bool json = false;
  QString address;
  int operator()(const QString& error) const {
    Print(stderr, QStringLiteral("%1: %2\nTry '%1 --help'.\n")
                      .arg(QLatin1String(orvex::cli::kProgram), error));
    if (json) {
      orvex::cli::Output::Mode mode;
      mode.json = true;
      orvex::cli::Output out(mode);
      out.setAddress(address);
      out.result(orvex::cli::kExitUsage, error);
    }
    return orvex::cli::kExitUsage;
  }
};

}  // namespace

int main(int argc, char** argv) {
  using namespace orvex::cli;
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(kProgram));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(orvex::kVersion));
  // A reader of stdout that goes away never stops an upgrade.
  ::signal(SIGPIPE, SIG_IGN);

  const Options options;
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
  parser.addOptions(options.all());
  parser.addPositionalArgument(QStringLiteral("command"), QString());
  Usage usage;
  usage.json = QCoreApplication::arguments().contains(QStringLiteral("--json"));
  if (!parser.parse(QCoreApplication::arguments())) return usage(parser.errorText());
  usage.address = parser.isSet(options.address)
                      ? parser.value(options.address).trimmed()
                      : qEnvironmentVariable("ORVEX_MODEM_ADDRESS").trimmed();

  if (parser.isSet(options.help)) {
    const Command* c = FindCommand(parser.positionalArguments().value(0));
    Print(stdout, c ? CommandHelpText(*c) : HelpText());
    return kExitDone;
  }
  if (parser.isSet(options.version)) {
    Print(stdout,
          QStringLiteral("%1 %2\n").arg(QLatin1String(kProgram), QLatin1String(orvex::kVersion)));
    return kExitDone;
  }
  if (parser.isSet(options.manPage)) {
    Print(stdout, ManPage());
    return kExitDone;
  }
  if (parser.isSet(options.bashCompletion)) {
    Print(stdout, BashCompletion());
    return kExitDone;
  }

  QStringList positional = parser.positionalArguments();
  if (positional.isEmpty()) return usage(QStringLiteral("no command given"));
  const QString name = positional.takeFirst();
  const Command* command = FindCommand(name);
  if (!command) return usage(QStringLiteral("unknown command \"%1\"").arg(name));
  if (const QString wrong = command->check(positional); !wrong.isEmpty()) return usage(wrong);
  if (parser.isSet(options.json) && parser.isSet(options.quiet))
    return usage(QStringLiteral("--json and --quiet do not go together"));

  Settings settings;
  settings.address = parser.value(options.address).trimmed();
  if (parser.isSet(options.address) && settings.address.isEmpty())
    return usage(QStringLiteral("--address needs an address"));
  const QString release =
      parser.isSet(options.release) ? parser.value(options.release) : QDir::currentPath();
  const QFileInfo releaseInfo(release);
  if (!releaseInfo.isDir())
    return usage(QStringLiteral("the release folder %1 is not a folder").arg(release));
  settings.release = releaseInfo.absoluteFilePath();
  settings.yes = parser.isSet(options.yes);
  settings.reinstall = parser.isSet(options.reinstall);
  settings.stdinIsTerminal = ::isatty(STDIN_FILENO) == 1;
  if (parser.isSet(options.history)) {
    if (parser.value(options.history).isEmpty())
      return usage(QStringLiteral("--history needs a file"));
    settings.history = QFileInfo(parser.value(options.history)).absoluteFilePath();
  }
  // The home folder is the current folder, as for the window: file names in
  // the upgrader's FTP commands are relative to it.
  if (!QDir::setCurrent(settings.release))
    return usage(QStringLiteral("cannot enter the release folder %1").arg(settings.release));

  Output::Mode mode;
  mode.json = parser.isSet(options.json);
  mode.quiet = parser.isSet(options.quiet);
  // A terminal that cannot move the cursor (TERM=dumb) gets no bar.
  mode.tty = ::isatty(STDOUT_FILENO) == 1 && qEnvironmentVariable("TERM") != QLatin1String("dumb");
  Output out(mode);
  Session session(settings, out);
  if (command->needsTerminal())
    if (const int code = session.start(); code != Session::kGoOn) return code;
  return command->run(session, positional);
}
