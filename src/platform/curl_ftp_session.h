// One logged-in FTP session on a curl easy handle, run synchronously on the
// calling thread. The FTP client runs it on its worker thread; the one-file
// upload runs it on the GUI thread, where blocking is allowed.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <functional>
#include <string>

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

class CurlFtpSession {
 public:
  CurlFtpSession(std::string user, std::string password);
  ~CurlFtpSession();
  CurlFtpSession(const CurlFtpSession&) = delete;
  CurlFtpSession& operator=(const CurlFtpSession&) = delete;

  // Progress of the running request: 4 connected, 6 request sent, 7 data
  // flowing (the FtpClientState codes). May be left empty.
  std::function<void(int state)> onProgress;
  // Polled while a request runs; true aborts it (CURLE_ABORTED_BY_CALLBACK).
  std::function<bool()> aborted;

  // A different host starts a new session in its login folder.
  void setHost(const std::string& host);
  const std::string& host() const { return host_; }
  // The client-side working folder; "" is the login folder.
  const std::string& workingFolder() const { return workingFolder_; }
  // Whether the last request left a logged-in connection behind.
  bool sessionOpen() const { return sessionOpen_; }

  FtpResult login();
  FtpResult changeFolder(const std::string& path);
  FtpResult list(const std::string& path, std::string& listing);
  FtpResult remove(const std::string& name);
  FtpResult get(const std::string& remote, const std::string& localPath);
  FtpResult put(const std::string& localPath, const std::string& remote, bool ascii);
  // Logs out and drops the connection; the next request logs in again.
  void close();

 private:
  struct Transfer;
  CURL* handle();
  void prepare(Transfer& t, const std::string& url);
  FtpResult perform(Transfer& t);

  std::string user_, password_, host_, workingFolder_;
  CURL* curl_ = nullptr;
  bool sessionOpen_ = false;
};

}  // namespace orvex
