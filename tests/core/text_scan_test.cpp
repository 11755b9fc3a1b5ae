// The readers' shared text toolkit: line splitting and case-blind matching.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text_scan.h"

namespace voxaro {
namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    ForEachLine(text.data(), text.data() + text.size(),
                [&](const char* b, const char* e) { lines.emplace_back(b, e); });
    return lines;
}

TEST(TextScan, LinesEndAtCrLfOrCrLf)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(Lines(""), V{});
    EXPECT_EQ(Lines("a"), V{"a"});
    EXPECT_EQ(Lines("a\n"), V{"a"});
    EXPECT_EQ(Lines("a\r\nb\rc\nd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(Lines("a\n\r\nb"), (V{"a", "", "b"}));
    EXPECT_EQ(Lines("a\r\rb"), (V{"a", "", "b"}));
    // Breaks on both sides of the eight-byte steps of the scan.
    EXPECT_EQ(Lines("01234567\n89abcdefg\r\n" + std::string(20, 'x')),
              (V{"01234567", "89abcdefg", std::string(20, 'x')}));
    EXPECT_EQ(Lines(std::string("a\0b\nc", 5)), (V{std::string("a\0b", 3), "c"}));
    // Tabs and other controls, before, inside and after a step, break no line.
    const std::string controls = "\t\x01\x0b\x0c\x00\x0e";
    for (size_t at = 0; at < 17; ++at) {
        std::string line(17, 'x');
        line[at] = controls[at % controls.size()];
        EXPECT_EQ(Lines(line + "\r\n" + line), (V{line, line})) << at;
    }
}

TEST(TextScan, MatchingIgnoresOnlyAsciiCase)
{
    const std::string text = " \tFacet Normal\x01 ";
    const char* b = text.data();
    const char* e = b + text.size();
    Trim(b, e);
    EXPECT_TRUE(EqualsNoCase(b, e, "facet normal"));  // \x01 is a blank too
    EXPECT_TRUE(StartsWithNoCase(b, e, "FACET"));
    EXPECT_FALSE(StartsWithNoCase(b, b + 3, "FACET"));
    EXPECT_EQ(FindNoCase(b, e, "NORMAL"), b + 6);
    EXPECT_EQ(FindNoCase(b, e, "normals"), nullptr);
    // Bytes that differ from a word's only in bit 0x20 match only as letters.
    EXPECT_TRUE(EqualsNoCase(b, b + 5, "fACEt"));
    for (const char* other : {"@", "[", "^", "\xc6", "\x06"}) {
        const std::string shifted(1, static_cast<char>(other[0] ^ 0x20));
        EXPECT_FALSE(EqualsNoCase(shifted.data(), shifted.data() + 1, other)) << int(other[0]);
        EXPECT_TRUE(EqualsNoCase(other, other + 1, other));
    }
    std::string upper = "step-\xe9t\xe9.stp";
    UpperCaseAscii(upper);
    EXPECT_EQ(upper, "STEP-\xe9T\xe9.STP");
}

}  // namespace
}  // namespace voxaro
