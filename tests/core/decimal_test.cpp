// Locale-independent number conversion shared by the text readers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "decimal.h"

namespace voxaro {
namespace {

bool Parse(const std::string& s, double& v)
{
    return ParseDecimal(s.data(), s.data() + s.size(), v);
}

TEST(Decimal, GrammarOfPlainNumbers)
{
    struct Case {
        const char* Text;
        bool Converts;
        double Value;
    } cases[] = {
        {"0", true, 0},      {"-12.5", true, -12.5},  {"+7", true, 7},      {"5.", true, 5},     {".5", true, 0.5},
        {"1e3", true, 1000}, {"1.5E+03", true, 1500}, {"2e-2", true, 0.02}, {"", false, 0},      {".", false, 0},
        {"-", false, 0},     {"+", false, 0},         {"--5", false, 0},    {"1.2.3", false, 0}, {"1e", false, 0},
        {"1e+", false, 0},   {"1,5", false, 0},       {"0x10", false, 0},   {"inf", false, 0},   {"nan", false, 0},
        {" 1", false, 0},    {"1 ", false, 0},        {"e5", false, 0},     {"1d3", false, 0},
    };
    for (const Case& c : cases) {
        double v = -99;
        EXPECT_EQ(Parse(c.Text, v), c.Converts) << c.Text;
        if (c.Converts) {
            EXPECT_EQ(v, c.Value) << c.Text;
        }
    }
}

TEST(Decimal, SpecialWordsOnlyWhereAsked)
{
    const char* words[] = {"inf", "-INF", "+Inf", "nan", "NaN", "-nan"};
    for (const char* w : words) {
        double v = 0;
        EXPECT_FALSE(ParseDecimal(w, w + std::strlen(w), v)) << w;
        ASSERT_TRUE(ParseDecimalOrSpecial(w, w + std::strlen(w), v)) << w;
        if (std::strstr(w, "nan") || std::strstr(w, "NaN"))
            EXPECT_TRUE(std::isnan(v)) << w;
        else
            EXPECT_EQ(v, w[0] == '-' ? -INFINITY : INFINITY) << w;
    }
    const char* notWords[] = {"infinity", "nanx", "in", "-", "n"};
    for (const char* w : notWords) {
        double v = 0;
        EXPECT_FALSE(ParseDecimalOrSpecial(w, w + std::strlen(w), v)) << w;
    }
}

TEST(Decimal, OverflowIsRefusedAndUnderflowIsZero)
{
    double v = 1;
    EXPECT_FALSE(Parse("1e999", v));
    EXPECT_FALSE(Parse("-1e400", v));
    // Many digits with a small negative exponent are still far too big.
    EXPECT_FALSE(Parse(std::string(400, '9') + "e-1", v));
    EXPECT_FALSE(Parse(std::string(400, '9'), v));
    ASSERT_TRUE(Parse("1e-999", v));
    EXPECT_EQ(v, 0.0);
    ASSERT_TRUE(Parse("0." + std::string(400, '0') + "1", v));
    EXPECT_EQ(v, 0.0);
    ASSERT_TRUE(Parse(std::string(400, '0') + "1.5", v));  // leading zeros are no magnitude
    EXPECT_EQ(v, 1.5);
}

// The short-number shortcut must give exactly what a full conversion gives.
TEST(Decimal, AgreesWithStrtodOnRandomNumbers)
{
    std::mt19937_64 rng(20261208);
    for (int i = 0; i < 100000; ++i) {
        std::string s;
        if (rng() % 4 == 0) s += (rng() % 2) ? '-' : '+';
        int intDigits = static_cast<int>(rng() % 10);
        int fracDigits = static_cast<int>(rng() % 12);
        if (intDigits + fracDigits == 0) intDigits = 1;
        for (int k = 0; k < intDigits; ++k)
            s += static_cast<char>('0' + rng() % 10);
        if (fracDigits > 0 || rng() % 3 == 0) s += '.';
        for (int k = 0; k < fracDigits; ++k)
            s += static_cast<char>('0' + rng() % 10);
        if (rng() % 5 == 0) s += "e" + std::to_string(static_cast<int>(rng() % 60) - 30);
        double v = 0;
        ASSERT_TRUE(Parse(s, v)) << s;
        EXPECT_EQ(v, std::strtod(s.c_str(), nullptr)) << s;
    }
}

}  // namespace
}  // namespace voxaro
