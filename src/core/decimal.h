// Locale-independent decimal number conversion shared by the text readers.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace voxaro {

// The powers of ten a double holds exactly.
inline constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// mantissa x 10^scale when one IEEE multiplication or division gives it
// correctly rounded: the mantissa below 2^53 and the power of ten up to 1e22,
// so both operands are exact doubles. The result is then the one every
// correctly rounded conversion of the same decimal gives. False otherwise, and
// on x87 (FLT_EVAL_METHOD 2), which would round twice.
inline bool ScaleExactly(uint64_t mantissa, int scale, double& value)
{
    constexpr bool kExactDoubleMath = FLT_EVAL_METHOD == 0;
    if (!kExactDoubleMath || mantissa >= (uint64_t(1) << 53) || scale < -22 || scale > 22) return false;
    const double m = static_cast<double>(mantissa);
    value = scale < 0 ? m / kExactPow10[-scale] : m * kExactPow10[scale];
    return true;
}

namespace decimal_detail {

// Digits from p on into mantissa; returns the end of the run.
inline const char* AddDigits(const char* p, const char* end, uint64_t& mantissa)
{
    for (; p < end && static_cast<unsigned>(*p - '0') < 10; ++p)
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    return p;
}

}  // namespace decimal_detail

// Moves p past an optional '+' or '-'; true when it was '-'. Signs in
// coordinates come in no order a predictor could learn, so neither this nor
// WithSign branches on them.
inline bool TakeSign(const char*& p, const char* end)
{
    if (p >= end) return false;
    const bool negative = *p == '-';
    p += negative || *p == '+';
    return negative;
}

// v, which is never negative, negated when negative is set.
inline double WithSign(double v, bool negative)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    bits |= uint64_t(negative) << 63;
    std::memcpy(&v, &bits, sizeof bits);
    return v;
}

// Every value ScanShortDecimal gives is below this in magnitude: at most 15
// digits scaled by at most 1e22.
inline constexpr double kShortDecimalBound = 1e37;
static_assert(1e15 * 1e22 <= kShortDecimalBound, "15 digits times the largest exact power");

// The common short decimals ("-12.3457", "1.5e+03") from p on, inline for
// the readers' hot loops: at most 15 digits keep the mantissa exact, and
// ScaleExactly decides the rest. Returns where the number's bytes stop (end,
// or the first byte that cannot continue it) with its value, or null when
// what p starts with is not this simple form.
inline const char* ScanShortDecimal(const char* p, const char* end, double& value)
{
    const bool negative = TakeSign(p, end);
    uint64_t mantissa = 0;
    const char* digits = p;
    p = decimal_detail::AddDigits(p, end, mantissa);
    long count = p - digits;
    int scale = 0;
    if (p < end && *p == '.') {
        const char* fraction = ++p;
        p = decimal_detail::AddDigits(p, end, mantissa);
        scale = static_cast<int>(fraction - p);
        count += p - fraction;
    }
    // Up to 15 digits; wrapped mantissas of longer runs are never used.
    if (count == 0 || count > 15) return nullptr;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negExp = TakeSign(p, end);
        int exp = 0;
        const char* expDigits = p;
        for (; p < end && static_cast<unsigned>(*p - '0') < 10; ++p) {
            exp = exp * 10 + (*p - '0');
            if (exp > 100) return nullptr;
        }
        if (p == expDigits) return nullptr;
        scale += negExp ? -exp : exp;
    }
    double v = 0;
    if (!ScaleExactly(mantissa, scale, v)) return nullptr;
    value = WithSign(v, negative);
    return p;
}

// ParseDecimal for the short form: true gives ParseDecimal's value; false
// means "not this simple form", and ParseDecimal decides.
inline bool ParseShortDecimal(const char* p, const char* end, double& value)
{
    double v = 0;
    const char* stop = ScanShortDecimal(p, end, v);
    if (!stop || stop != end) return false;
    value = v;
    return true;
}

// Converts [begin, end) when the whole text is an ordinary C-locale decimal
// number: optional sign, digits with an optional fraction after '.', and an
// optional exponent ('e'/'E', optional sign, digits). At least one digit is
// needed ("5." and ".5" convert; "." and "-" do not). Values beyond the double
// range do not convert; values too small for it become 0.
bool ParseDecimal(const char* begin, const char* end, double& value);

// As ParseDecimal, and also the words inf and nan (any letter case, optional
// sign). Used by the ASCII STL reader.
bool ParseDecimalOrSpecial(const char* begin, const char* end, double& value);

// v rounded to the nearest integer, ties to even (as Delphi's Round), in
// double; values too large to have a fraction come back unchanged.
inline double RoundHalfEven(double v)
{
    double r = std::floor(v);
    const double frac = v - r;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(r, 2.0) != 0)) r += 1;
    return r;
}

}  // namespace voxaro
