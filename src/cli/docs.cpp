// The --help text, the manual page and the bash completion, all three made
// from the command table.

#include "app/version.h"
#include "cli/command.h"

namespace orvex::cli {

namespace {

constexpr qsizetype kWidth = 79;

const char* const kSummary = "upgrade an ORVEX satellite IP modem without a window";

const char* const kDescription =
    "orvex-upgrade brings a portable ORVEX satellite IP modem (the terminal) up to the release "
    "in a folder: main software, antenna firmware (ATB/HPA), IB firmware and PIC firmware. It is "
    "the upgrader of the window orvex-upgrader without the window, for scripts, depots and "
    "remote sessions: the same steps, the same checks, the same log in logs/ and the same "
    "backups in Backup/. An item counts as done only when the terminal shows its new version "
    "after its restart.";

const char* const kQuestions =
    "The upgrader's questions are answered Yes only with --yes. Without it they are asked on "
    "stdin when stdin is a terminal; otherwise the question is printed and the program exits "
    "5 before anything that changes the terminal is sent. restore, reset and factory-defaults "
    "need --yes in the same way. Information, warning and error messages are printed on stderr "
    "with their title and text. The first SIGINT or SIGTERM during an upgrade asks \"close "
    "anyway?\" on a terminal (never answered by --yes); without one it prints \"An upgrade is "
    "in progress; send the signal again to abandon it\" and the upgrade goes on. A second "
    "signal ends the program at once. SIGHUP during an upgrade and SIGPIPE are ignored. Only "
    "one upgrader, window or command line, works with a terminal address at a time.";

// The words of a text in lines of at most `width` characters, each after
// `indent` blanks.
QStringList Wrap(const QString& text, qsizetype indent, qsizetype width = kWidth) {
  QStringList lines;
  QString line;
  for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    if (!line.isEmpty() && indent + line.size() + 1 + word.size() > width) {
      lines << QString(indent, QLatin1Char(' ')) + line;
      line.clear();
    }
    line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
  }
  if (!line.isEmpty()) lines << QString(indent, QLatin1Char(' ')) + line;
  return lines;
}

// "  term      description", the description wrapped at column `column`.
QString Entry(const QString& term, const QString& description, qsizetype column) {
  QStringList lines = Wrap(description, column);
  const QString head = QStringLiteral("  ") + term;
  if (lines.isEmpty()) return head + QLatin1Char('\n');
  if (head.size() + 1 < column)
    lines[0] = head + lines[0].mid(head.size());
  else
    lines.prepend(head);
  return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString OptionTerm(const QCommandLineOption& o) {
  QStringList names;
  for (const QString& n : o.names())
    names << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
  QString term = names.join(QStringLiteral(", "));
  if (!o.valueName().isEmpty()) term += QLatin1Char(' ') + o.valueName();
  return term;
}

QString Roff(QString s) {
  s.replace(QLatin1Char('\\'), QLatin1String("\\e"));
  s.replace(QLatin1Char('-'), QLatin1String("\\-"));
  if (s.startsWith(QLatin1Char('.')) || s.startsWith(QLatin1Char('\''))) s.prepend("\\&");
  return s;
}

QString RoffSynopsis(const Command& c) {
  QString s = QStringLiteral("\\fB%1\\fR").arg(Roff(c.name()));
  for (const Argument& a : c.arguments())
    s += a.optional ? QStringLiteral(" [\\fI%1\\fR]").arg(Roff(a.name))
                    : QStringLiteral(" \\fI%1\\fR").arg(Roff(a.name));
  return s;
}

struct Example {
  const char* what;
  const char* command;
};

const Example kExamples[] = {
    {"The terminal's and the release's versions:",
     "orvex-upgrade --release /srv/release-5.1.0.12 versions"},
    {"Every item of the release, without questions:",
     "orvex-upgrade --address 192.168.128.100 --yes upgrade all"},
    {"The result of each item as JSON:",
     "orvex-upgrade --yes --json upgrade all | jq -c 'select(.event == \"item\")'"},
};

}  // namespace

QString HelpText() {
  QString out = QStringLiteral("Usage: %1 [OPTIONS] COMMAND [ARGS]\n").arg(kProgram);
  out += QStringLiteral("       %1 --help | --version\n\n").arg(kProgram);
  out += Wrap(QString::fromLatin1(kDescription), 0).join(QLatin1Char('\n')) + "\n\n";
  out += QStringLiteral("Commands:\n");
  for (const auto& c : Commands()) {
    out += Entry(c->synopsis(), c->description(), 26);
    for (const Argument& a : c->arguments())
      out += Entry(QStringLiteral("  ") + a.name, a.description, 26);
  }
  out += QStringLiteral("\nOptions:\n");
  const Options options;
  for (const QCommandLineOption& o : options.documented())
    out += Entry(OptionTerm(o), o.description(), 26);
  out += QLatin1Char('\n') + Wrap(QString::fromLatin1(kQuestions), 0).join(QLatin1Char('\n'));
  out += QStringLiteral("\n\nExit codes:\n");
  for (const ExitCodeDoc& e : kExitCodeDocs)
    out += Entry(QString::number(e.code), QString::fromLatin1(e.meaning), 8);
  out += QStringLiteral("\nEnvironment:\n");
  for (const EnvironmentDoc& e : kEnvironmentDocs)
    out += Entry(QString::fromLatin1(e.name), QString::fromLatin1(e.meaning), 26);
  out += QStringLiteral("\nExamples:\n");
  for (const Example& e : kExamples)
    out += QStringLiteral("  %1\n    %2\n")
               .arg(QString::fromLatin1(e.what), QString::fromLatin1(e.command));
  return out;
}

QString CommandHelpText(const Command& c) {
  QString out = QStringLiteral("Usage: %1 [OPTIONS] %2\n\n").arg(kProgram, c.synopsis());
  out += Wrap(c.description(), 0).join(QLatin1Char('\n')) + "\n";
  if (!c.arguments().isEmpty()) out += QStringLiteral("\nArguments:\n");
  for (const Argument& a : c.arguments()) out += Entry(a.name, a.description, 26);
  out += QStringLiteral("\nOptions:\n");
  const Options options;
  for (const QCommandLineOption& o : options.documented())
    out += Entry(OptionTerm(o), o.description(), 26);
  out += QStringLiteral("\nExit codes:\n");
  for (const ExitCodeDoc& e : kExitCodeDocs)
    out += Entry(QString::number(e.code), QString::fromLatin1(e.meaning), 8);
  return out;
}

QString ManPage() {
  QString m;
  m += QStringLiteral(".TH ORVEX\\-UPGRADE 1 \"\" \"%1 %2\" \"User Commands\"\n")
           .arg(kProgram, QString::fromLatin1(kVersion));
  m += QStringLiteral(".SH NAME\n%1 \\- %2\n").arg(Roff(kProgram), Roff(kSummary));
  m += QStringLiteral(".SH SYNOPSIS\n.B %1\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGS\\fR]\n")
           .arg(Roff(kProgram));
  m += QStringLiteral(".br\n.B %1\n\\-\\-help | \\-\\-version\n").arg(Roff(kProgram));
  m += QStringLiteral(".SH DESCRIPTION\n%1\n.PP\n%2\n")
           .arg(Roff(QString::fromLatin1(kDescription)), Roff(QString::fromLatin1(kQuestions)));
  m += QStringLiteral(".SH COMMANDS\n");
  for (const auto& c : Commands()) {
    m += QStringLiteral(".TP\n%1\n%2\n").arg(RoffSynopsis(*c), Roff(c->description()));
    for (const Argument& a : c->arguments())
      m += QStringLiteral(".RS\n.TP\n\\fI%1\\fR\n%2\n.RE\n").arg(Roff(a.name), Roff(a.description));
  }
  m += QStringLiteral(".SH OPTIONS\n");
  const Options options;
  for (const QCommandLineOption& o : options.documented()) {
    QStringList names;
    for (const QString& n : o.names())
      names << QStringLiteral("\\fB%1\\fR")
                   .arg(Roff((n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n));
    QString term = names.join(QStringLiteral(", "));
    if (!o.valueName().isEmpty()) term += QStringLiteral(" \\fI%1\\fR").arg(Roff(o.valueName()));
    m += QStringLiteral(".TP\n%1\n%2\n").arg(term, Roff(o.description()));
  }
  m += QStringLiteral(".SH EXIT STATUS\n");
  for (const ExitCodeDoc& e : kExitCodeDocs)
    m += QStringLiteral(".TP\n.B %1\n%2\n").arg(e.code).arg(Roff(QString::fromLatin1(e.meaning)));
  m += QStringLiteral(".SH ENVIRONMENT\n");
  for (const EnvironmentDoc& e : kEnvironmentDocs)
    m += QStringLiteral(".TP\n.B %1\n%2\n")
             .arg(Roff(QString::fromLatin1(e.name)), Roff(QString::fromLatin1(e.meaning)));
  m += QStringLiteral(".SH EXAMPLES\n");
  for (const Example& e : kExamples)
    m += QStringLiteral("%1\n.PP\n.RS\n.nf\n%2\n.fi\n.RE\n.PP\n")
             .arg(Roff(QString::fromLatin1(e.what)), Roff(QString::fromLatin1(e.command)));
  m += QStringLiteral(".SH SEE ALSO\n.BR orvex\\-upgrader (1)\n");
  return m;
}

QString BashCompletion() {
  const Options options;
  QStringList optionWords, valueOptions, dirOptions, fileOptions;
  for (const QCommandLineOption& o : options.documented())
    for (const QString& n : o.names()) {
      const QString word = (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
      optionWords << word;
      if (!o.valueName().isEmpty()) valueOptions << word;
      if (o.valueName() == QLatin1String("DIR")) dirOptions << word;
      if (o.valueName() == QLatin1String("FILE")) fileOptions << word;
    }
  QStringList commandWords;
  QString cases;
  for (const auto& c : Commands()) {
    commandWords << c->name();
    for (const Argument& a : c->arguments()) {
      if (a.completion == Argument::Completion::Words)
        cases += QStringLiteral("    %1) COMPREPLY=($(compgen -W \"%2\" -- \"$cur\")) ;;\n")
                     .arg(c->name(), c->words().join(QLatin1Char(' ')));
      else if (a.completion == Argument::Completion::BackupVersions)
        cases += QStringLiteral(
                     // Only names of the version pattern the restore accepts;
                     // a name from the folder never reaches compgen or eval.
                     "    %1)\n"
                     "      local f v re='^[Oo][Rr][Vv][Ee][Xx]_([A-Za-z0-9_]+)\\.[Bb][Ii][Nn]$'\n"
                     "      COMPREPLY=()\n"
                     "      for f in \"${release:-.}\"/Backup/*; do\n"
                     "        [[ -f $f && ${f##*/} =~ $re ]] || continue\n"
                     "        v=${BASH_REMATCH[1]}; v=${v//_/.}\n"
                     "        [[ $v == \"$cur\"* ]] && COMPREPLY+=(\"$v\")\n"
                     "      done ;;\n")
                     .arg(c->name());
    }
  }
  QString s;
  s += QStringLiteral("# bash completion for %1 (written by %1 --bash-completion)\n").arg(kProgram);
  s += QStringLiteral("_orvex_upgrade() {\n");
  s += QStringLiteral("  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n");
  s += QStringLiteral("  case $prev in\n");
  s += QStringLiteral("    %1) COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n")
           .arg(dirOptions.join(QLatin1Char('|')));
  s += QStringLiteral("    %1) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n")
           .arg(fileOptions.join(QLatin1Char('|')));
  s += QStringLiteral("    %1) return ;;\n").arg(valueOptions.join(QLatin1Char('|')));
  s += QStringLiteral("  esac\n");
  s += QStringLiteral("  local i cmd= release=\n");
  s += QStringLiteral("  for ((i = 1; i < COMP_CWORD; i++)); do\n");
  s += QStringLiteral("    case ${COMP_WORDS[i]} in\n");
  s += QStringLiteral("      %1) release=${COMP_WORDS[i+1]}; ((i++)) ;;\n")
           .arg(dirOptions.join(QLatin1Char('|')));
  s += QStringLiteral("      %1) ((i++)) ;;\n").arg(valueOptions.join(QLatin1Char('|')));
  s += QStringLiteral("      -*) ;;\n");
  s += QStringLiteral("      *) [[ -z $cmd ]] && cmd=${COMP_WORDS[i]} ;;\n");
  s += QStringLiteral("    esac\n  done\n");
  s += QStringLiteral("  if [[ $cur == -* ]]; then\n");
  s += QStringLiteral("    COMPREPLY=($(compgen -W \"%1\" -- \"$cur\")); return\n")
           .arg(optionWords.join(QLatin1Char(' ')));
  s += QStringLiteral("  fi\n");
  s += QStringLiteral("  case $cmd in\n");
  s += QStringLiteral("    \"\") COMPREPLY=($(compgen -W \"%1\" -- \"$cur\")) ;;\n")
           .arg(commandWords.join(QLatin1Char(' ')));
  s += cases;
  s += QStringLiteral("  esac\n}\n");
  s += QStringLiteral("complete -F _orvex_upgrade %1\n").arg(kProgram);
  return s;
}

}  // namespace orvex::cli
