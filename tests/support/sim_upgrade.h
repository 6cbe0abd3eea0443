// An upgrade as a technician runs it: the engine on the real Qt and libcurl
// adapters, a sample release folder as the current folder, and a simulated
// terminal on loopback.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "app/app_frame.h"
#include "app/upgrader.h"
#include "support/engine_fixture.h"
#include "support/loopback.h"

namespace orvex::test {

class SimUpgradeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Local file names in FTP commands are relative to the current folder,
    // which is the home folder.
    const QString script = QStringLiteral(ORVEX_SOURCE_DIR) + "/scripts/make-sample-release";
    ASSERT_EQ(QProcess::execute(script, {QString::fromStdString(home.path())}), 0);
    previous_ = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(home.path()));
  }
  void TearDown() override {
    up.reset();
    QDir::setCurrent(previous_);
  }

  // A new upgrader (as after a restart of the program) against `address`.
  Upgrader& launch(const std::string& address, double timeScale) {
    up.reset();
    p.fakeUi.messages.clear();
    Config cfg;
    cfg.homeFolder = home.path();
    cfg.modemAddress = address;
    cfg.timeScale = timeScale;
    up = std::make_unique<Upgrader>(p, cfg);
    up->app.Form_Load();
    return *up;
  }

  // The last lines of the upgrader's log, for a failure message.
  std::string logTail(size_t n = 80) const {
    const auto files = FindFiles(home.path() + "/logs", "*.txt");
    if (files.empty()) return "(no log)";
    const auto lines = SplitCrLf(home.read("logs/" + files.front()));
    std::string out;
    for (size_t i = lines.size() > n ? lines.size() - n : 0; i < lines.size(); ++i)
      out += lines[i] + "\n";
    return out;
  }
  std::vector<std::string> logLines() const {
    const auto files = FindFiles(home.path() + "/logs", "*.txt");
    return files.empty() ? std::vector<std::string>{} : SplitCrLf(home.read("logs/" + files[0]));
  }
  std::string messages() const {
    std::string all;
    for (const auto& m : p.fakeUi.messages) all += "[" + m.title + "] " + m.text + "\n";
    return all;
  }

  TempDir home;
  LoopbackPlatform p;
  std::unique_ptr<Upgrader> up;
  QString previous_;
};

// What the simulated terminal would boot from its flash folder, and every
// file on it with its size, hash and whether its upload completed.
inline QJsonObject FlashReport(const QString& flash) {
  QProcess report;
  report.start("/usr/bin/python3",
               {QStringLiteral(ORVEX_SOURCE_DIR) + "/tools/terminal-sim/terminal_sim.py", "--flash",
                flash, "--flash-report"});
  if (!report.waitForFinished(20000)) return {};
  return QJsonDocument::fromJson(report.readAllStandardOutput()).object();
}

}  // namespace orvex::test
