#include "app/timer.h"

#include <cmath>

namespace orvex {

Timer::Timer(Platform& platform, std::string name, int intervalMs, double timeScale,
             std::function<void()> handler)
    : name_(std::move(name)),
      intervalMs_(intervalMs),
      timeScale_(timeScale),
      handler_(std::move(handler)) {
  port_ = platform.makeTimer([this] {
    if (enabled_ && handler_) handler_();
  });
}

int Timer::effectiveInterval() const {
  const double ms = std::round(intervalMs_ * timeScale_);
  if (ms < 1) return 1;
  if (ms > 2e9) return 2000000000;
  return static_cast<int>(ms);
}

void Timer::setEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  if (on)
    port_->start(effectiveInterval());
  else
    port_->stop();
}

}  // namespace orvex
