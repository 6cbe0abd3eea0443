// A timer of the main window: an interval in milliseconds, an enabled flag
// and a tick. It repeats until disabled; a handler that wants a one-shot
// delay disables its own timer first. Enabling a timer that already runs
// does not restart its countdown.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ports.h"

namespace orvex {

class Timer {
 public:
  Timer(Platform& platform, std::string name, int intervalMs, double timeScale,
        std::function<void()> handler);

  void setEnabled(bool on);
  bool enabled() const { return enabled_; }
  int interval() const { return intervalMs_; }
  // The interval the port really waits, after the time scale.
  int effectiveInterval() const;
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  int intervalMs_;
  double timeScale_;
  bool enabled_ = false;
  std::function<void()> handler_;
  std::unique_ptr<TimerPort> port_;
};

}  // namespace orvex
