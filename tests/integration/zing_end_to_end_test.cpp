// The engine on the real Qt adapters against the simulated terminal on
// loopback, time-scaled: what the window shows after the first requests,
// and how a terminal that does not answer is reported.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>

#include "app/app_frame.h"
#include "app/upgrader.h"
#include "support/engine_fixture.h"
#include "support/fake_platform.h"
#include "support/loopback.h"

namespace orvex::test {
namespace {

class ZingEndToEnd : public ::testing::Test {
 protected:
  Upgrader& start(const std::string& address, double timeScale) {
    home.writeSize("orvex_5_1_0_12.bin", 1000);
    Config cfg;
    cfg.homeFolder = home.path();
    cfg.modemAddress = address;
    cfg.timeScale = timeScale;
    up = std::make_unique<Upgrader>(p, cfg);
    up->app.Form_Load();
    return *up;
  }
  bool waitFor(const std::function<bool()>& cond, int ms) { return WaitFor(cond, ms); }

  TempDir home;
  LoopbackPlatform p;
  std::unique_ptr<Upgrader> up;
};

TEST_F(ZingEndToEnd, TerminalVersionAndReleaseInformationAreShown) {
  SimulatedTerminal terminal("127.0.0.61", 0.1);
  ASSERT_TRUE(terminal.ready()) << terminal.output().toStdString();
  Upgrader& u = start("127.0.0.61", 0.1);
  ASSERT_TRUE(waitFor([&] { return u.win.text("txtAntCLSver") != "UNKNOWN"; }, 15000))
      << "status: " << u.win.text("sbUpgrade");
  EXPECT_EQ(u.win.text("txtCurrentSoftwareVersion"), "5.1.0.9");
  EXPECT_EQ(u.st.strCurrSwVersion, "5_1_0_9");
  EXPECT_EQ(u.st.termPlatformId, 1);
  EXPECT_EQ(u.win.text("txtTermPICVersion"), "2.03");
  EXPECT_EQ(u.win.text("txtTermIBVer"), "31.02");
  EXPECT_EQ(u.win.text("txtAntATBver"), "11");
  EXPECT_EQ(u.win.text("txtAntHPAver"), "V2");
  EXPECT_EQ(u.win.text("txtAntCLSver"), "Class 11");
  EXPECT_EQ(u.win.text("sbUpgrade"), "Operation Successful. Release Info retrieved!");
  EXPECT_TRUE(u.st.bOkToFTP);
  EXPECT_EQ(u.win.backColor("statusLED"), kColorGreen);
  EXPECT_EQ(u.st.screenMousePointer, vbDefault);
  EXPECT_TRUE(p.fakeUi.messages.empty());
}

TEST_F(ZingEndToEnd, NothingListeningReportsTheFailedConnectionThenTheConnectivityTest) {
  // 0.2: the 5 s connect time-out runs out after 1 s, the 2 s test after 0.4 s more.
  Upgrader& u = start("127.0.0.62", 0.2);
  ASSERT_TRUE(waitFor([&] { return !p.fakeUi.messages.empty(); }, 15000))
      << "status: " << u.win.text("sbUpgrade");
  const auto& m = p.fakeUi.messages.front();
  EXPECT_TRUE(StartsWith(m.text, "Unable to get Satellite IP Modem's software version.\r\n"))
      << m.text;
  EXPECT_EQ(m.flags, vbOKOnly | vbExclamation);
  EXPECT_EQ(m.title, "ORVEX Satellite IP Modem Upgrader");
  EXPECT_EQ(u.win.text("sbUpgrade"), "Connection failed.");
  EXPECT_EQ(u.win.text("txtCurrentSoftwareVersion"), "UNKNOWN");
  EXPECT_FALSE(u.st.bOkToFTP);
  EXPECT_EQ(u.win.backColor("statusLED"), kColorRed);
}

// A terminal that takes the connection but never completes it: a listening
// socket whose accept queue is full drops every further SYN, as a silent
// host does.
class SilentPort {
 public:
  SilentPort(const char* address, int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address, &a.sin_addr);
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ok_ = bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
          listen(listener_, 0) == 0;
    for (int& c : fillers_) {  // fill the accept queue
      c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    QTest::qWait(100);
  }
  ~SilentPort() {
    for (int c : fillers_) ::close(c);
    ::close(listener_);
  }
  bool ok() const { return ok_; }

 private:
  int listener_ = -1;
  int fillers_[3] = {-1, -1, -1};
  bool ok_ = false;
};

TEST_F(ZingEndToEnd, SilentTerminalRunsOutTheConnectTimeOutThenTheConnectivityTest) {
  SilentPort zing("127.0.0.65", 1827);
  ASSERT_TRUE(zing.ok());
  // 0.2: the 5 s connect time-out runs out after 1 s.
  QElapsedTimer clock;
  clock.start();
  Upgrader& u = start("127.0.0.65", 0.2);
  EXPECT_EQ(u.win.text("sbUpgrade"), "Retrieving Terminal software version...");
  ASSERT_TRUE(waitFor(
      [&] { return u.win.text("sbUpgrade") != "Retrieving Terminal software version..."; }, 15000));
  // A timer never fires early: the connection was given its whole time.
  EXPECT_GE(clock.elapsed(), 900);
  ASSERT_TRUE(waitFor([&] { return !p.fakeUi.messages.empty(); }, 15000));
  EXPECT_TRUE(StartsWith(p.fakeUi.messages.front().text,
                         "Unable to get Satellite IP Modem's software version.\r\n"));
  EXPECT_EQ(u.win.text("sbUpgrade"), "Connection failed.");
}

}  // namespace
}  // namespace orvex::test
