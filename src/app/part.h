// The base of every subsystem part of the upgrader: a reference to the whole
// upgrader, and short forms of the calls that every procedure makes.
#pragma once

#include <string>

#include "app/shared_state.h"
#include "app/upgrader_log.h"
#include "app/util.h"
#include "platform/ports.h"
#include "ui/window_model.h"

namespace orvex {

class Upgrader;

class Part {
 public:
  Part(const Part&) = delete;
  Part& operator=(const Part&) = delete;

 protected:
  explicit Part(Upgrader& upgrader);

  void Util_LogWrite(long level, const std::string& message);
  // An empty title means the program's default title.
  int MsgBox(const std::string& text, int flags, const std::string& title = "");
  void SetStatus(const std::string& text);  // the status line sbUpgrade

  Upgrader& up;
  SharedState& st;
  WindowModel& win;
};

// The title of the program's message boxes.
inline constexpr const char* kProgramTitle = "ORVEX Satellite IP Modem Upgrader";

}  // namespace orvex
