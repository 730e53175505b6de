#pragma once
// Strings cross the control's vtables as BSTR and live inside it as QString.

#include "BStr.h"

#include <QString>

#include <string_view>

namespace vl {

// A copy of the BSTR's text; null gives the empty string.
inline QString text(BSTR value)
{
    const std::u16string_view units = bstrView(value);
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
}

// The string's units, without a copy: valid while the string lives unchanged.
inline std::u16string_view view(const QString& value)
{
    return {reinterpret_cast<const char16_t*>(value.utf16()), static_cast<size_t>(value.size())};
}

} // namespace vl
