#include "NumberFormat.h"

#include <charconv>
#include <cmath>

namespace vl
{
namespace
{

// Significant digits (no trailing zeros) and exponent E with value = 0.d1d2... * 10^E.
struct DecimalDigits {
    std::string digits;
    int exponent = 0;
};

// The exact binary value rounded to nearest at 18 digits, then half up at 15: the two steps
// differ from one rounding at 15 when the dropped part is just below one half.
DecimalDigits significantDigits(double magnitude, int precision)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 17);
    std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
    const size_t ePos = text.find('e');
    std::string digits;
    for (char c : text.substr(0, ePos))
        if (c != '.')
            digits += c;
    int exponent = 0;
    std::from_chars(text.data() + ePos + (text[ePos + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
    exponent += 1;

    const bool roundUp = digits[static_cast<size_t>(precision)] >= '5';
    digits.resize(static_cast<size_t>(precision));
    if (roundUp) {
        int i = precision - 1;
        while (i >= 0 && digits[static_cast<size_t>(i)] == '9')
            digits[static_cast<size_t>(i--)] = '0';
        if (i < 0) {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++exponent;
        } else {
            ++digits[static_cast<size_t>(i)];
        }
    }
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    return { digits, exponent };
}

std::string fixedNotation(const std::string& digits, int exponent, char decimalMark)
{
    std::string out;
    if (exponent > 0) {
        const auto whole = static_cast<size_t>(exponent);
        out = digits.substr(0, whole);
        if (out.size() < whole)
            out.append(whole - out.size(), '0');
        if (digits.size() > whole) {
            out += decimalMark;
            out.append(digits, whole);
        }
    } else {
        out = "0";
        out += decimalMark;
        out.append(static_cast<size_t>(-exponent), '0');
        out += digits;
    }
    return out;
}

} // namespace

std::string formatGeneralFloat(double value, const TFormatSettings& fs)
{
    const bool negative = std::signbit(value);
    if (std::isnan(value))
        return negative ? "-NAN" : "NAN";
    if (std::isinf(value))
        return negative ? "-INF" : "INF";
    if (value == 0)
        return "0";

    const DecimalDigits d = significantDigits(std::fabs(value), 15);
    std::string out = negative ? "-" : "";
    if (d.exponent >= -3 && d.exponent <= 15) {
        out += fixedNotation(d.digits, d.exponent, fs.DecimalMark);
    } else {
        out += d.digits[0];
        if (d.digits.size() > 1) {
            out += fs.DecimalMark;
            out.append(d.digits, 1);
        }
        out += 'E';
        const int power = d.exponent - 1;
        if (power < 0)
            out += '-';
        out += std::to_string(power < 0 ? -power : power);
    }
    return out;
}

std::string formatGeneralCurrency(int64_t tenThousandths, const TFormatSettings& fs)
{
    if (tenThousandths == 0)
        return "0";
    // Negating in unsigned arithmetic keeps INT64_MIN exact.
    const bool negative = tenThousandths < 0;
    const uint64_t magnitude
        = negative ? 0 - static_cast<uint64_t>(tenThousandths) : static_cast<uint64_t>(tenThousandths);
    std::string out = negative ? "-" : "";
    out += std::to_string(magnitude / 10000);
    std::string fraction = std::to_string(magnitude % 10000 + 10000).substr(1);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    if (!fraction.empty()) {
        out += fs.DecimalMark;
        out += fraction;
    }
    return out;
}

} // namespace vl
