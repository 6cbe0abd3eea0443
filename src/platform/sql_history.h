// The upgrade history in SQLite through Qt SQL: one row per item per run,
// per user, written by the window and the command line alike. Parallel
// runs share the file (write-ahead log, a busy time-out); a schema version
// in the file (PRAGMA user_version) allows later migrations. Beside the
// rows it keeps, per terminal, the files an upload left there unchecked.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "platform/ports.h"

namespace orvex {

class SqlHistory : public HistoryPort {
 public:
  // The schema this program writes.
  static constexpr int kSchemaVersion = 1;
  // No more leftovers of a terminal are read back than this.
  static constexpr int kMaxLeftovers = 64;
  // How long a write waits for another run that holds the file.
  static constexpr int kBusyTimeoutMs = 10000;

  SqlHistory();
  ~SqlHistory() override;
  SqlHistory(const SqlHistory&) = delete;
  SqlHistory& operator=(const SqlHistory&) = delete;

  // $XDG_DATA_HOME/orvex-upgrader/history.db, else under
  // ~/.local/share; empty when neither can be told.
  static QString DefaultPath();

  // Opens (and creates) the history. A file we did not make, a link or
  // anything but a plain file of ours, is refused. False with lastError().
  bool open(const QString& path);
  bool isOpen() const { return open_; }
  // For read-only use (orvex-upgrade history): a missing file is no
  // error, there is just nothing in it.
  bool openExisting(const QString& path);

  bool record(const HistoryRow& row) override;
  std::string lastError() const override { return error_.toStdString(); }
  std::vector<std::string> uploadLeftovers(const std::string& address) override;
  bool setUploadLeftovers(const std::string& address,
                          const std::vector<std::string>& remotes) override;
  QString error() const { return error_; }

  // The rows, newest first; an empty address: every terminal's.
  std::vector<HistoryRow> rows(const QString& address = {});

  // Told of every open or write that failed, once each, as a warning.
  void setWarningHandler(std::function<void(const QString&)> h) { warn_ = std::move(h); }

 private:
  bool fail(const QString& what);
  bool prepare();

  QString connection_;
  QString path_;
  QString error_;
  bool open_ = false;
  std::function<void(const QString&)> warn_;
};

}  // namespace orvex
