// The command table of orvex-upgrade: one small class per command on a
// shared base that holds its name, description and positional arguments;
// the global options and the exit codes. The same table gives the --help
// text, the manual page and the bash completion, so they cannot drift.
#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace orvex::cli {

class Session;

// The documented exit codes; no other outcome exits 0.
enum Exit : int {
  kExitDone = 0,
  kExitFailed = 1,
  kExitNothingToDo = 2,
  kExitUnreachable = 3,
  kExitRefused = 4,
  kExitConfirmationNeeded = 5,
  kExitUsage = 64,
  kExitHangUp = 129,
  kExitInterrupted = 130,
  kExitTerminated = 143,
};

struct ExitCodeDoc {
  int code;
  const char* meaning;
};
extern const ExitCodeDoc kExitCodeDocs[10];

struct Argument {
  // What the completion offers for the argument.
  enum class Completion { None, Words, BackupVersions };
  QString name;         // as the usage shows it: "ITEM...", "VERSION"
  QString description;  // one sentence
  bool optional = false;
  Completion completion = Completion::None;
};

class Command {
 public:
  Command(QString name, QString description, QList<Argument> arguments = {},
          QStringList words = {});
  virtual ~Command() = default;

  const QString& name() const { return name_; }
  const QString& description() const { return description_; }
  const QList<Argument>& arguments() const { return arguments_; }
  // The words the completion offers for the arguments.
  const QStringList& words() const { return words_; }
  // "upgrade [ITEM...]"
  QString synopsis() const;

  // An empty text when the arguments fit the command, else what is wrong.
  virtual QString check(const QStringList& args) const;
  // The command talks to the terminal: the session is started first.
  virtual bool needsTerminal() const { return true; }
  // Runs the command on a started session (or, for a command that needs no
  // terminal, one that was not started) and returns the exit code.
  virtual int run(Session& session, const QStringList& args) const = 0;

 private:
  QString name_, description_;
  QList<Argument> arguments_;
  QStringList words_;
};

// Every command, in the order --help lists them.
const std::vector<std::unique_ptr<Command>>& Commands();
const Command* FindCommand(const QString& name);

// The global options, in the order --help lists them.
struct Options {
  Options();
  QCommandLineOption address, release, history, yes, reinstall, json, quiet, help, version;
  // For the build: the manual page and the completion, on stdout.
  QCommandLineOption manPage, bashCompletion;
  QList<QCommandLineOption> all() const;
  QList<QCommandLineOption> documented() const;
};

// The environment variables the program reads.
struct EnvironmentDoc {
  const char* name;
  const char* meaning;
};
extern const EnvironmentDoc kEnvironmentDocs[3];

// The texts made from the table.
QString HelpText();
QString ManPage();
QString BashCompletion();
// orvex-upgrade COMMAND --help
QString CommandHelpText(const Command& command);

inline constexpr const char* kProgram = "orvex-upgrade";

}  // namespace orvex::cli
