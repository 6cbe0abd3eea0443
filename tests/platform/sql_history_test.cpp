// The upgrade history in SQLite: its schema version, rows newest first (per
// terminal on request), and no write through a link planted for it.
#include "platform/sql_history.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace orvex {
namespace {

HistoryRow Row(const char* address, const char* item, const char* result) {
  HistoryRow r;
  r.address = address;
  r.item = item;
  r.before = "5.1.0.9";
  r.after = "5.1.0.12";
  r.result = result;
  r.frontEnd = "orvex-upgrade";
  return r;
}

TEST(SqlHistory, KeepsItsSchemaVersionAndListsNewestFirst) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("deep/er/history.db"));
  {
    SqlHistory h;
    ASSERT_TRUE(h.open(path)) << h.lastError();
    EXPECT_TRUE(h.record(Row("127.0.0.2", "software", "done")));
    EXPECT_TRUE(h.record(Row("127.0.0.3", "pic", "failed")));
    EXPECT_TRUE(h.setUploadLeftovers("127.0.0.2", {"atb.sxm", "/tffs0/pic.s19"}));
  }
  SqlHistory h;  // a later run finds the rows and adds to them
  ASSERT_TRUE(h.open(path)) << h.lastError();
  EXPECT_TRUE(h.record(Row("127.0.0.2", "antenna", "done")));
  EXPECT_EQ(h.uploadLeftovers("127.0.0.2"),
            (std::vector<std::string>{"atb.sxm", "/tffs0/pic.s19"}));
  EXPECT_TRUE(h.uploadLeftovers("127.0.0.3").empty());
  std::vector<std::string> items;
  for (const HistoryRow& r : h.rows()) items.push_back(r.item + "@" + r.address);
  EXPECT_EQ(items,
            (std::vector<std::string>{"antenna@127.0.0.2", "pic@127.0.0.3", "software@127.0.0.2"}));
  const auto mine = h.rows(QStringLiteral("127.0.0.2"));
  ASSERT_EQ(mine.size(), 2u);
  EXPECT_EQ(mine[1].before, "5.1.0.9");
  EXPECT_EQ(mine[1].antennaSerial, "");
  EXPECT_EQ(mine[1].time.size(), std::string("2026-01-01T00:00:00.000Z").size());

  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
    db.setDatabaseName(path);
    ASSERT_TRUE(db.open());
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA user_version")) && q.next());
    EXPECT_EQ(q.value(0).toInt(), SqlHistory::kSchemaVersion);
    ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next());
    EXPECT_EQ(q.value(0).toString(), QStringLiteral("wal"));
    // A newer program's file is not written by this one.
    ASSERT_TRUE(
        q.exec(QStringLiteral("PRAGMA user_version=%1").arg(SqlHistory::kSchemaVersion + 1)));
  }
  QSqlDatabase::removeDatabase(QStringLiteral("peek"));
  SqlHistory newer;
  EXPECT_FALSE(newer.open(path));
  EXPECT_NE(newer.lastError().find("newer"), std::string::npos) << newer.lastError();
}

TEST(SqlHistory, RefusesALinkPlantedWhereItsFileGoes) {
  QTemporaryDir dir;
  const QString target = dir.filePath(QStringLiteral("users-file"));
  {
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("keep");
  }
  for (const char* planted : {"history.db", "history.db-wal"}) {
    SCOPED_TRACE(planted);
    QTemporaryDir where;
    ASSERT_EQ(::symlink(target.toLocal8Bit().constData(),
                        where.filePath(QString::fromLatin1(planted)).toLocal8Bit().constData()),
              0);
    SqlHistory h;
    std::string warned;
    h.setWarningHandler([&](const QString& w) { warned = w.toStdString(); });
    EXPECT_FALSE(h.open(where.filePath(QStringLiteral("history.db"))));
    EXPECT_NE(warned.find("is a link"), std::string::npos) << warned;
    EXPECT_FALSE(h.record(Row("127.0.0.2", "software", "done")));
  }
  QFile f(target);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("keep"));
}

}  // namespace
}  // namespace orvex
