#include "app/settings.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace orvex {

std::optional<double> TimeScaleSetting() {
  const char* scale = std::getenv("ORVEX_TIME_SCALE");
  if (!scale || !*scale) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(scale, &end);
  if (end && *end == '\0' && std::isfinite(v) && v > 0 && v <= 1000) return v;
  return std::nullopt;
}

bool LoopbackOnlySetting() {
  const char* only = std::getenv("ORVEX_LOOPBACK_ONLY");
  return only && std::strcmp(only, "1") == 0;
}

}  // namespace orvex
