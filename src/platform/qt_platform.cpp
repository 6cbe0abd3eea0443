#include "platform/qt_platform.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QPushButton>

#include "app/part.h"

namespace orvex {

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

}  // namespace orvex
