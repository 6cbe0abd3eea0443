// One logged-in FTP session on a curl easy handle, run synchronously on the
// calling thread. The FTP client runs it on its worker thread; the one-file
// upload runs it on the GUI thread, where blocking is allowed.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace orvex {

// The outcome of one request, with failures mapped onto the error numbers
// the FTP engine tells apart (curl's own code and text otherwise).
struct FtpResult {
  bool ok = true;
  CURLcode curlCode = CURLE_OK;
  long code = 0;
  std::string text;
};

// The error number for a curl failure (ftpErr* of ports.h, or the curl code).
long MapCurlError(CURLcode rc);

// ORVEX_TIME_SCALE, a positive number; 1 when unset or not valid.
double FtpTimeScale();

// True when the address is an IPv4 address in 127.0.0.0/8.
bool IsLoopbackAddress(const std::string& host);

// True when ORVEX_LOOPBACK_ONLY=1 forbids this host.
bool HostForbidden(const std::string& host);

// "ftp://host/" + the path, each segment percent-encoded; an absolute path
// starts with %2F so that it is taken from the server's root.
std::string FtpUrl(const std::string& host, const std::string& path, bool folder);

// Joins a remote path to the working folder ("" = the login folder).
std::string JoinRemote(const std::string& workingFolder, const std::string& path);

// The most a listing may hold; a longer one ends as CURLE_FILESIZE_EXCEEDED.
constexpr size_t kListingLimit = 1024 * 1024;

// The conversation is the one an older embedded server understands: one
// CWD with the whole folder path (never a walk from the root, never "CWD /"
// to get back), PASV without EPSV, and nothing that depends on SIZE, MDTM,
// MLSD, MLST or FEAT. The session keeps track of the folder the server is
// in; a request that needs the login folder when the server may be
// elsewhere starts a new connection, which the server opens in the login
// folder. Any failed request drops the connection and forgets the working
// folder, so the next request starts afresh.
class CurlFtpSession {
 public:
  // `port` 0 is FTP's own (21).
  CurlFtpSession(std::string user, std::string password, long port = 0);
  ~CurlFtpSession();
  CurlFtpSession(const CurlFtpSession&) = delete;
  CurlFtpSession& operator=(const CurlFtpSession&) = delete;

  // Progress of the running request: 4 connected, 6 request sent, 7 data
  // flowing (the FtpClientState codes). May be left empty.
  std::function<void(int state)> onProgress;
  // Polled while a request runs; true aborts it (CURLE_ABORTED_BY_CALLBACK).
  std::function<bool()> aborted;
  // The byte count of a GET or PUT whenever it moves, with the file's size
  // (0 when not known) and the time since the request started; once more
  // with the final count (done == total) when the transfer succeeded. May be
  // left empty.
  std::function<void(long long done, long long total, long long elapsedMs)> onBytes;

  // A different host starts a new session in its login folder.
  void setHost(const std::string& host);
  const std::string& host() const { return host_; }
  // The client-side working folder; "" is the login folder.
  const std::string& workingFolder() const { return workingFolder_; }
  // Whether the last request left a logged-in connection behind.
  bool sessionOpen() const { return sessionOpen_; }

  FtpResult login();
  FtpResult changeFolder(const std::string& path);
  // NLST, or LIST for the long form; at most kListingLimit bytes.
  FtpResult list(const std::string& path, bool longForm, std::string& listing);
  FtpResult remove(const std::string& name);
  // HELP, in the folder the server is in; `reply` gets the lines of the
  // server's answer (each ended by CR LF).
  FtpResult help(std::string& reply);
  // RNFR/RNTO; both names absolute or relative to the working folder.
  FtpResult rename(const std::string& from, const std::string& to);
  // With maxBytes >= 0, at most maxBytes + 1 bytes are kept: a longer file
  // is cut off there, the connection is dropped, and the result is success.
  FtpResult get(const std::string& remote, const std::string& localPath, long long maxBytes = -1);
  FtpResult put(const std::string& localPath, const std::string& remote, bool ascii);
  // Logs out (QUIT, under the request time-outs) and drops the connection;
  // the next request logs in again in the login folder.
  void close();
  // Drops the connection at once, without waiting for any reply (the
  // server may hang), and forgets the working folder.
  void reset();

 private:
  struct Transfer;
  // Where a request points curl: the URL, whether curl must not change
  // folder, and the folder the server is in afterwards (as curl keeps it:
  // "" the login folder, "/tffs0/bin/" or "sub/").
  struct Target {
    std::string url;
    bool noCwd = false;
    std::string serverFolder;
  };
  // A folder, or the folder a quote command runs in with its argument.
  Target folderTarget(const std::string& path) const;
  Target fileTarget(const std::string& path) const;
  struct Site {
    Target target;
    std::string folder, argument;
  };
  Site quoteSite(const std::string& path) const;

  CURL* handle();
  void prepare(Transfer& t, const Target& target);
  FtpResult perform(Transfer& t);
  FtpResult finish(FtpResult r);
  FtpResult quote(const Target& target, const std::vector<std::string>& commands);

  static curl_socket_t OnOpenSocket(void* user, curlsocktype, curl_sockaddr* address);
  static int OnCloseSocket(void* user, curl_socket_t fd);

  std::string user_, password_, host_, workingFolder_;
  // The folder the server is in while a connection is kept.
  std::string serverFolder_;
  CURL* curl_ = nullptr;
  bool sessionOpen_ = false;
  std::set<curl_socket_t> sockets_;
  long port_ = 0;
};

}  // namespace orvex
