// The parser's quick number path against the general decimal conversion, on
// whole files: the same text with every number padded with zeros (the same
// values, but too long for the quick path) must load bit for bit the same.
#include "GCodeParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "test_files.h"

using namespace voxaro;

namespace {

// Runs of digits and points with a digit and at most one point get 24 zeros
// in front and, after a point, 24 behind.
std::string PadNumbers(const std::string& text)
{
    std::string out, run;
    for (size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : '\0';
        if ((c >= '0' && c <= '9') || c == '.') {
            run += c;
            continue;
        }
        const auto points = std::count(run.begin(), run.end(), '.');
        const bool number = points <= 1 && run.find_first_not_of('.') != std::string::npos;
        out += number ? std::string(24, '0') + run + std::string(points ? 24 : 0, '0') : run;
        run.clear();
        if (i < text.size()) out += c;
    }
    return out;
}

// Counts, bounds and every field of every move; doubles by their bits.
std::vector<uint64_t> Loaded(const std::string& text, bool inParts = true)
{
    static int serial = 0;
    TGCodeParser p;
    p.ReadInParts = inParts;
    EXPECT_TRUE(p.LoadFromFile(test::Wide(test::WriteTempFile("identity_" + std::to_string(++serial), text))));
    std::vector<uint64_t> out = {uint64_t(p.MoveCount), uint64_t(p.LayerCount)};
    auto add = [&out](double v) { out.push_back(0), std::memcpy(&out.back(), &v, sizeof v); };
    for (double v : {p.MinX, p.MaxX, p.MinY, p.MaxY, p.MinZ, p.MaxZ, p.PrintMinX, p.PrintMaxY, p.PrintMaxZ})
        add(v);
    for (int32_t i = 0; i < p.MoveCount; ++i) {
        const TGCodeMove m = p.GetMove(i);
        for (double v : {m.X, m.Y, m.Z, m.I, m.J, m.K, m.E, m.F, double(m.LineWidth), double(m.LayerHeight)})
            add(v);
        out.push_back(m.Kind | m.Extrude << 8 | m.Feature << 16 | uint64_t(uint32_t(m.Layer)) << 32);
    }
    return out;
}

void ExpectSameLoad(const std::string& text)
{
    const std::vector<uint64_t> quick = Loaded(text), general = Loaded(PadNumbers(text));
    ASSERT_GT(quick[0], 100u) << "moves";
    ASSERT_EQ(quick.size(), general.size());
    const auto diff = std::mismatch(quick.begin(), quick.end(), general.begin());
    EXPECT_TRUE(diff.first == quick.end()) << "first difference at value " << (diff.first - quick.begin());
}

}  // namespace

TEST(GCodeIdentity, PaddedNumbersLoadTheSameFromARealFile)
{
    ExpectSameLoad(test::ReadFileBytes(test::DataFile("prusaslicer_overhang_supports.gcode")));
}

// Numbers of every length and form among signs, blanks, both letter cases,
// comments and every kind of line break; with longLines, now and then a line
// longer than the parser keeps.
std::string OddLines(uint32_t firstSeed, int lines, bool longLines)
{
    uint32_t seed = firstSeed;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    auto digits = [&](uint32_t most) {
        std::string s;
        for (uint32_t k = next(next(5) == 0 ? most : 7); k > 0; --k)
            s += static_cast<char>('0' + next(10));
        return s;
    };
    auto number = [&]() {
        return std::string(next(3) ? "" : next(2) ? "-" : "+") + digits(21) + (next(4) ? "." + digits(25) : "");
    };
    const char* heads[] = {"G1", "g0", "G2", "G3", "G92", "G91", "G90", "M83", "M82", "", "G1.0", "G 01"};
    const char* tails[] = {"", " ; note", " ; FEATURE: Bridge", " (c) X5", " *57", "\t", ";LINE_WIDTH: .5"};
    const char* breaks[] = {"\n", "\r\n", "\r", "\n\n"};
    std::string text;
    for (int line = 0; line < lines; ++line) {
        if (longLines && next(4000) == 0) text += std::string(70000 + next(2) * 40000, next(2) ? ' ' : 'X') + " Y7\n";
        text += next(30) == 0 ? ";Z:" + number() : heads[next(12)];
        for (uint32_t w = next(5); w > 0; --w)
            text += std::string(next(3) ? " " : "  ") + "XYZEFIJKxyzeSN"[next(14)] + (next(8) ? "" : " ") + number();
        text += std::string(tails[next(7)]) + breaks[next(4)];
    }
    return text;
}

TEST(GCodeIdentity, PaddedNumbersLoadTheSameFromOddLines)
{
    ExpectSameLoad(OddLines(2024, 20000, false) + "g1 x1.25 Y-0.5");
}

// Large files are lexed in chunks on several cores: the same load as one pass.
TEST(GCodeIdentity, ChunkedLoadsMatchOnePass)
{
    std::vector<std::string> texts = {OddLines(7, 260000, true) + "G1 X3", OddLines(8, 200000, true)};
    std::string real;
    const std::string prusa = test::ReadFileBytes(test::DataFile("prusaslicer_overhang_supports.gcode"));
    while (real.size() < 9000000)
        real += prusa + (real.size() % 2 ? "M83\n" : "G91\nG1 Z0.4\nG90\n");
    texts.push_back(real);
    std::string unbroken;  // one line of 6 MB: the head is kept, the rest skipped
    while (unbroken.size() < 6000000)
        unbroken += "G1 X" + std::to_string(unbroken.size() % 97) + " Y2 ";
    texts.push_back(unbroken);
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE("text " + std::to_string(i) + ", " + std::to_string(texts[i].size()) + " bytes");
        ASSERT_GT(texts[i].size(), size_t(5) << 20);
        const std::vector<uint64_t> parts = Loaded(texts[i]), onePass = Loaded(texts[i], false);
        ASSERT_EQ(parts.size(), onePass.size());
        const auto diff = std::mismatch(parts.begin(), parts.end(), onePass.begin());
        EXPECT_TRUE(diff.first == parts.end()) << "first difference at value " << (diff.first - parts.begin());
    }
}
