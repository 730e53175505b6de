#pragma once

// Puts back, when it goes, the process locale, LC_ALL and the format settings as they were when it
// was made, so a test may change all three.

#include "FormatSettings.h"

#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>

namespace vl::test {

class LocaleGuard {
public:
    LocaleGuard()
        : m_locale(std::setlocale(LC_ALL, nullptr))
        , m_settings(FormatSettings)
    {
        if (const char* all = std::getenv("LC_ALL"))
            m_environment = all;
    }
    ~LocaleGuard()
    {
        if (m_environment)
            setenv("LC_ALL", m_environment->c_str(), 1);
        else
            unsetenv("LC_ALL");
        std::setlocale(LC_ALL, m_locale.c_str());
        FormatSettings = m_settings;
    }
    LocaleGuard(const LocaleGuard&) = delete;
    LocaleGuard& operator=(const LocaleGuard&) = delete;

private:
    std::string m_locale;
    std::optional<std::string> m_environment;
    TFormatSettings m_settings;
};

} // namespace vl::test
