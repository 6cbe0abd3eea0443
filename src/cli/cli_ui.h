// The upgrader's message boxes on the command line. Questions are answered
// Yes only with --yes; without it they are asked on stdin when stdin is a
// terminal, else answered with their safe button and noted, so that the
// program can end with "confirmation needed". Other boxes are printed with
// their title and text and taken as OK. Dialogs go to the command that runs.
#pragma once

#include <functional>
#include <string>

#include "cli/output.h"
#include "platform/ports.h"

namespace orvex::cli {

class CliUi : public UiPort {
 public:
  // interactive: stdin is a terminal to ask on.
  CliUi(Output& out, bool yes, bool interactive)
      : out_(out), yes_(yes), interactive_(interactive) {}

  int msgBox(const std::string& text, int flags, const std::string& title) override;
  void setBusyPointer(bool) override {}
  void showModal(const std::string& form) override;
  void closeModal(const std::string&) override {}
  void quit() override;

  // The command's part in a dialog of the window model: it sets the
  // dialog's controls and clicks its buttons, as the technician would.
  void setModalHandler(std::function<void(const std::string& form)> h) { modal_ = std::move(h); }
  void setQuitHandler(std::function<void()> h) { quit_ = std::move(h); }

  // A question went unanswered: no --yes and no terminal to ask on.
  bool confirmationNeeded() const { return !unanswered_.empty(); }
  const std::string& unansweredQuestion() const { return unanswered_; }
  // A question is being asked on stdin right now.
  bool asking() const { return asking_; }
  // While set, --yes does not answer: the question of closing during an
  // upgrade is the technician's alone.
  void setYesAnswers(bool on) { yesAnswers_ = on; }
  // The command's own confirmation (restore, reset, factory defaults): Yes
  // by --yes, else asked on stdin when it is a terminal (default No), else
  // unanswered (confirmationNeeded()).
  bool confirm(const std::string& title, const std::string& text);

  // How long a question on stdin waits for its answer before its safe
  // button is taken (and an instruction before the run goes on).
  static constexpr int kAnswerWaitMs = 10 * 60 * 1000;
  // For tests: where the answers come from, and how long they are awaited.
  void setInput(int fd, int answerWaitMs) {
    inFd_ = fd;
    answerWaitMs_ = answerWaitMs;
  }

 private:
  // Reads y/n from stdin; nothing within the bound or end of input: the
  // default.
  bool askOnStdin(const std::string& title, const std::string& text, bool defaultYes);
  // Writes the prompt on stderr and reads one line (at most 16 characters
  // kept) while the event loop runs; false at the end of input or after
  // the bound.
  bool readLine(const QString& prompt, std::string& answer);

  Output& out_;
  bool yes_;
  bool interactive_;
  bool asking_ = false;
  bool yesAnswers_ = true;
  int inFd_ = 0;  // stdin
  int answerWaitMs_ = kAnswerWaitMs;
  std::string unanswered_;
  std::function<void(const std::string&)> modal_;
  std::function<void()> quit_;
};

}  // namespace orvex::cli
