#include "replies/numeric_reading.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace vx37 {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int digitValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

double readRadixInteger(std::string_view digits, int radix)
{
    double value = 0;
    for (const char c : digits) {
        const int d = digitValue(c);
        if (d >= radix)
            break;
        value = value * radix + d;
    }
    return value;
}

// Decimal reading of an already squeezed text (no blanks, tabs or line feeds).
double readDecimal(std::string_view s)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';

    std::string number; // normalised for from_chars: digits[.digits][e[-]digits]
    std::size_t mantissaDigits = 0;
    // Decimal magnitude of the first significant digit: the count of integer digits from
    // it on, or minus the zeros between the point and it. Decides overflow from underflow.
    long long magnitude = 0;
    bool significant = false;
    for (; i < s.size() && isDigit(s[i]); ++i, ++mantissaDigits) {
        number += s[i];
        significant = significant || s[i] != '0';
        if (significant)
            ++magnitude;
    }
    if (i < s.size() && s[i] == '.') {
        number += '.';
        for (++i; i < s.size() && isDigit(s[i]); ++i, ++mantissaDigits) {
            number += s[i];
            if (!significant && s[i] == '0')
                --magnitude;
            significant = significant || s[i] != '0';
        }
    }
    if (mantissaDigits == 0)
        return 0;

    long long exponent = 0;
    if (i + 1 < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            negativeExponent = s[j++] == '-';
        if (j < s.size() && isDigit(s[j])) {
            for (; j < s.size() && isDigit(s[j]); ++j)
                exponent = std::min(exponent * 10 + (s[j] - '0'), 1'000'000LL);
            if (negativeExponent)
                exponent = -exponent;
            number += 'e';
            number += std::to_string(exponent);
        }
    }

    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Too large or too small for a double: decide by the decimal magnitude.
        const bool overflow = significant && magnitude + exponent > 0;
        value = overflow ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

} // namespace

double readLeadingNumber(std::string_view text)
{
    std::string squeezed;
    squeezed.reserve(text.size());
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n')
            squeezed += c;
    }
    const std::string_view s = squeezed;
    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'H' || s[1] == 'h')
            return readRadixInteger(s.substr(2), 16);
        if (s[1] == 'O' || s[1] == 'o')
            return readRadixInteger(s.substr(2), 8);
        return 0;
    }
    return readDecimal(s);
}

double roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return value;
    const double floor = std::floor(value);
    const double fraction = value - floor;
    if (fraction < 0.5)
        return floor;
    if (fraction > 0.5)
        return floor + 1;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

} // namespace vx37
