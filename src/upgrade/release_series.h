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
};

}  // namespace orvex
