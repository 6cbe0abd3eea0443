#include "app/upgrader_log.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/util.h"

namespace fs = std::filesystem;

namespace orvex {

namespace {

std::string Two(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v % 100);
  return buf;
}

std::string Stars() {
  return std::string(79, '*');
}

const char* TagFor(long level) {
  switch (level) {
    case DET: return "DET: ";
    case VRB: return "VRB: ";
    case INF: return "INF: ";
    case ERR: return "ERR: ";
    default: return nullptr;
  }
}

// The same time one second later.
DateTime NextSecond(const DateTime& t) {
  using namespace std::chrono;
  const sys_days day{year{t.year} / month{static_cast<unsigned>(t.month)} /
                     std::chrono::day{static_cast<unsigned>(t.day)}};
  const sys_seconds next = day + hours{t.hour} + minutes{t.minute} + seconds{t.second + 1};
  const sys_days nextDay = floor<days>(next);
  const year_month_day ymd{nextDay};
  const hh_mm_ss<seconds> hms{next - nextDay};
  return DateTime{int(ymd.year()),          int(unsigned(ymd.month())), int(unsigned(ymd.day())),
                  int(hms.hours().count()), int(hms.minutes().count()), int(hms.seconds().count())};
}

// How many seconds on a fresh log file may be looked for.
constexpr int kFreshNameTries = 600;

}  // namespace

std::string Util_TraceText(const std::string& text, short count) {
  std::string out;
  const size_t n = count <= 0 ? 0 : std::min(static_cast<size_t>(count), text.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 32 && c <= 126)
      out += static_cast<char>(c);
    else
      out += " /x" + HexUpper(c) + " ";
  }
  return out;
}

std::string UpgraderLog::Util_LogFileName() {
  const DateTime& t = initTime_;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d_%02d_%02d_%02d-", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return std::string(buf) + "ORVEX_Upgrader_Log.txt";
}

void UpgraderLog::rebuildPath() {
  // The "/" of a date would be a separator here; only the file name gets
  // the "_" replacement, the folder keeps its separators.
  std::string name = strLogFileName;
  for (char& c : name)
    if (c == '/') c = '_';
  strLogFilePath = strLogFolder + name;
}

void UpgraderLog::giveUp(const std::string& what) {
  if (!usable_) return;
  usable_ = false;
  ui_.msgBox("Unable to write the upgrader log " + what + "." + CRLF +
                 "The upgrader goes on without a log.",
             vbOKOnly | vbExclamation, "");
}

bool UpgraderLog::append(const std::string& text, bool truncateFirst) {
  if (!usable_) return false;
  std::FILE* f = OpenForWrite(strLogFilePath, truncateFirst ? "wb" : "ab");
  if (!f) {
    giveUp(strLogFilePath);
    return false;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const bool closed = std::fclose(f) == 0;
  if (!ok || !closed) {
    giveUp(strLogFilePath);
    return false;
  }
  return true;
}

bool UpgraderLog::createFresh(const std::function<std::string()>& text) {
  for (int i = 0; i < kFreshNameTries; ++i) {
    strLogFileName = Util_LogFileName();
    rebuildPath();
    // "x": created here or not at all, so two starts never both take it.
    if (std::FILE* f = OpenForWrite(strLogFilePath, "wbx")) {
      std::fclose(f);
      return append(text());
    }
    if (errno != EEXIST) break;
    initTime_ = NextSecond(initTime_);
  }
  giveUp(strLogFilePath);
  return false;
}

void UpgraderLog::Util_LogInit() {
  initialised_ = true;
  std::string folder = Trim(baseFolder_);
  const std::string sep = PathSep();
  if (folder.empty()) {
    // Without a home folder there is no place for the log; never fall back
    // to the file system's root.
    giveUp("folder logs");
    return;
  }
  if (!EndsWith(folder, sep)) folder += sep;
  const std::string home = folder;
  folder += "logs";
  // The log is never written through a planted link or in another's folder.
  if (const std::string why = UnsafeReleasePath(folder, home, true); !why.empty()) {
    strLogFolder = folder + sep;
    giveUp("folder " + folder + " (" + why + ")");
    return;
  }
  if (!FolderExists(folder)) {
    std::error_code ec;
    fs::create_directory(fs::path(folder), ec);
    if (ec || !FolderExists(folder)) {
      strLogFolder = folder + sep;
      giveUp("folder " + folder);
      return;
    }
  }
  if (!EndsWith(folder, sep)) folder += sep;
  strLogFolder = folder;
  initTime_ = clock_.now();
  auto banner = [this] {
    return Stars() + CRLF +
           "ORVEX Software Upgrader logging initialized: " + clock_.shortDate(initTime_) + " @ " +
           clock_.shortTime(initTime_) + CRLF + Stars() + CRLF;
  };
  if (newFileEachStart) {
    createFresh(banner);  // the banner carries the time that names the file
    return;
  }
  strLogFileName = Util_LogFileName();
  rebuildPath();
  const bool exists = FileExists(strLogFilePath);
  append(banner(), !exists);
}

void UpgraderLog::Util_LogWrite(long level, const std::string& message) {
  if (!initialised_ || !usable_) return;
  rebuildPath();
  if (level < logThreshold) return;
  const char* tag = TagFor(level);
  const std::string tagText = tag ? std::string(tag) + "\t" : std::string("\t\t");
  const DateTime now = clock_.now();
  append("[" + Two(now.hour) + ":" + Two(now.minute) + ":" + Two(now.second) + "] " + tagText +
         message + CRLF);
  if (listener_) listener_(level, message);
}

std::string UpgraderLog::Util_TraceOut(const std::string& text, short count) {
  Util_LogWrite(DET, ">> OUT :");
  return Util_TraceText(text, count);
}

namespace {

// The date or time separator a short form shows: its first punctuation mark
// ("/" in "4/25/2013", "." in "25.04.2013"), else `fallback`. A blank, a
// letter or a character the log cannot write ("?") is no separator: the C
// locale's "9 Dec 2026" gives the fallback.
std::string SeparatorOf(const std::string& shortForm, char fallback) {
  for (char c : shortForm)
    if (c > ' ' && c < 0x7F && c != '?' && !std::isalnum(static_cast<unsigned char>(c)))
      return std::string(1, c);
  return std::string(1, fallback);
}

}  // namespace

void UpgraderLog::Util_LogClose() {
  if (!initialised_ || !usable_) return;
  rebuildPath();
  const DateTime t = clock_.now();
  const int h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  // The fixed order with the system's date and time separators, as the
  // opening banner's short forms show them.
  const std::string d = SeparatorOf(clock_.shortDate(t), '/');
  const std::string c = SeparatorOf(clock_.shortTime(t), ':');
  const std::string stamp = Two(t.month) + d + Two(t.day) + d + std::to_string(t.year) + " @ " +
                            Two(h12) + c + Two(t.minute) + c + Two(t.second) +
                            (t.hour < 12 ? " AM" : " PM");
  append(std::string(CRLF) + Stars() + CRLF + "Close logging. [" + stamp + "] " + CRLF + Stars() +
         CRLF);
}

}  // namespace orvex
