// QtTcpSocket against a loopback server of the test's own: the events the
// engine relies on, partial reads, closing in any state, failures, and the
// loopback-only guard.
#include "platform/qt_tcp_socket.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <memory>
#include <vector>

namespace orvex {
namespace {

struct Recorder {
  int connects = 0, closes = 0;
  std::vector<long> arrivals;
  std::vector<std::pair<long, std::string>> errors;

  TcpSocketPort::Events events() {
    return {[this] { ++connects; }, [this](long n) { arrivals.push_back(n); }, [this] { ++closes; },
            [this](long n, const std::string& d) { errors.emplace_back(n, d); }};
  }
};

// Lets every queued event run; the socket posts its events through the queue.
void Drain() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

class QtTcpSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    sock.setEvents(rec.events());
  }
  void TearDown() override {
    sock.close();
    server.close();
  }

  // Connects and returns the server's side of the connection.
  QTcpSocket* connectPeer() {
    EXPECT_EQ(sock.connect("127.0.0.1", server.serverPort()), std::nullopt);
    if (!server.hasPendingConnections() && !server.waitForNewConnection(5000)) return nullptr;
    QTcpSocket* peer = server.nextPendingConnection();
    if (!QTest::qWaitFor([&] { return rec.connects == 1; }, 5000)) {
      ADD_FAILURE() << "no connect event";
      return nullptr;
    }
    return peer;
  }

  QTcpServer server;
  QtTcpSocket sock{"sckZING"};
  Recorder rec;
};

TEST_F(QtTcpSocketTest, ConnectsSendsAndAnnouncesWhatIsLeftAfterAPartialRead) {
  EXPECT_EQ(sock.state(), sckClosed);
  QTcpSocket* peer = connectPeer();
  ASSERT_NE(peer, nullptr);
  EXPECT_EQ(sock.state(), sckConnected);

  // Bytes go out unchanged, zero bytes and high bytes included.
  const std::string request("\x00\x01\xff\x10ZING\r\n", 10);
  sock.sendData(request);
  QByteArray got;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (got += peer->readAll()).size() >= 10; }, 5000));
  EXPECT_EQ(got, QByteArray(request.data(), 10));

  peer->write("hello world");
  peer->flush();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return !rec.arrivals.empty() && rec.arrivals.back() == 11; }, 5000));

  // A partial read: the rest is announced again with its count.
  const size_t before = rec.arrivals.size();
  EXPECT_EQ(sock.getData(4), "hell");
  ASSERT_TRUE(QTest::qWaitFor([&] { return rec.arrivals.size() == before + 1; }, 5000));
  EXPECT_EQ(rec.arrivals.back(), 7);
  EXPECT_EQ(sock.getData(100), "o world");
  Drain();
  EXPECT_EQ(rec.arrivals.size(), before + 1) << "nothing left, nothing announced";
  EXPECT_EQ(sock.getData(100), "") << "no waiting when nothing has arrived";
  EXPECT_EQ(rec.closes, 0);
  EXPECT_TRUE(rec.errors.empty());
  EXPECT_EQ(rec.connects, 1);
}

TEST_F(QtTcpSocketTest, PeerCloseRaisesTheCloseEventAfterTheLastData) {
  QTcpSocket* peer = connectPeer();
  ASSERT_NE(peer, nullptr);
  peer->write("bye");
  peer->disconnectFromHost();
  ASSERT_TRUE(QTest::qWaitFor([&] { return rec.closes == 1; }, 5000));
  ASSERT_FALSE(rec.arrivals.empty());
  EXPECT_EQ(rec.arrivals.front(), 3);
  EXPECT_EQ(sock.getData(100), "bye") << "data that came before the close is still there";
  EXPECT_NE(sock.state(), sckConnected);
  EXPECT_TRUE(rec.errors.empty()) << "the peer closing first is no error";
}

TEST_F(QtTcpSocketTest, CloseDropsEveryEventStillOnItsWay) {
  // Closed while connecting: no connect event follows.
  EXPECT_EQ(sock.connect("127.0.0.1", server.serverPort()), std::nullopt);
  sock.close();
  EXPECT_EQ(sock.state(), sckClosed);
  ASSERT_TRUE(server.waitForNewConnection(5000) || server.hasPendingConnections());
  std::unique_ptr<QTcpSocket> stale(server.nextPendingConnection());
  Drain();
  EXPECT_EQ(rec.connects, 0);

  // Closed with data waiting and the peer closing: nothing is raised.
  QTcpSocket* peer = connectPeer();
  ASSERT_NE(peer, nullptr);
  peer->write("late");
  peer->disconnectFromHost();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !rec.arrivals.empty() || rec.closes > 0; }, 5000));
  sock.close();
  const auto arrivals = rec.arrivals.size();
  const int closes = rec.closes;
  Drain();
  EXPECT_EQ(rec.arrivals.size(), arrivals);
  EXPECT_EQ(rec.closes, closes);
  EXPECT_EQ(sock.getData(100), "");
  sock.close();                     // closing a closed socket is harmless
  sock.sendData("nobody listens");  // and so is sending on it
  EXPECT_EQ(sock.state(), sckClosed);
}

TEST_F(QtTcpSocketTest, RefusedConnectionRaisesTheErrorEvent) {
  // A port that nothing listens on: taken from a server that is closed again.
  QTcpServer probe;
  ASSERT_TRUE(probe.listen(QHostAddress(QStringLiteral("127.0.0.3")), 0));
  const int port = probe.serverPort();
  probe.close();

  EXPECT_EQ(sock.connect("127.0.0.3", port), std::nullopt) << "connect returns at once";
  ASSERT_TRUE(QTest::qWaitFor([&] { return rec.errors.size() == size_t{1}; }, 5000));
  EXPECT_EQ(rec.errors[0].first, 10061);
  EXPECT_EQ(rec.errors[0].second, "Connection is forcefully rejected");
  EXPECT_NE(sock.state(), sckConnected);
  Drain();
  EXPECT_EQ(rec.connects, 0);
  EXPECT_EQ(rec.closes, 0);

  // The socket connects again after a failure.
  sock.close();
  rec.errors.clear();
  ASSERT_NE(connectPeer(), nullptr);
}

TEST(QtTcpSocketLoopbackOnly, RefusesAddressesOutsideLoopbackBeforeConnecting) {
  const QByteArray saved = qgetenv("ORVEX_LOOPBACK_ONLY");
  qputenv("ORVEX_LOOPBACK_ONLY", "1");
  QtTcpSocket sock("sckZING");
  Recorder rec;
  sock.setEvents(rec.events());

  for (const char* host : {"192.168.128.100", "localhost", "10.0.0.1", "::1", "", "1.2.3"}) {
    const auto err = sock.connect(host, 1827);
    ASSERT_TRUE(err.has_value()) << host;
    EXPECT_NE(err->number, 0) << host;
    EXPECT_EQ(sock.state(), sckClosed) << host << ": no connect was started";
  }
  Drain();
  EXPECT_EQ(rec.connects + rec.closes, 0);
  EXPECT_TRUE(rec.errors.empty()) << "the refusal is the connect's result, not an event";

  EXPECT_TRUE(QtTcpSocket::IsLoopbackAddress("127.0.0.2"));
  EXPECT_TRUE(QtTcpSocket::IsLoopbackAddress("127.255.1.9"));
  EXPECT_FALSE(QtTcpSocket::IsLoopbackAddress("128.0.0.1"));

  qputenv("ORVEX_LOOPBACK_ONLY", "0");
  EXPECT_FALSE(QtTcpSocket::LoopbackOnly());
  if (saved.isNull())
    qunsetenv("ORVEX_LOOPBACK_ONLY");
  else
    qputenv("ORVEX_LOOPBACK_ONLY", saved);
}

}  // namespace
}  // namespace orvex
