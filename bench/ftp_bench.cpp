// The libcurl FTP adapter on one loopback FTP server, each figure against a
// reference measured in the same run. The server is the tests' own
// (tests/support/ftp_server.py, pyftpdlib, port 21), or with --server vsftpd
// Debian's vsftpd, a server written in C that spends far less CPU on a
// transfer, on an unprivileged port with a configuration of our own
// (throughput only):
//
//   --mode throughput  PUT and GET through the adapter and through the curl
//                      command line (seconds), with the CPU time the server
//                      spent on each transfer and the client's own;
//   --mode ticks       the longest gap between the ticks of a 1 ms timer on
//                      this (the GUI) thread with no transfer, during a PUT,
//                      and during a PUT whose final 226 the server holds back;
//   --mode rss         the resident memory before and the peak during a PUT
//                      and a GET of a large sparse file.
//
// Prints one JSON object a line per measurement ({"key": ..., "value": ...})
// for bench/report.py; no thresholds, a measuring tool.
//
//   ftp_bench --mode throughput|ticks|rss [--server python|vsftpd] [--mb 200]
//             [--rounds 3] [--hold 3]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/curl_ftp.h"
#include "support/ftp_test_server.h"

namespace {

using orvex::test::FtpTestServer;

constexpr int kBoundMs = 600000;

void Emit(const std::string& key, double value) {
  std::printf("{\"key\": \"%s\", \"value\": %.9g}\n", key.c_str(), value);
  std::fflush(stdout);
}

std::string Text(int argc, char** argv, const char* name, const std::string& fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == name) return argv[i + 1];
  return fallback;
}

double Number(int argc, char** argv, const char* name, double fallback) {
  const std::string t = Text(argc, argv, name, "");
  return t.empty() ? fallback : std::max(0.001, std::atof(t.c_str()));
}

// User + system CPU seconds of a process from /proc (the server's), with
// those of its children that it has reaped (vsftpd's sessions).
double ProcessCpu(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const size_t close = all.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(all.substr(close + 2));
  std::string field;
  unsigned long long ticks = 0;
  for (int i = 3; i <= 17 && rest >> field; ++i)
    if (i >= 14) ticks += std::stoull(field);
  return double(ticks) / double(sysconf(_SC_CLK_TCK));
}

// Waits up to the bound until a process has no children left.
void WaitForChildren(pid_t pid, int boundMs) {
  const std::string path =
      "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children";
  for (int waited = 0; waited < boundMs; waited += 10) {
    std::ifstream f(path);
    std::string child;
    if (!f || !(f >> child)) return;
    usleep(10000);
  }
}

double RusageCpu(int who) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
         u.ru_stime.tv_usec / 1e6;
}

// Resident set of this process, in bytes.
double RssNow() {
  std::ifstream f("/proc/self/statm");
  long long size = 0, resident = 0;
  f >> size >> resident;
  return double(resident) * double(sysconf(_SC_PAGESIZE));
}

// The peak resident set since the last ResetPeak (VmHWM), in bytes.
double RssPeak() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) * 1024.0;
  return 0;
}

bool ResetPeak() {
  std::ofstream f("/proc/self/clear_refs");
  f << "5";
  return bool(f);
}

// One command with a fresh client (so the login counts, as it does for the
// command line), run in an event loop of this thread; seconds, or a
// negative number on failure.
double RunAdapter(const orvex::FtpLogin& login, const std::string& host,
                  const orvex::FtpCommand& command) {
  auto client = orvex::MakeCurlFtpClient(login);
  int last = 0;
  QEventLoop loop;
  client->setStateChanged([&](int s) {
    last = s;
    if (s == orvex::icResponseCompleted || s == orvex::icError || s == orvex::icDisconnected)
      loop.quit();
  });
  client->setRemoteHost(host);
  QTimer bound;
  bound.setSingleShot(true);
  QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
  bound.start(kBoundMs);
  QElapsedTimer t;
  t.start();
  client->execute(command);
  loop.exec();
  const double seconds = t.nsecsElapsed() / 1e9;
  if (last != orvex::icResponseCompleted) {
    std::fprintf(stderr, "ftp_bench: %s failed: %ld %s\n", command.shown().c_str(),
                 client->responseCode(), client->responseInfo().c_str());
    return -1;
  }
  return seconds;
}

double RunCurl(const orvex::FtpLogin& login, const QStringList& args) {
  QProcess p;
  QElapsedTimer t;
  t.start();
  const QString user = QString::fromStdString(login.user + ":" + login.password);
  p.start("curl", QStringList{"-s", "-S", "--max-time", "600", "-u", user} + args);
  if (!p.waitForFinished(kBoundMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    std::fprintf(stderr, "ftp_bench: curl %s failed: %s\n", qPrintable(args.join(' ')),
                 p.readAllStandardError().constData());
    return -1;
  }
  return t.nsecsElapsed() / 1e9;
}

bool WriteRandom(const QString& path, qint64 bytes) {
  QByteArray data(qsizetype(bytes), Qt::Uninitialized);
  QRandomGenerator gen(1827);
  gen.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

bool WriteSparse(const QString& path, qint64 bytes) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  if (fd < 0) return false;
  const bool ok = ::ftruncate(fd, bytes) == 0;
  return ::close(fd) == 0 && ok;
}

// A 1 ms timer on this thread: the longest gap between its ticks.
class TickWatch {
 public:
  TickWatch() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      longest_ = std::max(longest_, now - last_);
      last_ = now;
    });
  }
  void start() {
    longest_ = 0;
    clock_.start();
    last_ = 0;
    timer_.start();
  }
  // The longest gap so far (to now), in seconds.
  double stop() {
    timer_.stop();
    longest_ = std::max(longest_, clock_.nsecsElapsed() - last_);
    return longest_ / 1e9;
  }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0, longest_ = 0;
};

// The session's working folders under a RAM-backed folder when there is
// one, so that the disk does not time the transfers.
QString TempBase() {
  const QString shm = "/dev/shm";
  return QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
}

// Debian's vsftpd on a loopback address of its own and an unprivileged
// port, from a configuration written here: anonymous login straight into
// the served folder, uploads allowed, passive mode only, on the same
// address. It never reads the system's configuration and never listens
// beyond loopback; it ends with this object, on the death of this process
// (its sessions end with it), and after its lifetime at the latest.
class VsftpdServer {
 public:
  static constexpr long kPort = 2121;

  VsftpdServer(const QString& root, const QString& work, int lifetimeSec)
      : root_(root), work_(work), lifetimeSec_(lifetimeSec) {}
  ~VsftpdServer() { stop(); }
  VsftpdServer(const VsftpdServer&) = delete;
  VsftpdServer& operator=(const VsftpdServer&) = delete;

  bool start() {
    const QString program = "/usr/sbin/vsftpd";
    if (!QFileInfo(program).isExecutable()) {
      std::fprintf(stderr, "ftp_bench: %s is missing (scripts/install-deps)\n",
                   qPrintable(program));
      return false;
    }
    address_ = "127.0.6." + std::to_string(getpid() % 250 + 1);
    // The sessions drop to the "ftp" user, shut in the served folder, which
    // vsftpd wants them unable to write (as it does the empty folder it
    // shuts its helpers in); the folder the transfers use is theirs.
    const QString empty = work_ + "/vsftpd-empty";
    QDir().mkpath(empty);
    const auto readable = QFileDevice::Permissions(0x7555);
    for (const QString& d : {empty, root_, root_ + "/tffs0"}) QFile::setPermissions(d, readable);
    QFile::setPermissions(root_ + "/tffs0/bin", QFileDevice::Permissions(0x7777));
    const QString conf = work_ + "/vsftpd.conf";
    QFile f(conf);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const QString a = QString::fromStdString(address_);
    QStringList lines{"listen=YES",
                      "listen_ipv6=NO",
                      "listen_address=" + a,
                      "listen_port=" + QString::number(kPort),
                      "background=NO",
                      "anonymous_enable=YES",
                      "local_enable=NO",
                      "no_anon_password=YES",
                      "anon_root=" + root_,
                      "write_enable=YES",
                      "anon_upload_enable=YES",
                      "anon_other_write_enable=YES",
                      "anon_umask=022",
                      "allow_writeable_chroot=YES",
                      "pasv_enable=YES",
                      "pasv_address=" + a,
                      "pasv_min_port=40000",
                      "pasv_max_port=40999",
                      "port_enable=NO",
                      "connect_from_port_20=NO",
                      "secure_chroot_dir=" + empty,
                      "xferlog_enable=NO",
                      "dirmessage_enable=NO",
                      "tcp_wrappers=NO",
                      "hide_ids=YES",
                      "max_clients=8"};
    // Without root it cannot change users: it stays the user who started it.
    if (geteuid() != 0) lines << "run_as_launching_user=YES";
    f.write((lines.join('\n') + '\n').toUtf8());
    f.close();

    const std::string programPath = program.toStdString(), confPath = conf.toStdString();
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(0);
      const int null = ::open("/dev/null", O_RDWR);
      if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
      }
      execl(programPath.c_str(), programPath.c_str(), confPath.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    // The lifetime: a watcher that ends the server unless it goes first.
    const pid_t server = pid_;
    watcher_ = fork();
    if (watcher_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(0);
      sleep(static_cast<unsigned>(lifetimeSec_));
      kill(server, SIGTERM);
      _exit(0);
    }
    return awaitListening(10000);
  }

  void stop() {
    for (pid_t* p : {&pid_, &watcher_}) {
      if (*p <= 0) continue;
      kill(*p, SIGTERM);
      int status = 0;
      for (int i = 0; i < 500 && waitpid(*p, &status, WNOHANG) == 0; ++i) usleep(10000);
      if (waitpid(*p, &status, WNOHANG) == 0) {
        kill(*p, SIGKILL);
        waitpid(*p, &status, 0);
      }
      *p = -1;
    }
  }

  const std::string& address() const { return address_; }
  pid_t pid() const { return pid_; }

 private:
  // Connects until the server answers, it ends or the bound passes.
  bool awaitListening(int boundMs) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < boundMs) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        std::fprintf(stderr, "ftp_bench: vsftpd ended at start (exit %d)\n", WEXITSTATUS(status));
        return false;
      }
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in sa{};
      sa.sin_family = AF_INET;
      sa.sin_port = htons(static_cast<uint16_t>(kPort));
      inet_pton(AF_INET, address_.c_str(), &sa.sin_addr);
      const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
      ::close(fd);
      if (up) return true;
      usleep(20000);
    }
    std::fprintf(stderr, "ftp_bench: vsftpd did not listen on %s:%ld\n", address_.c_str(), kPort);
    return false;
  }

  QString root_, work_;
  int lifetimeSec_;
  std::string address_;
  pid_t pid_ = -1, watcher_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qputenv("ORVEX_LOOPBACK_ONLY", "1");
  const std::string mode = Text(argc, argv, "--mode", "throughput");
  const int rounds = int(Number(argc, argv, "--rounds", 3));
  const qint64 mb = qint64(Number(argc, argv, "--mb", mode == "rss" ? 1024 : 200));
  const qint64 bytes = mb * 1024 * 1024;

  QTemporaryDir tmp(TempBase() + "/orvex-bench-XXXXXX");
  if (!tmp.isValid()) return 1;
  const QString root = tmp.filePath("flash");
  const QString pc = tmp.filePath("pc");
  QDir().mkpath(root + "/tffs0/bin");
  QDir().mkpath(pc);

  // Either server; the figures refer to whichever runs.
  const std::string which = Text(argc, argv, "--server", "python");
  std::unique_ptr<FtpTestServer> python;
  std::unique_ptr<VsftpdServer> vsftpd;
  std::string host;
  pid_t serverPid = -1;
  orvex::FtpLogin login{"termuser", "skyharbor", 0};
  if (which == "vsftpd") {
    if (mode != "throughput") {
      std::fprintf(stderr, "ftp_bench: vsftpd serves --mode throughput only\n");
      return 64;
    }
    vsftpd = std::make_unique<VsftpdServer>(root, tmp.path(), 1800);
    if (!vsftpd->start()) return 1;
    host = vsftpd->address();
    serverPid = vsftpd->pid();
    login = {"anonymous", "bench", VsftpdServer::kPort};
  } else if (which == "python") {
    FtpTestServer::Options options;
    options.lifetimeSec = 1800;
    options.holdSeconds = Number(argc, argv, "--hold", 3.0);
    python = std::make_unique<FtpTestServer>(root.toStdString(),
                                             tmp.filePath("journal.txt").toStdString(), options);
    if (!python->start()) {
      std::fprintf(stderr, "ftp_bench: the FTP server did not start\n");
      return 1;
    }
    host = python->address();
    serverPid = python->pid();
  } else {
    std::fprintf(stderr, "ftp_bench: unknown --server %s\n", which.c_str());
    return 64;
  }
  const QString hostPort =
      QString::fromStdString(login.port ? host + ":" + std::to_string(login.port) : host);
  const QString url = QString("ftp://%1/%2Ftffs0/bin/").replace("%1", hostPort);
  const std::string bin = "/tffs0/bin/";
  auto put = [&](const QString& local, const std::string& remote) {
    return RunAdapter(login, host, {"PUT", {local.toStdString(), bin + remote}});
  };
  auto get = [&](const std::string& remote, const QString& local) {
    return RunAdapter(login, host, {"GET", {bin + remote, local.toStdString()}});
  };
  Emit("mb", double(mb));

  if (mode == "throughput") {
    const QString source = pc + "/orvex_bench.bin";
    if (!WriteRandom(source, bytes)) return 1;
    // Each transfer: its time, the server's CPU and the client's CPU.
    auto measure = [&](const std::string& key, auto&& transfer, int who) {
      const double server0 = ProcessCpu(serverPid), client0 = RusageCpu(who);
      const double seconds = transfer();
      if (seconds < 0) {
        tmp.remove();  // std::exit runs no destructors of this scope
        std::exit(1);
      }
      Emit(key + "_s", seconds);
      // vsftpd's session of the transfer counts once the server has reaped it.
      if (vsftpd) WaitForChildren(serverPid, 2000);
      Emit(key + "_server_cpu_s", ProcessCpu(serverPid) - server0);
      Emit(key + "_client_cpu_s", RusageCpu(who) - client0);
    };
    // Each round uploads to names the server does not hold yet: a server
    // that overwrites a file first frees the old copy (some 0.2 s for 1 GB
    // on tmpfs), time that would count for both clients and is no
    // client's. Ours and curl take turns at going first, so that a change
    // of load on the machine favours neither.
    const QString remoteOurs = root + "/tffs0/bin/ours.bin";
    const QString remoteCurl = root + "/tffs0/bin/curl.bin";
    for (int r = 0; r < rounds; ++r) {
      const auto inTurn = [&](auto&& ours, auto&& curl) {
        if (r % 2 == 0) {
          ours();
          curl();
        } else {
          curl();
          ours();
        }
      };
      inTurn(
          [&] {
            QFile::remove(remoteOurs);
            measure(
                "put_ours", [&] { return put(source, "ours.bin"); }, RUSAGE_SELF);
          },
          [&] {
            QFile::remove(remoteCurl);
            measure(
                "put_curl",
                [&] {
                  return RunCurl(login, {"-T", source, url + "curl.bin"});
                },
                RUSAGE_CHILDREN);
          });
      inTurn(
          [&] {
            measure(
                "get_ours", [&] { return get("ours.bin", pc + "/ours_back.bin"); }, RUSAGE_SELF);
          },
          [&] {
            measure(
                "get_curl",
                [&] {
                  return RunCurl(login, {"-o", pc + "/curl_back.bin", url + "curl.bin"});
                },
                RUSAGE_CHILDREN);
          });
      for (const QString& f : {pc + "/ours_back.bin", pc + "/curl_back.bin"})
        if (QFile(f).size() != bytes) {
          std::fprintf(stderr, "ftp_bench: %s has the wrong size\n", qPrintable(f));
          return 1;
        }
      QFile::remove(pc + "/ours_back.bin");
      QFile::remove(pc + "/curl_back.bin");
    }
  } else if (mode == "ticks") {
    const QString source = pc + "/orvex_bench.bin";
    const QString held = pc + "/hold.bin";
    if (!WriteRandom(source, bytes) || !WriteRandom(held, 4 * 1024 * 1024)) return 1;
    TickWatch watch;
    for (int r = 0; r < rounds; ++r) {
      // The same timer with nothing else to do, for about as long.
      watch.start();
      QEventLoop idle;
      QTimer::singleShot(3000, &idle, &QEventLoop::quit);
      idle.exec();
      Emit("ticks_idle_s", watch.stop());

      watch.start();
      if (put(source, "ours.bin") < 0) return 1;
      Emit("ticks_put_s", watch.stop());

      watch.start();
      const double seconds = put(held, "hold.bin");
      if (seconds < 0) return 1;
      Emit("ticks_hold_s", watch.stop());
      Emit("hold_put_s", seconds);
    }
  } else if (mode == "rss") {
    const QString source = pc + "/sparse.bin";
    if (!WriteSparse(source, bytes)) return 1;
    // What the transfers take at their peak: sampled every millisecond on
    // a thread of its own, and the kernel's high-water mark.
    auto peakDuring = [&](const std::string& key, auto&& transfer) {
      const double idle = RssNow();
      const bool hwm = ResetPeak();
      std::atomic<bool> done{false};
      std::atomic<long long> peak{static_cast<long long>(idle)};
      std::thread sampler([&] {
        while (!done) {
          peak = std::max<long long>(peak, static_cast<long long>(RssNow()));
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      });
      const double seconds = transfer();
      done = true;
      sampler.join();
      if (seconds < 0) {
        tmp.remove();  // std::exit runs no destructors of this scope
        std::exit(1);
      }
      const double top = std::max(double(peak), hwm ? RssPeak() : 0.0);
      Emit(key + "_idle_bytes", idle);
      Emit(key + "_peak_growth_bytes", top - idle);
      Emit(key + "_s", seconds);
    };
    for (int r = 0; r < rounds; ++r) {
      peakDuring("rss_put", [&] { return put(source, "big.bin"); });
      if (QFile(root + "/tffs0/bin/big.bin").size() != bytes) {
        std::fprintf(stderr, "ftp_bench: the uploaded copy has the wrong size\n");
        return 1;
      }
      // The server sends a sparse file of its own, so only one copy is ever
      // held in memory-backed storage.
      QFile::remove(root + "/tffs0/bin/big.bin");
      if (!WriteSparse(root + "/tffs0/bin/sparse.bin", bytes)) return 1;
      peakDuring("rss_get", [&] { return get("sparse.bin", pc + "/back.bin"); });
      const bool sized = QFile(pc + "/back.bin").size() == bytes;
      QFile::remove(pc + "/back.bin");
      QFile::remove(root + "/tffs0/bin/sparse.bin");
      if (!sized) {
        std::fprintf(stderr, "ftp_bench: the downloaded copy has the wrong size\n");
        return 1;
      }
    }
  } else {
    std::fprintf(stderr, "ftp_bench: unknown --mode %s\n", mode.c_str());
    return 64;
  }
  return 0;
}
