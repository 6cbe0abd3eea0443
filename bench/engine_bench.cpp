// The engine's own costs on the fake platform: the upgrader log, which opens,
// appends to and closes its file for every line, against a plain loop that
// does the same; and a long "LS " listing read and the deletion rule applied
// to it, with the log off and with the log as shipped (every level).
// Prints one JSON object a line per measurement ({"key": ..., "value": ...},
// seconds) for bench/report.py; no thresholds, a measuring tool.
//
//   engine_bench [--rounds 3] [--lines 10000] [--names 10000]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/upgrader.h"
#include "app/upgrader_log.h"
#include "support/engine_fixture.h"
#include "support/fake_platform.h"
#include "transfer/software_upgrade.h"

namespace {

using orvex::test::FakePlatform;
using orvex::test::TempDir;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Emit(const std::string& key, double value) {
  std::printf("{\"key\": \"%s\", \"value\": %.9g}\n", key.c_str(), value);
  std::fflush(stdout);
}

int Arg(int argc, char** argv, const char* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == name) return std::max(1, std::atoi(argv[i + 1]));
  return fallback;
}

std::string LineText(int i) {
  return "FTP state : DELETE_OLD_ORVEX_FILE >> orvex_5_0_0_" + std::to_string(i) + ".bin";
}

// The upgrader log: `lines` lines, each file open, append and close.
double TimeUpgraderLog(int lines) {
  TempDir home;
  FakePlatform p;
  orvex::UpgraderLog log(p.clock(), p.ui());
  log.setBaseFolder(home.path());
  log.Util_LogInit();
  const auto start = Clock::now();
  for (int i = 0; i < lines; ++i) log.Util_LogWrite(orvex::DET, LineText(i));
  const double seconds = Since(start);
  if (!log.usable()) std::fprintf(stderr, "engine_bench: the log could not be written\n");
  return seconds;
}

// The same lines, each opened, appended and closed by a plain loop.
double TimePlainAppend(int lines) {
  TempDir home;
  const std::string path = home.path() + "/plain.txt";
  const auto start = Clock::now();
  for (int i = 0; i < lines; ++i) {
    const std::string text = "[14:03:25] DET: \t" + LineText(i) + "\r\n";
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return -1;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  return Since(start);
}

std::string Listing(int names) {
  std::string text;
  for (int i = 0; i < names; ++i) text += "orvex_5_0_" + std::to_string(i) + "_1.bin\r\n";
  text += "orvex_5_1_0_9.bin\r\n";  // the running image
  return text;
}

// The listing as "LS " hands it over, read and decided: every image but the
// running one is deleted, and the fake terminal answers each Delete at once.
// With `readOnly` only the reading of the listing is timed. Seconds; the
// number of deletes in `deletes`.
double TimeDeletionRule(const std::string& listing, bool logOn, size_t& deletes,
                        bool readOnly = false) {
  TempDir home;
  FakePlatform p;
  orvex::Config cfg;
  cfg.homeFolder = home.path();
  orvex::Upgrader up(p, cfg);
  up.log.setBaseFolder(home.path());
  up.log.Util_LogInit();
  up.log.logThreshold = logOn ? 1 : orvex::ERR + 1;
  up.st.strCurrSwVersion = "5_1_0_9";
  up.sw.bImageValid = true;
  up.sw.strCurrExecutable = "/bin/orvex_5_1_0_9.bin";
  auto& ftp = p.ftp();
  ftp.onExecute = [](orvex::test::FakeFtpClient& client, const std::string& command) {
    if (command.rfind("Delete ", 0) == 0) client.fire(orvex::icResponseCompleted);
  };
  for (size_t at = 0; at < listing.size(); at += 1024)
    ftp.chunks.push_back(listing.substr(at, 1024));
  const auto start = Clock::now();
  if (readOnly)
    up.sw.Util_getBinFileList();
  else
    up.sw.UPG_HandleOldBinDeletions();
  const double seconds = Since(start);
  deletes = 0;
  for (const auto& c : ftp.commands)
    if (c.rfind("Delete ", 0) == 0) ++deletes;
  return seconds;
}

// A plain reading of the same listing: split at its line ends, keep the
// image names and pick those that are not the running one.
double TimePlainDecision(const std::string& listing, size_t& deletes) {
  const auto start = Clock::now();
  std::vector<std::string> doomed;
  for (size_t pos = 0; pos < listing.size();) {
    size_t end = listing.find("\r\n", pos);
    if (end == std::string::npos) end = listing.size();
    const std::string name = listing.substr(pos, end - pos);
    if (name.find("orvex") != std::string::npos && name.find(".bin") != std::string::npos &&
        name != "orvex_5_1_0_9.bin")
      doomed.push_back(name);
    pos = end + 2;
  }
  deletes = doomed.size();
  return Since(start);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = Arg(argc, argv, "--rounds", 3);
  const int lines = Arg(argc, argv, "--lines", 10000);
  const int names = Arg(argc, argv, "--names", 10000);
  const std::string listing = Listing(names - 1);
  Emit("log_lines", lines);
  Emit("listing_names", names);
  for (int r = 0; r < rounds; ++r) {
    Emit("log_ours_s", TimeUpgraderLog(lines));
    Emit("log_plain_s", TimePlainAppend(lines));
    size_t off = 0, on = 0, plain = 0;
    Emit("listing_off_s", TimeDeletionRule(listing, false, off));
    Emit("listing_on_s", TimeDeletionRule(listing, true, on));
    Emit("listing_read_off_s", TimeDeletionRule(listing, false, plain, true));
    Emit("listing_read_on_s", TimeDeletionRule(listing, true, plain, true));
    Emit("listing_plain_s", TimePlainDecision(listing, plain));
    Emit("listing_deletes", static_cast<double>(off));
    if (off != plain || on != plain) {
      std::fprintf(stderr, "engine_bench: %zu and %zu deletes, %zu expected\n", off, on, plain);
      return 1;
    }
  }
  return 0;
}
