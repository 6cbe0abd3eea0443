// The platform on Qt Core and Network, without widgets: timers on QTimer,
// sockets on QTcpSocket, event pumping on QEventLoop, the clock in the
// system locale and programs on QProcess. FTP goes through the libcurl
// adapter. Message boxes are the front-end's: the window shows them, the
// command line prints and answers them.
#pragma once

#include <QLocale>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "platform/ports.h"

namespace orvex {

class QtTimer : public TimerPort {
 public:
  explicit QtTimer(std::function<void()> tick);
  void start(int ms) override;
  void stop() override;
  bool isActive() const { return timer_.isActive(); }

 private:
  QTimer timer_;
  std::function<void()> tick_;
};

class QtPump : public EventPumpPort {
 public:
  void doEvents() override;
  void sleepMs(int ms) override;
  void pauseMs(int ms) override;
};

class QtClock : public ClockPort {
 public:
  explicit QtClock(QLocale locale = QLocale::system()) : locale_(std::move(locale)) {}
  DateTime now() override;
  std::string shortDate(const DateTime& t) override;
  std::string shortTime(const DateTime& t) override;

 private:
  QLocale locale_;
};

class QtProcess : public ProcessPort {
 public:
  void startProgram(const std::string& path, const std::string& workingDir) override;
};

// Everything but the message boxes, which the front-end brings.
class QtCorePlatform : public Platform {
 public:
  std::unique_ptr<TimerPort> makeTimer(std::function<void()> tick) override;
  std::unique_ptr<TcpSocketPort> makeSocket(const std::string& name) override;
  std::unique_ptr<FtpClientPort> makeFtpClient() override;
  std::unique_ptr<FtpUploadPort> makeFtpUpload() override;
  EventPumpPort& pump() override { return pump_; }
  ClockPort& clock() override { return clock_; }
  ProcessPort& process() override { return process_; }
  HistoryPort* history() override { return history_; }
  // The front-end's upgrade history (not owned); nullptr: none.
  void setHistory(HistoryPort* history) { history_ = history; }

 private:
  HistoryPort* history_ = nullptr;
  QtPump pump_;
  QtClock clock_;
  QtProcess process_;
};

// The system's text for the engine's (Latin-1) text, and back.
QString FromAnsi(const std::string& s);
std::string ToAnsi(const QString& s);

}  // namespace orvex
