#include "platform/qt_platform.h"

#include <QApplication>
#include <QCursor>
#include <QDateTime>
#include <QEventLoop>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <algorithm>

#include "app/part.h"
#include "platform/curl_ftp.h"
#include "platform/qt_tcp_socket.h"

namespace orvex {

namespace {

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

}  // namespace

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

// ---------------------------------------------------------------- UI

QString QtUi::DisplayText(const std::string& text) {
  QString s = FromAnsi(text);
  s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

int QtUi::msgBox(const std::string& text, int flags, const std::string& title) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (flags & 0x70) {
    case vbCritical: icon = QMessageBox::Critical; break;
    case vbQuestion: icon = QMessageBox::Question; break;
    case vbExclamation: icon = QMessageBox::Warning; break;
    case vbInformation: icon = QMessageBox::Information; break;
    default: break;
  }
  QMessageBox::StandardButtons buttons;
  switch (flags & 0x7) {
    case vbOKCancel: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case 2: buttons = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore; break;
    case 3: buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case vbYesNo: buttons = QMessageBox::Yes | QMessageBox::No; break;
    case 5: buttons = QMessageBox::Retry | QMessageBox::Cancel; break;
    default: buttons = QMessageBox::Ok; break;
  }
  QWidget* parent = QApplication::activeModalWidget();
  if (!parent) parent = QApplication::activeWindow();
  QMessageBox box(icon, title.empty() ? QString::fromLatin1(kProgramTitle) : FromAnsi(title),
                  DisplayText(text), buttons, parent);
  box.setTextFormat(Qt::PlainText);
  if (flags & vbDefaultButton2) {
    if (buttons & QMessageBox::No)
      box.setDefaultButton(QMessageBox::No);
    else if (buttons & QMessageBox::Cancel)
      box.setDefaultButton(QMessageBox::Cancel);
  }
  // A busy pointer is no pointer to answer a question with.
  const bool wasBusy = busy_;
  if (wasBusy) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  const int pressed = box.exec();
  if (wasBusy) QGuiApplication::restoreOverrideCursor();
  switch (pressed) {
    case QMessageBox::Ok: return vbOK;
    case QMessageBox::Cancel: return vbCancel;
    case QMessageBox::Abort: return 3;
    case QMessageBox::Retry: return 4;
    case QMessageBox::Ignore: return 5;
    case QMessageBox::Yes: return vbYes;
    case QMessageBox::No: return vbNo;
    default:
      // Closed by the close box: the button that stands for "no".
      if (buttons & QMessageBox::Cancel) return vbCancel;
      if (buttons & QMessageBox::No) return vbNo;
      return vbOK;
  }
}

void QtUi::setBusyPointer(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy)
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
  else
    QGuiApplication::restoreOverrideCursor();
}

void QtUi::showModal(const std::string& form) {
  if (host_) host_->showModal(form);
}

void QtUi::closeModal(const std::string& form) {
  if (host_) host_->closeModal(form);
}

void QtUi::quit() {
  setBusyPointer(false);
  if (host_) host_->closeMainWindow();
  if (quitHandler_)
    quitHandler_();
  else
    QCoreApplication::exit(0);
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

std::unique_ptr<TimerPort> QtPlatform::makeTimer(std::function<void()> tick) {
  return std::make_unique<QtTimer>(std::move(tick));
}

std::unique_ptr<TcpSocketPort> QtPlatform::makeSocket(const std::string& name) {
  return std::make_unique<QtTcpSocket>(name);
}

std::unique_ptr<FtpClientPort> QtPlatform::makeFtpClient() {
  return MakeCurlFtpClient();
}

std::unique_ptr<FtpUploadPort> QtPlatform::makeFtpUpload() {
  return MakeCurlFtpUpload();
}

}  // namespace orvex
