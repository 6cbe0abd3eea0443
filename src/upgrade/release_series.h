// The release series rule, factory mode and the hidden log download.
#pragma once

#include <string>

#include "app/part.h"

namespace orvex {

class ReleaseSeries : public Part {
 public:
  explicit ReleaseSeries(Upgrader& up) : Part(up) {}
  void UI_CheckFactoryMode();
  bool DetectReleaseSeriesConflict(const std::string& version);
  void Form_KeyPress(int keyAscii);

  // The hidden log download: Ctrl+L arms it, Ctrl+G right after fires it.
  static constexpr int kLogKeyArm = 12;  // Ctrl+L
  static constexpr int kLogKeyFire = 7;  // Ctrl+G
  // The download waits at most three minutes, checking once a second.
  static constexpr long long kLogWaitLimitSec = 180;
  static constexpr int kLogWaitStepMs = 1000;

  bool bLogKeyArmed = false;

 private:
  void DownloadTerminalLog();
};

}  // namespace orvex
