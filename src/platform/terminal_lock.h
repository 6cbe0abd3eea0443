// One upgrader per terminal: a lock file per terminal address, taken before
// the first connection and held for the life of the program. A second
// upgrader (window or command line) for the same address is refused; a lock
// left by a program that has ended is taken over.
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace orvex {

class TerminalLock {
 public:
  // The lock files live in `folder`; empty means /run/lock when it can be
  // written, else the system's temporary folder.
  explicit TerminalLock(QString folder = QString());
  ~TerminalLock();

  // Takes the lock of this address (letter case and blanks aside); a lock
  // held for another address is given up first. False when another running
  // upgrader holds it: refusal() then says so.
  bool acquire(const QString& address);
  void release();
  bool held() const { return lock_ != nullptr; }
  const QString& refusal() const { return refusal_; }
  // The lock file of an address.
  QString pathFor(const QString& address) const;

 private:
  QString folder_;
  QString address_;
  std::unique_ptr<QLockFile> lock_;
  QString refusal_;
};

}  // namespace orvex
