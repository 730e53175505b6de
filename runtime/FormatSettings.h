#pragma once
// Locale-derived settings of the number and date-time formatters, read once at start.
// Every member has a fallback that holds when the locale has no entry (the C and POSIX locales).

#include <array>
#include <string>
#include <string_view>
#include <vector>

// One era of an era calendar; the first era whose StartDay is not after the date applies.
struct TEraInfo {
    std::string Name; // long era name ("gg")
    std::string ShortName; // abbreviated era name ("g"); empty means Name
    double StartDay = 0; // day number of the era's first day
    int YearOffset = 0; // era year = Gregorian year - YearOffset
};

struct TFormatSettings {
    char DecimalMark = '.';
    char DateMark = '/'; // NUL: "/" writes nothing
    char TimeMark = ':'; // NUL: ":" writes nothing
    std::string ShortDatePattern = "m/d/yy", LongDatePattern = "mmmm d, yyyy", AMText = "am", PMText = "pm",
                ShortTimePattern = "h:mm", LongTimePattern = "h:mm:ss";
    // Index 0 is January, resp. Sunday.
    std::array<std::string, 12> ShortMonthNames { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct",
        "Nov", "Dec" };
    std::array<std::string, 12> LongMonthNames { "January", "February", "March", "April", "May", "June", "July",
        "August", "September", "October", "November", "December" };
    std::array<std::string, 7> ShortDayNames { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
    std::array<std::string, 7> LongDayNames { "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday",
        "Saturday" };
    // Non-empty only for an era calendar; then the e and g elements write era year and name.
    // Sorted by StartDay ascending.
    std::vector<TEraInfo> Eras;
};

// The program's settings; filled by vl::loadFormatSettings before any window exists, read-only after.
extern TFormatSettings FormatSettings;

namespace vl
{

// Fills FormatSettings from the current global locale (as set by setlocale(LC_ALL, ...)).
// Never fails: a locale that cannot be read leaves the fallbacks.
void loadFormatSettings();

// Settings of the named locale ("" = from the environment). Texts are in that locale's codeset.
// Throws Exception when the locale does not exist.
TFormatSettings formatSettingsFromLocale(const char* localeName);

// Translates a glibc strftime date format (d_fmt) into a date pattern of vl::formatDateTime;
// literal text is quoted. longForm turns abbreviated month names into long ones and drops time
// and zone directives (used to build the long date pattern from date_fmt).
std::string datePatternFromStrftime(const std::string& strftimeFormat, bool longForm = false);

// Applies the era-calendar and CJK rules to a date pattern: with eraCalendar "gg" -> "ggg",
// "yyyy" -> "eeee", "yy" -> "ee", "y" -> "e"; otherwise with cjkLanguage every g/G outside
// quotes is removed; otherwise the pattern is returned unchanged. codePage is the pattern's
// (empty: the current locale's), so that multi-byte characters are never split.
std::string adjustDatePattern(
    const std::string& pattern, bool eraCalendar, bool cjkLanguage, std::string_view codePage = {});

} // namespace vl
