#include "platform/curl_ftp_session.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

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

// The server's replies are the "headers" of FTP; the last one that carries
// a status explains a refusal better than curl's summary.
size_t OnReply(char* data, size_t size, size_t n, void* user) {
  auto* last = static_cast<std::string*>(user);
  std::string line(data, size * n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0]))) *last = line;
  return size * n;
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
  if (const char* scale = std::getenv("ORVEX_TIME_SCALE"); scale && *scale) {
    char* end = nullptr;
    const double v = std::strtod(scale, &end);
    if (end && *end == '\0' && std::isfinite(v) && v > 0 && v <= 1000) return v;
  }
  return 1.0;
}

bool IsLoopbackAddress(const std::string& host) {
  in_addr a{};
  if (inet_pton(AF_INET, host.c_str(), &a) != 1) return false;
  return (ntohl(a.s_addr) >> 24) == 127;
}

bool HostForbidden(const std::string& host) {
  const char* only = std::getenv("ORVEX_LOOPBACK_ONLY");
  return only && std::strcmp(only, "1") == 0 && !IsLoopbackAddress(host);
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
  char errorBuffer[CURL_ERROR_SIZE] = {};
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
  // PUT: the local file being sent.
  FILE* in = nullptr;
  // LS: the listing.
  std::string* text = nullptr;
  curl_slist* postQuote = nullptr;

  ~Transfer() {
    if (out) std::fclose(out);
    if (in) std::fclose(in);
    if (postQuote) curl_slist_free_all(postQuote);
  }

  void report(int state) {
    if (state <= reported) return;
    reported = state;
    if (session->onProgress) session->onProgress(state);
  }

  static int OnProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    auto* t = static_cast<Transfer*>(user);
    if (t->session->aborted && t->session->aborted()) return 1;
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
      t->out = std::fopen(t->localPath.c_str(), "wb");
      if (!t->out) {
        t->writeFailed = true;
        return 0;
      }
    }
    const size_t written = std::fwrite(data, 1, size * n, t->out);
    if (written != size * n) t->writeFailed = true;
    return written;
  }

  static size_t OnListData(char* data, size_t size, size_t n, void* user) {
    static_cast<Transfer*>(user)->text->append(data, size * n);
    return size * n;
  }

  static size_t OnFileRead(char* buffer, size_t size, size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t got = std::fread(buffer, 1, size * n, t->in);
    if (got == 0 && std::ferror(t->in)) return CURL_READFUNC_ABORT;
    return got;
  }
};

CurlFtpSession::CurlFtpSession(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password)) {
  GlobalInit();
}

CurlFtpSession::~CurlFtpSession() {
  if (curl_) curl_easy_cleanup(curl_);
}

CURL* CurlFtpSession::handle() {
  if (!curl_) curl_ = curl_easy_init();
  return curl_;
}

void CurlFtpSession::setHost(const std::string& host) {
  if (host == host_) return;
  host_ = host;
  workingFolder_.clear();
  sessionOpen_ = false;
}

void CurlFtpSession::prepare(Transfer& t, const std::string& url) {
  CURL* c = handle();
  curl_easy_reset(c);
  t.session = this;
  t.curl = c;
  const double scale = FtpTimeScale();
  const long seconds = std::max(1L, std::lround(kRequestTimeoutSec * scale));
  t.stallLimit =
      std::chrono::milliseconds(std::max(1L, std::lround(kRequestTimeoutSec * 1000 * scale)));
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(c, CURLOPT_USERNAME, user_.c_str());
  curl_easy_setopt(c, CURLOPT_PASSWORD, password_.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, t.errorBuffer);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnReply);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &t.lastReply);
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
  FtpResult r;
  r.curlCode = rc;
  r.ok = rc == CURLE_OK;
  sessionOpen_ = r.ok;
  if (r.ok) return r;
  r.code = MapCurlError(rc);
  if (t.writeFailed && rc == CURLE_WRITE_ERROR) {
    r.text =
        std::string("Cannot write the local file ") + t.localPath + ": " + std::strerror(errno);
  } else if ((r.code == ftpErrServerRefused || r.code == ftpErrLoginRefused) &&
             !t.lastReply.empty() && t.lastReply[0] >= '4') {
    r.text = t.lastReply;
  } else {
    r.text = t.errorBuffer[0] ? t.errorBuffer : curl_easy_strerror(rc);
  }
  if (r.code == ftpErrServerRefused) sessionOpen_ = true;  // refused, but still logged in
  return r;
}

FtpResult CurlFtpSession::login() {
  Transfer t;
  prepare(t, FtpUrl(host_, "", true));
  curl_easy_setopt(t.curl, CURLOPT_NOBODY, 1L);
  return perform(t);
}

FtpResult CurlFtpSession::changeFolder(const std::string& path) {
  const std::string target = JoinRemote(workingFolder_, path);
  Transfer t;
  prepare(t, FtpUrl(host_, target, true));
  curl_easy_setopt(t.curl, CURLOPT_NOBODY, 1L);
  FtpResult r = perform(t);
  if (r.ok) workingFolder_ = target;
  return r;
}

FtpResult CurlFtpSession::list(const std::string& path, std::string& listing) {
  std::string raw;
  Transfer t;
  t.text = &raw;
  prepare(t, FtpUrl(host_, JoinRemote(workingFolder_, path), true));
  curl_easy_setopt(t.curl, CURLOPT_DIRLISTONLY, 1L);
  curl_easy_setopt(t.curl, CURLOPT_WRITEFUNCTION, Transfer::OnListData);
  curl_easy_setopt(t.curl, CURLOPT_WRITEDATA, &t);
  FtpResult r = perform(t);
  listing = r.ok ? WithCrLf(raw) : std::string();
  return r;
}

FtpResult CurlFtpSession::remove(const std::string& name) {
  Transfer t;
  const std::string command = "DELE " + name;
  t.postQuote = curl_slist_append(nullptr, command.c_str());
  prepare(t, FtpUrl(host_, workingFolder_, true));
  curl_easy_setopt(t.curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(t.curl, CURLOPT_POSTQUOTE, t.postQuote);
  return perform(t);
}

FtpResult CurlFtpSession::get(const std::string& remote, const std::string& localPath) {
  Transfer t;
  t.localPath = localPath;
  prepare(t, FtpUrl(host_, JoinRemote(workingFolder_, remote), false));
  curl_easy_setopt(t.curl, CURLOPT_WRITEFUNCTION, Transfer::OnFileData);
  curl_easy_setopt(t.curl, CURLOPT_WRITEDATA, &t);
  FtpResult r = perform(t);
  if (r.ok) {
    // An empty file sends no data: create it now.
    if (!t.out) t.out = std::fopen(localPath.c_str(), "wb");
    const bool closed = t.out && std::fclose(t.out) == 0;
    t.out = nullptr;
    if (!closed) {
      r.ok = false;
      r.curlCode = CURLE_WRITE_ERROR;
      r.code = CURLE_WRITE_ERROR;
      r.text = "Cannot write the local file " + localPath + ": " + std::strerror(errno);
    }
  }
  if (!r.ok && t.out) {
    // A partial download must not pass for a good copy.
    std::fclose(t.out);
    t.out = nullptr;
    std::remove(localPath.c_str());
  }
  return r;
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
    return r;
  }
  std::fseek(t.in, 0, SEEK_END);
  const long size = std::ftell(t.in);
  std::fseek(t.in, 0, SEEK_SET);
  prepare(t, FtpUrl(host_, JoinRemote(workingFolder_, remote), false));
  curl_easy_setopt(t.curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(t.curl, CURLOPT_READFUNCTION, Transfer::OnFileRead);
  curl_easy_setopt(t.curl, CURLOPT_READDATA, &t);
  if (size >= 0) curl_easy_setopt(t.curl, CURLOPT_INFILESIZE_LARGE, curl_off_t{size});
  if (ascii) curl_easy_setopt(t.curl, CURLOPT_TRANSFERTEXT, 1L);
  return perform(t);
}

void CurlFtpSession::close() {
  if (curl_ && sessionOpen_) {
    // One last request that may not keep its connection: curl logs out
    // (QUIT) under this request's time-outs.
    Transfer t;
    prepare(t, FtpUrl(host_, "", true));
    curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl_, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_perform(curl_);
  }
  if (curl_) {
    curl_easy_cleanup(curl_);
    curl_ = nullptr;
  }
  workingFolder_.clear();
  sessionOpen_ = false;
}

}  // namespace orvex
