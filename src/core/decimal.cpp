#include "decimal.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace voxaro {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Checks the grammar by hand: from_chars would also take "infinity", hex
// digits after "0x" in some modes and other forms the readers must refuse.
bool IsPlainDecimal(const char* p, const char* end)
{
    if (p < end && (*p == '+' || *p == '-')) ++p;
    int digits = 0;
    while (p < end && IsDigit(*p)) ++p, ++digits;
    if (p < end && *p == '.') {
        ++p;
        while (p < end && IsDigit(*p)) ++p, ++digits;
    }
    if (digits == 0) return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-')) ++p;
        int expDigits = 0;
        while (p < end && IsDigit(*p)) ++p, ++expDigits;
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

}  // namespace

bool ParseDecimal(const char* begin, const char* end, double& value)
{
    if (!IsPlainDecimal(begin, end)) return false;
    bool negative = *begin == '-';
    const char* p = (*begin == '+' || *begin == '-') ? begin + 1 : begin;
    double v = 0;
    auto [ptr, ec] = std::from_chars(p, end, v, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Overflow refuses the number; underflow is a zero. Tell them apart by
        // the exponent's sign, or by the mantissa when there is no exponent.
        const char* e = p;
        while (e < end && *e != 'e' && *e != 'E') ++e;
        bool tiny = e < end && e + 1 < end && e[1] == '-';
        if (!tiny) return false;
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
