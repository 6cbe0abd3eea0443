// Starts tests/support/ftp_server.py (pyftpdlib) on a loopback address of
// its own, port 21, serving a folder; stops it when it goes out of scope.
// The server also ends by itself when its parent dies or its lifetime ends.
//
// It is started with posix_spawn, not QProcess: Qt 6.4 starts a child with
// libc's clone(CLONE_VM | CLONE_VFORK), which ThreadSanitizer takes for a
// fork, so that the child resets the sanitizer's state in memory it shares
// with us. A test built with ThreadSanitizer would lose track of every lock
// after the first server start (GCC 12) or abort (clang 14). posix_spawn
// clones inside libc, out of the sanitizer's sight.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

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
    // How long the 226 of an upload named "hold..." is held back.
    double holdSeconds = 3.0;
  };

  FtpTestServer(const std::string& root, const std::string& journal, Options options)
      : root_(root), journal_(journal), options_(std::move(options)) {}
  FtpTestServer(const std::string& root, const std::string& journal)
      : FtpTestServer(root, journal, Options{}) {}
  ~FtpTestServer() { stop(); }
  FtpTestServer(const FtpTestServer&) = delete;
  FtpTestServer& operator=(const FtpTestServer&) = delete;

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
      std::vector<std::string> args{"/usr/bin/python3", ScriptPath(),
                                    "--address",        address_,
                                    "--root",           root_,
                                    "--journal",        journal_,
                                    "--password",       options_.password,
                                    "--fault-bytes",    std::to_string(options_.faultBytes),
                                    "--lifetime",       std::to_string(options_.lifetimeSec),
                                    "--hold-seconds",   std::to_string(options_.holdSeconds)};
      if (options_.strict) args.push_back("--strict");
      if (spawn(args) && awaitReady(10000)) return true;
      stop();
    }
    return false;
  }

  void stop() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      if (!reap(5000)) {
        ::kill(pid_, SIGKILL);
        reap(2000);
      }
      pid_ = -1;
    }
    if (out_ >= 0) ::close(out_);
    out_ = -1;
  }

  const std::string& address() const { return address_; }
  // The server's process while it runs (for its CPU time), else -1.
  pid_t pid() const { return pid_; }

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
  // The server's standard output on a pipe (only "READY" is written there),
  // its standard input and error on /dev/null.
  bool spawn(const std::vector<std::string>& args) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
      ::close(pipeFds[0]);
      return false;
    }
    pid_ = pid;
    out_ = pipeFds[0];
    return true;
  }

  // Reads the server's output until it says READY, ends or the bound passes.
  bool awaitReady(int boundMs) {
    std::string out;
    QElapsedTimer t;
    t.start();
    while (out.find("READY") == std::string::npos) {
      const qint64 left = boundMs - t.elapsed();
      if (left <= 0) return false;
      pollfd p{out_, POLLIN, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(std::min<qint64>(left, 200)));
      if (ready < 0 && errno != EINTR) return false;
      if (ready <= 0) continue;
      char buffer[256];
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n <= 0) return false;  // the server ended before it listened
      out.append(buffer, static_cast<size_t>(n));
    }
    return true;
  }

  // Waits up to the bound for the server to end; true once it has.
  bool reap(int boundMs) {
    QElapsedTimer t;
    t.start();
    for (;;) {
      int status = 0;
      const pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_ || (r < 0 && errno == ECHILD)) return true;
      if (t.elapsed() > boundMs) return false;
      usleep(10000);
    }
  }

  std::string root_, journal_;
  Options options_;
  std::string address_;
  pid_t pid_ = -1;
  int out_ = -1;
};

}  // namespace orvex::test
