#include "decimal.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace voxaro {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Checks the grammar by hand: from_chars would also take "infinity", hex
// digits after "0x" in some modes and other forms the readers must refuse.
bool IsPlainDecimal(const char* p, const char* end)
{
    if (p < end && (*p == '+' || *p == '-')) ++p;
    int digits = 0;
    while (p < end && IsDigit(*p))
        ++p, ++digits;
    if (p < end && *p == '.') {
        ++p;
        while (p < end && IsDigit(*p))
            ++p, ++digits;
    }
    if (digits == 0) return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-')) ++p;
        int expDigits = 0;
        while (p < end && IsDigit(*p))
            ++p, ++expDigits;
        if (expDigits == 0) return false;
    }
    return p == end;
}

bool EqualsLower(const char* p, const char* end, const char* word)
{
    for (; *word; ++word, ++p) {
        if (p == end) return false;
        char c = *p;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != *word) return false;
    }
    return p == end;
}

// Power of ten of the number's leading digit, plus one: 3 for "123.4",
// -2 for "0.0012", 0 for "0". Only the sign matters to the caller.
long DecimalMagnitude(const char* p, const char* end)
{
    long magnitude = 0;
    bool seenDigit = false;
    for (; p < end && IsDigit(*p); ++p)
        if (seenDigit || *p != '0') seenDigit = true, ++magnitude;
    if (p < end && *p == '.') {
        for (++p; p < end && IsDigit(*p) && !seenDigit; ++p) {
            if (*p == '0')
                --magnitude;
            else
                seenDigit = true;
        }
    }
    while (p < end && *p != 'e' && *p != 'E')
        ++p;
    if (p + 1 < end) {
        long exponent = 0;
        bool negative = p[1] == '-';
        for (const char* q = p + 1 + (p[1] == '-' || p[1] == '+'); q < end && exponent < 100000; ++q)
            exponent = exponent * 10 + (*q - '0');
        magnitude += negative ? -exponent : exponent;
    }
    return seenDigit ? magnitude : 0;
}

}  // namespace

bool ParseDecimal(const char* begin, const char* end, double& value)
{
    if (ParseShortDecimal(begin, end, value)) return true;
    if (!IsPlainDecimal(begin, end)) return false;
    bool negative = *begin == '-';
    const char* p = (*begin == '+' || *begin == '-') ? begin + 1 : begin;
    double v = 0;
    auto [ptr, ec] = std::from_chars(p, end, v, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Overflow refuses the number; underflow is a zero.
        if (DecimalMagnitude(p, end) > 0) return false;
        v = 0;
    } else if (ec != std::errc() || ptr != end) {
        return false;
    }
    value = negative ? -v : v;
    return true;
}

bool ParseDecimalOrSpecial(const char* begin, const char* end, double& value)
{
    if (ParseDecimal(begin, end, value)) return true;
    const char* p = begin;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (EqualsLower(p, end, "inf")) {
        value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return true;
    }
    if (EqualsLower(p, end, "nan")) {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    return false;
}

}  // namespace voxaro
