// The libcurl FTP client and one-file upload against a real FTP server
// (pyftpdlib) on a loopback address of its own.
#include "platform/curl_ftp.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/ftp_test_server.h"

namespace orvex {
namespace {

using test::FtpTestServer;
using test::WaitUntil;

constexpr int kBoundMs = 30000;

QByteArray RandomBytes(qsizetype n) {
  QByteArray data(n, Qt::Uninitialized);
  auto* words = reinterpret_cast<quint32*>(data.data());
  QRandomGenerator gen(20130425);
  gen.fillRange(words, n / 4);
  return data;
}

bool WriteFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray ReadFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class CurlFtpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("ORVEX_LOOPBACK_ONLY", "1");
    qunsetenv("ORVEX_TIME_SCALE");
    ASSERT_TRUE(tmp.isValid());
    ASSERT_TRUE(QDir(root()).mkpath("tffs0/bin"));
    ASSERT_TRUE(QDir(root()).mkpath("ram0"));
    ASSERT_TRUE(QDir(local()).mkpath("."));
  }

  void TearDown() override {
    client.reset();
    if (server) server->stop();
    qunsetenv("ORVEX_TIME_SCALE");
  }

  QString root() const { return tmp.filePath("flash"); }
  QString local() const { return tmp.filePath("pc dir"); }

  void startServer(FtpTestServer::Options options = {}) {
    server = std::make_unique<FtpTestServer>(root().toStdString(),
                                             tmp.filePath("journal.txt").toStdString(), options);
    ASSERT_TRUE(server->start());
    makeClient(server->address());
  }

  void makeClient(const std::string& host) {
    client = MakeCurlFtpClient();
    client->setStateChanged([this](int s) {
      states.push_back(s);
      executingAtEvent.push_back(client->stillExecuting());
    });
    client->setRemoteHost(host);
  }

  // A command written as text: the verb, then words, each bare or in
  // double quotes.
  static FtpCommand Cmd(const std::string& text) {
    std::vector<std::string> words;
    for (size_t i = 0; i < text.size();) {
      if (text[i] == ' ') {
        ++i;
      } else {
        const bool quoted = text[i] == '"';
        const size_t end = std::min(text.find(quoted ? '"' : ' ', i + 1), text.size());
        words.push_back(text.substr(i + quoted, end - i - quoted));
        i = end + quoted;
      }
    }
    if (words.empty()) return {};
    return FtpCommand(words[0].c_str(), std::vector<std::string>(words.begin() + 1, words.end()));
  }
  int run(const std::string& text) { return runCommand(Cmd(text)); }
  // Runs one command to its final state (10, 11 or 12) and returns it.
  int runCommand(const FtpCommand& command) {
    states.clear();
    executingAtEvent.clear();
    client->execute(command);
    EXPECT_TRUE(client->stillExecuting());
    const bool ended = WaitUntil(
        [this] {
          return !states.empty() && (states.back() == icDisconnected || states.back() == icError ||
                                     states.back() == icResponseCompleted);
        },
        kBoundMs);
    EXPECT_TRUE(ended) << "no final state for " << command.shown();
    return ended ? states.back() : -1;
  }

  std::string getImageTxt() {
    const QString target = local() + "/image.txt";
    QFile::remove(target);
    EXPECT_EQ(run("GET image.txt \"" + target.toStdString() + "\""), icResponseCompleted)
        << client->responseInfo();
    return ReadFile(target).toStdString();
  }

  // The commands the server received since the journal had `from` lines.
  QStringList journalFrom(qsizetype from) const { return server->journal().mid(from); }

  std::string listing() {
    std::string all;
    for (int i = 0; i < 1000; ++i) {
      const std::string piece = client->getChunk(1024);
      if (piece.empty()) break;
      EXPECT_LE(piece.size(), 1024u);
      all += piece;
    }
    return all;
  }

  QTemporaryDir tmp;
  std::unique_ptr<FtpTestServer> server;
  std::unique_ptr<FtpClientPort> client;
  std::vector<int> states;
  std::vector<bool> executingAtEvent;
};

TEST_F(CurlFtpTest, PutThenGetRoundTripIsByteExactWithPlausibleStates) {
  startServer();
  const QByteArray image = RandomBytes(3 * 1024 * 1024 + 17);
  const QString source = local() + "/orvex_5_1_0_12.bin";
  ASSERT_TRUE(WriteFile(source, image));

  ASSERT_EQ(run("PUT \"" + source.toStdString() + "\" /tffs0/bin/orvex_5_1_0_12.bin"),
            icResponseCompleted);
  // A new session connects first; the command ends with 8 then 12, and the
  // client counts as executing until the final event.
  EXPECT_EQ(states.front(), icConnecting);
  EXPECT_NE(std::find(states.begin(), states.end(), icConnected), states.end());
  EXPECT_TRUE(std::is_sorted(states.begin(), states.end()));
  ASSERT_GE(states.size(), 2u);
  EXPECT_EQ(states[states.size() - 2], icResponseReceived);
  EXPECT_FALSE(executingAtEvent.back());
  EXPECT_TRUE(executingAtEvent.front());
  EXPECT_EQ(ReadFile(root() + "/tffs0/bin/orvex_5_1_0_12.bin"), image);

  const QString backup = local() + "/orvex back up.bin";
  ASSERT_EQ(run("GET \"/tffs0/bin/orvex_5_1_0_12.bin\" \"" + backup.toStdString() + "\""),
            icResponseCompleted);
  // The session is kept: no new connection for the second command.
  EXPECT_EQ(states.front(), icRequesting);
  EXPECT_EQ(ReadFile(backup), image);
  const QStringList journal = server->journal();
  EXPECT_EQ(journal.count("USER termuser"), 1);
}

TEST_F(CurlFtpTest, WorkingFolderListingInChunksAndDelete) {
  startServer();
  std::vector<std::string> names;
  for (int i = 0; i < 60; ++i) {
    names.push_back("orvex_5_1_0_" + std::to_string(100 + i) + "_with_a_long_name.bin");
    ASSERT_TRUE(WriteFile(root() + "/tffs0/bin/" + QString::fromStdString(names.back()), "x"));
  }
  ASSERT_TRUE(WriteFile(root() + "/image.txt", "/bin/orvex_5_1_0_100_with_a_long_name.bin"));

  ASSERT_EQ(run("CD /tffs0/bin"), icResponseCompleted);
  ASSERT_EQ(run("LS "), icResponseCompleted);
  const std::string text = listing();
  EXPECT_GT(text.size(), 2048u);  // so it came in several pieces
  EXPECT_EQ(client->getChunk(1024), "");
  for (const auto& n : names) EXPECT_NE(text.find(n + "\r\n"), std::string::npos) << n;

  // A refused change of folder starts the next command in the login folder.
  ASSERT_EQ(run("CD /tffs0/nosuch"), icError);
  EXPECT_EQ(client->responseCode(), ftpErrServerRefused);
  ASSERT_EQ(run("LS "), icResponseCompleted);
  EXPECT_NE(listing().find("tffs0\r\n"), std::string::npos);

  ASSERT_EQ(run("CD /tffs0/bin"), icResponseCompleted);
  ASSERT_EQ(run("Delete " + names[0]), icResponseCompleted);
  EXPECT_FALSE(QFile::exists(root() + "/tffs0/bin/" + QString::fromStdString(names[0])));
  EXPECT_TRUE(QFile::exists(root() + "/tffs0/bin/" + QString::fromStdString(names[1])));

  ASSERT_EQ(run("Delete " + names[0]), icError);
  EXPECT_EQ(client->responseCode(), ftpErrServerRefused);
  EXPECT_NE(client->responseInfo().find("550"), std::string::npos) << client->responseInfo();

  // A relative remote name is taken from the working folder.
  ASSERT_EQ(run("CD /tffs0/bin"), icResponseCompleted);
  const QString copy = local() + "/copy.bin";
  ASSERT_EQ(run("GET " + names[1] + " \"" + copy.toStdString() + "\""), icResponseCompleted);
  EXPECT_EQ(ReadFile(copy), "x");
}

TEST_F(CurlFtpTest, CloseDisconnectsAndTheNextCommandStartsInTheLoginFolder) {
  startServer();
  ASSERT_TRUE(WriteFile(root() + "/image.txt", "/bin/orvex_5_1_0_9.bin"));
  ASSERT_EQ(run("CD /tffs0/bin"), icResponseCompleted);
  ASSERT_EQ(run("CLOSE"), icDisconnected);
  EXPECT_EQ(states, (std::vector<int>{icDisconnecting, icDisconnected}));
  EXPECT_FALSE(client->stillExecuting());
  EXPECT_TRUE(server->journal().contains("QUIT"));

  const QString target = local() + "/image.txt";
  ASSERT_EQ(run("GET image.txt \"" + target.toStdString() + "\""), icResponseCompleted);
  EXPECT_EQ(states.front(), icConnecting);
  EXPECT_EQ(ReadFile(target), "/bin/orvex_5_1_0_9.bin");

  // Closing twice, or with no session, still ends in "disconnected".
  ASSERT_EQ(run("CLOSE"), icDisconnected);
  ASSERT_EQ(run("CLOSE"), icDisconnected);
}

TEST_F(CurlFtpTest, LocalPathsResolveAgainstTheCurrentFolder) {
  startServer();
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(local()));
  ASSERT_TRUE(WriteFile("ATB_XX0773112.sxm", "atb"));
  ASSERT_TRUE(WriteFile("PIC 2 05.s19", "pic"));
  EXPECT_EQ(run("PUT ATB_XX0773112.sxm atb.sxm"), icResponseCompleted);
  EXPECT_EQ(runCommand({"PUT", {"PIC 2 05.s19", "/tffs0/pic.s19"}}), icResponseCompleted);
  // Each argument goes as it is: quotes and blanks in a name split nothing.
  ASSERT_TRUE(WriteFile("\"q\" x.s19", "quoted"));
  EXPECT_EQ(runCommand({"PUT", {"\"q\" x.s19", "/tffs0/q.s19"}}), icResponseCompleted);
  ASSERT_TRUE(WriteFile(root() + "/ram0/syslog.log", "log\r\n"));
  EXPECT_EQ(run("GET /ram0/syslog.log \"sylog.log\""), icResponseCompleted);
  const QByteArray got = ReadFile("sylog.log");
  QDir::setCurrent(previous);
  EXPECT_EQ(ReadFile(root() + "/atb.sxm"), "atb");
  EXPECT_EQ(ReadFile(root() + "/tffs0/pic.s19"), "pic");
  EXPECT_EQ(ReadFile(root() + "/tffs0/q.s19"), "quoted");
  EXPECT_EQ(got, "log\r\n");
}

TEST_F(CurlFtpTest, ServerRefusalsAndUnreachableHostsMapToTheirNumbers) {
  startServer();
  const QString target = local() + "/missing.bin";
  // A missing file: refused by the server, and no local file is left.
  ASSERT_EQ(run("GET \"/tffs0/bin/orvex.bin\" \"" + target.toStdString() + "\""), icError);
  EXPECT_EQ(client->responseCode(), ftpErrServerRefused);
  EXPECT_FALSE(client->stillExecuting());
  EXPECT_FALSE(QFile::exists(target));

  // A local file that does not exist.
  ASSERT_EQ(run("PUT \"" + (local() + "/nothing.bin").toStdString() + "\" x.bin"), icError);
  EXPECT_EQ(client->responseCode(), 26);  // curl's read error, shown as unexpected

  // A line break or NUL in an argument never starts a command of its own.
  for (const std::string& bad :
       {std::string("Delete a.bin\r\nDELE orvex.bin"), std::string("RENAME a.bin \"b\nc\""),
        std::string("Delete a\0.bin", 12)}) {
    ASSERT_EQ(run(bad), icError);
    EXPECT_EQ(client->responseCode(), CURLE_URL_MALFORMAT);
  }

  // Nothing listening on the address.
  makeClient(FtpTestServer::NextAddress());
  ASSERT_EQ(run("CD /tffs0/bin"), icError);
  EXPECT_EQ(client->responseCode(), ftpErrCannotConnect);

  // Only IPv4 loopback addresses are reached while ORVEX_LOOPBACK_ONLY=1.
  const auto before = server->journal().size();
  makeClient("localhost");
  ASSERT_EQ(run("LS "), icError);
  EXPECT_EQ(states, std::vector<int>{icError});
  EXPECT_EQ(client->responseCode(), ftpErrCannotConnect);
  EXPECT_EQ(server->journal().size(), before);
}

TEST_F(CurlFtpTest, WrongPasswordIsALoginRefusal) {
  FtpTestServer::Options options;
  options.password = "other";
  startServer(options);
  ASSERT_EQ(run("GET image.txt \"" + (local() + "/image.txt").toStdString() + "\""), icError);
  EXPECT_EQ(client->responseCode(), ftpErrLoginRefused);
  EXPECT_NE(client->responseInfo().find("530"), std::string::npos) << client->responseInfo();
}

TEST_F(CurlFtpTest, ResetMidTransferIsAConnectionResetAndLeavesNoPartialFile) {
  startServer();
  ASSERT_TRUE(WriteFile(root() + "/tffs0/bin/reset.bin", RandomBytes(1024 * 1024)));
  const QString target = local() + "/reset.bin";
  ASSERT_EQ(run("GET \"/tffs0/bin/reset.bin\" \"" + target.toStdString() + "\""), icError);
  EXPECT_EQ(client->responseCode(), ftpErrConnectionReset) << client->responseInfo();
  EXPECT_FALSE(QFile::exists(target));
}

TEST_F(CurlFtpTest, StalledTransferTimesOutAfterTheScaledRequestTimeOut) {
  qputenv("ORVEX_TIME_SCALE", "0.05");  // 60 s becomes 3 s
  startServer();
  ASSERT_TRUE(WriteFile(root() + "/tffs0/bin/stall.bin", RandomBytes(1024 * 1024)));
  ASSERT_EQ(run("GET \"/tffs0/bin/stall.bin\" \"" + (local() + "/s.bin").toStdString() + "\""),
            icError);
  EXPECT_EQ(client->responseCode(), ftpErrTimeout) << client->responseInfo();
  EXPECT_NE(std::find(states.begin(), states.end(), icReceivingResponse), states.end());
}

// A terminal answers an upload's 226 only once its flash is written: the
// command waits for that reply, ends complete, and the session goes on.
TEST_F(CurlFtpTest, PutWaitsForAHeldBackFinalReplyAndCompletes) {
  FtpTestServer::Options options;
  options.holdSeconds = 2.0;
  startServer(options);
  const QByteArray image = RandomBytes(256 * 1024 + 3);
  const QString source = local() + "/hold.bin";
  ASSERT_TRUE(WriteFile(source, image));
  QElapsedTimer t;
  t.start();
  ASSERT_EQ(run("PUT \"" + source.toStdString() + "\" /tffs0/bin/hold.bin"), icResponseCompleted)
      << client->responseCode() << " " << client->responseInfo();
  EXPECT_GE(t.elapsed(), 1900);  // it did not end before the reply came
  EXPECT_EQ(ReadFile(root() + "/tffs0/bin/hold.bin"), image);
  const QString back = local() + "/hold back.bin";
  ASSERT_EQ(run("GET \"/tffs0/bin/hold.bin\" \"" + back.toStdString() + "\""), icResponseCompleted);
  EXPECT_EQ(states.front(), icRequesting);  // the same session
  EXPECT_EQ(ReadFile(back), image);
}

TEST_F(CurlFtpTest, CancelStopsTheCommandSilentlyAndLeavesTheClientUsable) {
  startServer();
  ASSERT_TRUE(WriteFile(root() + "/tffs0/bin/stall.bin", RandomBytes(1024 * 1024)));
  states.clear();
  client->execute(
      Cmd("GET \"/tffs0/bin/stall.bin\" \"" + (local() + "/s.bin").toStdString() + "\""));
  ASSERT_TRUE(WaitUntil(
      [this] {
        return std::find(states.begin(), states.end(), icReceivingResponse) != states.end();
      },
      kBoundMs));
  client->cancel();
  EXPECT_FALSE(client->stillExecuting());

  // The next command runs once the cancelled one has let go of the session;
  // nothing more of the cancelled one arrives in between.
  ASSERT_TRUE(WriteFile(root() + "/image.txt", "img"));
  ASSERT_EQ(run("GET image.txt \"" + (local() + "/image.txt").toStdString() + "\""),
            icResponseCompleted);
  EXPECT_EQ(states.front(), icConnecting);
  EXPECT_TRUE(std::is_sorted(states.begin(), states.end()));
  EXPECT_EQ(ReadFile(local() + "/image.txt"), "img");
  EXPECT_FALSE(QFile::exists(local() + "/s.bin"));
}

// The client goes away mid-transfer while the GUI thread has not taken any
// of its events yet: the transfer is cut off, its partial file removed, and
// neither its state changes nor its byte counts arrive afterwards. (Under
// ThreadSanitizer this is the teardown against a worker still posting.)
TEST_F(CurlFtpTest, DestroyedMidTransferDeliversNothingMoreAndLeavesNoPartialFile) {
  startServer();
  ASSERT_TRUE(WriteFile(root() + "/tffs0/bin/stall.bin", RandomBytes(1024 * 1024)));
  int reports = 0;
  client->setTransferProgress([&](const FtpTransferBytes&) { ++reports; });
  const QString partial = local() + "/s.bin";
  client->execute(Cmd("GET \"/tffs0/bin/stall.bin\" \"" + partial.toStdString() + "\""));
  // No events pumped: the worker's hand-overs queue up meanwhile. The file
  // appears with the first bytes, which the server sends before it stalls.
  for (int waited = 0; !QFile::exists(partial) && waited < kBoundMs; waited += 10) usleep(10000);
  ASSERT_TRUE(QFile::exists(partial));

  client.reset();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_TRUE(states.empty());
  EXPECT_EQ(reports, 0);
  EXPECT_FALSE(QFile::exists(partial));
}

// Byte counts of a GET or PUT: in order with the state changes, ahead of
// the final state, the last one the full size; none for other commands and
// none after a cancel. The older server tells no size before a GET.
TEST_F(CurlFtpTest, TransferProgressLeadsUpToTheFullSizeBeforeTheFinalState) {
  FtpTestServer::Options options;
  options.strict = true;
  startServer(options);
  std::vector<FtpTransferBytes> reports;
  std::vector<size_t> statesAtReport;
  client->setTransferProgress([&](const FtpTransferBytes& b) {
    reports.push_back(b);
    statesAtReport.push_back(states.size());
  });
  const QByteArray image = RandomBytes(3 * 1024 * 1024 + 5);
  const QString source = local() + "/orvex_5_1_0_12.bin";
  ASSERT_TRUE(WriteFile(source, image));
  const std::string backup = (local() + "/back.bin").toStdString();
  struct Case {
    std::string command, source;
  };
  const Case cases[] = {
      {"PUT \"" + source.toStdString() + "\" /tffs0/bin/orvex_5_1_0_12.bin", source.toStdString()},
      {"GET \"/tffs0/bin/orvex_5_1_0_12.bin\" \"" + backup + "\"", "/tffs0/bin/orvex_5_1_0_12.bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    reports.clear();
    statesAtReport.clear();
    ASSERT_EQ(run(c.command), icResponseCompleted) << client->responseInfo();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().done, image.size());
    EXPECT_EQ(reports.back().total, image.size());
    EXPECT_LT(statesAtReport.back(), states.size());  // before the final state
    for (size_t i = 0; i < reports.size(); ++i) {
      EXPECT_EQ(reports[i].source, c.source);
      EXPECT_GT(reports[i].done, 0);
      EXPECT_LE(reports[i].done, image.size());
      if (i == 0) continue;
      EXPECT_GE(reports[i].done, reports[i - 1].done);
      EXPECT_GE(reports[i].elapsedMs, reports[i - 1].elapsedMs);
    }
  }

  reports.clear();
  ASSERT_EQ(run("LS /tffs0/bin"), icResponseCompleted);
  EXPECT_TRUE(reports.empty());

  ASSERT_TRUE(WriteFile(root() + "/tffs0/bin/stall.bin", RandomBytes(1024 * 1024)));
  client->execute(Cmd("GET /tffs0/bin/stall.bin \"" + (local() + "/s.bin").toStdString() + "\""));
  ASSERT_TRUE(WaitUntil([&] { return !reports.empty(); }, kBoundMs));
  client->cancel();
  const size_t atCancel = reports.size();
  ASSERT_EQ(run("LS /tffs0/bin"), icResponseCompleted);
  EXPECT_EQ(reports.size(), atCancel);
}

TEST_F(CurlFtpTest, OneFileUploadStoresImageTxtInAsciiModeInTheLoginFolder) {
  startServer();
  const QString source = local() + "/image.txt";
  ASSERT_TRUE(WriteFile(source, "/bin/orvex_5_1_0_12.bin\r\n"));
  auto upload = MakeCurlFtpUpload();
  ASSERT_TRUE(upload->open("ORVEX Upgrader"));
  ASSERT_TRUE(upload->connect(server->address(), "termuser", "skyharbor"));
  ASSERT_TRUE(upload->putFile(source.toStdString(), "image.txt", true));
  upload->closeHandles();
  const QStringList journal = server->journal();
  EXPECT_TRUE(journal.contains("TYPE A"));
  EXPECT_TRUE(journal.contains("STOR image.txt"));
  // The server stores text with its own line ends.
  EXPECT_EQ(ReadFile(root() + "/image.txt").trimmed(), "/bin/orvex_5_1_0_12.bin");

  ASSERT_TRUE(upload->open("ORVEX Upgrader"));
  EXPECT_FALSE(upload->connect(server->address(), "termuser", "wrong"));
  EXPECT_EQ(upload->lastError(), ftpErrLoginRefused);
  EXPECT_FALSE(upload->connect(FtpTestServer::NextAddress(), "termuser", "skyharbor"));
  EXPECT_EQ(upload->lastError(), ftpErrCannotConnect);
  upload->closeHandles();
}

// The server-side folder and the client-side working folder start afresh
// after every kind of interruption, on a server that refuses "CWD /" (so the
// way back cannot be a change to the root).
TEST_F(CurlFtpTest, AfterAnInterruptionTheNextCommandRunsInTheLoginFolder) {
  FtpTestServer::Options options;
  options.strict = true;
  startServer(options);
  ASSERT_TRUE(WriteFile(root() + "/image.txt", "login"));
  ASSERT_TRUE(WriteFile(root() + "/tffs0/bin/image.txt", "bin"));
  ASSERT_TRUE(WriteFile(root() + "/tffs0/bin/stall.bin", RandomBytes(1024 * 1024)));
  const std::string missing = " \"" + (local() + "/missing.bin").toStdString() + "\"";
  const std::string stalled = " \"" + (local() + "/stall.bin").toStdString() + "\"";

  struct Case {
    const char* name;
    std::function<void()> interrupt;
  };
  const std::vector<Case> cases = {
      {"refused GET", [&] { EXPECT_EQ(run("GET missing.bin" + missing), icError); }},
      {"refused CD", [&] { EXPECT_EQ(run("CD nosuch"), icError); }},
      {"refused Delete", [&] { EXPECT_EQ(run("Delete nosuch.bin"), icError); }},
      {"cancel while idle", [&] { client->cancel(); }},
      {"cancel mid-transfer",
       [&] {
         states.clear();
         client->execute(Cmd("GET stall.bin" + stalled));
         EXPECT_TRUE(WaitUntil(
             [&] {
               return std::find(states.begin(), states.end(), icReceivingResponse) != states.end();
             },
             kBoundMs));
         client->cancel();
       }},
      {"time-out",
       [&] {
         qputenv("ORVEX_TIME_SCALE", "0.05");  // 60 s becomes 3 s
         EXPECT_EQ(run("GET stall.bin" + stalled), icError);
         EXPECT_EQ(client->responseCode(), ftpErrTimeout);
         qunsetenv("ORVEX_TIME_SCALE");
       }},
      {"CLOSE", [&] { EXPECT_EQ(run("CLOSE"), icDisconnected); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(run("CD /tffs0/bin"), icResponseCompleted) << client->responseInfo();
    ASSERT_EQ(getImageTxt(), "bin");
    c.interrupt();
    EXPECT_EQ(getImageTxt(), "login");
    EXPECT_FALSE(QFile::exists(local() + "/stall.bin"));
  }
  EXPECT_FALSE(server->journal().contains("CWD /"));
}

TEST_F(CurlFtpTest, CancelAndFailuresClearTheListingAndItsReadPosition) {
  startServer();
  for (int i = 0; i < 60; ++i)
    ASSERT_TRUE(WriteFile(
        root() + "/tffs0/bin/orvex_5_1_0_" + QString::number(100 + i) + "_with_a_long_name.bin",
        "x"));
  ASSERT_EQ(run("CD /tffs0/bin"), icResponseCompleted);
  ASSERT_EQ(run("LS "), icResponseCompleted);
  ASSERT_EQ(client->getChunk(1024).size(), 1024u);
  client->cancel();
  EXPECT_EQ(client->getChunk(1024), "");

  ASSERT_EQ(run("LS /tffs0/bin"), icResponseCompleted);
  ASSERT_EQ(client->getChunk(1024).size(), 1024u);
  ASSERT_EQ(run("CD /tffs0/nosuch"), icError);
  EXPECT_EQ(client->getChunk(1024), "");

  // A new listing is read from its start.
  ASSERT_EQ(run("LS /tffs0/bin"), icResponseCompleted);
  EXPECT_EQ(listing().substr(0, 12), "orvex_5_1_0_");
}

// An older embedded server: one CWD with the whole path, PASV only, and no
// command it may not know. Every command of the engine works against it.
TEST_F(CurlFtpTest, EveryCommandWorksWithAnOlderServer) {
  FtpTestServer::Options options;
  options.strict = true;
  startServer(options);
  const QByteArray image = RandomBytes(256 * 1024 + 3);
  const QString source = local() + "/orvex_5_1_0_12.bin";
  ASSERT_TRUE(WriteFile(source, image));
  ASSERT_TRUE(WriteFile(root() + "/image.txt", "/bin/orvex_5_1_0_11.bin"));
  ASSERT_TRUE(WriteFile(root() + "/tffs0/bin/orvex_5_1_0_11.bin", "old"));
  ASSERT_TRUE(WriteFile(root() + "/ram0/syslog.log", "log"));
  const std::string pc = local().toStdString() + "/";

  const std::vector<std::string> commands = {
      "PUT \"" + source.toStdString() + "\" /tffs0/bin/orvex_5_1_0_12.bin",
      "GET image.txt \"" + pc + "image.txt\"",
      "GET \"/tffs0/bin/orvex_5_1_0_12.bin\" \"" + pc + "backup.bin\"",
      "PUT \"" + source.toStdString() + "\" atb.sxm",
      "PUT \"" + source.toStdString() + "\" /tffs0/pic.s19",
      "GET /ram0/syslog.log \"" + pc + "sylog.log\"",
      "CD /tffs0/bin",
      "LS ",
      "DIR ",
      "DIR /tffs0",
      "LS /ram0",
      "Delete orvex_5_1_0_11.bin",
      "RENAME orvex_5_1_0_12.bin orvex_5_1_0_13.bin",
      "RENAME /tffs0/pic.s19 /tffs0/bin/pic.s19",
      "Delete /tffs0/bin/pic.s19",
      "CLOSE",
      "GET image.txt \"" + pc + "image2.txt\"",
      "CLOSE",
  };
  for (const std::string& command : commands) {
    const int want = command == "CLOSE" ? icDisconnected : icResponseCompleted;
    EXPECT_EQ(run(command), want) << command << ": " << client->responseInfo();
  }
  auto upload = MakeCurlFtpUpload();
  ASSERT_TRUE(upload->open("ORVEX Upgrader"));
  ASSERT_TRUE(upload->connect(server->address(), "termuser", "skyharbor"));
  ASSERT_TRUE(WriteFile(local() + "/image.txt", "/bin/orvex_5_1_0_13.bin\r\n"));
  EXPECT_TRUE(upload->putFile((local() + "/image.txt").toStdString(), "image.txt", true));
  upload->closeHandles();

  EXPECT_EQ(ReadFile(root() + "/tffs0/bin/orvex_5_1_0_13.bin"), image);
  EXPECT_EQ(ReadFile(local() + "/backup.bin"), image);
  EXPECT_EQ(ReadFile(root() + "/atb.sxm"), image);
  EXPECT_EQ(ReadFile(local() + "/sylog.log"), "log");
  EXPECT_EQ(ReadFile(local() + "/image2.txt"), "/bin/orvex_5_1_0_11.bin");
  EXPECT_FALSE(QFile::exists(root() + "/tffs0/bin/orvex_5_1_0_11.bin"));
  EXPECT_FALSE(QFile::exists(root() + "/tffs0/bin/pic.s19"));
  EXPECT_FALSE(QFile::exists(root() + "/tffs0/pic.s19"));
  EXPECT_EQ(ReadFile(root() + "/image.txt").trimmed(), "/bin/orvex_5_1_0_13.bin");

  const QStringList journal = server->journal();
  for (const QString& line : journal) {
    const QString verb = line.section(' ', 0, 0).toUpper();
    EXPECT_FALSE(
        QStringList({"EPSV", "EPRT", "MDTM", "MLSD", "MLST", "FEAT", "PORT"}).contains(verb))
        << line.toStdString();
    if (verb == "CWD") {
      EXPECT_TRUE(QStringList({"CWD /tffs0/bin", "CWD /tffs0", "CWD /ram0"}).contains(line))
          << line.toStdString();
    }
  }
  EXPECT_TRUE(journal.contains("PASV"));
  EXPECT_TRUE(journal.contains("NLST"));
  EXPECT_TRUE(journal.contains("LIST"));
  EXPECT_TRUE(journal.contains("RNFR orvex_5_1_0_12.bin"));
  EXPECT_TRUE(journal.contains("RNTO orvex_5_1_0_13.bin"));
}

TEST_F(CurlFtpTest, DirGivesALongListingWithSizes) {
  startServer();
  ASSERT_TRUE(WriteFile(root() + "/tffs0/bin/orvex_5_1_0_12.bin", RandomBytes(123456)));
  ASSERT_EQ(run("DIR \"/tffs0/bin\""), icResponseCompleted);
  const std::string text = listing();
  const auto at = text.find(" orvex_5_1_0_12.bin\r\n");
  ASSERT_NE(at, std::string::npos) << text;
  const std::string line =
      text.substr(text.rfind("\r\n", at) == std::string::npos ? 0 : text.rfind("\r\n", at) + 2);
  EXPECT_NE(line.find(" 123456 "), std::string::npos) << line;
  EXPECT_EQ(line[0], '-') << line;
  EXPECT_TRUE(server->journal().contains("LIST"));
}

// A bounded GET keeps one byte past its bound of a longer file and
// completes; the next command still works, and the bound was for one GET.
TEST_F(CurlFtpTest, BoundedGetStopsOneBytePastTheBound) {
  startServer();
  const QByteArray big = RandomBytes(3 * 1024 * 1024);
  ASSERT_TRUE(WriteFile(root() + "/image.txt", big));
  ASSERT_TRUE(WriteFile(root() + "/small.txt", big.left(23)));
  const QString target = local() + "/image.txt";
  client->limitNextDownload(4096);
  ASSERT_EQ(run("GET image.txt \"" + target.toStdString() + "\""), icResponseCompleted);
  EXPECT_EQ(ReadFile(target), big.left(4097));
  client->limitNextDownload(4096);
  ASSERT_EQ(run("GET small.txt \"" + target.toStdString() + "\""), icResponseCompleted)
      << client->responseInfo();
  EXPECT_EQ(ReadFile(target), big.left(23));
  ASSERT_EQ(run("GET image.txt \"" + target.toStdString() + "\""), icResponseCompleted)
      << client->responseInfo();
  EXPECT_EQ(ReadFile(target), big);
}

TEST_F(CurlFtpTest, ListingsLargerThanTheLimitEndAsAnError) {
  startServer();
  ASSERT_TRUE(QDir(root()).mkpath("tffs0/many"));
  const QString pad(200, 'n');
  for (int i = 0; i < 5400; ++i)  // names alone are more than 1 MiB
    ASSERT_TRUE(WriteFile(root() + "/tffs0/many/" + pad + QString::number(i), ""));
  for (const std::string command : {"LS /tffs0/many", "DIR /tffs0/many"}) {
    SCOPED_TRACE(command);
    ASSERT_EQ(run(command), icError);
    EXPECT_EQ(client->responseCode(), CURLE_FILESIZE_EXCEEDED) << client->responseInfo();
    EXPECT_EQ(client->getChunk(1024), "");
  }
  ASSERT_TRUE(WriteFile(root() + "/image.txt", "img"));
  EXPECT_EQ(getImageTxt(), "img");
}

// Only a 550 to "GET image.txt" means "no image.txt"; every refusal carries
// the server's reply line.
TEST_F(CurlFtpTest, GetRefusalsCarryTheServersReplyLine) {
  startServer();
  ASSERT_TRUE(WriteFile(root() + "/image.txt", "img"));
  for (const char* name : {"refuse550.bin", "refuse450.bin", "refuse451.bin", "refuse425.bin",
                           "refuse421.bin", "after451.bin", "after426.bin"})
    ASSERT_TRUE(WriteFile(root() + "/" + name, "refused"));
  struct Case {
    const char* remote;
    long code;
    const char* reply;
  };
  const std::vector<Case> cases = {
      {"image.txt.missing", ftpErrServerRefused, "550 "},
      {"refuse550.bin", ftpErrServerRefused, "550 "},
      {"refuse450.bin", ftpErrServerRefused, "450 "},
      {"refuse451.bin", ftpErrServerRefused, "451 "},
      {"refuse425.bin", ftpErrServerRefused, "425 "},
      {"refuse421.bin", ftpErrTimeout, "421 "},
      {"after451.bin", ftpErrServerRefused, "451 "},  // after the data: a refusal too
      {"after426.bin", ftpErrServerRefused, "426 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.remote);
    const QString target = local() + "/refused.bin";
    ASSERT_EQ(run(std::string("GET ") + c.remote + " \"" + target.toStdString() + "\""), icError);
    EXPECT_EQ(client->responseCode(), c.code) << client->responseInfo();
    EXPECT_EQ(client->responseInfo().substr(0, 4), c.reply) << client->responseInfo();
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(getImageTxt(), "img");
  }
  // A SIZE the server does not answer does not make a file missing.
  ASSERT_TRUE(WriteFile(root() + "/nosize.bin", "there"));
  const QString copy = local() + "/nosize.bin";
  ASSERT_EQ(run("GET nosize.bin \"" + copy.toStdString() + "\""), icResponseCompleted);
  EXPECT_EQ(ReadFile(copy), "there");
}

TEST_F(CurlFtpTest, RenameInTheWorkingFolderAndAcrossFolders) {
  startServer();
  ASSERT_TRUE(WriteFile(root() + "/tffs0/bin/a.bin", "a"));
  ASSERT_EQ(run("RENAME \"/tffs0/bin/a.bin\" \"/tffs0/bin/b.bin\""), icResponseCompleted);
  EXPECT_EQ(ReadFile(root() + "/tffs0/bin/b.bin"), "a");
  ASSERT_EQ(run("CD /tffs0/bin"), icResponseCompleted);
  ASSERT_EQ(run("RENAME b.bin c.bin"), icResponseCompleted);
  EXPECT_EQ(ReadFile(root() + "/tffs0/bin/c.bin"), "a");
  ASSERT_EQ(run("RENAME c.bin /ram0/d.bin"), icResponseCompleted);
  EXPECT_EQ(ReadFile(root() + "/ram0/d.bin"), "a");
  EXPECT_FALSE(QFile::exists(root() + "/tffs0/bin/c.bin"));

  // A refused RNFR (no such file) and a refused RNTO (no such folder).
  ASSERT_EQ(run("RENAME /tffs0/bin/nosuch.bin /tffs0/bin/e.bin"), icError);
  EXPECT_EQ(client->responseCode(), ftpErrServerRefused);
  EXPECT_EQ(client->responseInfo().substr(0, 4), "550 ") << client->responseInfo();
  ASSERT_EQ(run("RENAME /ram0/d.bin /nosuch/e.bin"), icError);
  EXPECT_EQ(client->responseCode(), ftpErrServerRefused);
  EXPECT_EQ(client->responseInfo().substr(0, 1), "5") << client->responseInfo();
  EXPECT_EQ(ReadFile(root() + "/ram0/d.bin"), "a");

  // A command without both names is refused by the client.
  ASSERT_EQ(run("RENAME d.bin"), icError);
  EXPECT_EQ(client->responseCode(), CURLE_URL_MALFORMAT);
}

TEST_F(CurlFtpTest, InterruptedPutAndUnwritableGetAreErrors) {
  startServer();
  const QString source = local() + "/big.bin";
  ASSERT_TRUE(WriteFile(source, RandomBytes(4 * 1024 * 1024)));
  ASSERT_EQ(run("PUT \"" + source.toStdString() + "\" /tffs0/bin/reset.bin"), icError);
  EXPECT_TRUE(client->responseCode() == ftpErrConnectionReset ||
              client->responseCode() == ftpErrTimeout)
      << client->responseCode() << " " << client->responseInfo();

  ASSERT_TRUE(WriteFile(root() + "/image.txt", "img"));
  const QString target = local() + "/no such folder/image.txt";
  ASSERT_EQ(run("GET image.txt \"" + target.toStdString() + "\""), icError);
  EXPECT_EQ(client->responseCode(), CURLE_WRITE_ERROR) << client->responseInfo();
  EXPECT_FALSE(QFile::exists(target));
  EXPECT_EQ(getImageTxt(), "img");

  // Nothing is written through a link planted at the local name.
  const QString victim = local() + "/victim.txt", planted = local() + "/planted.txt";
  ASSERT_TRUE(WriteFile(victim, "mine"));
  ASSERT_TRUE(QFile::link(victim, planted));
  ASSERT_EQ(run("GET image.txt \"" + planted.toStdString() + "\""), icError);
  EXPECT_EQ(ReadFile(victim), "mine");
}

}  // namespace
}  // namespace orvex
