// The ports through which the engine reaches the outside world: timers,
// TCP client sockets, the FTP client, the one-file FTP upload, message boxes,
// the busy pointer, modal dialogs, event pumping and the clock.
// Qt and libcurl adapters live beside this file; tests use fakes with a
// virtual clock (tests/support).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvex {

// A run-time error as the error trap of a procedure sees it.
struct RuntimeError {
  long number = 0;
  std::string description;
  long helpContext = 0;
  std::string source;
};

// One timer: the port repeats the tick every `ms` until stopped.
class TimerPort {
 public:
  virtual ~TimerPort() = default;
  virtual void start(int ms) = 0;
  virtual void stop() = 0;
};

// Socket states as the program reads them; only 7 (connected) is tested.
enum SocketState : int {
  sckClosed = 0,
  sckOpen = 1,
  sckListening = 2,
  sckConnectionPending = 3,
  sckResolvingHost = 4,
  sckHostResolved = 5,
  sckConnecting = 6,
  sckConnected = 7,
  sckClosing = 8,
  sckError = 9,
};

// An asynchronous TCP client. Events arrive on the GUI thread, one at a time.
class TcpSocketPort {
 public:
  struct Events {
    std::function<void()> onConnect;
    std::function<void(long bytesTotal)> onDataArrival;
    std::function<void()> onClose;
    std::function<void(long number, const std::string& description)> onError;
  };
  virtual ~TcpSocketPort() = default;
  virtual void setEvents(Events events) = 0;
  // Starts an asynchronous connect and returns at once; an error means the
  // connect could not even be started (the socket raises it to the caller).
  virtual std::optional<RuntimeError> connect(const std::string& host, int port) = 0;
  // Closes in any state; no event follows.
  virtual void close() = 0;
  virtual int state() const = 0;
  // The bytes go out unchanged, in one call, with nothing added.
  virtual void sendData(const std::string& bytes) = 0;
  // Up to maxBytes of what has arrived, without waiting. What is left raises
  // another data-arrival event.
  virtual std::string getData(long maxBytes) = 0;
};

// FTP client state codes reported by the state-change event.
enum FtpClientState : int {
  icNone = 0,
  icResolvingHost = 1,
  icHostResolved = 2,
  icConnecting = 3,
  icConnected = 4,
  icRequesting = 5,
  icRequestSent = 6,
  icReceivingResponse = 7,
  icResponseReceived = 8,
  icDisconnecting = 9,
  icDisconnected = 10,
  icError = 11,
  icResponseCompleted = 12,
};

// Error numbers the FTP engine tells apart after state 11.
enum FtpErrorCode : long {
  ftpErrTimeout = 12002,
  ftpErrServerRefused = 12003,
  ftpErrLoginRefused = 12014,
  ftpErrCannotConnect = 12029,
  ftpErrConnectionReset = 12031,
};

// How far the running GET or PUT of the FTP client has come.
struct FtpTransferBytes {
  // The file being sent, as the command names it: the local path of a PUT,
  // the remote path of a GET.
  std::string source;
  long long done = 0;       // bytes moved so far
  long long total = 0;      // the file's size; 0 when the server does not tell
  long long elapsedMs = 0;  // since the command started
};

// The FTP client that runs one command at a time and reports its state
// changes. Each command is a verb and its arguments (see FtpCommand);
// remote paths are absolute or relative to the working folder set by "CD".
//   "CD <path>"            one CWD with the whole path; sets the working folder
//   "LS [<path>]"          names only (NLST); read with getChunk
//   "DIR [<path>]"         long listing (LIST, unix "ls -l" lines on most
//                          servers); read with getChunk
//   "Delete <path>"        DELE
//   "RENAME <from> <to>"   the rename the server offers
//   "HELP"                 the server's HELP reply lines; read with getChunk
//   "GET <remote> <local>" a failed GET leaves no local file
//   "PUT <local> <remote>"
//   "CLOSE"                logs out; ends with state 10
// After a failed command, after cancel() and after "CLOSE" the next command logs in anew
// in the login folder: working folder, listing and read position are cleared. A listing
// holds at most 1 MiB; a longer one fails with 63. On a server's refusal responseInfo()
// starts with its reply line ("550 ..."): a GET answered 550, 450, 451 or 425 fails with
// 12003 (only 550 means the file is not there), 421 with 12002; a refused CD, Delete,
// RENAME or HELP is 12003. Local file errors keep curl's numbers (23 write, 26 read).
// An FTP command: its verb, its arguments, each handed on to the server as
// it is (a name is never split again), and its text, the form the log reads
// ("PUT \"C:\\x.bin\" /tffs0/bin/x.bin"); no text: the verb and the
// arguments, blank-separated.
struct FtpCommand {
  // The verb is always a word of the engine's own, never a text put together.
  FtpCommand(const char* v = "", std::vector<std::string> a = {}, std::string t = {})
      : verb(v), args(std::move(a)), text(std::move(t)) {}
  std::string verb;
  std::vector<std::string> args;
  std::string text;
  std::string shown() const {
    if (!text.empty()) return text;
    std::string t = verb;
    for (const std::string& a : args) t += " " + a;
    return t;
  }
};

class FtpClientPort {
 public:
  virtual ~FtpClientPort() = default;
  virtual void setStateChanged(std::function<void(int state)> handler) = 0;
  // Byte counts of the running GET or PUT, on the engine's thread, in order
  // with the state changes: each one before the command's final state, the
  // last one (done == total) before its completion, and none after cancel().
  // Reports come when the count moves, as often as the engine takes them.
  virtual void setTransferProgress(std::function<void(const FtpTransferBytes&)> handler) {
    (void)handler;
  }
  virtual void setRemoteHost(const std::string& host) = 0;
  // The next GET writes at most maxBytes + 1 bytes: a longer file ends
  // there, and the command completes with the local file cut at that size,
  // so the caller sees that it is too long.
  virtual void limitNextDownload(long long maxBytes) = 0;
  virtual void execute(const FtpCommand& command) = 0;
  virtual void cancel() = 0;
  virtual bool stillExecuting() const = 0;
  virtual long responseCode() const = 0;
  virtual std::string responseInfo() const = 0;
  // The next piece of a listing, up to maxChars; empty when none is left.
  virtual std::string getChunk(int maxChars) = 0;
};

// The operating system's one-file FTP upload; blocks until done.
class FtpUploadPort {
 public:
  virtual ~FtpUploadPort() = default;
  virtual bool open(const std::string& agent) = 0;
  virtual bool connect(const std::string& host, const std::string& user,
                       const std::string& password) = 0;
  virtual bool putFile(const std::string& localPath, const std::string& remoteName, bool ascii) = 0;
  virtual long lastError() const = 0;
  virtual void closeHandles() = 0;
};

// Message box flags and results, with the values a reader of the design
// knows from the desktop runtime.
enum MsgBoxFlags : int {
  vbOKOnly = 0,
  vbOKCancel = 1,
  vbYesNo = 4,
  vbCritical = 16,
  vbQuestion = 32,
  vbExclamation = 48,
  vbInformation = 64,
  vbDefaultButton2 = 256,  // the second button (No) is the default
  // Not a desktop-runtime value: the box asks the technician to do something
  // at the terminal first, and its OK says that it is done.
  vbActionNeeded = 1 << 16,
};
enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

// Message boxes, the screen pointer, modal dialogs and the main window's life.
class UiPort {
 public:
  virtual ~UiPort() = default;
  // An empty title means the program's default title.
  virtual int msgBox(const std::string& text, int flags, const std::string& title) = 0;
  virtual void setBusyPointer(bool busy) = 0;
  // Shows a dialog of the window model ("UpdateModemIP", "frmUpgrade",
  // "frmRestore") modally; returns when the engine closes it or the user
  // closes it by its close box.
  virtual void showModal(const std::string& form) = 0;
  virtual void closeModal(const std::string& form) = 0;
  // The main window has been unloaded: the program ends.
  virtual void quit() = 0;
};

// The few documented waits pump events while they wait.
class EventPumpPort {
 public:
  virtual ~EventPumpPort() = default;
  virtual void doEvents() = 0;
  virtual void sleepMs(int ms) = 0;
  // Waits without running any event: no timer, socket or click is handled
  // meanwhile (the pause after the log closes, so no line lands after it).
  virtual void pauseMs(int ms) = 0;
};

struct DateTime {
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

class ClockPort {
 public:
  virtual ~ClockPort() = default;
  virtual DateTime now() = 0;
  // The system's short date and time forms (4/25/2013 and 2:03:22 PM in a
  // United States locale).
  virtual std::string shortDate(const DateTime& t) = 0;
  virtual std::string shortTime(const DateTime& t) = 0;
};

// Starts another program in a normal window; the result is ignored.
class ProcessPort {
 public:
  virtual ~ProcessPort() = default;
  virtual void startProgram(const std::string& path, const std::string& workingDir) = 0;
};

// One line of the upgrade history: an item of one run, as it ended.
struct HistoryRow {
  std::string time;  // ISO 8601, UTC; empty: the history stamps it
  std::string address;
  std::string antennaSerial;  // empty where the terminal reports none
  std::string item;
  std::string before, after, expected;
  std::string result;
  std::string logFile;
  std::string frontEnd;
};

// The upgrade history of the user, kept by the front-end. A history that
// cannot be written never stops an upgrade: record() says so and the
// engine goes on.
class HistoryPort {
 public:
  virtual ~HistoryPort() = default;
  // False when the row could not be written; lastError() says why.
  virtual bool record(const HistoryRow& row) = 0;
  virtual std::string lastError() const = 0;
  // The files on the terminal at `address` whose upload was neither checked
  // by its size nor removed (a cut-off upload may have left part of one),
  // kept across runs: the next chain to that terminal removes them first.
  // A history that keeps none has none.
  virtual std::vector<std::string> uploadLeftovers(const std::string& address) {
    (void)address;
    return {};
  }
  // Replaces the list of that terminal; false when it could not be written.
  virtual bool setUploadLeftovers(const std::string& address,
                                  const std::vector<std::string>& remotes) {
    (void)address;
    (void)remotes;
    return true;
  }
};

// Everything the engine needs from the platform.
class Platform {
 public:
  virtual ~Platform() = default;
  virtual std::unique_ptr<TimerPort> makeTimer(std::function<void()> tick) = 0;
  virtual std::unique_ptr<TcpSocketPort> makeSocket(const std::string& name) = 0;
  virtual std::unique_ptr<FtpClientPort> makeFtpClient() = 0;
  virtual std::unique_ptr<FtpUploadPort> makeFtpUpload() = 0;
  virtual UiPort& ui() = 0;
  virtual EventPumpPort& pump() = 0;
  virtual ClockPort& clock() = 0;
  virtual ProcessPort& process() = 0;
  // The upgrade history; nullptr when none is kept.
  virtual HistoryPort* history() { return nullptr; }
};

}  // namespace orvex
