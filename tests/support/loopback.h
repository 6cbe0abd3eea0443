// The engine on the real Qt adapters against a simulated terminal on
// loopback: a platform whose message boxes are recorded instead of shown,
// and a simulated terminal process for the length of a test.
#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "platform/qt_platform.h"
#include "support/fake_platform.h"

namespace orvex::test {

// Real timers, sockets, FTP, pump and clock; message boxes are recorded and
// answered by the fake, so no modal box blocks the test.
class LoopbackPlatform : public Platform {
 public:
  std::unique_ptr<TimerPort> makeTimer(std::function<void()> tick) override {
    return real.makeTimer(std::move(tick));
  }
  std::unique_ptr<TcpSocketPort> makeSocket(const std::string& name) override {
    return real.makeSocket(name);
  }
  std::unique_ptr<FtpClientPort> makeFtpClient() override { return real.makeFtpClient(); }
  std::unique_ptr<FtpUploadPort> makeFtpUpload() override { return real.makeFtpUpload(); }
  UiPort& ui() override { return fakeUi; }
  EventPumpPort& pump() override { return real.pump(); }
  ClockPort& clock() override { return real.clock(); }
  ProcessPort& process() override { return fakeProcess; }

  QtPlatform real;
  FakeUi fakeUi;
  FakeProcess fakeProcess;
};

// One simulated terminal for the length of a test; stopped in the destructor.
class SimulatedTerminal {
 public:
  // `scenario`: a file of the simulator's scenarios folder, or a whole path.
  SimulatedTerminal(const QString& address, double timeScale,
                    const QString& scenario = QStringLiteral("sample.ini")) {
    const QString root = QStringLiteral(ORVEX_SOURCE_DIR);
    sim_.setProcessChannelMode(QProcess::MergedChannels);
    sim_.start(
        "/usr/bin/python3",
        {root + "/tools/terminal-sim/terminal_sim.py", "--address", address, "--scenario",
         scenario.startsWith('/') ? scenario : root + "/tools/terminal-sim/scenarios/" + scenario,
         "--flash", flash_.path() + "/flash", "--journal", journal(), "--time-scale",
         QString::number(timeScale)});
    QDeadlineTimer deadline(20000);
    while (!output_.contains("READY") && !deadline.hasExpired() &&
           sim_.state() != QProcess::NotRunning) {
      sim_.waitForReadyRead(200);
      output_ += sim_.readAll();
    }
  }
  ~SimulatedTerminal() {
    sim_.terminate();
    if (!sim_.waitForFinished(5000)) sim_.kill();
    sim_.waitForFinished(2000);
  }
  bool ready() const { return output_.contains("READY"); }
  // The terminal's flash folder (tffs0, ram0 below it).
  QString flash() const { return flash_.path() + "/flash"; }
  QByteArray output() const { return output_; }
  // The terminal's journal: one JSON object a line, for each request and event.
  QString journal() const { return flash_.path() + "/journal.jsonl"; }

 private:
  QTemporaryDir flash_;
  QProcess sim_;
  QByteArray output_;
};

// Runs the event loop until cond holds or ms have passed.
inline bool WaitFor(const std::function<bool()>& cond, int ms) {
  QDeadlineTimer deadline(ms);
  while (!cond() && !deadline.hasExpired()) QTest::qWait(20);
  return cond();
}

}  // namespace orvex::test
