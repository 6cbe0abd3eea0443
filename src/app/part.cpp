#include "app/part.h"

#include "app/upgrader.h"

namespace orvex {

Part::Part(Upgrader& upgrader) : up(upgrader), st(upgrader.st), win(upgrader.win) {}

void Part::Util_LogWrite(long level, const std::string& message) {
  up.log.Util_LogWrite(level, message);
}

int Part::MsgBox(const std::string& text, int flags, const std::string& title) {
  return up.platform.ui().msgBox(text, flags, title);
}

void Part::SetStatus(const std::string& text) {
  win.setText("sbUpgrade", text);
}

}  // namespace orvex
