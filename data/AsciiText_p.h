#pragma once
// ASCII-only text helpers the data layer's parsers share: names, keywords and connection-string
// items compare by ASCII case, whatever the code page. Visible to the data layer only.

#include <cstddef>
#include <string>
#include <string_view>

namespace vl
{

// True when a and b are equal but for the case of ASCII letters.
inline bool sameAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

// text with its ASCII letters in upper case; other bytes unchanged.
inline std::string upperAscii(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return result;
}

// text without the control characters and spaces (bytes up to ' ') at either end.
inline std::string_view trimControlsAndSpaces(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

} // namespace vl
