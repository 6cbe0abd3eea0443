// Fakes of the platform ports with a virtual clock: an hour of terminal time
// runs in milliseconds, and a test decides when each socket or FTP event
// happens.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ports.h"

namespace orvex::test {

// Virtual time and the events due in it.
class VirtualClock {
 public:
  long long nowMs() const { return now_; }
  // Schedules fn at now + delay; returns an id for cancel().
  long long schedule(long long delayMs, std::function<void()> fn);
  void cancel(long long id);
  // Runs everything due at the current time (and what that schedules for now).
  void runDue();
  // Moves time forward by ms, running every event that falls due, in order.
  void advance(long long ms);
  // Moves time forward by ms without running anything.
  void skip(long long ms) { now_ += ms; }
  // Moves time to the next due event and runs it; false when none is left.
  bool runNext();
  size_t pending() const { return queue_.size(); }

 private:
  struct Key {
    long long at, seq;
    bool operator<(const Key& o) const { return at != o.at ? at < o.at : seq < o.seq; }
  };
  std::map<Key, std::function<void()>> queue_;
  std::map<long long, Key> ids_;
  long long now_ = 0;
  long long seq_ = 0;
};

class FakeTimer : public TimerPort {
 public:
  FakeTimer(VirtualClock& clock, std::function<void()> tick)
      : clock_(clock), tick_(std::move(tick)) {}
  ~FakeTimer() override { stop(); }
  void start(int ms) override;
  void stop() override;
  bool running() const { return id_ >= 0; }
  int intervalMs() const { return ms_; }

 private:
  void arm();
  VirtualClock& clock_;
  std::function<void()> tick_;
  long long id_ = -1;
  int ms_ = 0;
};

class FakeSocket : public TcpSocketPort {
 public:
  explicit FakeSocket(std::string name) : name(std::move(name)) {}
  void setEvents(Events events) override { ev = std::move(events); }
  std::optional<RuntimeError> connect(const std::string& host, int port) override;
  void close() override;
  int state() const override { return state_; }
  void sendData(const std::string& bytes) override;
  std::string getData(long maxBytes) override;

  // Driven by tests (or by a responder):
  void acceptConnect();
  void deliver(const std::string& bytes);
  void peerClose();
  void raiseError(long number = 10061,
                  const std::string& description = "Connection is forcefully rejected");

  std::string name;
  Events ev;
  std::string host;
  int port = 0;
  int connects = 0;
  int closes = 0;
  std::vector<std::string> sent;
  std::string inbox;
  // Set to make the next connect() raise this error.
  std::optional<RuntimeError> failNextConnect;
  // Called on every connect() and every sendData(), for scripted peers.
  std::function<void(FakeSocket&)> onConnectRequested;
  std::function<void(FakeSocket&, const std::string&)> onSend;

 private:
  int state_ = sckClosed;
};

class FakeFtpClient : public FtpClientPort {
 public:
  void setStateChanged(std::function<void(int)> handler) override { handler_ = std::move(handler); }
  void setTransferProgress(std::function<void(const FtpTransferBytes&)> handler) override {
    progressHandler_ = std::move(handler);
  }
  void setRemoteHost(const std::string& h) override { host = h; }
  void limitNextDownload(long long maxBytes) override { nextLimit = maxBytes; }
  void execute(const FtpCommand& command) override;
  void cancel() override;
  bool stillExecuting() const override { return executing; }
  long responseCode() const override { return code; }
  std::string responseInfo() const override { return info; }
  std::string getChunk(int maxChars) override;

  // Driven by tests:
  void fire(int state);
  // A byte count of the running command; the source is the first argument
  // of the last command (quotes removed) unless given.
  void progress(long long done, long long total, long long elapsedMs,
                const std::string& source = "");
  // The first argument of a command, and of the last one, quotes removed.
  static std::string FirstArgument(const std::string& command);
  std::string lastSource() const { return commands.empty() ? "" : FirstArgument(commands.back()); }

  std::string host;
  std::vector<std::string> commands;
  // The bound given for the next GET (-1: none), and per command as issued.
  long long nextLimit = -1;
  std::vector<long long> limits;
  int cancels = 0;
  bool executing = false;
  long code = 0;
  std::string info;
  std::deque<std::string> chunks;
  std::function<void(FakeFtpClient&, const std::string&)> onExecute;
  // A test that completes a PUT by hand gets the size check after it for
  // free: the "DIR " that follows is answered at once with the local file's
  // size (a relative local name is in localFolder). Off for scripted servers.
  bool answerSizeChecks = true;
  // The scripted server that answers, if any.
  const void* script = nullptr;
  std::string localFolder;

 private:
  std::function<void(int)> handler_;
  std::function<void(const FtpTransferBytes&)> progressHandler_;
};

class FakeFtpUpload : public FtpUploadPort {
 public:
  bool open(const std::string& agent) override;
  bool connect(const std::string& host, const std::string& user,
               const std::string& password) override;
  bool putFile(const std::string& localPath, const std::string& remoteName, bool ascii) override;
  long lastError() const override { return error; }
  void closeHandles() override { ++closes; }

  bool openOk = true, connectOk = true, putOk = true;
  // Called for each put that succeeds.
  std::function<void(const std::string& localPath, const std::string& remoteName)> onPut;
  long error = 0;
  int closes = 0;
  std::vector<std::string> calls;
};

struct ShownMessage {
  std::string text;
  int flags = 0;
  std::string title;
};

class FakeUi : public UiPort {
 public:
  int msgBox(const std::string& text, int flags, const std::string& title) override;
  void setBusyPointer(bool b) override { busy = b; }
  void showModal(const std::string& form) override;
  void closeModal(const std::string& form) override { closed.push_back(form); }
  void quit() override { ++quits; }

  std::vector<ShownMessage> messages;
  // Answers to give, in order; when empty: vbYes for Yes/No questions, else vbOK.
  std::deque<int> answers;
  // Called when a message box is shown (after it is recorded).
  std::function<void(const ShownMessage&)> onMessage;
  // Opt-in: each message box stays open this many virtual milliseconds,
  // running the timers and socket events that fall due meanwhile, as the
  // nested event loop of a real box does. 0 (the default): boxes close at
  // once and no time passes.
  long long boxOpenMs = 0;
  // Called when a box closes (after the time it stayed open).
  std::function<void(const ShownMessage&)> onBoxClosed;
  // The clock a box lets run; set by FakePlatform.
  VirtualClock* clock = nullptr;
  bool busy = false;
  std::vector<std::string> modals;
  std::vector<std::string> closed;
  // Plays the user's part in a modal dialog.
  std::function<void(const std::string& form)> onModal;
  int quits = 0;
};

class FakePump : public EventPumpPort {
 public:
  explicit FakePump(VirtualClock& clock) : clock_(clock) {}
  void doEvents() override { clock_.runDue(); }
  void sleepMs(int ms) override { clock_.advance(ms); }
  // Time passes, nothing runs; what fell due runs at the next event.
  void pauseMs(int ms) override { clock_.skip(ms); }

 private:
  VirtualClock& clock_;
};

// Wall-clock time = a start time + the virtual time; short forms as in a
// United States locale (4/25/2013, 2:03:22 PM).
class FakeClock : public ClockPort {
 public:
  explicit FakeClock(VirtualClock& clock) : clock_(clock) {}
  DateTime now() override;
  std::string shortDate(const DateTime& t) override;
  std::string shortTime(const DateTime& t) override;
  DateTime start{2013, 4, 25, 14, 3, 22};
  // The separators of the short forms (another locale's, say).
  char dateSeparator = '/';
  char timeSeparator = ':';

 private:
  VirtualClock& clock_;
};

class FakeProcess : public ProcessPort {
 public:
  void startProgram(const std::string& path, const std::string& dir) override {
    started.push_back({path, dir});
  }
  std::vector<std::pair<std::string, std::string>> started;
};

// Keeps the rows and each terminal's leftovers; the write of the row
// numbered `failAt` fails.
struct FakeHistory : HistoryPort {
  std::vector<HistoryRow> rows;
  size_t failAt = 0;
  std::map<std::string, std::vector<std::string>> leftovers;
  bool record(const HistoryRow& row) override {
    rows.push_back(row);
    return rows.size() != failAt;
  }
  std::string lastError() const override { return "disk full"; }
  std::vector<std::string> uploadLeftovers(const std::string& address) override {
    return leftovers[address];
  }
  bool setUploadLeftovers(const std::string& address,
                          const std::vector<std::string>& remotes) override {
    leftovers[address] = remotes;
    return true;
  }
};

class FakePlatform : public Platform {
 public:
  FakePlatform() : pump_(vclock), wall(vclock) { uiFake.clock = &vclock; }
  std::unique_ptr<TimerPort> makeTimer(std::function<void()> tick) override;
  std::unique_ptr<TcpSocketPort> makeSocket(const std::string& name) override;
  std::unique_ptr<FtpClientPort> makeFtpClient() override;
  std::unique_ptr<FtpUploadPort> makeFtpUpload() override;
  UiPort& ui() override { return uiFake; }
  EventPumpPort& pump() override { return pump_; }
  ClockPort& clock() override { return wall; }
  ProcessPort& process() override { return proc; }
  HistoryPort* history() override { return historyPort; }
  HistoryPort* historyPort = nullptr;  // none unless a test sets one

  // The fakes the engine made, by socket name ("sckZING", "sckTest", "telnetShell").
  FakeSocket& socket(const std::string& name) { return *sockets.at(name); }
  FakeFtpClient& ftp() { return *ftpClient; }

  VirtualClock vclock;
  FakeUi uiFake;
  FakeProcess proc;
  std::map<std::string, FakeSocket*> sockets;
  FakeFtpClient* ftpClient = nullptr;
  std::vector<FakeFtpUpload*> uploads;
  std::vector<FakeTimer*> timers;
  // Settings for the uploads made from now on.
  bool uploadOpenOk = true, uploadConnectOk = true, uploadPutOk = true;
  std::function<void(const std::string& localPath, const std::string& remoteName)> onUploadPut;

 private:
  FakePump pump_;

 public:
  FakeClock wall;
};

}  // namespace orvex::test
