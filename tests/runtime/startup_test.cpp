// The start every entry point shares: the locale from the environment, its code page and format
// settings, and the component layer only where asked for, balanced at the end.

#include "ClassRegistry.h"
#include "FormatSettings.h"
#include "LocaleGuard.h"
#include "Startup.h"
#include "Text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Puts back the process locale, LC_ALL and the format settings a test changed.
class StartupTest : public testing::Test {
private:
    vl::test::LocaleGuard m_locale;
};

struct LocaleCase {
    const char* environment;
    const char* codePage;
    char decimalMark;
    const char* shortDatePattern;
};

class StartupLocale : public StartupTest, public testing::WithParamInterface<LocaleCase> {};

TEST_P(StartupLocale, TakesTheLocaleItsCodePageAndItsFormatSettingsFromTheEnvironment)
{
    const LocaleCase& c = GetParam();
    setenv("LC_ALL", c.environment, 1);
    FormatSettings = TFormatSettings {};
    FormatSettings.DecimalMark = '#';
    {
        const vl::ProgramStart start;
        if (std::string(std::setlocale(LC_ALL, nullptr)) != c.environment)
            GTEST_SKIP() << c.environment << " is not generated (scripts/setup)";
        EXPECT_FALSE(start.componentLayerStarted());
        EXPECT_EQ(vl::narrowCodePage(), c.codePage);
        EXPECT_EQ(FormatSettings.DecimalMark, c.decimalMark);
        EXPECT_EQ(FormatSettings.ShortDatePattern, c.shortDatePattern);
    }
    // The settings are the program's for its whole run, not the start object's.
    EXPECT_EQ(FormatSettings.DecimalMark, c.decimalMark);
}

INSTANTIATE_TEST_SUITE_P(Locales, StartupLocale,
    testing::Values(LocaleCase { "de_DE.UTF-8", "UTF-8", ',', "dd.mm.yyyy" },
        LocaleCase { "zh_CN.GBK", "GBK", '.', "yyyy\"\xC4\xEA\"mm\"\xD4\xC2\"dd\"\xC8\xD5\"" },
        LocaleCase { "C", "UTF-8", '.', "m/d/yy" }));

TEST_F(StartupTest, LocaleTheSystemLacksLeavesTheCLocaleAndTheFallbacks)
{
    std::setlocale(LC_ALL, "C");
    setenv("LC_ALL", "no_SUCH.LOCALE", 1);
    FormatSettings.DecimalMark = '#';
    const vl::ProgramStart start;
    EXPECT_EQ(std::string(std::setlocale(LC_ALL, nullptr)), "C");
    EXPECT_EQ(FormatSettings.DecimalMark, '.');
    EXPECT_EQ(FormatSettings.ShortDatePattern, "m/d/yy");
}

// The thread's model is observed through the layer's own answer: asking for the other model while
// an apartment is open is refused, and a closed layer takes any model.
TEST_F(StartupTest, ComponentLayerOnlyWhenAskedForAndEndedWithTheStart)
{
    {
        const vl::ProgramStart start;
        EXPECT_FALSE(start.componentLayerStarted());
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }
    {
        const vl::ProgramStart start(vl::ComponentLayer::Apartment);
        EXPECT_TRUE(start.componentLayerStarted());
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    }
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
}

// A thread that already has the other model keeps it: the start's refused initialisation is
// never undone at the end, which would close the caller's layer.
TEST_F(StartupTest, ComponentLayerRefusedLeavesTheCallersCountAlone)
{
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
        const vl::ProgramStart start(vl::ComponentLayer::Apartment);
        EXPECT_FALSE(start.componentLayerStarted());
    }
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}

} // namespace
