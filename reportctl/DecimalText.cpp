#include "DecimalText_p.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace vl {

std::optional<double> plainDecimal(std::string_view text)
{
    std::size_t digits = 0, point = 0;
    const std::size_t first = text.starts_with('-') ? 1 : 0;
    for (std::size_t i = first; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            ++digits;
        else if (text[i] == '.' && point == 0 && digits > 0)
            point = i;
        else
            return std::nullopt;
    }
    double number = 0;
    if (digits == 0 || point + 1 == text.size()
        || std::from_chars(text.data(), text.data() + text.size(), number).ec != std::errc())
        return std::nullopt;
    return number;
}

std::optional<double> plainDecimal(QStringView text)
{
    // Short texts are narrowed on the stack. A character no plain decimal holds ends the work at once,
    // so a long text that is no number costs as little as a short one.
    auto plain = [](char16_t unit) { return (unit >= u'0' && unit <= u'9') || unit == u'.' || unit == u'-'; };
    char narrow[64];
    std::string heap;
    char* out = narrow;
    if (static_cast<std::size_t>(text.size()) > sizeof narrow) {
        if (!std::all_of(text.begin(), text.end(), [&](QChar c) { return plain(c.unicode()); }))
            return std::nullopt;
        heap.resize(static_cast<std::size_t>(text.size()));
        out = heap.data();
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (!plain(unit))
            return std::nullopt;
        out[i] = static_cast<char>(unit);
    }
    return plainDecimal(std::string_view(out, static_cast<std::size_t>(text.size())));
}

} // namespace vl
