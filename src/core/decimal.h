// Locale-independent decimal number conversion shared by the text readers.
#pragma once

#include <cmath>

namespace voxaro {

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
