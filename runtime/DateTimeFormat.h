#pragma once
// Date-time value texts by pattern (c, d..dddddd, m..mmmm, yy, yyyy, h, n, s, z, t, tt, AM/PM,
// A/P, AMPM, AAA, AAAA, e, g, "/", ":", quoted text). Day numbers count days since 30 December
// 1899 plus the fraction of the day.

#include "FormatSettings.h"

#include <string>
#include <string_view>

namespace vl
{

// Never fails. The result is cut at 256 bytes, never inside a multi-byte character of the current
// locale's codeset. A day number that is not finite or lies outside 1 January 0001 to 31 December
// 9999 gives the empty text.
std::string formatDateTime(std::string_view pattern, double dayNumber, const TFormatSettings& fs = FormatSettings);
// The same text into text, reusing its storage; pattern and fs must not refer to text.
void formatDateTimeInto(std::string& text, std::string_view pattern, double dayNumber,
                        const TFormatSettings& fs = FormatSettings);

// Calendar parts of a day number, rounded to the nearest millisecond; a negative day number takes
// its time of day from the magnitude of its fraction. Returns false for a value formatDateTime refuses.
struct DateTimeParts {
    int year = 0, month = 0, day = 0, dayOfWeek = 0; // month 1..12, day 1..31, dayOfWeek 0 = Sunday
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};
bool decodeDayNumber(double dayNumber, DateTimeParts& parts);

// Day number of a calendar date and time of day (for tests and callers building values).
double encodeDayNumber(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int millisecond = 0);

} // namespace vl
