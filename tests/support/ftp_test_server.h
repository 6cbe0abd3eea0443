// Starts tests/support/ftp_server.py (pyftpdlib) on a loopback address of
// its own, port 21, serving a folder; stops it when it goes out of scope.
// The server also ends by itself when its parent dies or its lifetime ends.
#pragma once

#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <string>

namespace orvex::test {

// Pumps events until the condition holds or the bound passes.
inline bool WaitUntil(const std::function<bool()>& done, int boundMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > boundMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::sendPostedEvents();
    if (!done()) usleep(2000);
  }
  return true;
}

class FtpTestServer {
 public:
  struct Options {
    std::string password = "skyharbor";
    int faultBytes = 65536;
    int lifetimeSec = 240;
    // An older embedded server: refuses "CWD /", EPSV, EPRT, SIZE, MDTM,
    // MLSD, MLST and FEAT.
    bool strict = false;
  };

  FtpTestServer(const std::string& root, const std::string& journal, Options options)
      : root_(root), journal_(journal), options_(std::move(options)) {}
  FtpTestServer(const std::string& root, const std::string& journal)
      : FtpTestServer(root, journal, Options{}) {}
  ~FtpTestServer() { stop(); }

  // A fresh loopback address; nothing listens on it until start().
  static std::string NextAddress() {
    static int counter = 0;
    ++counter;
    const int pid = static_cast<int>(getpid());
    return "127.201." + std::to_string(pid % 250) + "." + std::to_string(counter % 250 + 1);
  }

  // Tries a few addresses; false when the server would not come up.
  bool start() {
    for (int attempt = 0; attempt < 4; ++attempt) {
      address_ = NextAddress();
      const QString script = QString::fromStdString(ScriptPath());
      proc_.setProcessChannelMode(QProcess::SeparateChannels);
      QStringList args{script,
                       "--address",
                       QString::fromStdString(address_),
                       "--root",
                       QString::fromStdString(root_),
                       "--journal",
                       QString::fromStdString(journal_),
                       "--password",
                       QString::fromStdString(options_.password),
                       "--fault-bytes",
                       QString::number(options_.faultBytes),
                       "--lifetime",
                       QString::number(options_.lifetimeSec)};
      if (options_.strict) args << "--strict";
      proc_.start("/usr/bin/python3", args);
      if (!proc_.waitForStarted(5000)) continue;
      QByteArray out;
      QElapsedTimer t;
      t.start();
      while (!out.contains("READY") && proc_.state() == QProcess::Running && t.elapsed() < 10000) {
        proc_.waitForReadyRead(200);
        out += proc_.readAllStandardOutput();
      }
      if (out.contains("READY")) return true;
      stop();
    }
    return false;
  }

  void stop() {
    if (proc_.state() == QProcess::NotRunning) return;
    proc_.terminate();
    if (!proc_.waitForFinished(5000)) {
      proc_.kill();
      proc_.waitForFinished(2000);
    }
  }

  const std::string& address() const { return address_; }

  // __FILE__ may be relative to the build folder (Ninja), which is not the
  // working folder of a test run by ctest; the source folder is surer.
  static std::string ScriptPath() {
#ifdef ORVEX_SOURCE_DIR
    const std::filesystem::path fromSource =
        std::filesystem::path(ORVEX_SOURCE_DIR) / "tests" / "support" / "ftp_server.py";
    if (std::filesystem::exists(fromSource)) return fromSource.string();
#endif
    return (std::filesystem::path(__FILE__).parent_path() / "ftp_server.py").string();
  }

  // The commands the server received, one a line (PASS masked).
  QStringList journal() const {
    QFile f(QString::fromStdString(journal_));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
  }

 private:
  std::string root_, journal_;
  Options options_;
  std::string address_;
  QProcess proc_;
};

}  // namespace orvex::test
