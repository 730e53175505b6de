#include "DateTimeFormat.h"

#include "Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace vl
{
namespace
{

constexpr int64_t millisecondsPerDay = 86400000;
constexpr int64_t unixEpochDay = 25569; // 1 January 1970
constexpr double firstDay = -693593; // 1 January 0001
constexpr double lastDayEnd = 2958466; // 1 January 10000
constexpr size_t maxResultLength = 256;

// Proleptic Gregorian calendar on days since 1 January 1970.
void civilFromDays(int64_t z, int& year, int& month, int& day)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

int64_t daysFromCivil(int year, int month, int day)
{
    const int64_t y = year - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool startsWithNoCase(std::string_view text, size_t pos, std::string_view word)
{
    if (text.size() - pos < word.size())
        return false;
    for (size_t k = 0; k < word.size(); ++k) {
        char c = text[pos + k];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
        if (c != word[k])
            return false;
    }
    return true;
}

// The text being formatted, in a buffer of its own: the result is cut at maxResultLength bytes,
// so what lies further than one character beyond that is never needed and is dropped here.
class Output
{
public:
    size_t size() const { return m_size; }
    std::string_view view() const { return { m_data, m_size }; }
    void append(std::string_view text)
    {
        const size_t n = std::min(text.size(), Capacity - m_size);
        std::memcpy(m_data + m_size, text.data(), n);
        m_size += n;
    }
    void append(size_t count, char c)
    {
        const size_t n = std::min(count, Capacity - m_size);
        std::memset(m_data + m_size, c, n);
        m_size += n;
    }
    void append(const char* text, size_t length) { append(std::string_view(text, length)); }
    Output& operator+=(std::string_view text)
    {
        append(text);
        return *this;
    }
    Output& operator+=(char c)
    {
        if (m_size < Capacity)
            m_data[m_size++] = c;
        return *this;
    }

private:
    // Room for the longest character of a code page beyond the cut, and some.
    static constexpr size_t Capacity = maxResultLength + 16;
    char m_data[Capacity];
    size_t m_size = 0;
};

class Formatter
{
public:
    // Writes into out, which is replaced when finished and keeps its storage.
    Formatter(const TFormatSettings& fs, const DateTimeParts& parts, std::string& out)
        : m_fs(fs)
        , m_parts(parts)
        , m_result(out)
    {
    }

    void append(std::string_view pattern, int level);
    void finish();

private:
    // Bytes of the character at pos; only a non-ASCII byte can start a multi-byte character.
    size_t charLength(std::string_view text, size_t pos)
    {
        if (static_cast<unsigned char>(text[pos]) < 0x80)
            return 1;
        if (m_codePage.empty())
            m_codePage = narrowCodePage();
        return charLengthAt(text, pos, m_codePage);
    }
    size_t closingQuote(std::string_view pattern, size_t pos, char quote)
    {
        while (pos < pattern.size() && pattern[pos] != quote)
            pos += charLength(pattern, pos);
        return std::min(pos, pattern.size());
    }
    bool ampmFollows(std::string_view pattern, size_t pos);
    void expand(std::string_view pattern, int level)
    {
        if (level < 2)
            append(pattern, level + 1);
    }
    void appendNumber(int64_t value, int digits)
    {
        char text[24];
        const auto length = static_cast<size_t>(std::to_chars(text, text + sizeof text, value).ptr - text);
        if (length < static_cast<size_t>(digits))
            m_out.append(static_cast<size_t>(digits) - length, '0');
        m_out.append(text, length);
    }
    // Months and days: a run of one or two gives the number, three the short name, more the long one.
    template <size_t N>
    void appendNumberOrName(int number, int count, const std::array<std::string, N>& shortNames,
        const std::array<std::string, N>& longNames, size_t index)
    {
        if (count <= 2)
            appendNumber(number, count);
        else
            m_out += (count == 3 ? shortNames : longNames)[index];
    }
    const TEraInfo* era() const
    {
        const auto day = static_cast<double>(daysFromCivil(m_parts.year, m_parts.month, m_parts.day) + unixEpochDay);
        const TEraInfo* found = nullptr;
        for (const TEraInfo& e : m_fs.Eras)
            if (e.StartDay <= day)
                found = &e;
        return found;
    }

    const TFormatSettings& m_fs;
    const DateTimeParts& m_parts;
    Output m_out;
    std::string& m_result;
    std::string m_codePage;
};

// The 12-hour lookahead reads the rest of the pattern as the main loop would, so an "am" inside
// "aaam/pm" (short day name, then month) does not count.
bool Formatter::ampmFollows(std::string_view pattern, size_t pos)
{
    while (pos < pattern.size()) {
        const char c = pattern[pos];
        if (c == '\'' || c == '"') {
            pos = closingQuote(pattern, pos + 1, c) + 1;
        } else if (c == 'h' || c == 'H') {
            return false;
        } else if (c == 'a' || c == 'A') {
            if (startsWithNoCase(pattern, pos, "AM/PM") || startsWithNoCase(pattern, pos, "A/P")
                || startsWithNoCase(pattern, pos, "AMPM"))
                return true;
            pos += startsWithNoCase(pattern, pos, "AAAA") ? 4 : startsWithNoCase(pattern, pos, "AAA") ? 3 : 1;
        } else {
            pos += charLength(pattern, pos);
        }
    }
    return false;
}

void Formatter::append(std::string_view pattern, int level)
{
    char lastToken = ' ';
    bool use12HourClock = false;
    size_t i = 0;
    // Output beyond the cut is dropped anyway; stopping early bounds the work on long patterns.
    while (i < pattern.size() && m_out.size() <= maxResultLength + 4) {
        const char starter = pattern[i];
        if (static_cast<unsigned char>(starter) >= 0x80) {
            const size_t len = charLength(pattern, i);
            m_out.append(pattern.substr(i, len));
            i += len;
            continue;
        }
        ++i;
        int count = 1;
        auto takeRun = [&] {
            while (i < pattern.size() && pattern[i] == starter) {
                ++i;
                ++count;
            }
        };
        // Clock parts print at most their own width in digits, however long the run.
        auto appendClockPart = [&](int value, int width) {
            takeRun();
            appendNumber(value, std::min(count, width));
        };
        char token = starter >= 'a' && starter <= 'z' ? static_cast<char>(starter - 32) : starter;
        if (token >= 'A' && token <= 'Z') {
            if (token == 'M' && lastToken == 'H')
                token = 'N';
            lastToken = token;
        }
        switch (token) {
        case 'Y':
            takeRun();
            if (count <= 2)
                appendNumber(m_parts.year % 100, 2);
            else
                appendNumber(m_parts.year, 4);
            break;
        case 'G':
            takeRun();
            if (const TEraInfo* e = era())
                m_out += count == 1 && !e->ShortName.empty() ? e->ShortName : e->Name;
            break;
        case 'E':
            takeRun();
            if (const TEraInfo* e = era())
                appendNumber(m_parts.year - e->YearOffset, count == 1 ? 1 : 2);
            break;
        case 'M':
            takeRun();
            appendNumberOrName(m_parts.month, count, m_fs.ShortMonthNames, m_fs.LongMonthNames,
                static_cast<size_t>(m_parts.month - 1));
            break;
        case 'D':
            takeRun();
            if (count <= 4)
                appendNumberOrName(
                    m_parts.day, count, m_fs.ShortDayNames, m_fs.LongDayNames, static_cast<size_t>(m_parts.dayOfWeek));
            else if (count == 5)
                expand(m_fs.ShortDatePattern, level);
            else
                expand(m_fs.LongDatePattern, level);
            break;
        case 'H': {
            takeRun();
            if (ampmFollows(pattern, i))
                use12HourClock = true;
            int hour = m_parts.hour;
            if (use12HourClock)
                hour = hour == 0 ? 12 : hour > 12 ? hour - 12 : hour;
            appendNumber(hour, std::min(count, 2));
            break;
        }
        case 'N':
            appendClockPart(m_parts.minute, 2);
            break;
        case 'S':
            appendClockPart(m_parts.second, 2);
            break;
        case 'Z':
            appendClockPart(m_parts.millisecond, 3);
            break;
        case 'T':
            takeRun();
            expand(count == 1 ? m_fs.ShortTimePattern : m_fs.LongTimePattern, level);
            break;
        case 'A': {
            const size_t start = i - 1;
            const bool afternoon = m_parts.hour >= 12;
            if (startsWithNoCase(pattern, start, "AM/PM")) {
                m_out.append(pattern.substr(start + (afternoon ? 3 : 0), 2));
                i = start + 5;
                use12HourClock = true;
            } else if (startsWithNoCase(pattern, start, "A/P")) {
                m_out += pattern[start + (afternoon ? 2 : 0)];
                i = start + 3;
                use12HourClock = true;
            } else if (startsWithNoCase(pattern, start, "AMPM")) {
                m_out += afternoon ? m_fs.PMText : m_fs.AMText;
                i = start + 4;
                use12HourClock = true;
            } else if (startsWithNoCase(pattern, start, "AAAA")) {
                m_out += m_fs.LongDayNames[static_cast<size_t>(m_parts.dayOfWeek)];
                i = start + 4;
            } else if (startsWithNoCase(pattern, start, "AAA")) {
                m_out += m_fs.ShortDayNames[static_cast<size_t>(m_parts.dayOfWeek)];
                i = start + 3;
            } else {
                m_out += starter;
            }
            break;
        }
        case 'C':
            takeRun();
            if (level < 2) {
                expand(m_fs.ShortDatePattern, level);
                if (m_parts.hour != 0 || m_parts.minute != 0 || m_parts.second != 0) {
                    m_out += ' ';
                    expand(m_fs.LongTimePattern, level);
                }
            }
            break;
        case '/':
            if (m_fs.DateMark != '\0')
                m_out += m_fs.DateMark;
            break;
        case ':':
            if (m_fs.TimeMark != '\0')
                m_out += m_fs.TimeMark;
            break;
        case '\'':
        case '"': {
            const size_t end = closingQuote(pattern, i, starter);
            m_out.append(pattern.substr(i, end - i));
            i = std::min(end + 1, pattern.size());
            break;
        }
        default:
            m_out += starter;
            break;
        }
    }
}

void Formatter::finish()
{
    const std::string_view text = m_out.view();
    if (text.size() <= maxResultLength)
        return static_cast<void>(m_result.assign(text));
    // A cut inside a double-byte character would leave a stray lead byte in the document.
    size_t end = 0;
    while (end < text.size()) {
        const size_t len = charLength(text, end);
        if (end + len > maxResultLength)
            break;
        end += len;
    }
    m_result.assign(text.substr(0, end));
}

} // namespace

bool decodeDayNumber(double dayNumber, DateTimeParts& parts)
{
    if (!(dayNumber > firstDay - 1 && dayNumber < lastDayEnd))
        return false;
    const double whole = std::trunc(dayNumber);
    int64_t date = static_cast<int64_t>(whole);
    int64_t time = std::llround(std::fabs(dayNumber - whole) * static_cast<double>(millisecondsPerDay));
    if (time >= millisecondsPerDay) {
        time -= millisecondsPerDay;
        ++date;
    }
    civilFromDays(date - unixEpochDay, parts.year, parts.month, parts.day);
    parts.dayOfWeek = static_cast<int>(((date % 7) + 7 + 6) % 7);
    parts.hour = static_cast<int>(time / 3600000);
    parts.minute = static_cast<int>(time / 60000 % 60);
    parts.second = static_cast<int>(time / 1000 % 60);
    parts.millisecond = static_cast<int>(time % 1000);
    return true;
}

double encodeDayNumber(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    const auto date = static_cast<double>(daysFromCivil(year, month, day) + unixEpochDay);
    const double time
        = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / static_cast<double>(millisecondsPerDay);
    return date < 0 ? date - time : date + time;
}

void formatDateTimeInto(std::string& text, std::string_view pattern, double dayNumber, const TFormatSettings& fs)
{
    DateTimeParts parts;
    if (!decodeDayNumber(dayNumber, parts))
        return text.clear();
    Formatter formatter(fs, parts, text);
    formatter.append(pattern, 1);
    formatter.finish();
}

std::string formatDateTime(std::string_view pattern, double dayNumber, const TFormatSettings& fs)
{
    std::string text;
    formatDateTimeInto(text, pattern, dayNumber, fs);
    return text;
}

} // namespace vl
