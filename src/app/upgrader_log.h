// The upgrader log: one plain-text file per program start in "logs" under the
// home folder, opened, appended to and closed again for every line.
#pragma once

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
  void giveUp(const std::string& what);

  ClockPort& clock_;
  UiPort& ui_;
  std::string baseFolder_;
  DateTime initTime_;
  bool usable_ = true;
  bool initialised_ = false;
};

// The printable trace of the first `count` characters: codes 32..126 as they
// stand, any other as " /x" + upper-case hex + " ".
std::string Util_TraceText(const std::string& text, short count);

}  // namespace orvex
