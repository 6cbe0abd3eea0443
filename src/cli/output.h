// What orvex-upgrade prints. Human output: the status line as it changes,
// a progress bar on a terminal, messages on stderr, one line per item at the
// end. JSON output: one object per line on stdout and nothing else there.
#pragma once

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <cstdio>
#include <string>

namespace orvex::cli {

// One report of a transfer, or of the IB flashing on the terminal.
struct Progress {
  QString step;       // "backup", "image", "restore", "antenna", "IB", "PIC", "log", "IB flash"
  QString item;       // "software", "antenna", "ib", "pic"; empty for the log
  QString direction;  // "upload", "download", "flash"
  QString name;       // the file
  long long bytes = 0;
  long long total = -1;        // -1: not known
  double rate = -1;            // bytes per second; -1: measured here
  long long secondsLeft = -1;  // -1: not known
  bool ended = false;          // the last report of this transfer
  bool completed = false;      // with ended: the transfer succeeded
};

class Output {
 public:
  struct Mode {
    bool json = false;
    bool quiet = false;
    bool tty = false;  // stdout is a terminal (and TERM is not dumb): the progress bar is drawn
  };
  explicit Output(Mode mode, std::FILE* out = stdout, std::FILE* err = stderr);

  const Mode& mode() const { return mode_; }
  // The terminal's address, in every JSON event; the log file, in the result.
  void setAddress(const QString& address) { address_ = address; }
  void setLogFile(const QString& path) { logFile_ = path; }

  // Texts from the engine are Latin-1, with CR LF line ends.
  void status(const std::string& text);
  void log(long level, const std::string& text);
  void progress(const Progress& p);
  void question(const std::string& title, const std::string& text, const QString& answer,
                const QString& answeredBy);
  // kind: "error", "warning", "information", "message".
  // actionNeeded: the technician must do something at the terminal first.
  void message(const QString& kind, const std::string& title, const std::string& text,
               bool actionNeeded = false);
  // An instruction asked on the terminal (its prompt shows the text): only
  // its JSON message event, flagged as needing an action.
  void instruction(const QString& kind, const std::string& title, const std::string& text);
  // An item has ended (or was skipped): its line or event; the result
  // repeats every item. `event` false: in the result only.
  void item(const QString& name, const QString& before, const QString& after,
            const QString& expected, const QString& result, bool event = true);
  // A signal that did not end the run.
  void signalNote(const QString& signal, const QString& text);
  void version(const QString& name, const QString& terminal, const QString& release, bool differs,
               bool available);
  void result(int code, const QString& reason);
  // A line of the program itself: an error on stderr, a note on stdout.
  void error(const QString& text);
  // A trouble of the program itself that does not stop it: on stderr.
  void warning(const QString& text);
  // A row of the upgrade history.
  void historyRow(const QJsonObject& row);
  void note(const QString& text);

  // The engine's text for printing: Latin-1 to Unicode, CR LF to LF.
  static QString Text(const std::string& text);
  // "12.3 MB" and the like.
  static QString Bytes(double bytes);
  // The progress line as the terminal shows it, at most `width` characters.
  static QString ProgressLine(const Progress& p, double rate, double secondsLeft, int width);
  // The columns of the terminal on fd (TIOCGWINSZ), else COLUMNS, else 80.
  static int TerminalWidth(int fd);

  // A question is asked on the terminal: the bar goes and is not drawn
  // again until it is answered.
  void beginQuestion();
  void endQuestion() { asking_ = false; }
  // The question's text on stderr, as it is (no line end added).
  void prompt(const QString& text);

 private:
  void json(const QJsonObject& o);
  void messageEvent(const QString& kind, const std::string& title, const std::string& text,
                    bool actionNeeded);
  void clearBar();
  void line(std::FILE* f, const QString& text);

  Mode mode_;
  QString address_, logFile_;
  QJsonArray items_;
  std::FILE* out_;
  std::FILE* err_;
  std::string lastStatus_;
  bool barShown_ = false;
  bool asking_ = false;
  // The transfer the rate and the time left are measured for.
  QString progressKey_;
  QElapsedTimer progressClock_;
  long long progressStartBytes_ = 0;
  long long lastProgressBytes_ = -1;
};

}  // namespace orvex::cli
