// One run of orvex-upgrade: the engine on the Qt Core platform with the
// command line's message boxes, the lock of the terminal address, the start
// as the window starts, the waits until the engine is idle, Ctrl+C, and the
// end as File > Exit ends the window.
#pragma once

#include <QSocketNotifier>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "app/upgrader.h"
#include "cli/cli_ui.h"
#include "cli/output.h"
#include "platform/qt_core_platform.h"
#include "platform/sql_history.h"
#include "platform/terminal_lock.h"
#include "transfer/transfer_meter.h"
#include "upgrade/sequencer.h"

namespace orvex::cli {

struct Settings {
  QString address;  // empty: the window's default (or ORVEX_MODEM_ADDRESS)
  QString release;  // the home folder, absolute
  bool yes = false;
  bool reinstall = false;
  bool stdinIsTerminal = false;
  QString history;  // the history file; empty: the user's default
};

// The command-line names of the items, in the order a chain runs them.
QString ItemWord(UpgradeItem item);
// The engine's Latin-1 text.
QString Latin1(const std::string& s);

class Session {
 public:
  // start() goes on with the command.
  static constexpr int kGoOn = -1;

  Session(Settings settings, Output& out);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Takes the lock of the terminal address, starts the engine as the window
  // starts and waits until the terminal's versions are known (or could not
  // be). kGoOn, or the exit code to end with.
  int start();

  Upgrader& up() { return *up_; }
  CliUi& ui() { return ui_; }
  Output& out() { return out_; }
  const Settings& settings() const { return settings_; }
  QString address() const { return address_; }

  // Runs the event loop until nothing is under way in the engine, the
  // engine has unloaded, or the bound has passed (false, with a message).
  bool waitIdle(qint64 boundMs, const QString& what);
  // Bounds of the waits, scaled with the engine's timers.
  qint64 queryBoundMs() const;
  qint64 upgradeBoundMs() const;

  // The history file of this run.
  QString historyPath() const;
  // Opens the upgrade history that the engine records the items in; one
  // that cannot be opened is a warning and the run goes on without it.
  void openHistory();

  // The terminal answered with its software version.
  bool reached() const;
  // The rule that refused the command, if one did.
  Refusal refusal() const { return up_->st.refusal; }

  // Ends the engine (as File > Exit does when nothing runs, else as the
  // shutdown does), prints the result and returns the exit code.
  int finish(int code, const QString& reason);

  // The items of the upgrade under way: each gets its line as it ends (the
  // waits look), the rest at reportItems(true) or an interrupt.
  void setAskedItems(std::vector<UpgradeItem> items) { asked_ = std::move(items); }
  // Lines for the asked items that have ended since the last look; with
  // `all`, for the others too (as not started or not verified).
  void reportItems(bool all);
  // An asked item ended done; every asked item has its line.
  bool allItemsDone() const;
  // An item of this run is done.
  bool anyItemDone() const;

 private:
  void onSignal();
  // The first SIGINT or SIGTERM during an upgrade: false when the run goes on.
  bool abandonOnFirstSignal(const QString& name);
  // The engine's report of a file transfer, to the output.
  void showTransfer(const TransferProgress& t);
  // A second Ctrl+C: the shutdown, the result, and the program ends now.
  [[noreturn]] void endAtOnce(int code, const QString& reason);
  void endEngine();
  const UpgradeItemResult* resultOf(UpgradeItem item) const;

  Settings settings_;
  Output& out_;
  CliUi ui_;
  SqlHistory history_;
  std::unique_ptr<QtCorePlatform> platform_;
  std::unique_ptr<Upgrader> up_;
  TerminalLock lock_;
  QString address_;
  QString scratch_;
  std::unique_ptr<QSocketNotifier> signals_;
  int meterHandle_ = 0;
  int interrupts_ = 0;
  std::vector<UpgradeItem> asked_;
  std::vector<UpgradeItem> reported_;
  bool loaded_ = false;  // Form_Load has run
  bool finished_ = false;
};

}  // namespace orvex::cli
