// The platform on Qt: timers on QTimer, sockets on QTcpSocket, message boxes
// on QMessageBox, the busy pointer as an override cursor, event pumping on
// QEventLoop, the clock in the system locale and programs on QProcess. FTP
// goes through the libcurl adapter.
#pragma once

#include <QLocale>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "platform/ports.h"

class QWidget;

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

// The front-end that owns the windows: it shows and closes the dialogs of the
// window model and closes the main window when the program ends.
class DialogHost {
 public:
  virtual ~DialogHost() = default;
  // Shows the dialog modally and returns when it is closed.
  virtual void showModal(const std::string& form) = 0;
  virtual void closeModal(const std::string& form) = 0;
  // Closes the dialogs and the main window without running the unload
  // handlers again.
  virtual void closeMainWindow() = 0;
};

class QtUi : public UiPort {
 public:
  int msgBox(const std::string& text, int flags, const std::string& title) override;
  void setBusyPointer(bool busy) override;
  void showModal(const std::string& form) override;
  void closeModal(const std::string& form) override;
  void quit() override;

  void setHost(DialogHost* host) { host_ = host; }
  // What ends the program after the main window has closed; unset, the
  // application's event loop is told to exit.
  void setQuitHandler(std::function<void()> handler) { quitHandler_ = std::move(handler); }
  bool busy() const { return busy_; }

  // The message box text as Qt shows it: CR LF (and lone CR) become line
  // breaks, everything else is kept.
  static QString DisplayText(const std::string& text);

 private:
  DialogHost* host_ = nullptr;
  std::function<void()> quitHandler_;
  bool busy_ = false;
};

class QtPump : public EventPumpPort {
 public:
  void doEvents() override;
  void sleepMs(int ms) override;
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

class QtPlatform : public Platform {
 public:
  std::unique_ptr<TimerPort> makeTimer(std::function<void()> tick) override;
  std::unique_ptr<TcpSocketPort> makeSocket(const std::string& name) override;
  std::unique_ptr<FtpClientPort> makeFtpClient() override;
  std::unique_ptr<FtpUploadPort> makeFtpUpload() override;
  UiPort& ui() override { return ui_; }
  EventPumpPort& pump() override { return pump_; }
  ClockPort& clock() override { return clock_; }
  ProcessPort& process() override { return process_; }

  QtUi& qtUi() { return ui_; }

 private:
  QtUi ui_;
  QtPump pump_;
  QtClock clock_;
  QtProcess process_;
};

}  // namespace orvex
