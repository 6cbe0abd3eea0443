#include "platform/terminal_lock.h"

#include <QDir>
#include <QFileInfo>

namespace orvex {

namespace {

QString DefaultFolder() {
  const QFileInfo runLock(QStringLiteral("/run/lock"));
  if (runLock.isDir() && runLock.isWritable()) return runLock.absoluteFilePath();
  return QDir::tempPath();
}

// An address as a file name: letters, digits, '.', '-' and ':' stay, any
// other character becomes '_'.
QString FileKey(const QString& address) {
  QString key = address.trimmed().toLower();
  for (QChar& c : key)
    if (!c.isLetterOrNumber() && c != QLatin1Char('.') && c != QLatin1Char('-') &&
        c != QLatin1Char(':'))
      c = QLatin1Char('_');
  return key.left(100);
}

}  // namespace

TerminalLock::TerminalLock(QString folder)
    : folder_(folder.isEmpty() ? DefaultFolder() : std::move(folder)) {}

TerminalLock::~TerminalLock() {
  release();
}

QString TerminalLock::pathFor(const QString& address) const {
  return folder_ + QStringLiteral("/orvex-upgrader-") + FileKey(address) + QStringLiteral(".lock");
}

bool TerminalLock::acquire(const QString& address) {
  refusal_.clear();
  if (lock_ && FileKey(address) == FileKey(address_)) return true;
  auto lock = std::make_unique<QLockFile>(pathFor(address));
  // Only a lock whose program has ended is stale, however old it is.
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0)) {
    qint64 pid = 0;
    QString host, app;
    const bool known = lock->getLockInfo(&pid, &host, &app);
    refusal_ = QStringLiteral("Another upgrader is already working with the terminal at %1")
                   .arg(address.trimmed());
    if (known && pid > 0) refusal_ += QStringLiteral(" (process %1)").arg(pid);
    if (lock->error() != QLockFile::LockFailedError)
      refusal_ = QStringLiteral("Unable to create the lock file %1 for the terminal at %2")
                     .arg(pathFor(address), address.trimmed());
    refusal_ += QLatin1Char('.');
    return false;
  }
  release();
  lock_ = std::move(lock);
  address_ = address;
  return true;
}

void TerminalLock::release() {
  if (lock_) lock_->unlock();
  lock_.reset();
  address_.clear();
}

}  // namespace orvex
