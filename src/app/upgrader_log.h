// The upgrader log: one plain-text file per program start in "logs" under the
// home folder, opened, appended to and closed again for every line.
#pragma once

#include <functional>
#include <string>

#include "platform/ports.h"

namespace orvex {

enum LogLevel : long { DET = 1, VRB = 2, INF = 3, ERR = 4 };

class UpgraderLog {
 public:
  UpgraderLog(ClockPort& clock, UiPort& ui) : clock_(clock), ui_(ui) {}

  // The home folder the log folder is made under (the current folder at start).
  void setBaseFolder(const std::string& folder) { baseFolder_ = folder; }

  void Util_LogInit();
  void Util_LogWrite(long level, const std::string& message);
  void Util_LogClose();
  std::string Util_LogFileName();
  // Writes the DET line ">> OUT :" and returns the trace of the text; the
  // caller writes the trace as a line of its own and sends the text.
  std::string Util_TraceOut(const std::string& text, short count);

  // Told of every line the log writes (its level and message), so that a
  // front-end can show the log as it grows.
  using Listener = std::function<void(long level, const std::string& message)>;
  void setListener(Listener listener) { listener_ = std::move(listener); }

  // Off, a start within the same second as another appends to its file.
  // On, each start writes a file of its own: when the file of the start
  // second exists already, the first free second after it names the file
  // (and its banner), so upgraders started together from one folder never
  // share a log.
  bool newFileEachStart = false;

  long logThreshold = 1;
  std::string strLogFolder;
  std::string strLogFileName;
  std::string strLogFilePath;

  // False once the log could not be written: the technician has been told
  // and the upgrader goes on without a log.
  bool usable() const { return usable_; }

 private:
  void rebuildPath();
  bool append(const std::string& text, bool truncateFirst = false);
  // Creates the file of the first free second from initTime_ on and writes
  // the text into it; moves initTime_ to that second.
  bool createFresh(const std::function<std::string()>& text);
  void giveUp(const std::string& what);

  ClockPort& clock_;
  UiPort& ui_;
  std::string baseFolder_;
  DateTime initTime_;
  bool usable_ = true;
  bool initialised_ = false;
  Listener listener_;
};

// The printable trace of the first `count` characters: codes 32..126 as they
// stand, any other as " /x" + upper-case hex + " ".
std::string Util_TraceText(const std::string& text, short count);

}  // namespace orvex
