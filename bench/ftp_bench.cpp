// Throughput of the libcurl FTP adapter against the curl command line, on
// one loopback FTP server (tests/support/ftp_server.py), in the same run.
// Prints seconds per transfer (best of a few) and the ratios ours / curl;
// below 1 means the adapter is faster. No thresholds: a measuring tool.
//
//   ftp_bench [--mb 32] [--rounds 3]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/curl_ftp.h"
#include "support/ftp_test_server.h"

namespace {

using orvex::test::FtpTestServer;
using orvex::test::WaitUntil;

constexpr int kBoundMs = 300000;

// One command with a fresh client (so the login counts, as it does for
// the command line); seconds, or a negative number on failure.
double TimeAdapter(const std::string& host, const std::string& command) {
  auto client = orvex::MakeCurlFtpClient();
  int last = 0;
  client->setStateChanged([&](int s) { last = s; });
  client->setRemoteHost(host);
  QElapsedTimer t;
  t.start();
  client->execute(command);
  const bool done = WaitUntil(
      [&] { return last == orvex::icResponseCompleted || last == orvex::icError; }, kBoundMs);
  const double seconds = t.nsecsElapsed() / 1e9;
  if (!done || last != orvex::icResponseCompleted) {
    std::fprintf(stderr, "ftp_bench: %s failed: %ld %s\n", command.c_str(), client->responseCode(),
                 client->responseInfo().c_str());
    return -1;
  }
  return seconds;
}

double TimeCurl(const QStringList& args) {
  QProcess p;
  QElapsedTimer t;
  t.start();
  p.start("curl", QStringList{"-s", "-S", "--max-time", "300", "-u", "termuser:skyharbor"} + args);
  if (!p.waitForFinished(kBoundMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    std::fprintf(stderr, "ftp_bench: curl %s failed: %s\n", qPrintable(args.join(' ')),
                 p.readAllStandardError().constData());
    return -1;
  }
  return t.nsecsElapsed() / 1e9;
}

int Arg(int argc, char** argv, const char* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == name) return std::max(1, std::atoi(argv[i + 1]));
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qputenv("ORVEX_LOOPBACK_ONLY", "1");
  const int mb = Arg(argc, argv, "--mb", 32);
  const int rounds = Arg(argc, argv, "--rounds", 3);

  QTemporaryDir tmp;
  const QString root = tmp.filePath("flash");
  const QString pc = tmp.filePath("pc");
  QDir().mkpath(root + "/tffs0/bin");
  QDir().mkpath(pc);
  const QString source = pc + "/orvex_bench.bin";
  {
    QByteArray data(qsizetype(mb) * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator gen(1827);
    gen.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    QFile f(source);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) {
      std::fprintf(stderr, "ftp_bench: cannot write %s\n", qPrintable(source));
      return 1;
    }
  }

  FtpTestServer::Options options;
  options.lifetimeSec = 900;
  FtpTestServer server(root.toStdString(), tmp.filePath("journal.txt").toStdString(), options);
  if (!server.start()) {
    std::fprintf(stderr, "ftp_bench: the FTP server did not start\n");
    return 1;
  }
  const std::string host = server.address();
  const QString url = QString("ftp://%1/%2Ftffs0/bin/").replace("%1", QString::fromStdString(host));

  const double inf = std::numeric_limits<double>::infinity();
  double oursUp = inf, oursDown = inf, curlUp = inf, curlDown = inf;
  for (int r = 0; r < rounds; ++r) {
    const double a = TimeAdapter(host, "PUT \"" + source.toStdString() + "\" /tffs0/bin/ours.bin");
    const double b = TimeCurl({"-T", source, url + "curl.bin"});
    const double c = TimeAdapter(
        host, "GET \"/tffs0/bin/ours.bin\" \"" + (pc + "/ours_back.bin").toStdString() + "\"");
    const double d = TimeCurl({"-o", pc + "/curl_back.bin", url + "curl.bin"});
    if (a < 0 || b < 0 || c < 0 || d < 0) return 1;
    oursUp = std::min(oursUp, a);
    curlUp = std::min(curlUp, b);
    oursDown = std::min(oursDown, c);
    curlDown = std::min(curlDown, d);
  }
  if (QFile(pc + "/ours_back.bin").size() != QFile(source).size()) {
    std::fprintf(stderr, "ftp_bench: the downloaded copy has the wrong size\n");
    return 1;
  }

  std::printf("FTP on loopback, %d MB, best of %d (seconds, MB/s)\n", mb, rounds);
  std::printf("  upload    ours %7.3f s %8.1f MB/s   curl %7.3f s %8.1f MB/s   ours/curl %.2f\n",
              oursUp, mb / oursUp, curlUp, mb / curlUp, oursUp / curlUp);
  std::printf("  download  ours %7.3f s %8.1f MB/s   curl %7.3f s %8.1f MB/s   ours/curl %.2f\n",
              oursDown, mb / oursDown, curlDown, mb / curlDown, oursDown / curlDown);
  return 0;
}
