#include "platform/terminal_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>

namespace orvex {

namespace {

QString DefaultFolder() {
  const QFileInfo runLock(QStringLiteral("/run/lock"));
  if (runLock.isDir() && runLock.isWritable()) return runLock.absoluteFilePath();
  return QDir::tempPath();
}

// An address as a file name: the address as the connection reads it, so
// that every spelling of one terminal gives one key; of a name, letters,
// digits, '.', '-' and ':' stay, any other character becomes '_'.
QString FileKey(const QString& address) {
  QString key = address.trimmed().toLower();
  if (QHostAddress parsed; parsed.setAddress(key)) key = parsed.toString();
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
  if (held() && FileKey(address) == FileKey(address_)) return true;
  const QString path = pathFor(address);
  const QByteArray file = QFile::encodeName(path);
  // Another user's lock file in a shared folder is opened to read only:
  // flock needs no more.
  int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) fd = ::open(file.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    refusal_ = QStringLiteral("Unable to create the lock file %1 for the terminal at %2.")
                   .arg(path, address.trimmed());
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    char buf[256] = {};
    const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    ::close(fd);
    const QStringList holder =
        QString::fromUtf8(buf, n > 0 ? n : 0).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    bool isPid = false;
    const qint64 pid = holder.value(0).toLongLong(&isPid);
    QString program = holder.value(1).left(64);
    for (QChar& c : program)
      if (!c.isPrint()) c = QLatin1Char('?');
    refusal_ = QStringLiteral("Another upgrader is already working with the terminal at %1")
                   .arg(address.trimmed());
    if (isPid && pid > 0)
      refusal_ += QStringLiteral(" (%1, process %2)")
                      .arg(program.isEmpty() ? QStringLiteral("unknown program") : program)
                      .arg(pid);
    refusal_ += QStringLiteral("; lock file %1.").arg(path);
    return false;
  }
  release();
  // The holder, for the refusal another upgrader shows.
  const QByteArray info = QByteArray::number(static_cast<qint64>(::getpid())) + '\n' +
                          QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() +
                          '\n';
  if (::ftruncate(fd, 0) == 0) {
    const ssize_t ignored = ::pwrite(fd, info.constData(), static_cast<size_t>(info.size()), 0);
    (void)ignored;
  }
  fd_ = fd;
  address_ = address;
  return true;
}

void TerminalLock::release() {
  if (fd_ >= 0) ::close(fd_);  // the flock ends with it
  fd_ = -1;
  address_.clear();
}

}  // namespace orvex
