// The FTP client and the one-file upload on libcurl.
//
// The client runs its session on one worker thread, one command at a time;
// each state change travels back to the GUI thread as an event posted to a
// QObject that lives there, so the engine sees its events in order, on its
// own thread, and never a thread of ours. A cancelled command is cut off
// through curl's progress callback and its events are dropped.
//
// Byte counts of a GET or PUT go the same way, coalesced: the worker keeps
// the latest count and has at most one delivery of it queued per command,
// so a fast transfer cannot flood the GUI thread; whatever the GUI thread
// takes is the newest count. Throttling to a pace a person reads is the
// engine's business.
#include "platform/curl_ftp.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/curl_ftp_session.h"

#if defined(__SANITIZE_THREAD__)
#define ORVEX_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORVEX_UNDER_TSAN 1
#endif
#endif
#ifdef ORVEX_UNDER_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace orvex {
namespace {

constexpr const char* kUser = "termuser";
constexpr const char* kPassword = "skyharbor";

// A command as the engine hands it over: the verb in capitals and its
// arguments as they are; more than the verb takes is an invalid command.
struct Command {
  std::string verb, first, second;
  bool extra = false;
};

Command Parse(const FtpCommand& command) {
  Command c;
  c.verb = command.verb;
  std::transform(c.verb.begin(), c.verb.end(), c.verb.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
  if (!command.args.empty()) c.first = command.args[0];
  if (command.args.size() > 1) c.second = command.args[1];
  c.extra = command.args.size() > 2;
  return c;
}

// One state change or byte count on its way from the worker to the GUI
// thread. A posted event of our own rather than a queued call, so that it
// can tell ThreadSanitizer what Qt's event queue guarantees and the
// sanitizer cannot see (Qt is not built with it): whatever the worker wrote
// before posting happens before the GUI thread runs the event. Events
// posted to one receiver arrive in the order posted, as queued calls do.
class HandOver final : public QEvent {
 public:
  explicit HandOver(std::function<void()> run) : QEvent(Type()), run_(std::move(run)) {}
  static QEvent::Type Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  void run() const { run_(); }

 private:
  std::function<void()> run_;
};

// Lives on the GUI thread and runs the hand-overs posted to it; those not
// delivered yet go with it.
class HandOverReceiver final : public QObject {
 public:
  // Any thread.
  void post(std::function<void()> run) {
    auto* e = new HandOver(std::move(run));
#ifdef ORVEX_UNDER_TSAN
    __tsan_release(e);
#endif
    QCoreApplication::postEvent(this, e);
  }

 protected:
  bool event(QEvent* e) override {
#ifdef ORVEX_UNDER_TSAN
    // First, since even the type was written by the worker; for an event
    // that none posted, this does nothing.
    __tsan_acquire(e);
#endif
    if (e->type() != HandOver::Type()) return QObject::event(e);
    static_cast<const HandOver*>(e)->run();
    return true;
  }
};

class CurlFtpClient final : public FtpClientPort {
 public:
  explicit CurlFtpClient(FtpLogin login) : login_(std::move(login)), worker_([this] { run(); }) {}

  ~CurlFtpClient() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      cancelledUpTo_ = UINT64_MAX;
    }
    wake_.notify_all();
    worker_.join();
    // The receiver goes with the hand-overs that were never delivered.
  }

  void setStateChanged(std::function<void(int)> handler) override { handler_ = std::move(handler); }
  void setTransferProgress(std::function<void(const FtpTransferBytes&)> handler) override {
    progressHandler_ = std::move(handler);
  }
  void setRemoteHost(const std::string& host) override { host_ = host; }

  void limitNextDownload(long long maxBytes) override { nextLimit_ = maxBytes; }

  void execute(const FtpCommand& command) override {
    const uint64_t id = ++lastIssued_;
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back({id, command, host_, nextLimit_});
    }
    nextLimit_ = -1;
    wake_.notify_all();
  }

  // The next command starts afresh: logged in anew, in the login folder.
  void cancel() override {
    cancelledUpTo_ = lastIssued_;
    lastFinished_ = std::max(lastFinished_, lastIssued_);
    listing_.clear();
    listingPos_ = 0;
    {
      std::lock_guard lock(mutex_);
      resetRequested_ = true;
    }
    wake_.notify_all();
  }

  bool stillExecuting() const override { return lastFinished_ < lastIssued_; }
  long responseCode() const override { return responseCode_; }
  std::string responseInfo() const override { return responseInfo_; }

  std::string getChunk(int maxChars) override {
    if (maxChars <= 0 || listingPos_ >= listing_.size()) return {};
    const size_t n = std::min(listing_.size() - listingPos_, static_cast<size_t>(maxChars));
    std::string piece = listing_.substr(listingPos_, n);
    listingPos_ += n;
    return piece;
  }

 private:
  struct Job {
    uint64_t id;
    FtpCommand command;
    std::string host;
    long long downloadLimit = -1;  // GET: the most bytes kept (-1: none)
  };

  // ---- GUI thread ----

  void deliver(uint64_t id, int state, bool final, long code, const std::string& info,
               const std::string& listing, bool hasListing) {
    if (id <= cancelledUpTo_) return;
    if (final) {
      responseCode_ = code;
      responseInfo_ = info;
      if (hasListing || state != icResponseCompleted) {
        // A failure, or the end of the session, forgets the last listing.
        listing_ = listing;
        listingPos_ = 0;
      }
      lastFinished_ = std::max(lastFinished_, id);
    }
    if (handler_) handler_(state);
  }

  void deliverBytes(uint64_t id) {
    FtpTransferBytes bytes;
    {
      std::lock_guard lock(bytesMutex_);
      // A later command's count has its own delivery queued.
      if (bytesId_ != id) return;
      bytesQueued_ = false;
      bytes = bytes_;
    }
    if (id <= cancelledUpTo_ || !progressHandler_) return;
    progressHandler_(bytes);
  }

  // ---- worker thread ----

  void postBytes(uint64_t id, const std::string& source, long long done, long long total,
                 long long elapsedMs) {
    {
      std::lock_guard lock(bytesMutex_);
      const bool queued = bytesQueued_ && bytesId_ == id;
      bytesId_ = id;
      bytes_ = {source, done, total, elapsedMs};
      if (queued) return;
      bytesQueued_ = true;
    }
    // Queued behind the state changes posted so far and ahead of the
    // command's final state, which is posted later.
    receiver_.post([this, id] { deliverBytes(id); });
  }

  void post(uint64_t id, int state, bool final = false, long code = 0, std::string info = {},
            std::string listing = {}, bool hasListing = false) {
    receiver_.post([this, id, state, final, code, info = std::move(info),
                    listing = std::move(listing),
                    hasListing] { deliver(id, state, final, code, info, listing, hasListing); });
  }

  bool cancelled(uint64_t id) const { return id <= cancelledUpTo_.load(); }

  void run() {
    CurlFtpSession session(login_.user, login_.password, login_.port);
    for (;;) {
      Job job;
      bool reset = false;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || resetRequested_ || !jobs_.empty(); });
        if (stopping_) return;
        reset = std::exchange(resetRequested_, false);
        if (!reset) {
          job = std::move(jobs_.front());
          jobs_.pop_front();
        }
      }
      // After a cancel the connection goes at once, whatever state it is
      // in; the next command logs in afresh.
      if (reset) {
        session.reset();
        continue;
      }
      if (!cancelled(job.id)) runJob(session, job);
    }
  }

  void runJob(CurlFtpSession& session, const Job& job) {
    const Command cmd = Parse(job.command);
    const uint64_t id = job.id;
    if (cmd.verb == "CLOSE") {
      post(id, icDisconnecting);
      session.aborted = [this, id] { return cancelled(id); };
      session.onProgress = nullptr;
      session.close();
      if (!cancelled(id)) post(id, icDisconnected, true);
      return;
    }
    if (HostForbidden(job.host)) {
      post(id, icError, true, ftpErrCannotConnect,
           "Loopback addresses only: " + job.host + " is refused");
      return;
    }
    session.setHost(job.host);

    int last = session.sessionOpen() ? icConnected : icHostResolved;
    auto advance = [&](int to) {
      for (int s = last + 1; s <= to; ++s) post(id, s);
      last = std::max(last, to);
    };
    session.aborted = [this, id] { return cancelled(id); };
    session.onProgress = [&](int state) { advance(state); };
    session.onBytes = nullptr;
    if (cmd.verb == "GET" || cmd.verb == "PUT")
      session.onBytes = [this, id, source = cmd.first](long long done, long long total,
                                                       long long elapsedMs) {
        postBytes(id, source, done, total, elapsedMs);
      };
    advance(session.sessionOpen() ? icRequesting : icConnecting);

    FtpResult r;
    std::string listing;
    bool hasListing = false;
    // A line break or NUL in an argument would end the command early and
    // start another one on the control connection.
    const auto unsafe = [](const std::string& a) {
      return a.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
    };
    if (unsafe(cmd.first) || unsafe(cmd.second)) {
      r.ok = false;
      r.curlCode = CURLE_URL_MALFORMAT;
      r.code = CURLE_URL_MALFORMAT;
      r.text = "Invalid FTP command: a line break or NUL in an argument";
      session.reset();
    } else if (cmd.verb == "CD") {
      r = session.changeFolder(cmd.first);
    } else if (cmd.verb == "LS" || cmd.verb == "DIR") {
      r = session.list(cmd.first, cmd.verb == "DIR", listing);
      hasListing = true;
    } else if (cmd.verb == "HELP" && cmd.first.empty()) {
      r = session.help(listing);
      hasListing = true;
    } else if (cmd.verb == "DELETE" && !cmd.first.empty()) {
      r = session.remove(cmd.first);
    } else if (cmd.verb == "RENAME" && !cmd.first.empty() && !cmd.second.empty() && !cmd.extra) {
      r = session.rename(cmd.first, cmd.second);
    } else if (cmd.verb == "GET" && !cmd.first.empty() && !cmd.second.empty()) {
      r = session.get(cmd.first, cmd.second, job.downloadLimit);
    } else if (cmd.verb == "PUT" && !cmd.first.empty() && !cmd.second.empty()) {
      r = session.put(cmd.first, cmd.second, false);
    } else {
      r.ok = false;
      r.curlCode = CURLE_URL_MALFORMAT;
      r.code = CURLE_URL_MALFORMAT;
      r.text = "Invalid FTP command: " + job.command.shown();
      session.reset();  // like any failed command
    }
    session.onProgress = nullptr;
    session.onBytes = nullptr;
    if (cancelled(id)) return;
    if (r.ok) {
      advance(icResponseReceived);
      post(id, icResponseCompleted, true, 0, {}, std::move(listing), hasListing);
    } else {
      post(id, icError, true, r.code, r.text, {}, hasListing);
    }
  }

  // GUI-thread state.
  std::function<void(int)> handler_;
  std::string host_;
  long long nextLimit_ = -1;
  uint64_t lastIssued_ = 0;
  uint64_t lastFinished_ = 0;
  long responseCode_ = 0;
  std::string responseInfo_;
  std::string listing_;
  size_t listingPos_ = 0;
  HandOverReceiver receiver_;

  std::function<void(const FtpTransferBytes&)> progressHandler_;

  // Set before the worker starts, read by it alone.
  const FtpLogin login_;

  // Shared with the worker.
  std::atomic<uint64_t> cancelledUpTo_{0};
  // The latest byte count, of command bytesId_, and whether its delivery is queued.
  std::mutex bytesMutex_;
  uint64_t bytesId_ = 0;
  FtpTransferBytes bytes_;
  bool bytesQueued_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  bool resetRequested_ = false;
  std::thread worker_;  // last: starts once everything above exists
};

class CurlFtpUpload final : public FtpUploadPort {
 public:
  bool open(const std::string&) override {
    opened_ = true;
    return true;
  }

  bool connect(const std::string& host, const std::string& user,
               const std::string& password) override {
    if (!opened_) return fail(ftpErrCannotConnect);
    if (HostForbidden(host)) return fail(ftpErrCannotConnect);
    session_ = std::make_unique<CurlFtpSession>(user, password);
    session_->setHost(host);
    const FtpResult r = session_->login();
    if (!r.ok) {
      session_.reset();
      return fail(r.code);
    }
    lastError_ = 0;
    return true;
  }

  bool putFile(const std::string& localPath, const std::string& remoteName, bool ascii) override {
    if (!session_) return fail(ftpErrCannotConnect);
    const FtpResult r = session_->put(localPath, remoteName, ascii);
    if (!r.ok) return fail(r.code);
    lastError_ = 0;
    return true;
  }

  long lastError() const override { return lastError_; }

  void closeHandles() override {
    if (session_) session_->close();
    session_.reset();
    opened_ = false;
  }

 private:
  bool fail(long code) {
    lastError_ = code;
    return false;
  }

  bool opened_ = false;
  std::unique_ptr<CurlFtpSession> session_;
  long lastError_ = 0;
};

}  // namespace

std::unique_ptr<FtpClientPort> MakeCurlFtpClient() {
  return MakeCurlFtpClient(FtpLogin{kUser, kPassword, 0});
}
std::unique_ptr<FtpClientPort> MakeCurlFtpClient(FtpLogin login) {
  return std::make_unique<CurlFtpClient>(std::move(login));
}
std::unique_ptr<FtpUploadPort> MakeCurlFtpUpload() {
  return std::make_unique<CurlFtpUpload>();
}

}  // namespace orvex
