#include "platform/qt_core_platform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QProcess>
#include <QThread>
#include <algorithm>

#include "platform/curl_ftp.h"
#include "platform/qt_tcp_socket.h"

namespace orvex {

std::string ToAnsi(const QString& s) {
  QString t = s;
  // Locales put no-break spaces before AM/PM and between date parts.
  t.replace(QChar(0x202F), QLatin1Char(' '));
  t.replace(QChar(0x00A0), QLatin1Char(' '));
  return t.toLatin1().toStdString();
}

QString FromAnsi(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// ---------------------------------------------------------------- timers

QtTimer::QtTimer(std::function<void()> tick) : tick_(std::move(tick)) {
  timer_.setSingleShot(false);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (tick_) tick_();
  });
}

void QtTimer::start(int ms) {
  timer_.start(std::max(ms, 0));
}

void QtTimer::stop() {
  timer_.stop();
}

// ---------------------------------------------------------------- pump

void QtPump::doEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtPump::sleepMs(int ms) {
  if (ms <= 0) {
    doEvents();
    return;
  }
  QEventLoop loop;
  QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

void QtPump::pauseMs(int ms) {
  if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
}

// ---------------------------------------------------------------- clock

DateTime QtClock::now() {
  const QDateTime n = QDateTime::currentDateTime();
  const QDate d = n.date();
  const QTime t = n.time();
  return DateTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

std::string QtClock::shortDate(const DateTime& t) {
  QString format = locale_.dateFormat(QLocale::ShortFormat);
  // Four-digit years: "yy" becomes "yyyy" where the form has only two.
  if (!format.contains(QLatin1String("yyyy")))
    format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
  return ToAnsi(locale_.toString(QDate(t.year, t.month, t.day), format));
}

std::string QtClock::shortTime(const DateTime& t) {
  QString format = locale_.timeFormat(QLocale::ShortFormat);
  // With seconds, without a time zone.
  if (!format.contains(QLatin1Char('s'))) {
    const qsizetype m = format.lastIndexOf(QLatin1String("mm"));
    if (m >= 0) format.insert(m + 2, QLatin1String(":ss"));
  }
  format.remove(QLatin1Char('t'));
  return ToAnsi(locale_.toString(QTime(t.hour, t.minute, t.second), format).trimmed());
}

// ---------------------------------------------------------------- process

void QtProcess::startProgram(const std::string& path, const std::string& workingDir) {
  // A missing program is no error of ours.
  QProcess::startDetached(FromAnsi(path), {}, FromAnsi(workingDir));
}

// ---------------------------------------------------------------- factory

std::unique_ptr<TimerPort> QtCorePlatform::makeTimer(std::function<void()> tick) {
  return std::make_unique<QtTimer>(std::move(tick));
}

std::unique_ptr<TcpSocketPort> QtCorePlatform::makeSocket(const std::string& name) {
  return std::make_unique<QtTcpSocket>(name);
}

std::unique_ptr<FtpClientPort> QtCorePlatform::makeFtpClient() {
  return MakeCurlFtpClient();
}

std::unique_ptr<FtpUploadPort> QtCorePlatform::makeFtpUpload() {
  return MakeCurlFtpUpload();
}

}  // namespace orvex
