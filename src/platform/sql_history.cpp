#include "platform/sql_history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace orvex {

namespace {

QAtomicInt gConnections;

const char* const kDriver = "QSQLITE";

// The history file and SQLite's files beside it: each either absent or a
// plain file of this user, never a link (a link planted there would make
// us write through it). An absent history file is made here, exclusively.
QString CheckFiles(const QString& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    const QByteArray file = (path + QLatin1String(suffix)).toLocal8Bit();
    struct stat sb {};
    if (::lstat(file.constData(), &sb) != 0) {
      if (errno != ENOENT) return QStringLiteral("%1: %2").arg(path, qt_error_string(errno));
      if (*suffix) continue;
      const int fd =
          ::open(file.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0 && errno != EEXIST)
        return QStringLiteral("%1: %2").arg(path, qt_error_string(errno));
      if (fd >= 0) {
        ::close(fd);
        continue;
      }
      if (::lstat(file.constData(), &sb) != 0)  // made by a parallel run just now
        return QStringLiteral("%1: %2").arg(path, qt_error_string(errno));
    }
    if (S_ISLNK(sb.st_mode))
      return QStringLiteral("%1 is a link, not a history this program made")
          .arg(QString::fromLocal8Bit(file));
    if (!S_ISREG(sb.st_mode) || sb.st_uid != ::geteuid())
      return QStringLiteral("%1 is not a plain file of this user")
          .arg(QString::fromLocal8Bit(file));
  }
  return {};
}

QString Text(const QVariant& v) {
  return v.isNull() ? QString() : v.toString();
}

std::string Std(const QVariant& v) {
  return Text(v).toLatin1().toStdString();
}

}  // namespace

SqlHistory::SqlHistory()
    : connection_(QStringLiteral("orvex-history-%1").arg(gConnections.fetchAndAddRelaxed(1))) {}

SqlHistory::~SqlHistory() {
  if (QSqlDatabase::contains(connection_)) {
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
  }
}

QString SqlHistory::DefaultPath() {
  QString base = qEnvironmentVariable("XDG_DATA_HOME");
  // A relative XDG_DATA_HOME is to be ignored.
  if (base.isEmpty() || QDir::isRelativePath(base)) {
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) return {};
    base = home + QStringLiteral("/.local/share");
  }
  return base + QStringLiteral("/orvex-upgrader/history.db");
}

bool SqlHistory::fail(const QString& what) {
  error_ = what;
  if (warn_) warn_(QStringLiteral("the upgrade history %1: %2").arg(path_, what));
  return false;
}

bool SqlHistory::openExisting(const QString& path) {
  path_ = path;
  if (!QFileInfo::exists(path)) {
    error_.clear();
    return false;
  }
  return open(path);
}

bool SqlHistory::open(const QString& path) {
  path_ = path;
  open_ = false;
  if (path.isEmpty()) return fail(QStringLiteral("no folder for it (HOME is not set)"));
  if (!QSqlDatabase::isDriverAvailable(QLatin1String(kDriver)))
    return fail(QStringLiteral("the SQLite driver of Qt SQL (libqt6sql6-sqlite) is missing"));
  const QFileInfo info(path);
  const QString folder = info.absolutePath();
  if (!QFileInfo(folder).isDir()) {
    if (!QDir().mkpath(folder))
      return fail(QStringLiteral("cannot make the folder %1").arg(folder));
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  }
  if (const QString unsafe = CheckFiles(info.absoluteFilePath()); !unsafe.isEmpty())
    return fail(unsafe);

  QSqlDatabase db = QSqlDatabase::contains(connection_)
                        ? QSqlDatabase::database(connection_, false)
                        : QSqlDatabase::addDatabase(QLatin1String(kDriver), connection_);
  db.setDatabaseName(info.absoluteFilePath());
  db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
  if (!db.open()) return fail(db.lastError().text());
  if (!prepare()) {
    db.close();
    return false;
  }
  open_ = true;
  error_.clear();
  return true;
}

bool SqlHistory::prepare() {
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  QSqlQuery q(db);
  // Parallel runs: readers do not block the writer, a writer waits its turn.
  if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) return fail(q.lastError().text());
  if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) return fail(q.lastError().text());
  int version = -1;
  if (q.exec(QStringLiteral("PRAGMA user_version")) && q.next()) version = q.value(0).toInt();
  bool ok = version >= 0;
  if (ok && version == 0) {
    ok = q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS upgrades ("
                               " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                               " time TEXT NOT NULL,"
                               " address TEXT NOT NULL,"
                               " antenna_serial TEXT,"
                               " item TEXT NOT NULL,"
                               " version_before TEXT,"
                               " version_after TEXT,"
                               " version_new TEXT,"
                               " result TEXT NOT NULL,"
                               " log_file TEXT,"
                               " front_end TEXT NOT NULL)")) &&
         q.exec(
             QStringLiteral("CREATE INDEX IF NOT EXISTS upgrades_address ON upgrades(address)")) &&
         q.exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
  }
  // The leftovers sit in a table of their own, which an older program of the
  // same schema leaves alone: it comes with any file this one opens.
  if (ok && version <= kSchemaVersion)
    ok =
        q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS leftovers ("
                              " address TEXT NOT NULL,"
                              " remote TEXT NOT NULL,"
                              " PRIMARY KEY (address, remote))"));
  const QString why = ok ? QString() : q.lastError().text();
  if (!ok || !q.exec(QStringLiteral("COMMIT"))) {
    q.exec(QStringLiteral("ROLLBACK"));
    return fail(ok ? q.lastError().text() : why);
  }
  // Later schemas may add to this one; this program writes only its own.
  if (version > kSchemaVersion)
    return fail(QStringLiteral("written by a newer upgrader (schema %1, this one knows %2)")
                    .arg(version)
                    .arg(kSchemaVersion));
  return true;
}

bool SqlHistory::record(const HistoryRow& row) {
  if (!open_) {
    if (error_.isEmpty()) error_ = QStringLiteral("not open");
    return false;
  }
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare(QStringLiteral(
      "INSERT INTO upgrades (time, address, antenna_serial, item, version_before, version_after,"
      " version_new, result, log_file, front_end) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
  const auto text = [](const std::string& s) { return QString::fromLatin1(s.data(), s.size()); };
  const auto optional = [&](const std::string& s) {
    return s.empty() ? QVariant() : QVariant(text(s));
  };
  q.addBindValue(row.time.empty() ? QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)
                                  : text(row.time));
  q.addBindValue(text(row.address));
  q.addBindValue(optional(row.antennaSerial));
  q.addBindValue(text(row.item));
  q.addBindValue(optional(row.before));
  q.addBindValue(optional(row.after));
  q.addBindValue(optional(row.expected));
  q.addBindValue(text(row.result));
  q.addBindValue(optional(row.logFile));
  q.addBindValue(text(row.frontEnd));
  if (!q.exec()) return fail(q.lastError().text());
  return true;
}

std::vector<std::string> SqlHistory::uploadLeftovers(const std::string& address) {
  std::vector<std::string> out;
  if (!open_) return out;
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare(QStringLiteral("SELECT remote FROM leftovers WHERE address = ? ORDER BY rowid LIMIT %1")
                .arg(kMaxLeftovers));
  q.addBindValue(QString::fromLatin1(address.data(), static_cast<qsizetype>(address.size())));
  if (!q.exec()) {
    fail(q.lastError().text());
    return out;
  }
  while (q.next()) out.push_back(Std(q.value(0)));
  return out;
}

bool SqlHistory::setUploadLeftovers(const std::string& address,
                                    const std::vector<std::string>& remotes) {
  if (!open_) {
    if (error_.isEmpty()) error_ = QStringLiteral("not open");
    return false;
  }
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  const auto text = [](const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
  };
  if (!db.transaction()) return fail(db.lastError().text());
  QSqlQuery q(db);
  q.prepare(QStringLiteral("DELETE FROM leftovers WHERE address = ?"));
  q.addBindValue(text(address));
  bool ok = q.exec();
  for (const std::string& remote : remotes) {
    if (!ok) break;
    q.prepare(QStringLiteral("INSERT OR IGNORE INTO leftovers (address, remote) VALUES (?, ?)"));
    q.addBindValue(text(address));
    q.addBindValue(text(remote));
    ok = q.exec();
  }
  if (!ok || !db.commit()) {
    const QString why = ok ? db.lastError().text() : q.lastError().text();
    db.rollback();
    return fail(why);
  }
  return true;
}

std::vector<HistoryRow> SqlHistory::rows(const QString& address) {
  std::vector<HistoryRow> out;
  if (!open_) return out;
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare(
      QStringLiteral(
          "SELECT time, address, antenna_serial, item, version_before, version_after,"
          " version_new, result, log_file, front_end FROM upgrades%1 ORDER BY time DESC, id DESC")
          .arg(address.isEmpty() ? QString() : QStringLiteral(" WHERE address = ?")));
  if (!address.isEmpty()) q.addBindValue(address);
  if (!q.exec()) {
    fail(q.lastError().text());
    return out;
  }
  while (q.next()) {
    HistoryRow r;
    r.time = Std(q.value(0));
    r.address = Std(q.value(1));
    r.antennaSerial = Std(q.value(2));
    r.item = Std(q.value(3));
    r.before = Std(q.value(4));
    r.after = Std(q.value(5));
    r.expected = Std(q.value(6));
    r.result = Std(q.value(7));
    r.logFile = Std(q.value(8));
    r.frontEnd = Std(q.value(9));
    out.push_back(std::move(r));
  }
  return out;
}

}  // namespace orvex
