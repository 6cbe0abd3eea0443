// The ORVEX Satellite IP Modem Upgrader: the engine on the Qt platform with
// its main window.
#include <QApplication>
#include <QDir>
#include <QStringList>

#include "app/upgrader.h"
#include "platform/qt_platform.h"
#include "ui/qt/main_window_view.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ORVEX Satellite IP Modem Upgrader"));
  QApplication::setApplicationVersion(QStringLiteral("5.1.0"));

  orvex::Config cfg;
  cfg.homeFolder = QDir::toNativeSeparators(QDir::currentPath()).toLocal8Bit().toStdString();
  QStringList args = QCoreApplication::arguments();
  if (!args.isEmpty()) args.removeFirst();
  cfg.commandLine = args.join(QLatin1Char(' ')).toLocal8Bit().toStdString();
  orvex::ApplyEnvironment(cfg);

  orvex::QtPlatform platform;
  orvex::Upgrader up(platform, cfg);
  orvex::MainWindowView view(up, &platform.qtUi());

  up.app.Form_Load();
  if (up.st.bUnloaded) return 0;
  view.show();
  return app.exec();
}
