// One upgrader per terminal: a lock file per terminal address, taken before
// the first connection and held for the life of the program. A second
// upgrader (window or command line) for the same address is refused. The
// lock is an flock on the file, so it ends with its process, whoever that
// process belonged to; the file names its holder.
#pragma once

#include <QString>

namespace orvex {

class TerminalLock {
 public:
  // The lock files live in `folder`; empty means /run/lock when it can be
  // written, else the system's temporary folder.
  explicit TerminalLock(QString folder = QString());
  ~TerminalLock();

  // Takes the lock of this address (as an address reads it: blanks, case
  // and leading zeros aside); a lock
  // held for another address is given up first. False when another running
  // upgrader holds it: refusal() then says so.
  bool acquire(const QString& address);
  void release();
  bool held() const { return fd_ >= 0; }
  const QString& refusal() const { return refusal_; }
  // The lock file of an address.
  QString pathFor(const QString& address) const;

 private:
  QString folder_;
  QString address_;
  int fd_ = -1;
  QString refusal_;
};

}  // namespace orvex
