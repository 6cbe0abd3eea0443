#include "cli/cli_ui.h"

#include <unistd.h>

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#include "app/part.h"

namespace orvex::cli {

namespace {

QString KindOf(int flags) {
  switch (flags & 0x70) {
    case vbCritical: return QStringLiteral("error");
    case vbExclamation: return QStringLiteral("warning");
    case vbInformation: return QStringLiteral("information");
    case vbQuestion: return QStringLiteral("question");
    default: return QStringLiteral("message");
  }
}

// The buttons a question offers: the one that goes on and the one that
// does not (the safe one).
struct Buttons {
  int yes, no;
};

bool IsQuestion(int buttons) {
  return buttons != vbOKOnly;
}

Buttons ButtonsOf(int buttons) {
  switch (buttons) {
    case vbOKCancel: return {vbOK, vbCancel};
    case 2: return {5, 3};             // abort, retry, ignore: ignore / abort
    case 3: return {vbYes, vbCancel};  // yes, no, cancel
    case 5: return {4, vbCancel};      // retry, cancel
    default: return {vbYes, vbNo};
  }
}

}  // namespace

int CliUi::msgBox(const std::string& text, int flags, const std::string& rawTitle) {
  const std::string title = rawTitle.empty() ? std::string(kProgramTitle) : rawTitle;
  const int buttons = flags & 0x7;
  if (!IsQuestion(buttons)) {
    if ((flags & vbActionNeeded) && interactive_ && !asking_) {
      // An instruction: the technician says on the terminal when it is done
      // (nothing within the bound, or the end of input: the run goes on and
      // the engine's own wait decides). A JSON reader is told as well.
      out_.instruction(KindOf(flags), title, text);
      std::string ignored;
      readLine(QStringLiteral("%1\n%2\nPress Enter when done. ")
                   .arg(Output::Text(title), Output::Text(text).trimmed()),
               ignored);
      return vbOK;
    }
    out_.message(KindOf(flags), title, text, flags & vbActionNeeded);
    return vbOK;
  }
  const Buttons b = ButtonsOf(buttons);
  if (yes_ && yesAnswers_) {
    out_.question(title, text, QStringLiteral("yes"), QStringLiteral("--yes"));
    return b.yes;
  }
  if (interactive_ && !asking_) {
    const bool answer = askOnStdin(title, text, !(flags & vbDefaultButton2));
    out_.question(title, text, answer ? QStringLiteral("yes") : QStringLiteral("no"),
                  QStringLiteral("stdin"));
    return answer ? b.yes : b.no;
  }
  if (unanswered_.empty()) unanswered_ = text;
  out_.question(title, text, QStringLiteral("no"), QStringLiteral("default"));
  return b.no;
}

bool CliUi::confirm(const std::string& title, const std::string& text) {
  return msgBox(text, vbYesNo | vbQuestion | vbDefaultButton2, title) == vbYes;
}

bool CliUi::askOnStdin(const std::string& title, const std::string& text, bool defaultYes) {
  const QString prompt = QStringLiteral("%1\n%2\n%3 ")
                             .arg(Output::Text(title), Output::Text(text).trimmed(),
                                  defaultYes ? QStringLiteral("[Y/n]") : QStringLiteral("[y/N]"));
  std::string answer;
  if (!readLine(prompt, answer)) return false;
  const QString a = QString::fromLocal8Bit(answer.c_str()).trimmed().toLower();
  if (a.isEmpty()) return defaultYes;
  return a == QLatin1String("y") || a == QLatin1String("yes");
}

bool CliUi::readLine(const QString& prompt, std::string& answer) {
  asking_ = true;
  out_.beginQuestion();
  out_.prompt(prompt);

  // The event loop runs on while the technician thinks, as it does under a
  // message box of the window.
  QEventLoop loop;
  QSocketNotifier notifier(inFd_, QSocketNotifier::Read);
  bool line = false;  // a whole line came (not the end of input, not the bound)
  QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
    char c = 0;
    const ssize_t n = ::read(inFd_, &c, 1);
    if (n <= 0 || c == '\n') {
      line = n > 0;
      loop.quit();
      return;
    }
    if (answer.size() < 16) answer += c;
  });
  QTimer::singleShot(answerWaitMs_, &loop, [&] {
    out_.prompt(QStringLiteral("\n(no answer in time)\n"));
    loop.quit();
  });
  loop.exec();
  asking_ = false;
  out_.endQuestion();
  return line;
}

void CliUi::showModal(const std::string& form) {
  if (modal_) modal_(form);
}

void CliUi::quit() {
  if (quit_) quit_();
}

}  // namespace orvex::cli
