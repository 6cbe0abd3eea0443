// The libcurl FTP client and one-file upload against a real FTP server
// (pyftpdlib) on a loopback address of its own.
#include "platform/curl_ftp.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
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

  // Runs one command to its final state (10, 11 or 12) and returns it.
  int run(const std::string& command) {
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
    EXPECT_TRUE(ended) << "no final state for " << command;
    return ended ? states.back() : -1;
  }

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

  // A refused change of folder keeps the working folder.
  ASSERT_EQ(run("CD /tffs0/nosuch"), icError);
  EXPECT_EQ(client->responseCode(), ftpErrServerRefused);

  ASSERT_EQ(run("Delete " + names[0]), icResponseCompleted);
  EXPECT_FALSE(QFile::exists(root() + "/tffs0/bin/" + QString::fromStdString(names[0])));
  EXPECT_TRUE(QFile::exists(root() + "/tffs0/bin/" + QString::fromStdString(names[1])));

  ASSERT_EQ(run("Delete " + names[0]), icError);
  EXPECT_EQ(client->responseCode(), ftpErrServerRefused);
  EXPECT_NE(client->responseInfo().find("550"), std::string::npos) << client->responseInfo();

  // A relative remote name is taken from the working folder.
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
  EXPECT_EQ(run("PUT PIC 2 05.s19 /tffs0/pic.s19"), icResponseCompleted);
  ASSERT_TRUE(WriteFile(root() + "/ram0/syslog.log", "log\r\n"));
  EXPECT_EQ(run("GET /ram0/syslog.log \"sylog.log\""), icResponseCompleted);
  const QByteArray got = ReadFile("sylog.log");
  QDir::setCurrent(previous);
  EXPECT_EQ(ReadFile(root() + "/atb.sxm"), "atb");
  EXPECT_EQ(ReadFile(root() + "/tffs0/pic.s19"), "pic");
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

TEST_F(CurlFtpTest, CancelStopsTheCommandSilentlyAndLeavesTheClientUsable) {
  startServer();
  ASSERT_TRUE(WriteFile(root() + "/tffs0/bin/stall.bin", RandomBytes(1024 * 1024)));
  states.clear();
  client->execute("GET \"/tffs0/bin/stall.bin\" \"" + (local() + "/s.bin").toStdString() + "\"");
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

}  // namespace
}  // namespace orvex
