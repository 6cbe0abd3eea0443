// The terminal's texts without side effects: the build date in the version
// text, the fields of the release information, the platform number and the
// antenna class. The ZING channel logs and shows what these give.
#pragma once

#include <optional>
#include <string>

namespace orvex {

struct CalendarDate {
  int year = 0, month = 0, day = 0;
};

// Days since 1 January 1970 (proleptic Gregorian calendar).
long DaysFromCivil(const CalendarDate& d);

// The part of a version text that carries the build date: up to and
// including the blank before the first " fpga", without what comes before
// and including the first ", " (so "5.1.0.9 Rel, Oct 29 2009 fpga 12" gives
// " Oct 29 2009 "). A missing " fpga" keeps the text to its end; a missing
// ", " (or one after " fpga") keeps it from its start.
std::string ReleaseDatePart(const std::string& versionText);

// The first calendar date found in the text. Read are "Mon DD YYYY" (the
// compiler's build-date form, also with a comma or a padded day, and full
// month names), "DD Mon YYYY", "MM/DD/YYYY" and "YYYY-MM-DD".
std::optional<CalendarDate> ReadCalendarDate(const std::string& text);

// The value of a "KEY: value" line of the release information: from the
// first occurrence of the key to the next CR LF (or the end of the text),
// after the first ":" and one more character, without surrounding blanks.
// Empty when the key is missing (see ReleaseInfoHasKey).
std::string ReleaseInfoField(const std::string& text, const std::string& key);
bool ReleaseInfoHasKey(const std::string& text, const std::string& key);

// The platform number of a reduced version text (5.1.0.12 gives 1).
long PlatformIdFromVersion(const std::string& reducedVersion);

// The antenna class number of a CLASS value; `current` when none matches.
long AntennaClassFromValue(const std::string& value, long termPlatformId, long current);

// The printable name of an antenna class number.
std::string AntennaClassName(long classId);

}  // namespace orvex
