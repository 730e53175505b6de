#include "FormatSettings.h"

#include "Exceptions.h"
#include "Text.h"

#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <memory>
#include <vector>

TFormatSettings FormatSettings;

namespace vl
{
namespace
{

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Replaces the composite conversions by their parts so that separators and the hour directive
// can be read from one flat format.
std::string expandComposites(const std::string& format, const std::string& ampmFormat)
{
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            out += format[i];
            continue;
        }
        const char c = format[i + 1];
        if (c == 'D')
            out += "%m/%d/%y";
        else if (c == 'F')
            out += "%Y-%m-%d";
        else if (c == 'T')
            out += "%H:%M:%S";
        else if (c == 'R')
            out += "%H:%M";
        else if (c == 'r')
            out += ampmFormat.empty() ? std::string("%I:%M:%S %p") : expandComposites(ampmFormat, {});
        else {
            out += format[i];
            out += c;
        }
        ++i;
    }
    return out;
}

struct StrftimeToken {
    bool directive = false;
    char conversion = 0; // directive: the conversion letter
    char flag = 0; // directive: '-', '_', '0', '^', '#' or 0
    std::string literal; // literal: the text
};

std::vector<StrftimeToken> tokenize(const std::string& format)
{
    std::vector<StrftimeToken> tokens;
    size_t i = 0;
    while (i < format.size()) {
        if (format[i] == '%' && i + 1 < format.size()) {
            StrftimeToken t;
            t.directive = true;
            ++i;
            if (std::strchr("-_0^#", format[i]) && i + 1 < format.size())
                t.flag = format[i++];
            while (i < format.size() && format[i] >= '0' && format[i] <= '9')
                ++i;
            if (i < format.size() && (format[i] == 'E' || format[i] == 'O'))
                ++i;
            if (i >= format.size())
                break;
            t.conversion = format[i++];
            if (t.conversion == '%' || t.conversion == 'n' || t.conversion == 't') {
                const char ch = t.conversion == '%' ? '%' : ' ';
                if (tokens.empty() || tokens.back().directive)
                    tokens.push_back({});
                tokens.back().literal += ch;
            } else {
                tokens.push_back(t);
            }
            continue;
        }
        if (tokens.empty() || tokens.back().directive)
            tokens.push_back({});
        tokens.back().literal += format[i++];
    }
    return tokens;
}

// Literal text goes into quotes when the date-time formatter would read it as elements.
std::string quoteLiteral(const std::string& text)
{
    std::string out;
    std::string run;
    bool runNeedsQuotes = false;
    auto flush = [&] {
        if (runNeedsQuotes)
            out += '"' + run + '"';
        else
            out += run;
        run.clear();
        runNeedsQuotes = false;
    };
    for (char c : text) {
        if (c == '"' || c == '\'') {
            flush();
            out += c == '"' ? "'\"'" : "\"'\"";
            continue;
        }
        if (isAsciiLetter(c) || static_cast<unsigned char>(c) >= 0x80)
            runNeedsQuotes = true;
        run += c;
    }
    flush();
    return out;
}

// Pattern text of a date directive; empty for a directive that has no date meaning.
std::string dateElement(const StrftimeToken& t, bool longForm)
{
    const bool unpadded = t.flag == '-';
    switch (t.conversion) {
    case 'd':
        return unpadded ? "d" : "dd";
    case 'e':
        return t.flag == '0' ? "dd" : "d";
    case 'm':
        return unpadded ? "m" : "mm";
    case 'y':
        return "yy";
    case 'Y':
    case 'G':
        return "yyyy";
    case 'b':
    case 'h':
        return longForm ? "mmmm" : "mmm";
    case 'B':
        return "mmmm";
    case 'a':
        return longForm ? "" : "ddd";
    case 'A':
        return longForm ? "" : "dddd";
    default:
        return "";
    }
}

bool isTrimmable(char c)
{
    return c == ' ' || c == ',' || c == ';';
}

std::string localeItem(nl_item item, locale_t loc)
{
    const char* text = nl_langinfo_l(item, loc);
    return text ? std::string(text) : std::string();
}

// First character of the literal that follows the first directive, when it can be a mark.
char separatorOf(const std::string& expandedFormat, char fallback)
{
    const auto tokens = tokenize(expandedFormat);
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (tokens[i].directive && !tokens[i + 1].directive) {
            const char c = tokens[i + 1].literal[0];
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x80 && u >= 0x20 && !isAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '"' && c != '\''
                && c != '%')
                return c;
            return fallback;
        }
    }
    return fallback;
}

bool isCLocaleName(const std::string& name)
{
    return name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

bool isCjkLanguage(const std::string& name)
{
    const std::string language = name.substr(0, name.find_first_of("_.@"));
    return language == "zh" || language == "ja" || language == "ko";
}

// Hour element and marker placement read from the locale's time format.
void buildTimePatterns(const std::string& expandedTimeFormat, TFormatSettings& fs)
{
    std::string hour = "h";
    bool twelveHour = false;
    bool markerFirst = false;
    bool markerSeen = false;
    for (const StrftimeToken& t : tokenize(expandedTimeFormat)) {
        if (!t.directive)
            continue;
        if (t.conversion == 'p' || t.conversion == 'P') {
            markerSeen = true;
        } else if (std::strchr("HIkl", t.conversion)) {
            const bool padded
                = (t.conversion == 'H' || t.conversion == 'I') ? t.flag != '-' && t.flag != '_' : t.flag == '0';
            hour = padded ? "hh" : "h";
            twelveHour = t.conversion == 'I' || t.conversion == 'l';
            markerFirst = markerSeen;
            break;
        }
    }
    const std::string prefix = twelveHour && markerFirst ? "AMPM " : "";
    const std::string suffix = twelveHour && !markerFirst ? " AMPM" : "";
    fs.ShortTimePattern = prefix + hour + ":mm" + suffix;
    fs.LongTimePattern = prefix + hour + ":mm:ss" + suffix;
}

TFormatSettings settingsOf(locale_t loc)
{
    TFormatSettings fs;
    const std::string numericName = localeItem(_NL_LOCALE_NAME(LC_NUMERIC), loc);
    const std::string timeName = localeItem(_NL_LOCALE_NAME(LC_TIME), loc);

    const std::string decimalPoint = localeItem(RADIXCHAR, loc);
    // A multi-byte decimal point cannot be one character of the narrow text; keep the fallback.
    if (!isCLocaleName(numericName) && decimalPoint.size() == 1)
        fs.DecimalMark = decimalPoint[0];

    for (int i = 0; i < 12; ++i) {
        fs.ShortMonthNames[static_cast<size_t>(i)] = localeItem(static_cast<nl_item>(ABMON_1 + i), loc);
        fs.LongMonthNames[static_cast<size_t>(i)] = localeItem(static_cast<nl_item>(MON_1 + i), loc);
    }
    for (int i = 0; i < 7; ++i) {
        fs.ShortDayNames[static_cast<size_t>(i)] = localeItem(static_cast<nl_item>(ABDAY_1 + i), loc);
        fs.LongDayNames[static_cast<size_t>(i)] = localeItem(static_cast<nl_item>(DAY_1 + i), loc);
    }
    if (isCLocaleName(timeName))
        return fs;

    const std::string ampmFormat = localeItem(T_FMT_AMPM, loc);
    const std::string dateFormat = expandComposites(localeItem(D_FMT, loc), ampmFormat);
    const std::string timeFormat = expandComposites(localeItem(T_FMT, loc), ampmFormat);
    const bool cjk = isCjkLanguage(timeName);
    const std::string codePage = localeItem(CODESET, loc);

    fs.DateMark = separatorOf(dateFormat, fs.DateMark);
    fs.TimeMark = separatorOf(timeFormat, fs.TimeMark);
    if (std::string pattern = datePatternFromStrftime(dateFormat); !pattern.empty())
        fs.ShortDatePattern = adjustDatePattern(pattern, false, cjk, codePage);
    const std::string longSource = expandComposites(localeItem(_DATE_FMT, loc), ampmFormat);
    if (std::string pattern = datePatternFromStrftime(longSource, true); !pattern.empty())
        fs.LongDatePattern = adjustDatePattern(pattern, false, cjk, codePage);

    if (const std::string am = localeItem(AM_STR, loc); !am.empty())
        fs.AMText = am;
    if (const std::string pm = localeItem(PM_STR, loc); !pm.empty())
        fs.PMText = pm;
    if (!timeFormat.empty())
        buildTimePatterns(timeFormat, fs);
    return fs;
}

struct LocaleDeleter {
    void operator()(locale_t loc) const { freelocale(loc); }
};
using LocalePtr = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter>;

} // namespace

std::string datePatternFromStrftime(const std::string& strftimeFormat, bool longForm)
{
    const auto tokens = tokenize(expandComposites(strftimeFormat, {}));
    std::vector<std::string> parts; // pattern pieces; literals still raw, marked by a leading '\0'
    bool anyDate = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const StrftimeToken& t = tokens[i];
        if (!t.directive) {
            parts.push_back(std::string(1, '\0') + t.literal);
            continue;
        }
        const std::string element = dateElement(t, longForm);
        if (element.empty()) {
            // The separator after a dropped directive belongs to it ("%H:", "%Z ").
            if (longForm && i + 1 < tokens.size() && !tokens[i + 1].directive)
                ++i;
            continue;
        }
        anyDate = true;
        parts.push_back(element);
    }
    if (!anyDate)
        return {};
    if (longForm) {
        while (!parts.empty() && parts.front()[0] == '\0') {
            std::string& text = parts.front();
            size_t k = 1;
            while (k < text.size() && isTrimmable(text[k]))
                ++k;
            text.erase(1, k - 1);
            if (text.size() > 1)
                break;
            parts.erase(parts.begin());
        }
        while (!parts.empty() && parts.back()[0] == '\0') {
            std::string& text = parts.back();
            while (text.size() > 1 && isTrimmable(text.back()))
                text.pop_back();
            if (text.size() > 1)
                break;
            parts.pop_back();
        }
    }
    std::string pattern;
    for (const std::string& part : parts)
        pattern += part[0] == '\0' ? quoteLiteral(part.substr(1)) : part;
    return pattern;
}

std::string adjustDatePattern(const std::string& pattern, bool eraCalendar, bool cjkLanguage, std::string_view codePage)
{
    if (!eraCalendar && !cjkLanguage)
        return pattern;
    std::string out;
    size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '"' || c == '\'') {
            const size_t end = pattern.find(c, i + 1);
            const size_t stop = end == std::string::npos ? pattern.size() : end + 1;
            out.append(pattern, i, stop - i);
            i = stop;
            continue;
        }
        if (static_cast<unsigned char>(c) >= 0x80) {
            // Copied whole, so that a trail byte that happens to be a letter is not taken for one.
            const size_t len = charLengthAt(pattern, i, codePage);
            out.append(pattern, i, len);
            i += len;
            continue;
        }
        size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c)
            ++run;
        if (eraCalendar) {
            if (c == 'g' && run == 2)
                out += "ggg";
            else if ((c == 'y' || c == 'Y') && run == 4)
                out += "eeee";
            else if ((c == 'y' || c == 'Y') && run == 2)
                out += "ee";
            else if ((c == 'y' || c == 'Y') && run == 1)
                out += "e";
            else
                out.append(run, c);
        } else if (c != 'g' && c != 'G') {
            out.append(run, c);
        }
        i += run;
    }
    return out;
}

TFormatSettings formatSettingsFromLocale(const char* localeName)
{
    LocalePtr loc(newlocale(LC_ALL_MASK, localeName ? localeName : "", nullptr));
    if (!loc)
        throw Exception(std::string("Unknown locale: ") + (localeName ? localeName : ""));
    return settingsOf(loc.get());
}

void loadFormatSettings()
{
    LocalePtr loc(duplocale(uselocale(nullptr)));
    if (loc)
        FormatSettings = settingsOf(loc.get());
}

} // namespace vl
