#include "platform/curl_ftp_session.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "app/settings.h"
#include "app/util.h"
#include "platform/ports.h"

namespace orvex {
namespace {

constexpr long kReceiveBuffer = 2L * 1024 * 1024;
constexpr long kUploadBuffer = 512L * 1024;
constexpr double kRequestTimeoutSec = 60.0;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string Escape(const std::string& segment) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : segment) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// The longest reply line kept for the technician; the rest is cut off.
constexpr size_t kReplyLimit = 512;
// The most of a HELP reply that is kept.
constexpr size_t kHelpLimit = 16 * 1024;

// A path with repeated and trailing slashes removed ("/" stays "/").
std::string Normalize(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

// curl gives an ASCII listing with bare LF line ends; the listing keeps the
// CR LF of the wire so that readers may split it at CR.
std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

}  // namespace

long MapCurlError(CURLcode rc) {
  switch (rc) {
    case CURLE_OPERATION_TIMEDOUT: return ftpErrTimeout;
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_QUOTE_ERROR:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_UPLOAD_FAILED:
    case CURLE_REMOTE_DISK_FULL:
    case CURLE_REMOTE_FILE_EXISTS: return ftpErrServerRefused;
    case CURLE_LOGIN_DENIED: return ftpErrLoginRefused;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST: return ftpErrCannotConnect;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE: return ftpErrConnectionReset;
    default: return static_cast<long>(rc);
  }
}

double FtpTimeScale() {
  return TimeScaleSetting().value_or(1.0);
}

bool IsLoopbackAddress(const std::string& host) {
  in_addr a{};
  if (inet_pton(AF_INET, host.c_str(), &a) != 1) return false;
  return (ntohl(a.s_addr) >> 24) == 127;
}

bool HostForbidden(const std::string& host) {
  return LoopbackOnlySetting() && !IsLoopbackAddress(host);
}

std::string FtpUrl(const std::string& host, const std::string& path, bool folder) {
  std::string url = "ftp://";
  url += host.find(':') != std::string::npos ? "[" + host + "]" : host;
  url += '/';
  size_t pos = 0;
  if (!path.empty() && path[0] == '/') {
    url += "%2F";
    pos = 1;
  }
  bool first = true;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    const std::string segment = path.substr(pos, slash - pos);
    if (!segment.empty()) {
      if (!first) url += '/';
      url += Escape(segment);
      first = false;
    }
    pos = slash + 1;
  }
  if (folder && !first) url += '/';
  return url;
}

std::string JoinRemote(const std::string& workingFolder, const std::string& path) {
  if (path.empty()) return workingFolder;
  if (path[0] == '/' || workingFolder.empty()) return path;
  std::string base = workingFolder;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base == "/" ? "/" + path : base + "/" + path;
}

struct CurlFtpSession::Transfer {
  CurlFtpSession* session = nullptr;
  CURL* curl = nullptr;
  Target target;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  // The server's final reply line to the last command sent, if any.
  std::string lastReply;
  int reported = 0;
  // Stall watch: a transfer whose byte count has not moved for the request
  // time-out ends as a time-out. (curl's own low-speed check averages over
  // a few seconds and so fires late after a burst; it stays as a backstop.)
  std::chrono::milliseconds stallLimit{0};
  std::chrono::steady_clock::time_point lastMove{};
  curl_off_t lastBytes = -1;
  bool stalled = false;
  // GET: the local file, opened at the first byte.
  std::string localPath;
  FILE* out = nullptr;
  bool writeFailed = false;
  // GET with a bound: the most bytes kept, and whether the file was longer.
  long long fileLimit = -1;
  long long fileBytes = 0;
  bool limitHit = false;
  // PUT: the local file being sent.
  FILE* in = nullptr;
  // GET, PUT: byte counts go to onBytes.
  bool countBytes = false;
  curl_off_t countedBytes = -1;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
  // LS, DIR: the listing, bounded.
  std::string* text = nullptr;
  bool listingTooLong = false;
  curl_slist* postQuote = nullptr;
  // HELP: the lines of the server's reply to it, bounded.
  std::string* helpReply = nullptr;
  bool inHelp = false;

  ~Transfer() {
    if (out) std::fclose(out);
    if (in) std::fclose(in);
    if (postQuote) curl_slist_free_all(postQuote);
  }

  long long elapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 started)
        .count();
  }

  void countBytesMoved(curl_off_t done, curl_off_t total) {
    if (!countBytes || done == countedBytes || !session->onBytes) return;
    countedBytes = done;
    session->onBytes(done, std::max<curl_off_t>(total, 0), elapsedMs());
  }

  // The whole file has moved: the final count, which is also the size.
  void countFinalBytes(CURLINFO info) {
    curl_off_t done = 0;
    if (!countBytes || !session->onBytes || curl_easy_getinfo(curl, info, &done) != CURLE_OK)
      return;
    countedBytes = done;
    session->onBytes(done, done, elapsedMs());
  }

  void report(int state) {
    if (state <= reported) return;
    reported = state;
    if (session->onProgress) session->onProgress(state);
  }

  static int OnProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                        curl_off_t ulnow) {
    auto* t = static_cast<Transfer*>(user);
    if (t->session->aborted && t->session->aborted()) return 1;
    if (dlnow > 0 || ulnow > 0) t->countBytesMoved(dlnow + ulnow, dltotal + ultotal);
    if (t->reported >= icRequestSent) {
      const auto now = std::chrono::steady_clock::now();
      if (dlnow + ulnow != t->lastBytes) {
        t->lastBytes = dlnow + ulnow;
        t->lastMove = now;
      } else if (now - t->lastMove >= t->stallLimit) {
        t->stalled = true;
        return 1;
      }
    }
    curl_off_t v = 0;
    if (t->reported < icConnected &&
        curl_easy_getinfo(t->curl, CURLINFO_CONNECT_TIME_T, &v) == CURLE_OK && v > 0)
      t->report(icConnected);
    if (t->reported < icRequestSent &&
        curl_easy_getinfo(t->curl, CURLINFO_PRETRANSFER_TIME_T, &v) == CURLE_OK && v > 0)
      t->report(icRequestSent);
    if (t->reported < icReceivingResponse && (dlnow > 0 || ulnow > 0)) {
      t->report(icRequestSent);
      t->report(icReceivingResponse);
    }
    return 0;
  }

  static size_t OnFileData(char* data, size_t size, size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    if (!t->out) {
      t->out = OpenForWrite(t->localPath, "wb");
      if (!t->out) {
        t->writeFailed = true;
        return 0;
      }
    }
    size_t take = size * n;
    if (t->fileLimit >= 0) {
      const auto room = static_cast<unsigned long long>(t->fileLimit + 1 - t->fileBytes);
      if (take >= room) {
        take = static_cast<size_t>(room);
        t->limitHit = true;
      }
    }
    const size_t written = std::fwrite(data, 1, take, t->out);
    t->fileBytes += static_cast<long long>(written);
    if (written != take) t->writeFailed = true;
    // Past the bound the transfer stops: returning short aborts it.
    if (t->limitHit && !t->writeFailed) return 0;
    return written;
  }

  static size_t OnListData(char* data, size_t size, size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    if (size * n > kListingLimit - t->text->size()) {
      t->listingTooLong = true;
      return 0;
    }
    t->text->append(data, size * n);
    return size * n;
  }

  // The conversation: a command sent forgets the last reply; a reply line
  // of the form "ddd text" becomes the last reply (continuation lines of a
  // multi-line reply do not).
  static int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* t = static_cast<Transfer*>(user);
    if (type == CURLINFO_HEADER_OUT) {
      t->lastReply.clear();
      t->inHelp = t->helpReply && size >= 4 && std::strncmp(data, "HELP", 4) == 0;
    } else if (type == CURLINFO_HEADER_IN) {
      std::string line(data, std::min(size, kReplyLimit));
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      const auto digit = [&](size_t i) {
        return std::isdigit(static_cast<unsigned char>(line[i])) != 0;
      };
      const bool final = line.size() >= 3 && digit(0) && digit(1) && digit(2) &&
                         (line.size() == 3 || line[3] == ' ');
      if (final) t->lastReply = line;
      if (t->inHelp && t->helpReply->size() + line.size() < kHelpLimit)
        *t->helpReply += line + "\r\n";
      if (final) t->inHelp = false;
    }
    return 0;
  }

  static size_t OnFileRead(char* buffer, size_t size, size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t got = std::fread(buffer, 1, size * n, t->in);
    if (got == 0 && std::ferror(t->in)) return CURL_READFUNC_ABORT;
    return got;
  }
};

CurlFtpSession::CurlFtpSession(std::string user, std::string password, long port)
    : user_(std::move(user)), password_(std::move(password)), port_(port) {
  GlobalInit();
}

CurlFtpSession::~CurlFtpSession() {
  reset();
}

CURL* CurlFtpSession::handle() {
  if (!curl_) curl_ = curl_easy_init();
  return curl_;
}

curl_socket_t CurlFtpSession::OnOpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
  auto* self = static_cast<CurlFtpSession*>(user);
  const curl_socket_t fd =
      ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (fd != CURL_SOCKET_BAD) self->sockets_.insert(fd);
  return fd;
}

int CurlFtpSession::OnCloseSocket(void* user, curl_socket_t fd) {
  static_cast<CurlFtpSession*>(user)->sockets_.erase(fd);
  return ::close(fd);
}

void CurlFtpSession::setHost(const std::string& host) {
  if (host == host_) return;
  reset();
  host_ = host;
}

void CurlFtpSession::reset() {
  if (curl_) {
    // With its sockets shut, curl's goodbye (QUIT) fails at once instead of
    // waiting up to 120 s for a server that may not answer.
    for (curl_socket_t fd : sockets_) ::shutdown(fd, SHUT_RDWR);
    curl_easy_cleanup(curl_);
    curl_ = nullptr;
  }
  sockets_.clear();
  sessionOpen_ = false;
  serverFolder_.clear();
  workingFolder_.clear();
}

CurlFtpSession::Target CurlFtpSession::folderTarget(const std::string& path) const {
  const std::string p = Normalize(path);
  Target t;
  t.url = FtpUrl(host_, p, true);
  t.serverFolder = p.empty() || p == "/" ? p : p + "/";
  return t;
}

CurlFtpSession::Target CurlFtpSession::fileTarget(const std::string& path) const {
  const std::string p = Normalize(path);
  Target t;
  t.url = FtpUrl(host_, p, false);
  const auto slash = p.rfind('/');
  if (slash == 0) {
    // A file at the root: named by its whole path, so that no "CWD /" is
    // needed; the server stays where it is.
    t.noCwd = true;
    t.serverFolder = serverFolder_;
  } else if (slash != std::string::npos) {
    t.serverFolder = p.substr(0, slash + 1);
  }
  return t;
}

CurlFtpSession::Site CurlFtpSession::quoteSite(const std::string& path) const {
  const std::string p = Normalize(path);
  const auto slash = p.rfind('/');
  Site s;
  if (slash == std::string::npos) {
    s.target = folderTarget("");
    s.argument = p;
  } else if (slash == 0) {
    s.target.url = FtpUrl(host_, "/", true);
    s.target.noCwd = true;
    s.target.serverFolder = serverFolder_;
    s.folder.assign(1, '/');  // not = "/": GCC 12 at -O3 warns falsely (-Wrestrict)
    s.argument = p;
  } else {
    s.folder = p.substr(0, slash);
    s.target = folderTarget(s.folder);
    s.argument = p.substr(slash + 1);
  }
  return s;
}

void CurlFtpSession::prepare(Transfer& t, const Target& target) {
  // curl would get back to the login folder of a kept connection with
  // "CWD <login folder>", which an older server may refuse ("CWD /"); a new
  // connection starts there.
  const bool relative = target.serverFolder.empty() || target.serverFolder[0] != '/';
  if (sessionOpen_ && !target.noCwd && relative && target.serverFolder != serverFolder_) {
    const std::string keep = workingFolder_;
    reset();
    workingFolder_ = keep;
  }
  CURL* c = handle();
  curl_easy_reset(c);
  t.session = this;
  t.curl = c;
  t.target = target;
  t.started = std::chrono::steady_clock::now();
  const double scale = FtpTimeScale();
  const long seconds = std::max(1L, std::lround(kRequestTimeoutSec * scale));
  t.stallLimit =
      std::chrono::milliseconds(std::max(1L, std::lround(kRequestTimeoutSec * 1000 * scale)));
  curl_easy_setopt(c, CURLOPT_URL, target.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
  if (port_ > 0) curl_easy_setopt(c, CURLOPT_PORT, port_);
  curl_easy_setopt(c, CURLOPT_USERNAME, user_.c_str());
  curl_easy_setopt(c, CURLOPT_PASSWORD, password_.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, t.errorBuffer);
  curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, Transfer::OnDebug);
  curl_easy_setopt(c, CURLOPT_DEBUGDATA, &t);
  curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, OnOpenSocket);
  curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, this);
  curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, OnCloseSocket);
  curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, this);
  curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD,
                   static_cast<long>(target.noCwd ? CURLFTPMETHOD_NOCWD : CURLFTPMETHOD_SINGLECWD));
  curl_easy_setopt(c, CURLOPT_FTP_USE_EPSV, 0L);
  curl_easy_setopt(c, CURLOPT_FTP_USE_EPRT, 0L);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Transfer::OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS,
                   std::max(1L, std::lround(kRequestTimeoutSec * 1000 * scale)));
  curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, seconds);
  curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kReceiveBuffer);
  curl_easy_setopt(c, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBuffer);
}

FtpResult CurlFtpSession::perform(Transfer& t) {
  CURLcode rc = curl_easy_perform(t.curl);
  if (rc == CURLE_ABORTED_BY_CALLBACK && t.stalled) {
    rc = CURLE_OPERATION_TIMEDOUT;
    std::snprintf(t.errorBuffer, sizeof t.errorBuffer, "Transfer stalled: no data for %.1f s",
                  static_cast<double>(t.stallLimit.count()) / 1000.0);
  }
  if (rc == CURLE_WRITE_ERROR && t.listingTooLong) {
    rc = CURLE_FILESIZE_EXCEEDED;
    std::snprintf(t.errorBuffer, sizeof t.errorBuffer, "Listing larger than %zu bytes: cut off",
                  kListingLimit);
  }
  FtpResult r;
  r.curlCode = rc;
  r.ok = rc == CURLE_OK;
  sessionOpen_ = r.ok;
  if (r.ok) {
    if (!t.target.noCwd) serverFolder_ = t.target.serverFolder;
    return r;
  }
  r.code = MapCurlError(rc);
  // A 451 or 426 in place of the 226 after the data: the server refused the
  // file, the connection itself is fine.
  if (rc == CURLE_PARTIAL_FILE &&
      (t.lastReply.rfind("451", 0) == 0 || t.lastReply.rfind("426", 0) == 0))
    r.code = ftpErrServerRefused;
  if (t.writeFailed && rc == CURLE_WRITE_ERROR) {
    r.text =
        std::string("Cannot write the local file ") + t.localPath + ": " + std::strerror(errno);
  } else if (!t.listingTooLong && !t.lastReply.empty() && t.lastReply[0] >= '4') {
    // The server refused the last command: its own words come first.
    r.text = t.lastReply;
  } else {
    r.text = t.errorBuffer[0] ? t.errorBuffer : curl_easy_strerror(rc);
  }
  return r;
}

FtpResult CurlFtpSession::finish(FtpResult r) {
  // After a failure the server may be anywhere, or hung: start afresh.
  if (!r.ok) reset();
  return r;
}

FtpResult CurlFtpSession::quote(const Target& target, const std::vector<std::string>& commands) {
  Transfer t;
  for (const std::string& command : commands)
    t.postQuote = curl_slist_append(t.postQuote, command.c_str());
  prepare(t, target);
  curl_easy_setopt(t.curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(t.curl, CURLOPT_POSTQUOTE, t.postQuote);
  return perform(t);
}

FtpResult CurlFtpSession::login() {
  Transfer t;
  prepare(t, folderTarget(""));
  curl_easy_setopt(t.curl, CURLOPT_NOBODY, 1L);
  return finish(perform(t));
}

FtpResult CurlFtpSession::changeFolder(const std::string& path) {
  const std::string target = Normalize(JoinRemote(workingFolder_, path));
  Transfer t;
  prepare(t, folderTarget(target));
  curl_easy_setopt(t.curl, CURLOPT_NOBODY, 1L);
  FtpResult r = perform(t);
  if (r.ok) workingFolder_ = target;
  return finish(r);
}

FtpResult CurlFtpSession::list(const std::string& path, bool longForm, std::string& listing) {
  std::string raw;
  Transfer t;
  t.text = &raw;
  prepare(t, folderTarget(JoinRemote(workingFolder_, path)));
  if (!longForm) curl_easy_setopt(t.curl, CURLOPT_DIRLISTONLY, 1L);
  curl_easy_setopt(t.curl, CURLOPT_WRITEFUNCTION, Transfer::OnListData);
  curl_easy_setopt(t.curl, CURLOPT_WRITEDATA, &t);
  FtpResult r = perform(t);
  listing = r.ok ? WithCrLf(raw) : std::string();
  return finish(r);
}

FtpResult CurlFtpSession::remove(const std::string& name) {
  const Site s = quoteSite(JoinRemote(workingFolder_, name));
  return finish(quote(s.target, {"DELE " + s.argument}));
}

FtpResult CurlFtpSession::help(std::string& reply) {
  reply.clear();
  Transfer t;
  t.helpReply = &reply;
  t.postQuote = curl_slist_append(t.postQuote, "HELP");
  // Where the server is: no change of folder.
  prepare(t, folderTarget(serverFolder_));
  curl_easy_setopt(t.curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(t.curl, CURLOPT_POSTQUOTE, t.postQuote);
  FtpResult r = perform(t);
  if (!r.ok) reply.clear();
  return finish(r);
}

FtpResult CurlFtpSession::rename(const std::string& from, const std::string& to) {
  const std::string a = JoinRemote(workingFolder_, from);
  const std::string b = JoinRemote(workingFolder_, to);
  const Site sa = quoteSite(a);
  const Site sb = quoteSite(b);
  if (sa.folder == sb.folder)
    return finish(quote(sa.target, {"RNFR " + sa.argument, "RNTO " + sb.argument}));
  // Across folders: whole paths; a relative one is taken from the login
  // folder, absolute ones from wherever the server is.
  Target site = folderTarget("");
  if (!a.empty() && a[0] == '/' && !b.empty() && b[0] == '/') {
    site.url = FtpUrl(host_, "/", true);
    site.noCwd = true;
    site.serverFolder = serverFolder_;
  }
  return finish(quote(site, {"RNFR " + Normalize(a), "RNTO " + Normalize(b)}));
}

FtpResult CurlFtpSession::get(const std::string& remote, const std::string& localPath,
                              long long maxBytes) {
  Transfer t;
  t.localPath = localPath;
  t.fileLimit = maxBytes;
  t.countBytes = true;
  prepare(t, fileTarget(JoinRemote(workingFolder_, remote)));
  curl_easy_setopt(t.curl, CURLOPT_WRITEFUNCTION, Transfer::OnFileData);
  curl_easy_setopt(t.curl, CURLOPT_WRITEDATA, &t);
  // No SIZE first: only RETR's own refusal says that the file is not there.
  curl_easy_setopt(t.curl, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
  FtpResult r = perform(t);
  if (!r.ok && t.limitHit && !t.writeFailed && t.out) {
    // The file is longer than the bound: the part kept tells the caller so.
    // The aborted transfer leaves the connection in no known state.
    const bool closed = std::fclose(t.out) == 0;
    t.out = nullptr;
    finish(r);
    if (closed) return FtpResult{};
    std::remove(localPath.c_str());
    return r;
  }
  if (r.ok) {
    // An empty file sends no data: create it now.
    if (!t.out) t.out = OpenForWrite(localPath, "wb");
    const bool closed = t.out && std::fclose(t.out) == 0;
    t.out = nullptr;
    if (!closed) {
      r.ok = false;
      r.curlCode = CURLE_WRITE_ERROR;
      r.code = CURLE_WRITE_ERROR;
      r.text = "Cannot write the local file " + localPath + ": " + std::strerror(errno);
      std::remove(localPath.c_str());
    }
  }
  if (r.ok) t.countFinalBytes(CURLINFO_SIZE_DOWNLOAD_T);
  if (!r.ok && t.out) {
    // A partial download must not pass for a good copy.
    std::fclose(t.out);
    t.out = nullptr;
    std::remove(localPath.c_str());
  }
  return finish(r);
}

FtpResult CurlFtpSession::put(const std::string& localPath, const std::string& remote, bool ascii) {
  Transfer t;
  t.in = std::fopen(localPath.c_str(), "rb");
  if (!t.in) {
    FtpResult r;
    r.ok = false;
    r.curlCode = CURLE_READ_ERROR;
    r.code = CURLE_READ_ERROR;
    r.text = "Cannot open the local file " + localPath + ": " + std::strerror(errno);
    return finish(r);
  }
  std::fseek(t.in, 0, SEEK_END);
  const long size = std::ftell(t.in);
  std::fseek(t.in, 0, SEEK_SET);
  t.countBytes = true;
  prepare(t, fileTarget(JoinRemote(workingFolder_, remote)));
  curl_easy_setopt(t.curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(t.curl, CURLOPT_READFUNCTION, Transfer::OnFileRead);
  curl_easy_setopt(t.curl, CURLOPT_READDATA, &t);
  if (size >= 0) curl_easy_setopt(t.curl, CURLOPT_INFILESIZE_LARGE, curl_off_t{size});
  if (ascii) curl_easy_setopt(t.curl, CURLOPT_TRANSFERTEXT, 1L);
  const FtpResult r = perform(t);
  if (r.ok) t.countFinalBytes(CURLINFO_SIZE_UPLOAD_T);
  return finish(r);
}

void CurlFtpSession::close() {
  if (curl_ && sessionOpen_) {
    // One last request, in the folder the server is in (so no CWD), that
    // may not keep its connection: curl logs out (QUIT) under this
    // request's time-outs and its cancel.
    Transfer t;
    prepare(t, folderTarget(serverFolder_));
    curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl_, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_perform(curl_);
  }
  reset();
}

}  // namespace orvex
