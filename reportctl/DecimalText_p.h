#pragma once
// Plain decimals read without Qt's general number parser: QString::toDouble costs thousands of
// instructions a call, and sums and comparisons over large reports read a number per row.

#include <QStringView>

#include <optional>
#include <string_view>

namespace vl {

// The double of a plain decimal (an optional "-", digits, at most one "." with digits on both
// sides), correctly rounded, so the same as QString::toDouble gives; nullopt for any other text,
// which the caller reads the general way.
std::optional<double> plainDecimal(std::string_view text);
std::optional<double> plainDecimal(QStringView text);

} // namespace vl
