// Arbitrary text as the terminal's software version text: the build date
// rule, the version digits, the platform number, and the version reply that
// shows them.
//
// Checked: a date read is a real calendar day; the release-date rule agrees
// with that date and the cut-off; the version kept is digits and dots taken
// in order from the text's first word; the platform number is the one its
// first four characters give; and the version reply shows exactly that
// version (or BOOTROM MODE) and stores its "_" form.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/util.h"
#include "fuzz_world.h"
#include "zing/terminal_text.h"
#include "zing/zing_channel.h"
#include "zing/zing_codec.h"

using orvex::fuzz::TheWorld;

namespace {

bool Leap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return days[m - 1] + (m == 2 && Leap(y) ? 1 : 0);
}

long ReferencePlatform(const std::string& version) {
  const std::string head = version.substr(0, 4);
  for (int n = 0; n <= 9; ++n)
    if (head.find("5." + std::to_string(n)) != std::string::npos) return n;
  return head.find("0.0") != std::string::npos ? 10 : 11;
}

std::string U32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A version text ends at its zero byte, as the reply carries it.
  std::string text(reinterpret_cast<const char*>(data), size);
  text.resize(std::min(text.find('\0'), text.size()));

  const std::string kept = orvex::ReleaseDatePart(text);
  if (text.find(kept) == std::string::npos) __builtin_trap();
  const auto date = orvex::ReadCalendarDate(kept);
  if (date) {
    if (date->year < 1000 || date->year > 9999 || date->month < 1 || date->month > 12 ||
        date->day < 1 || date->day > DaysInMonth(date->year, date->month))
      __builtin_trap();
    // The day numbers follow the calendar: the next day is one more.
    orvex::CalendarDate next = *date;
    if (++next.day > DaysInMonth(next.year, next.month)) {
      next.day = 1;
      if (++next.month > 12) {
        next.month = 1;
        ++next.year;
      }
    }
    if (orvex::DaysFromCivil(next) != orvex::DaysFromCivil(*date) + 1) __builtin_trap();
  }

  const std::string version = orvex::Util_VersionDigits(text);
  const std::string word = text.substr(0, text.find(' '));
  size_t at = 0;
  for (char c : version) {
    if (!((c >= '0' && c <= '9') || c == '.')) __builtin_trap();
    at = word.find(c, at);
    if (at == std::string::npos) __builtin_trap();
    ++at;
  }
  const long platform = orvex::PlatformIdFromVersion(version);
  if (platform != ReferencePlatform(version)) __builtin_trap();

  auto& w = TheWorld();
  w.reset();
  orvex::Upgrader& up = *w.up;
  const bool recent = up.zing.Util_CheckReleaseDate(text);
  const long cutOff = orvex::DaysFromCivil({2009, 10, 27});
  if (date && recent != (orvex::DaysFromCivil(*date) >= cutOff)) __builtin_trap();
  if (!date && !recent) __builtin_trap();

  // The whole reply, as the terminal sends it.
  up.zing.ZingReq_GetCurrentSoftwareVersion();
  auto& sck = w.p.socket("sckZING");
  sck.acceptConnect();
  sck.deliver(U32(0x1004) + U32(0) + text + std::string(1, '\0'));
  const std::string shown = up.win.text("txtCurrentSoftwareVersion");
  if (text.size() + 9 > orvex::kZingMaxReply) {
    // Longer than any reply: dropped, nothing shown yet.
    if (shown != "UNKNOWN") __builtin_trap();
  } else if (orvex::Contains(text, "BOOTROM")) {
    if (shown != "BOOTROM MODE" || !up.st.bBootromMode) __builtin_trap();
  } else {
    if (shown != version || up.st.termPlatformId != platform) __builtin_trap();
    if (up.st.strCurrSwVersion != orvex::Util_ReplaceChar(version, ".", "_")) __builtin_trap();
  }
  w.forget();
  return 0;
}
