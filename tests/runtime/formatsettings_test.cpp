#include "DateTimeFormat.h"
#include "Exceptions.h"
#include "FormatSettings.h"
#include "NumberFormat.h"

#include <clocale>
#include <gtest/gtest.h>
#include <locale.h>

namespace
{

// Skips the test when the locale was not generated on this machine (scripts/setup makes them).
#define REQUIRE_LOCALE(name)                                                                                           \
    do {                                                                                                               \
        locale_t probe = newlocale(LC_ALL_MASK, name, nullptr);                                                        \
        if (!probe)                                                                                                    \
            GTEST_SKIP() << name << " not available";                                                                  \
        freelocale(probe);                                                                                             \
    } while (0)

struct LocaleCase {
    const char* locale;
    char decimalMark, dateMark, timeMark;
    const char *shortDate, *longDate, *am, *pm, *shortTime, *longTime;
    const char *march, *shortMarch, *sunday, *shortSaturday;
    const char* c; // "c" for Saturday 7 March 2026 14:05:09
};

const LocaleCase localeCases[] = {
    { "C", '.', '/', ':', "m/d/yy", "mmmm d, yyyy", "am", "pm", "h:mm", "h:mm:ss", "March", "Mar", "Sunday", "Sat",
        "3/7/26 14:05:09" },
    { "POSIX", '.', '/', ':', "m/d/yy", "mmmm d, yyyy", "am", "pm", "h:mm", "h:mm:ss", "March", "Mar", "Sunday", "Sat",
        "3/7/26 14:05:09" },
    { "C.UTF-8", '.', '/', ':', "m/d/yy", "mmmm d, yyyy", "am", "pm", "h:mm", "h:mm:ss", "March", "Mar", "Sunday",
        "Sat", "3/7/26 14:05:09" },
    { "de_DE.UTF-8", ',', '.', ':', "dd.mm.yyyy", "d. mmmm yyyy", "am", "pm", "hh:mm", "hh:mm:ss", "M\xC3\xA4rz",
        "M\xC3\xA4r", "Sonntag", "Sa", "07.03.2026 14:05:09" },
    { "en_US.UTF-8", '.', '/', ':', "mm/dd/yyyy", "mmmm d yyyy", "AM", "PM", "hh:mm AMPM", "hh:mm:ss AMPM", "March",
        "Mar", "Sunday", "Sat", "03/07/2026 02:05:09 PM" },
    { "zh_CN.UTF-8", '.', '/', ':', "yyyy\"\xE5\xB9\xB4\"mm\"\xE6\x9C\x88\"dd\"\xE6\x97\xA5\"",
        "yyyy\"\xE5\xB9\xB4 \"mm\"\xE6\x9C\x88 \"dd\"\xE6\x97\xA5\"", "\xE4\xB8\x8A\xE5\x8D\x88",
        "\xE4\xB8\x8B\xE5\x8D\x88", "hh:mm", "hh:mm:ss", "\xE4\xB8\x89\xE6\x9C\x88", "3\xE6\x9C\x88",
        "\xE6\x98\x9F\xE6\x9C\x9F\xE6\x97\xA5", "\xE5\x85\xAD",
        "2026\xE5\xB9\xB4"
        "03\xE6\x9C\x88"
        "07\xE6\x97\xA5 14:05:09" },
    { "zh_CN.GBK", '.', '/', ':', "yyyy\"\xC4\xEA\"mm\"\xD4\xC2\"dd\"\xC8\xD5\"",
        "yyyy\"\xC4\xEA \"mm\"\xD4\xC2 \"dd\"\xC8\xD5\"", "\xC9\xCF\xCE\xE7", "\xCF\xC2\xCE\xE7", "hh:mm", "hh:mm:ss",
        "\xC8\xFD\xD4\xC2", "3\xD4\xC2", "\xD0\xC7\xC6\xDA\xC8\xD5", "\xC1\xF9",
        "2026\xC4\xEA"
        "03\xD4\xC2"
        "07\xC8\xD5 14:05:09" },
};

TEST(FormatSettingsFromLocale, GlibcDataTranslated)
{
    const double value = vl::encodeDayNumber(2026, 3, 7, 14, 5, 9);
    for (const LocaleCase& c : localeCases) {
        SCOPED_TRACE(c.locale);
        locale_t probe = newlocale(LC_ALL_MASK, c.locale, nullptr);
        if (!probe) {
            ADD_FAILURE() << c.locale << " not available; run scripts/setup";
            continue;
        }
        freelocale(probe);
        const TFormatSettings fs = vl::formatSettingsFromLocale(c.locale);
        EXPECT_EQ(fs.DecimalMark, c.decimalMark);
        EXPECT_EQ(fs.DateMark, c.dateMark);
        EXPECT_EQ(fs.TimeMark, c.timeMark);
        EXPECT_EQ(fs.ShortDatePattern, c.shortDate);
        EXPECT_EQ(fs.LongDatePattern, c.longDate);
        EXPECT_EQ(fs.AMText, c.am);
        EXPECT_EQ(fs.PMText, c.pm);
        EXPECT_EQ(fs.ShortTimePattern, c.shortTime);
        EXPECT_EQ(fs.LongTimePattern, c.longTime);
        EXPECT_EQ(fs.LongMonthNames[2], c.march);
        EXPECT_EQ(fs.ShortMonthNames[2], c.shortMarch);
        EXPECT_EQ(fs.LongDayNames[0], c.sunday);
        EXPECT_EQ(fs.ShortDayNames[6], c.shortSaturday);
        EXPECT_TRUE(fs.Eras.empty());
        EXPECT_EQ(vl::formatDateTime("c", value, fs), c.c);
    }
}

TEST(FormatSettingsFromLocale, UnknownLocaleThrows)
{
    EXPECT_THROW(vl::formatSettingsFromLocale("xx_NOWHERE.UTF-8"), Exception);
}

TEST(FormatSettingsFromLocale, DefaultsAreTheFallbacks)
{
    const TFormatSettings fs;
    EXPECT_EQ(fs.DecimalMark, '.');
    EXPECT_EQ(fs.ShortDatePattern, "m/d/yy");
    EXPECT_EQ(fs.LongDatePattern, "mmmm d, yyyy");
    EXPECT_EQ(fs.ShortTimePattern, "h:mm");
    EXPECT_EQ(fs.LongTimePattern, "h:mm:ss");
    EXPECT_EQ(fs.LongMonthNames[11], "December");
    EXPECT_EQ(fs.ShortDayNames[0], "Sun");
}

TEST(LoadFormatSettings, ReadsTheCurrentLocale)
{
    REQUIRE_LOCALE("de_DE.UTF-8");
    const TFormatSettings saved = FormatSettings;
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    vl::loadFormatSettings();
    EXPECT_EQ(FormatSettings.DecimalMark, ',');
    EXPECT_EQ(FormatSettings.ShortDatePattern, "dd.mm.yyyy");
    EXPECT_EQ(vl::formatGeneralFloat(1.5), "1,5");

    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    vl::loadFormatSettings();
    EXPECT_EQ(FormatSettings.DecimalMark, '.');
    EXPECT_EQ(FormatSettings.ShortDatePattern, "m/d/yy");
    FormatSettings = saved;
}

TEST(LoadFormatSettings, OnlyTheNumericCategoryGivesTheDecimalMark)
{
    REQUIRE_LOCALE("de_DE.UTF-8");
    const TFormatSettings saved = FormatSettings;
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    vl::loadFormatSettings();
    std::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(FormatSettings.DecimalMark, ',');
    EXPECT_EQ(FormatSettings.ShortDatePattern, "m/d/yy");
    FormatSettings = saved;
}

TEST(DatePatternFromStrftime, Directives)
{
    const struct {
        const char* format;
        bool longForm;
        const char* pattern;
    } cases[] = {
        { "%d.%m.%Y", false, "dd.mm.yyyy" },
        { "%m/%d/%y", false, "mm/dd/yy" },
        { "%e-%b-%Y", false, "d-mmm-yyyy" },
        { "%-d/%-m/%Y", false, "d/m/yyyy" },
        { "%a %A %B %h", false, "ddd dddd mmmm mmm" },
        { "%D", false, "mm/dd/yy" },
        { "%F", false, "yyyy-mm-dd" },
        { "%Ey %EY %Od", false, "yy yyyy dd" },
        { "%d de %B", false, "dd\" de \"mmmm" },
        { "%d'%m", false, "dd\"'\"mm" },
        { "%d\"%m", false, "dd'\"'mm" },
        { "%%d %d", false, "\"%d \"dd" },
        { "%H:%M", false, "" },
        { "", false, "" },
        // The long date: time, zone and weekday go with the separator after them.
        { "%a %-d. %b %H:%M:%S %Z %Y", true, "d. mmmm yyyy" },
        { "%a %b %e %r %Z %Y", true, "mmmm d yyyy" },
        { "%A, %d %B %Y %T", true, "dd mmmm yyyy" },
        { "%H:%M:%S %Z", true, "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(vl::datePatternFromStrftime(c.format, c.longForm), c.pattern) << c.format;
}

TEST(AdjustDatePattern, EraCalendarAndCjkRules)
{
    const struct {
        const char* pattern;
        bool era, cjk;
        const char* adjusted;
    } cases[] = {
        { "gg yyyy/mm/dd", true, false, "ggg eeee/mm/dd" },
        { "yy-y", true, false, "ee-e" },
        { "g yyy", true, false, "g yyy" },
        { "gg yyyy'g'", false, true, " yyyy'g'" },
        { "G/d/g", false, true, "/d/" },
        { "gg yyyy", false, false, "gg yyyy" },
        { "gg yyyy", true, true, "ggg eeee" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(vl::adjustDatePattern(c.pattern, c.era, c.cjk, "UTF-8"), c.adjusted) << c.pattern;
    // A GBK character whose trail byte is "g" stays whole.
    EXPECT_EQ(vl::adjustDatePattern("\x95gg", false, true, "GBK"), "\x95g");
}

} // namespace
