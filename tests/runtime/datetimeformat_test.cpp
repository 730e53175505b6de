#include "DateTimeFormat.h"

#include <clocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace
{

struct PatternCase {
    const char* pattern;
    const char* text;
};

// Saturday 7 March 2026 14:05:09.045 and Monday 5 January 2026 08:04:03.007.
const double afternoon = vl::encodeDayNumber(2026, 3, 7, 14, 5, 9, 45);
const double morning = vl::encodeDayNumber(2026, 1, 5, 8, 4, 3, 7);

void expectPatterns(
    double value, std::initializer_list<PatternCase> cases, const TFormatSettings& fs = TFormatSettings())
{
    for (const PatternCase& c : cases)
        EXPECT_EQ(vl::formatDateTime(c.pattern, value, fs), c.text) << "pattern " << c.pattern;
}

TEST(DateTimePattern, DocumentedExamples)
{
    expectPatterns(vl::encodeDayNumber(2026, 3, 7, 14, 5, 9), { { "c", "3/7/26 14:05:09" } });
    expectPatterns(vl::encodeDayNumber(2026, 3, 7, 0, 0, 0, 400), { { "c", "3/7/26" } });
    expectPatterns(vl::encodeDayNumber(2026, 3, 7, 0, 0, 1), { { "c", "3/7/26 0:00:01" } });
}

TEST(DateTimePattern, DateElements)
{
    expectPatterns(afternoon,
        {
            { "d", "7" },
            { "dd", "07" },
            { "ddd", "Sat" },
            { "dddd", "Saturday" },
            { "ddddd", "3/7/26" },
            { "dddddd", "March 7, 2026" },
            { "ddddddddd", "March 7, 2026" },
            { "m", "3" },
            { "mm", "03" },
            { "mmm", "Mar" },
            { "mmmm", "March" },
            { "mmmmmm", "March" },
            { "y", "26" },
            { "yy", "26" },
            { "yyy", "2026" },
            { "yyyy", "2026" },
            { "yyyyyy", "2026" },
            { "YYYY-MM-DD", "2026-03-07" },
            { "aaa", "Sat" },
            { "aaaa", "Saturday" },
            { "AaAa", "Saturday" },
        });
    expectPatterns(vl::encodeDayNumber(5, 2, 9), { { "yyyy", "0005" }, { "yy", "05" }, { "d/m/y", "9/2/05" } });
}

TEST(DateTimePattern, TimeElements)
{
    expectPatterns(morning,
        {
            { "h", "8" },
            { "hh", "08" },
            { "hhhh", "08" },
            { "n", "4" },
            { "nn", "04" },
            { "nnn", "04" },
            { "s", "3" },
            { "ss", "03" },
            { "sss", "03" },
            { "z", "7" },
            { "zz", "07" },
            { "zzz", "007" },
            { "zzzz", "007" },
            { "t", "8:04" },
            { "tt", "8:04:03" },
            { "ttt", "8:04:03" },
            { "hh:nn:ss.zzz", "08:04:03.007" },
        });
}

TEST(DateTimePattern, MinuteAfterAnHour)
{
    expectPatterns(afternoon,
        {
            { "h:m", "14:5" },
            { "hh:mm:ss", "14:05:09" },
            { "h:mmm", "14:05" },
            { "h'h'mm", "14h05" },
            { "m/d h", "3/7 14" },
            { "h d m", "14 7 3" },
            { "h:m:m", "14:5:3" },
            // The last letter element is the marker, not the hour.
            { "h AMPM m", "2 pm 3" },
        });
}

TEST(DateTimePattern, TwelveHourClock)
{
    expectPatterns(afternoon,
        {
            { "h AM/PM", "2 PM" },
            { "h am/pm", "2 pm" },
            { "h Am/pM", "2 pM" },
            { "hh a/p", "02 p" },
            { "h A/P", "2 P" },
            { "h ampm", "2 pm" },
            { "h 'AM/PM'", "14 AM/PM" },
            { "h \"ampm\"", "14 ampm" },
            { "h h AM/PM", "14 2 PM" },
            { "AM/PM h", "PM 2" },
            { "h aaa AM/PM", "2 Sat PM" },
            // "aaa" is a day name, so the "am" inside it does not switch the clock.
            { "h aaam/pm", "14 Sat3/p3" },
            { "h x", "14 x" },
            { "a", "a" },
            { "ax", "ax" },
        });
    expectPatterns(morning, { { "h am/pm", "8 am" }, { "h A/P", "8 A" }, { "h ampm", "8 am" } });
    expectPatterns(vl::encodeDayNumber(2026, 3, 7, 0, 30), { { "h:nn AM/PM", "12:30 AM" }, { "h:nn", "0:30" } });
    expectPatterns(vl::encodeDayNumber(2026, 3, 7, 12, 0), { { "h AM/PM", "12 PM" } });
    expectPatterns(vl::encodeDayNumber(2026, 3, 7, 23, 0), { { "h AM/PM", "11 PM" } });
    TFormatSettings fs;
    fs.AMText = "vorm.";
    fs.PMText = "nachm.";
    expectPatterns(morning, { { "hh:nn AMPM", "08:04 vorm." } }, fs);
    expectPatterns(afternoon, { { "AMPM hh:nn", "nachm. 02:05" } }, fs);
}

TEST(DateTimePattern, MarksQuotesAndOtherCharacters)
{
    TFormatSettings fs;
    fs.DateMark = '-';
    fs.TimeMark = '.';
    expectPatterns(afternoon,
        {
            { "d/m/yy", "7-3-26" },
            { "h:nn", "14.05" },
            { "'d'd", "d7" },
            { "\"mm\"mm", "mm03" },
            { "\"it's\" d", "it's 7" },
            { "'unclosed d", "unclosed d" },
            { "#d!", "#7!" },
            { "", "" },
        },
        fs);
    fs.DateMark = '\0';
    fs.TimeMark = '\0';
    expectPatterns(afternoon, { { "d/m", "73" }, { "h:nn", "1405" } }, fs);
}

TEST(DateTimePattern, ExpansionGoesOneLevelDeep)
{
    TFormatSettings fs;
    fs.ShortDatePattern = "[c|ddddd|dddddd|t|tt]d";
    fs.LongDatePattern = "yyyy c";
    fs.LongTimePattern = "h:nn tt";
    fs.ShortTimePattern = "h t";
    expectPatterns(afternoon,
        {
            { "ddddd", "[||||]7" },
            { "dddddd", "2026 " },
            { "tt", "14:05 " },
            { "t", "14 " },
            { "c", "[||||]7 14:05 " },
        },
        fs);
    expectPatterns(vl::encodeDayNumber(2026, 3, 7), { { "c", "[||||]7" } }, fs);
}

TEST(DateTimePattern, ResultIsCutAt256Bytes)
{
    EXPECT_EQ(vl::formatDateTime(std::string(300, 'x'), afternoon), std::string(256, 'x'));
    EXPECT_EQ(vl::formatDateTime(std::string(256, 'x'), afternoon), std::string(256, 'x'));
    TFormatSettings fs;
    fs.LongDatePattern = std::string(200, '#');
    EXPECT_EQ(
        vl::formatDateTime("dddddddddddd dddddd", afternoon, fs), std::string(200, '#') + ' ' + std::string(55, '#'));
    // One piece far longer than the cut: a quoted text, a name, a run of zeros before a number.
    EXPECT_EQ(vl::formatDateTime("'" + std::string(1000, 'q') + "'yyyy", afternoon), std::string(256, 'q'));
    EXPECT_EQ(vl::formatDateTime("ab\"" + std::string(254, 'q') + "\"yyyy", afternoon), "ab" + std::string(254, 'q'));
    for (auto& name : fs.LongMonthNames)
        name = std::string(400, 'm');
    EXPECT_EQ(vl::formatDateTime("d mmmm", afternoon, fs),
              (vl::formatDateTime("d ", afternoon) + std::string(400, 'm')).substr(0, 256));
}

TEST(DateTimePattern, CutKeepsDoubleByteCharactersWhole)
{
    if (!std::setlocale(LC_ALL, "zh_CN.GBK"))
        GTEST_SKIP() << "zh_CN.GBK not available";
    std::string pattern = "x";
    for (int i = 0; i < 200; ++i)
        pattern += "\xC4\xEA"; // GBK "年"
    const std::string text = vl::formatDateTime(pattern, afternoon);
    std::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(text.size(), 255u);
    EXPECT_EQ(text, pattern.substr(0, 255));
}

TEST(DateTimePattern, DoubleByteTrailBytesAreNotElements)
{
    if (!std::setlocale(LC_ALL, "zh_CN.GBK"))
        GTEST_SKIP() << "zh_CN.GBK not available";
    // "\x95\x64" and "\x95\x6D" are GBK characters whose second bytes are "d" and "m".
    const std::string text = vl::formatDateTime("\x95\x64 d \x95\x6D", afternoon);
    std::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(text, "\x95\x64 7 \x95\x6D");
}

TEST(DateTimePattern, RoundsToTheNearestMillisecond)
{
    const double midnight = vl::encodeDayNumber(2026, 3, 7);
    const double ms = 1.0 / 86400000;
    expectPatterns(midnight + 0.4 * ms, { { "hh:nn:ss.zzz", "00:00:00.000" } });
    expectPatterns(midnight + 0.6 * ms, { { "hh:nn:ss.zzz", "00:00:00.001" } });
    expectPatterns(midnight + 1 - 0.6 * ms, { { "hh:nn:ss.zzz", "23:59:59.999" } });
    // Rounding up to midnight moves to the next day.
    expectPatterns(midnight + 1 - 0.4 * ms, { { "c", "3/8/26" }, { "dddd hh:nn:ss.zzz", "Sunday 00:00:00.000" } });
    expectPatterns(vl::encodeDayNumber(2026, 12, 31, 23, 59, 59, 999) + 0.6 * ms, { { "yyyy-mm-dd", "2027-01-01" } });
}

TEST(DateTimePattern, NegativeDayNumbers)
{
    expectPatterns(-1.25, { { "mm/dd/yyyy hh:nn", "12/29/1899 06:00" } });
    expectPatterns(-0.75, { { "mm/dd/yyyy hh:nn", "12/30/1899 18:00" } });
    expectPatterns(-2.5, { { "dddd mm/dd/yyyy hh:nn", "Thursday 12/28/1899 12:00" } });
    // Rounds up to midnight: the next calendar day, 30 December.
    expectPatterns(-1.9999999999999, { { "c", "12/30/99" } });
    EXPECT_DOUBLE_EQ(vl::encodeDayNumber(1899, 12, 29, 6), -1.25);
}

TEST(DateTimePattern, CalendarRange)
{
    const struct {
        double day;
        const char* text;
    } cases[] = {
        { 0, "Saturday 1899-12-30" },
        { 1, "Sunday 1899-12-31" },
        { 2, "Monday 1900-01-01" },
        { 60, "Wednesday 1900-02-28" },
        { 61, "Thursday 1900-03-01" },
        { 36585, "Tuesday 2000-02-29" },
        { 46088, "Saturday 2026-03-07" },
        { -693593, "Monday 0001-01-01" },
        { 2958465, "Friday 9999-12-31" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(vl::formatDateTime("dddd yyyy-mm-dd", c.day), c.text) << c.day;
    for (double bad : { -693594.0, 2958466.0, 1e300, std::numeric_limits<double>::quiet_NaN(),
             std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity() })
        EXPECT_EQ(vl::formatDateTime("c", bad), "") << bad;
}

TEST(DateTimePattern, EraElements)
{
    TFormatSettings fs;
    expectPatterns(afternoon, { { "g e|gg ee", " | " } }, fs);
    fs.Eras = { { "Heisei", "H", vl::encodeDayNumber(1989, 1, 8), 1988 },
        { "Reiwa", "R", vl::encodeDayNumber(2019, 5, 1), 2018 } };
    expectPatterns(afternoon, { { "gg e", "Reiwa 8" }, { "g ee", "R 08" }, { "ggg eeee", "Reiwa 08" } }, fs);
    expectPatterns(vl::encodeDayNumber(2019, 4, 30), { { "gg e", "Heisei 31" } }, fs);
    expectPatterns(vl::encodeDayNumber(1980, 1, 1), { { "gg e", " " } }, fs);
}

TEST(DateTimePattern, DecodeAndEncodeAgree)
{
    vl::DateTimeParts parts;
    ASSERT_TRUE(vl::decodeDayNumber(afternoon, parts));
    EXPECT_EQ(parts.year, 2026);
    EXPECT_EQ(parts.month, 3);
    EXPECT_EQ(parts.day, 7);
    EXPECT_EQ(parts.dayOfWeek, 6);
    EXPECT_EQ(parts.hour, 14);
    EXPECT_EQ(parts.minute, 5);
    EXPECT_EQ(parts.second, 9);
    EXPECT_EQ(parts.millisecond, 45);
    EXPECT_FALSE(vl::decodeDayNumber(std::numeric_limits<double>::quiet_NaN(), parts));
}

} // namespace
