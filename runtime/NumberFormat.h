#pragma once
// Value texts of numbers: the general notations, independent of the C library's locale.

#include "FormatSettings.h"

#include <cstdint>
#include <string>

namespace vl
{

// 15 significant digits, fixed notation for decimal exponents -3..15, else scientific ("1E-5",
// "1.23456789012346E17"); "0" for both zeros, "INF"/"-INF", "NAN"/"-NAN" by the sign bit.
std::string formatGeneralFloat(double value, const TFormatSettings& fs = FormatSettings);

// A currency value counted in ten-thousandths: fixed notation, at most four decimals, trailing
// zeros removed, DecimalMark only with a fraction; "0" for zero; every int64 value is valid.
std::string formatGeneralCurrency(int64_t tenThousandths, const TFormatSettings& fs = FormatSettings);

} // namespace vl
