// The two settings for simulation and testing, each read from the
// environment here and nowhere else.
#pragma once

#include <optional>

namespace orvex {

// ORVEX_TIME_SCALE: the factor on every timer interval and request
// time-out, a number above 0 and at most 1000; none when unset or not such
// a number.
std::optional<double> TimeScaleSetting();

// ORVEX_LOOPBACK_ONLY=1: no connection leaves 127.0.0.0/8.
bool LoopbackOnlySetting();

}  // namespace orvex
