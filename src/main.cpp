// The ORVEX Satellite IP Modem Upgrader: the engine on the Qt platform with
// its main window.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStringList>
#include <cstdio>
#include <cstring>

#include "app/app_frame.h"
#include "app/part.h"
#include "app/upgrader.h"
#include "app/version.h"
#include "platform/qt_platform.h"
#include "platform/sql_history.h"
#include "platform/terminal_lock.h"
#include "ui/qt/main_window_view.h"

int main(int argc, char** argv) {
  // Answered before the window exists, so that it needs no display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("orvex-upgrader %s\n", orvex::kVersion);
      return 0;
    }
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ORVEX Satellite IP Modem Upgrader"));
  QApplication::setApplicationVersion(QString::fromLatin1(orvex::kVersion));
  // Desktops match the window to its menu entry by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("com.orvex.Upgrader"));

  // One upgrader per terminal: nothing is sent before the lock is held, and
  // a new address is taken only with its terminal's lock.
  orvex::TerminalLock lock;
  orvex::Config cfg;
  cfg.claimTerminal = [&lock](const std::string& address) -> std::string {
    if (lock.acquire(QString::fromLatin1(address.c_str()))) return {};
    return lock.refusal().toStdString();
  };
  cfg.homeFolder = QDir::toNativeSeparators(QDir::currentPath()).toLocal8Bit().toStdString();
  QStringList args = QCoreApplication::arguments();
  if (!args.isEmpty()) args.removeFirst();
  cfg.commandLine = args.join(QLatin1Char(' ')).toLocal8Bit().toStdString();
  orvex::ApplyEnvironment(cfg);

  orvex::QtPlatform platform;
  // The upgrade history of the user; one that cannot be opened leaves a
  // line in the log at the end of the upgrade, nothing more.
  orvex::SqlHistory history;
  history.open(orvex::SqlHistory::DefaultPath());
  platform.setHistory(&history);
  orvex::Upgrader up(platform, cfg);
  if (!lock.acquire(QString::fromLatin1(orvex::Trim(up.win.text("txtIPAddress")).c_str()))) {
    QMessageBox::critical(nullptr, QString::fromLatin1(orvex::kProgramTitle), lock.refusal());
    return 3;
  }
  orvex::MainWindowView view(up, &platform.qtUi());

  up.app.Form_Load();
  if (up.st.bUnloaded) return 0;
  view.show();
  return app.exec();
}
