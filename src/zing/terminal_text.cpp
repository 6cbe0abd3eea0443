#include "zing/terminal_text.h"

#include <array>
#include <cctype>
#include <vector>

namespace orvex {

long DaysFromCivil(const CalendarDate& d) {
  // Howard Hinnant's days_from_civil.
  const long y = d.year - (d.month <= 2 ? 1 : 0);
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long mp = (d.month + 9) % 12;
  const long doy = (153 * mp + 2) / 5 + d.day - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::string ReleaseDatePart(const std::string& versionText) {
  std::string kept = versionText;
  const size_t fpga = versionText.find(" fpga");
  if (fpga != std::string::npos) kept = versionText.substr(0, fpga + 1);
  const size_t comma = versionText.find(", ");
  if (comma != std::string::npos && comma < kept.size()) kept = kept.substr(comma + 1);
  return kept;
}

namespace {

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// A number of 1 to `maxLen` digits, or -1.
int Number(const std::string& s, size_t maxLen) {
  if (!AllDigits(s) || s.size() > maxLen) return -1;
  return std::stoi(s);
}

int Month(std::string s) {
  static const std::array<const char*, 12> names = {
      "january", "february", "march",     "april",   "may",      "june",
      "july",    "august",   "september", "october", "november", "december"};
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (s.size() < 3) return 0;
  for (size_t m = 0; m < names.size(); ++m) {
    const std::string full = names[m];
    if (s == full || s == full.substr(0, 3) || (m == 8 && s == "sept"))
      return static_cast<int>(m) + 1;
  }
  return 0;
}

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

std::optional<CalendarDate> Valid(int year, int month, int day) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1000 || year > 9999 || month < 1 || month > 12 || day < 1) return std::nullopt;
  const int last = days[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
  if (day > last) return std::nullopt;
  return CalendarDate{year, month, day};
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t pos = 0;
  for (;;) {
    const size_t hit = s.find(sep, pos);
    parts.push_back(s.substr(pos, hit == std::string::npos ? std::string::npos : hit - pos));
    if (hit == std::string::npos) return parts;
    pos = hit + 1;
  }
}

// A whole-token date: MM/DD/YYYY or YYYY-MM-DD.
std::optional<CalendarDate> TokenDate(const std::string& tok) {
  auto slash = Split(tok, '/');
  if (slash.size() == 3) {
    const int m = Number(slash[0], 2), d = Number(slash[1], 2), y = Number(slash[2], 4);
    if (m > 0 && d > 0 && slash[2].size() == 4) return Valid(y, m, d);
  }
  auto dash = Split(tok, '-');
  if (dash.size() == 3 && dash[0].size() == 4) {
    const int y = Number(dash[0], 4), m = Number(dash[1], 2), d = Number(dash[2], 2);
    if (m > 0 && d > 0) return Valid(y, m, d);
  }
  return std::nullopt;
}

}  // namespace

std::optional<CalendarDate> ReadCalendarDate(const std::string& text) {
  std::vector<std::string> toks;
  std::string cur;
  for (char c : text) {
    if (c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n') {
      if (!cur.empty()) toks.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) toks.push_back(cur);

  for (size_t i = 0; i < toks.size(); ++i) {
    if (auto d = TokenDate(toks[i])) return d;
    if (i + 2 >= toks.size() || toks[i + 2].size() != 4) continue;
    const int year = Number(toks[i + 2], 4);
    if (const int m = Month(toks[i]); m > 0) {  // Oct 29 2009
      const int day = Number(toks[i + 1], 2);
      if (auto d = Valid(year, m, day)) return d;
    }
    if (const int m = Month(toks[i + 1]); m > 0) {  // 29 Oct 2009
      const int day = Number(toks[i], 2);
      if (auto d = Valid(year, m, day)) return d;
    }
  }
  return std::nullopt;
}

bool ReleaseInfoHasKey(const std::string& text, const std::string& key) {
  return text.find(key) != std::string::npos;
}

std::string ReleaseInfoField(const std::string& text, const std::string& key) {
  const size_t at = text.find(key);
  if (at == std::string::npos) return "";
  const size_t end = text.find("\r\n", at);
  const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
  const size_t colon = line.find(':');
  if (colon == std::string::npos || colon + 2 > line.size()) return "";
  const std::string value = line.substr(colon + 2);
  const size_t b = value.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  const size_t e = value.find_last_not_of(' ');
  return value.substr(b, e - b + 1);
}

long PlatformIdFromVersion(const std::string& reducedVersion) {
  const std::string head = reducedVersion.substr(0, 4);
  static const std::array<const char*, 11> marks = {"5.0", "5.1", "5.2", "5.3", "5.4", "5.5",
                                                    "5.6", "5.7", "5.8", "5.9", "0.0"};
  for (size_t i = 0; i < marks.size(); ++i)
    if (head.find(marks[i]) != std::string::npos) return static_cast<long>(i);
  return 11;
}

long AntennaClassFromValue(const std::string& value, long termPlatformId, long current) {
  if (value.find("10") != std::string::npos) return termPlatformId == 1 ? 3 : 2;
  if (value.find("11") != std::string::npos) return 4;
  if (value.find('9') != std::string::npos) return 1;
  if (value.find('2') != std::string::npos) return 0;
  return current;
}

std::string AntennaClassName(long classId) {
  switch (classId) {
    case 0: return "Class 2";
    case 1: return "Class 9";
    case 2: return "Class 10";
    case 3: return "Class 10R";
    case 4: return "Class 11";
    default: return "UNKNOWN";
  }
}

}  // namespace orvex
