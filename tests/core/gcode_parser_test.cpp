#include "GCodeParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "decimal.h"
#include "test_files.h"

using namespace voxaro;
using voxaro::test::DataFile;
using voxaro::test::Wide;
using voxaro::test::WriteTempFile;

namespace {

// Writes the text to a fresh temporary file and loads it.
bool LoadText(TGCodeParser& p, const std::string& text)
{
    static int serial = 0;
    std::string path = WriteTempFile("gcode_" + std::to_string(++serial) + ".gcode", text);
    return p.LoadFromFile(Wide(path));
}

std::vector<TGCodeMove> AllMoves(const TGCodeParser& p)
{
    std::vector<TGCodeMove> out;
    for (int32_t i = 0; i < p.MoveCount; ++i)
        out.push_back(p.GetMove(i));
    return out;
}

// One field of every move, in order.
template <typename T> std::vector<T> Column(const TGCodeParser& p, T TGCodeMove::*field)
{
    std::vector<T> out;
    for (const TGCodeMove& m : AllMoves(p))
        out.push_back(m.*field);
    return out;
}

// Min x, max x, min y, max y, min z, max z.
using TBounds = std::array<double, 6>;

TBounds MoveBounds(const TGCodeParser& p)
{
    return {p.MinX, p.MaxX, p.MinY, p.MaxY, p.MinZ, p.MaxZ};
}

TBounds PrintBounds(const TGCodeParser& p)
{
    return {p.PrintMinX, p.PrintMaxX, p.PrintMinY, p.PrintMaxY, p.PrintMinZ, p.PrintMaxZ};
}

// The bounds before anything is added to them.
constexpr TBounds kNoBounds = {DBL_MAX, -DBL_MAX, DBL_MAX, -DBL_MAX, DBL_MAX, -DBL_MAX};

struct TWordResult {
    char Letter;
    double Value;
    bool operator==(const TWordResult& o) const { return Letter == o.Letter && Value == o.Value; }
};
void PrintTo(const TWordResult& w, std::ostream* os)
{
    *os << w.Letter << w.Value;
}
using TWords = std::vector<TWordResult>;

// All words ReadWord yields from the start of the text, up to its first failure.
std::vector<TWordResult> ReadAllWords(const std::string& text)
{
    std::vector<TWordResult> out;
    size_t pos = 0;
    char letter = 0;
    double value = 0;
    while (TGCodeParser::ReadWord(text.data(), text.size(), pos, letter, value))
        out.push_back({letter, value});
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(GCodeReadWord, ReadsLettersWithSignedDecimals)
{
    EXPECT_EQ(ReadAllWords("G1 x-1.5\tY+2 e.5 F007 Z5."),
              (TWords{{'G', 1}, {'X', -1.5}, {'Y', 2}, {'E', 0.5}, {'F', 7}, {'Z', 5}}));
}

TEST(GCodeReadWord, AdvancesPositionPastTheWord)
{
    const std::string text = "G1  X20";
    size_t pos = 0;
    char letter = 0;
    double value = 0;
    ASSERT_TRUE(TGCodeParser::ReadWord(text.data(), text.size(), pos, letter, value));
    EXPECT_EQ(pos, 2u);
    ASSERT_TRUE(TGCodeParser::ReadWord(text.data(), text.size(), pos, letter, value));
    EXPECT_EQ(letter, 'X');
    EXPECT_EQ(value, 20);
    EXPECT_EQ(pos, text.size());
    EXPECT_FALSE(TGCodeParser::ReadWord(text.data(), text.size(), pos, letter, value));
}

TEST(GCodeReadWord, SpacesMaySeparateLetterAndNumberButTabsMayNot)
{
    EXPECT_EQ(ReadAllWords("X  5"), (TWords{{'X', 5}}));
    EXPECT_TRUE(ReadAllWords("X\t5").empty());
}

TEST(GCodeReadWord, ExponentIsReadAsAnEWord)
{
    EXPECT_EQ(ReadAllWords("X1e3"), (TWords{{'X', 1}, {'E', 3}}));
    EXPECT_EQ(ReadAllWords("X1e999"), (TWords{{'X', 1}, {'E', 999}}));
}

TEST(GCodeReadWord, MalformedNumbersFail)
{
    for (const char* text : {"X--5", "X.", "X-", "X+", "X1.2.3", "X", "Xabc", "X+-1", "-5", "*57", "5", ""})
        EXPECT_TRUE(ReadAllWords(text).empty()) << text;
}

TEST(GCodeReadWord, NumberBeyondDoubleRangeFails)
{
    EXPECT_TRUE(ReadAllWords("X1" + std::string(400, '0')).empty());
}

TEST(GCodeReadWord, ScanStopsAtSymbolsAndNulBytes)
{
    EXPECT_EQ(ReadAllWords("N3 X5*57"), (TWords{{'N', 3}, {'X', 5}}));
    EXPECT_EQ(ReadAllWords(std::string("X1\0Y2", 5)), (TWords{{'X', 1}}));
}

TEST(GCodeReadWord, ValuesMatchTheGeneralDecimalConversion)
{
    // ReadWord must accept exactly what ParseDecimal accepts and give the
    // identical double.
    auto check = [](const std::string& number) {
        double expected = 0, got = 0;
        const bool converts = ParseDecimal(number.data(), number.data() + number.size(), expected);
        const std::string text = "X" + number;
        size_t pos = 0;
        char letter = 0;
        EXPECT_EQ(TGCodeParser::ReadWord(text.data(), text.size(), pos, letter, got), converts) << number;
        if (converts) {
            EXPECT_EQ(pos, text.size()) << number;
            EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << number << " " << got << " " << expected;
        }
        return !::testing::Test::HasFailure();
    };
    // Around the limits of the quick conversion: 2^53, 19 and 20 digits
    // (2^64 wraps to 0 in 64 bits), 22 and 23 decimals, signed zeros.
    for (const char* edge :
         {"9007199254740991", "9007199254740992", "9007199254740993", "900719925474099.3", "9999999999999999999",
          "18446744073709551616", "1844674407370955161.6", ".0000000000000000000001", ".00000000000000000000001",
          "1.0000000000000000000001", "-0", "-0.000", "+0.", "-.0", "0000000000000000000000000001.5"})
        check(edge);
    // Random runs of signs, digits and points, short and long.
    uint32_t seed = 99;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    for (int i = 0; i < 200000; ++i) {
        std::string number;
        if (next(3) == 0) number += next(2) ? '-' : '+';
        const uint32_t length = 1 + next(i % 2 ? 8 : 24);
        const uint32_t point = next(length + 2);
        for (uint32_t k = 0; k < length; ++k) {
            if (k == point || next(40) == 0) number += '.';
            number += static_cast<char>('0' + next(10));
        }
        ASSERT_TRUE(check(number));
    }
}

// ---------------------------------------------------------------------------

TEST(GCodeParser, AbsoluteExtrusionExtrudesOnIncrease)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 X10 Y10 E1\nG1 X20 Y10 E2\nG92 E5\nG1 X10 E-0.8\nG1 X0 Y0\n"));
    // The third move is a retraction that still moves, and is recorded; the
    // fourth has no E word at all.
    EXPECT_EQ(Column(p, &TGCodeMove::Extrude), (std::vector<bool>{true, true, false, false}));
    EXPECT_EQ(Column(p, &TGCodeMove::E), (std::vector<double>{1, 2, -0.8, -0.8}));
}

TEST(GCodeParser, RelativeExtrusionAccumulates)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "M83\nG1 X10 Y10 E1\nG1 X20 Y10 E2\nG1 X30 E-0.5\nM82\nG1 X40 E3\nG1 X50 E3\n"));
    // Back in absolute mode: 2.5 -> 3 extrudes, 3 -> 3 does not.
    EXPECT_EQ(Column(p, &TGCodeMove::Extrude), (std::vector<bool>{true, true, false, true, false}));
    EXPECT_EQ(Column(p, &TGCodeMove::E), (std::vector<double>{1, 3, 2.5, 3, 3}));
}

TEST(GCodeParser, ExtruderOnlyMovesAreNotRecorded)
{
    TGCodeParser abs;
    ASSERT_TRUE(LoadText(abs, "G1 E2\nG1 X1\n"));
    ASSERT_EQ(abs.MoveCount, 1);
    EXPECT_EQ(abs.GetMove(0).E, 2);

    TGCodeParser rel;
    ASSERT_TRUE(LoadText(rel, "M83\nG1 E2\nG1 E2 F100\nG1 X1 E1\n"));
    ASSERT_EQ(rel.MoveCount, 1);
    EXPECT_EQ(rel.GetMove(0).E, 5);
    EXPECT_EQ(rel.GetMove(0).F, 100);
}

TEST(GCodeParser, BareCoordinatesAreLinearMoves)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G0 X1 Y1\nX5 Y5\nG2 X6 Y6 I1\nZ1\n"));
    EXPECT_EQ(Column(p, &TGCodeMove::Kind), (std::vector<uint8_t>{0, 1, 2, 1}));
    EXPECT_EQ(p.GetMove(1).X, 5);
}

TEST(GCodeParser, LinesWithoutGWordOrAxisAreIgnored)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "F1200\nE5\nM104 S200\nT0\nG1 X1\n"));
    ASSERT_EQ(p.MoveCount, 1);
    EXPECT_EQ(p.GetMove(0).F, 0);
    EXPECT_EQ(p.GetMove(0).E, 0);
}

TEST(GCodeParser, FeedRateIsModalAcrossMoveCommands)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 X1 F1200\nG1 X2\nG0 X3 F9000\nG1 F300\nG1 X4\nG4 P100 F50\nG1 X5\n"));
    // F on a G4 line is not a feed rate.
    EXPECT_EQ(Column(p, &TGCodeMove::F), (std::vector<double>{1200, 1200, 9000, 300, 300}));
}

TEST(GCodeParser, RelativeAndAbsolutePositioning)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G91\nG1 X1 Y2 Z0.5 E1\nG1 X1 E2\nG90\nG1 X0\n"));
    EXPECT_EQ(Column(p, &TGCodeMove::X), (std::vector<double>{1, 2, 0}));
    EXPECT_EQ(Column(p, &TGCodeMove::Y), (std::vector<double>{2, 2, 2}));
    EXPECT_EQ(p.GetMove(0).Z, 0.5);
    // G91 leaves the extruder absolute: 1 -> 2.
    EXPECT_EQ(p.GetMove(1).E, 2);
    EXPECT_TRUE(p.GetMove(1).Extrude);
}

TEST(GCodeParser, PositioningWordsApplyInWordOrder)
{
    // G91 then G1 on one line: relative move. G1 then G91: the last G word
    // (91) is the line's command, so nothing moves.
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G91 G1 X5\nG1 X5\nG90 G1 X1 G91\nG1 X1\n"));
    EXPECT_EQ(Column(p, &TGCodeMove::X), (std::vector<double>{5, 10, 11}));
}

TEST(GCodeParser, G92SetsPositionWithoutMoving)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 X10 Y10 E5 F600\nG92 X0 E0 F9999\nG92\nG1 X1 E1\n"));
    auto m = AllMoves(p);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[1].X, 1);
    EXPECT_EQ(m[1].Y, 10);
    EXPECT_EQ(m[1].E, 1);
    EXPECT_TRUE(m[1].Extrude);
    EXPECT_EQ(m[1].F, 600);

    TGCodeParser rel;  // G92 sets absolute values even under G91
    ASSERT_TRUE(LoadText(rel, "G91\nG1 X10\nG92 X100\nG1 X1\n"));
    EXPECT_EQ(Column(rel, &TGCodeMove::X), (std::vector<double>{10, 101}));
}

TEST(GCodeParser, OtherCommandsLeavePositionUnchanged)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 X10 Y20 Z0.3\nG28\nG28 X0 Y0\nG4 X5\nG17 X7\nG-1 X9\nG1 X11\n"));
    auto m = AllMoves(p);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[1].X, 11);
    EXPECT_EQ(m[1].Y, 20);
    EXPECT_EQ(m[1].Z, 0.3);
}

TEST(GCodeParser, ArcsKeepTheirOwnCentreOffsets)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G2 X10 Y0 I5 J1 K2\nG3 X0 Y0 I-5\nG1 X3\n"));
    EXPECT_EQ(Column(p, &TGCodeMove::Kind), (std::vector<uint8_t>{2, 3, 1}));
    // The offsets are not modal.
    EXPECT_EQ(Column(p, &TGCodeMove::I), (std::vector<double>{5, -5, 0}));
    EXPECT_EQ(Column(p, &TGCodeMove::J), (std::vector<double>{1, 0, 0}));
    EXPECT_EQ(Column(p, &TGCodeMove::K), (std::vector<double>{2, 0, 0}));
}

TEST(GCodeParser, CodesAreRoundedToTheNearestInteger)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G0.6 X1\nG 0 X2\nG2.6 X3\nG91.2\nG1 X1\n"));
    EXPECT_EQ(Column(p, &TGCodeMove::Kind), (std::vector<uint8_t>{1, 0, 3, 1}));
    EXPECT_EQ(p.GetMove(3).X, 4);  // G91.2 switched to relative positioning
}

TEST(GCodeParser, NegligibleMovesAreNotRecorded)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 X1 Y1\nG1 X1.0000000001 Y1\nG0 X1 Y1 Z0\nG1 X1.00000001\n"));
    EXPECT_EQ(Column(p, &TGCodeMove::X), (std::vector<double>{1, 1.00000001}));
}

TEST(GCodeParser, CommentsAndParenthesesEndTheCommand)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 X1 ; move Y9\nG1 X5 (comment) Y9\n(G1 X100)\n; G1 X100\nG1 X7 ; note (Y3\n"));
    EXPECT_EQ(Column(p, &TGCodeMove::X), (std::vector<double>{1, 5, 7}));
    EXPECT_EQ(Column(p, &TGCodeMove::Y), (std::vector<double>{0, 0, 0}));
}

TEST(GCodeParser, LetterCaseAndSurroundingBlanksDoNotMatter)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "g1 x2 y3\n \t G1 X4\t \n"));
    EXPECT_EQ(Column(p, &TGCodeMove::X), (std::vector<double>{2, 4}));
    EXPECT_EQ(Column(p, &TGCodeMove::Y), (std::vector<double>{3, 3}));
}

TEST(GCodeParser, MalformedNumbersEndTheWordScan)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 X--5 Y2\n"
                            "G1 X. Y2\n"
                            "G1 X- Y2\n"
                            "G1 X5 Y.\n"
                            "G1 Y3 X1" +
                                std::string(400, '0') +
                                "\n"
                                "G1 X1e999 Y2\n"));
    // Words before the bad one still count; "1e999" is X 1 followed by the word E 999.
    EXPECT_EQ(Column(p, &TGCodeMove::X), (std::vector<double>{5, 5, 1}));
    EXPECT_EQ(Column(p, &TGCodeMove::Y), (std::vector<double>{0, 3, 2}));
    EXPECT_EQ(p.GetMove(2).E, 999);
    EXPECT_TRUE(p.GetMove(2).Extrude);
}

TEST(GCodeParser, GetMoveOutOfRangeIsAllZero)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "; LINE_WIDTH: 0.5\n;TYPE:SKIRT\nG1 X1 Y2 Z3 E4 F5\n"));
    ASSERT_EQ(p.MoveCount, 1);
    EXPECT_EQ(p.GetMove(0).X, 1);
    for (int32_t i : {-1, p.MoveCount, 255, INT32_MAX, INT32_MIN}) {
        TGCodeMove m = p.GetMove(i);
        EXPECT_EQ(m.Kind, 0) << i;
        EXPECT_EQ(m.X, 0) << i;
        EXPECT_EQ(m.Y, 0) << i;
        EXPECT_EQ(m.Z, 0) << i;
        EXPECT_EQ(m.E, 0) << i;
        EXPECT_EQ(m.F, 0) << i;
        EXPECT_EQ(m.Layer, 0) << i;
        EXPECT_FALSE(m.Extrude) << i;
        EXPECT_EQ(m.Feature, gfNone) << i;
        EXPECT_EQ(m.LineWidth, 0.0f) << i;
        EXPECT_EQ(m.LayerHeight, 0.0f) << i;
    }
}

TEST(GCodeParser, MoveStorageStartsAt256AndDoublesAndKeepsNoSlackOnceLoaded)
{
    auto lines = [](int n) {
        std::string s;
        for (int i = 1; i <= n; ++i)
            s += "G1 X" + std::to_string(i) + "\n";
        return s;
    };
    TGCodeParser p;
    for (auto [moves, capacity] : {std::pair{0, 0u}, {1, 256u}, {256, 256u}, {257, 512u}, {1025, 2048u}}) {
        TGCodeMoveStore growing;
        TGCodeMove m{};
        for (int i = 0; i < moves; ++i)
            ASSERT_TRUE(growing.Append(m, SIZE_MAX));
        EXPECT_EQ(growing.Capacity(), capacity) << moves << " moves";
        ASSERT_TRUE(LoadText(p, lines(moves)));
        EXPECT_EQ(p.Moves.Capacity(), static_cast<size_t>(moves)) << moves << " moves";
    }
    EXPECT_EQ(p.MoveCount, 1025);
    EXPECT_EQ(p.GetMove(1024).X, 1025);
}

TEST(GCodeParser, ClearAndReloadStartFresh)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "; LINE_WIDTH: 0.6\n; LAYER_HEIGHT: 0.3\n;TYPE:SKIRT\nG1 Z0.3 X1\nG1 Z0.6 X2\nM83\n"));
    EXPECT_EQ(p.LayerCount, 3);
    ASSERT_TRUE(LoadText(p, "G1 X1 E1\nG1 X2 E3\n"));
    ASSERT_EQ(p.MoveCount, 2);
    TGCodeMove m = p.GetMove(1);
    EXPECT_EQ(m.Feature, gfNone);
    EXPECT_FLOAT_EQ(m.LineWidth, 0.4f);
    EXPECT_FLOAT_EQ(m.LayerHeight, 0.2f);
    EXPECT_EQ(m.E, 3);  // absolute extrusion again
    EXPECT_EQ(m.Layer, 0);
    EXPECT_EQ(p.LayerCount, 1);

    p.Clear();
    EXPECT_EQ(p.MoveCount, 0);
    EXPECT_TRUE(p.Moves.empty());
    EXPECT_EQ(p.LayerCount, 0);
    EXPECT_EQ(MoveBounds(p), kNoBounds);
    EXPECT_EQ(PrintBounds(p), kNoBounds);
    EXPECT_FALSE(p.HasPrintBounds);
}

TEST(GCodeParser, ColorByLayerFlagIsProcessWide)
{
    EXPECT_FALSE(GetColorByLayer());
    SetColorByLayer(true);
    EXPECT_TRUE(GetColorByLayer());
    EXPECT_TRUE(GetColorByLayer());  // reading does not reset it
    SetColorByLayer(false);
    EXPECT_FALSE(GetColorByLayer());
}

// ---------------------------------------------------------------------------

namespace {

// One move after each comment; returns the feature of each move in order.
std::vector<TGCodeFeature> FeaturesAfter(const std::vector<std::string>& comments)
{
    std::string text;
    for (size_t i = 0; i < comments.size(); ++i)
        text += comments[i] + "\nG1 X" + std::to_string(i + 1) + "\n";
    TGCodeParser p;
    EXPECT_TRUE(LoadText(p, text));
    return Column(p, &TGCodeMove::Feature);
}

void ExpectFeatures(const std::vector<std::pair<std::string, TGCodeFeature>>& cases)
{
    std::vector<std::string> comments;
    for (const auto& c : cases)
        comments.push_back(c.first);
    auto got = FeaturesAfter(comments);
    ASSERT_EQ(got.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(got[i], cases[i].second) << cases[i].first;
}

}  // namespace

TEST(GCodeFeatures, FeatureCommentsFirstMatchWins)
{
    ExpectFeatures({
        {"; FEATURE: Outer wall", gfOuterWall},
        {"; FEATURE: Support interface", gfSupportInterface},
        {"; FEATURE: Support", gfSupport},
        {"; FEATURE: Inner wall", gfInnerWall},
        {"; FEATURE: Top surface", gfTopSurface},
        {"; FEATURE: Bottom surface", gfBottomSurface},
        {"; FEATURE: Sparse infill", gfSparseInfill},
        {"; FEATURE: Internal infill", gfSparseInfill},
        {"; FEATURE: Internal solid infill", gfSolidInfill},
        {"; FEATURE: Bridge solid infill", gfSolidInfill},
        {"; FEATURE: Bridge", gfBridge},
        {"; FEATURE: Skirt", gfSkirtBrim},
        {"; FEATURE: Brim", gfSkirtBrim},
        {"; FEATURE: Prime tower", gfWipeTower},
        {"; FEATURE: Wipe tower", gfWipeTower},
        {"; FEATURE: Ironing", gfIroning},
        {"; FEATURE: Gap infill", gfNone},
        {"  ; feature: outer WALL  ", gfOuterWall},
        {"; FEATURE:", gfNone},
    });
}

TEST(GCodeFeatures, TypeCommentsFirstMatchWins)
{
    ExpectFeatures({
        {";TYPE:WALL-OUTER", gfOuterWall},
        {";TYPE:WALL-INNER", gfInnerWall},
        {";TYPE:External perimeter", gfOuterWall},
        {";TYPE:Overhang perimeter", gfInnerWall},
        {";TYPE:Perimeter", gfInnerWall},
        {";TYPE:Top solid infill", gfTopSurface},
        {";TYPE:SKIN", gfTopSurface},
        {";TYPE:Solid infill", gfSolidInfill},
        {";TYPE:Internal infill", gfSparseInfill},
        {";TYPE:Bridge infill", gfSparseInfill},
        {";TYPE:Bridge", gfBridge},
        {";type:skirt/brim", gfSkirtBrim},
        {";TYPE:Support material", gfSupport},
        {";TYPE:Support material interface", gfSupportInterface},
        {";TYPE:SUPPORT-INTERFACE", gfSupportInterface},
        {";TYPE:SUPPORT", gfSupport},
        {";TYPE:Ironing", gfIroning},
        {";TYPE:FILL", gfNone},
        {";TYPE:Wipe tower", gfNone},
        {";TYPE:Custom", gfNone},
        {"\t;TYPE:SKIRT ", gfSkirtBrim},
    });
}

TEST(GCodeFeatures, EmptyTypeChangesNothing)
{
    auto got = FeaturesAfter({";TYPE:WALL-OUTER", ";TYPE:", ";TYPE:   "});
    EXPECT_EQ(got, (std::vector<TGCodeFeature>{gfOuterWall, gfOuterWall, gfOuterWall}));
}

TEST(GCodeFeatures, CommentAnywhereConsumesTheLine)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 X1 ; FEATURE: Outer wall\n"
                            "G1 X2\n"
                            "G1 X3 ;TYPE:SKIRT\n"
                            ";TYPE:SKIRT ; FEATURE: Bridge\n"
                            "G1 X4\n"));
    auto m = AllMoves(p);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].X, 2);
    EXPECT_EQ(m[0].Feature, gfOuterWall);
    // ";TYPE:" only counts at the start of a line: the command ran.
    EXPECT_EQ(m[1].X, 3);
    EXPECT_EQ(m[1].Feature, gfOuterWall);
    // A feature comment outranks a type comment on the same line.
    EXPECT_EQ(m[2].Feature, gfBridge);
}

TEST(GCodeFeatures, ModeWordsOnAConsumedLineDoNothing)
{
    // The feature comment consumes its line, G91 and M83 included; a plain
    // note does not.
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 X1 E1\nG91 M83 ; FEATURE: Bridge\nG1 X5 E1.5\nG91 M83 ; a note\nG1 X5 E1.5\n"));
    EXPECT_EQ(Column(p, &TGCodeMove::X), (std::vector<double>{1, 5, 10}));
    EXPECT_EQ(Column(p, &TGCodeMove::E), (std::vector<double>{1, 1.5, 3}));
}

TEST(GCodeFeatures, LineWidthAndLayerHeightComments)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 X1\n"
                            "; LINE_WIDTH: 0.45\n; LAYER_HEIGHT: 0.12\nG1 X2\n"
                            "; LINE_WIDTH: 0.6\n  ; layer_height:  0.3  \nG1 X3\n"
                            "; LINE_WIDTH: wide\n; LAYER_HEIGHT:\nG1 X4\n"
                            "G1 X5 ; LINE_WIDTH: 0.7\n"));
    auto m = AllMoves(p);
    ASSERT_EQ(m.size(), 4u);
    EXPECT_FLOAT_EQ(m[0].LineWidth, 0.4f);
    EXPECT_FLOAT_EQ(m[0].LayerHeight, 0.2f);
    EXPECT_FLOAT_EQ(m[1].LineWidth, 0.45f);
    EXPECT_FLOAT_EQ(m[1].LayerHeight, 0.12f);
    EXPECT_FLOAT_EQ(m[2].LineWidth, 0.6f);
    EXPECT_FLOAT_EQ(m[2].LayerHeight, 0.3f);
    // Unreadable values fall back to the defaults, not the previous value.
    EXPECT_FLOAT_EQ(m[3].LineWidth, 0.4f);
    EXPECT_FLOAT_EQ(m[3].LayerHeight, 0.2f);
    EXPECT_FLOAT_EQ(p.LineWidth, 0.7f);
}

// ---------------------------------------------------------------------------

TEST(GCodeLayers, LayerOfEveryMoveAndLayerCount)
{
    const struct {
        const char* Name;
        std::string Text;
        std::vector<double> Xs;       // X of every move
        std::vector<int32_t> Layers;  // layer of every move
        int32_t LayerCount;
    } cases[] = {
        {"rising Z opens layers",
         "G1 X1 Y1\n"
         "G1 Z-1 X2\n"
         "G0 Z0.2\n"
         "G1 X3 E1\n"
         "G1 Z5\n"           // hop
         "G1 Z0.4 X4\n"      // lower than the hop: no new layer
         "G1 Z5.0005 X5\n",  // within 0.001 of the hop
         {1, 2, 2, 3, 3, 4, 5},
         {0, 0, 1, 1, 2, 2, 2},
         3},
        {"semicolon-Z comments count layers",
         ";Z:0.2\nG1 X1 Z0.2\n"
         ";Z:0.4\nG1 X2 Z0.4\n"
         ";Z:0.4\nG1 X3\n"
         "G1 X4 Z10\n"
         ";Z:0.3\nG1 X5\n",
         {1, 2, 3, 4, 5},
         {1, 2, 2, 2, 2},
         3},
        // The commented command (X9) does not run. Lower-case forms are not
        // height comments, and Z moves no longer count.
        {"Z_HEIGHT comments count layers anywhere in the line",
         "; Z_HEIGHT: 0.25\nG1 X1 Z0.25\n"
         "G1 X9 ; Z_HEIGHT: 0.5\nG1 X2 Z0.5\n"
         "; z_height: 0.75\n;z:0.75\nG1 X3 Z0.75\n",
         {1, 2, 3},
         {1, 2, 2},
         3},
        {"first height comment restarts counting",
         "G1 Z1 X1\nG1 Z2 X2\nG1 Z3 X3\n;Z:0.2\nG1 X4\n",
         {1, 2, 3, 4},
         {1, 2, 3, 1},
         2},
        // Layer-comment mode never started, so Z still counts.
        {"unreadable height comment is ignored",
         ";Z:abc\nG1 X1 ; Z_HEIGHT: high\nG1 Z0.2 X2\n;Z:\nG1 Z0.4 X3\n",
         {2, 3},
         {1, 2},
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TGCodeParser p;
        ASSERT_TRUE(LoadText(p, c.Text));
        EXPECT_EQ(Column(p, &TGCodeMove::X), c.Xs);
        EXPECT_EQ(Column(p, &TGCodeMove::Layer), c.Layers);
        EXPECT_EQ(p.LayerCount, c.LayerCount);
    }
}

// ---------------------------------------------------------------------------

TEST(GCodePrintBounds, ArcEndPointsComeFirst)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 Z0.2\n"
                            "G1 X0 Y0 E1\nG1 X100 Y100 E2\n"
                            "G2 X10 Y20 I5 J5\nG3 X30 Y40 I1 J1\n"));
    ASSERT_TRUE(p.HasPrintBounds);
    EXPECT_EQ(PrintBounds(p), (TBounds{10, 30, 20, 40, 0.2, 0.2}));
}

TEST(GCodePrintBounds, PrintedLinesAboveLayerZero)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p,
                         "G1 X-50 Y-50 E1\n"    // purge at layer 0
                         "G0 Z0.3 X200 Y200\n"  // rapid
                         "G1 X150 Y-20\n"       // travel as G1 without E
                         "G1 X10 Y20 E2\nG1 X30 Y5 E3\nG1 Z0.6\nG1 X12 Y7 E4\n"
                         "G1 X60 Y60 E3\n"));  // retracting move
    ASSERT_TRUE(p.HasPrintBounds);
    EXPECT_EQ(PrintBounds(p), (TBounds{10, 30, 5, 20, 0.3, 0.6}));
    // The overall bounds hold every end point.
    EXPECT_EQ(MoveBounds(p), (TBounds{-50, 200, -50, 200, 0, 0.6}));
}

TEST(GCodePrintBounds, LinesAboveLayerZeroWithoutExtrusion)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 X-5 Y-5\nG0 Z1 X100 Y100\nG1 X3 Y4\nG1 X6 Y2 Z2\n"));
    ASSERT_TRUE(p.HasPrintBounds);
    EXPECT_EQ(PrintBounds(p), (TBounds{3, 6, 2, 4, 1, 2}));
}

TEST(GCodePrintBounds, FallsBackToEveryNonRapidMove)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G0 X100 Y100\nG1 X3 Y4 E1\nG1 X-2 Y8\nG0 X-50\n"));
    ASSERT_TRUE(p.HasPrintBounds);
    EXPECT_EQ(PrintBounds(p), (TBounds{-2, 3, 4, 8, 0, 0}));
}

TEST(GCodePrintBounds, MovesPlacedStraightIntoTheArrayCountToo)
{
    // The parser keeps its candidate boxes as moves are added; moves written
    // into the array directly are read again.
    TGCodeParser loaded, placed;
    ASSERT_TRUE(LoadText(loaded, "G1 X-5 Y-5\nG0 Z1 X100 Y100\nG1 X3 Y4\nG1 X6 Y2 Z2 E1\nG1 X7 Y1\n"));
    for (int32_t i = 0; i < loaded.MoveCount; ++i)
        ASSERT_TRUE(placed.Moves.Append(loaded.GetMove(i), SIZE_MAX));
    placed.MoveCount = loaded.MoveCount;
    placed.ComputePrintBounds();
    ASSERT_TRUE(placed.HasPrintBounds);
    EXPECT_EQ(PrintBounds(placed), (TBounds{6, 6, 2, 2, 2, 2}));
    EXPECT_EQ(PrintBounds(loaded), PrintBounds(placed));
}

TEST(GCodePrintBounds, RapidMovesAloneGiveNoPrintBounds)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G0 X10 Y10 Z1\nG0 X20 Y5 Z2\n"));
    EXPECT_FALSE(p.HasPrintBounds);
    EXPECT_EQ(PrintBounds(p), kNoBounds);
    EXPECT_EQ(MoveBounds(p), (TBounds{10, 20, 5, 10, 1, 2}));
}

// ---------------------------------------------------------------------------

TEST(GCodeFile, AllLineEndingsSplitLines)
{
    const std::vector<std::string> texts = {
        "G1 X1\nG1 X2\nG1 X3",
        "G1 X1\r\nG1 X2\r\nG1 X3\r\n",
        "G1 X1\rG1 X2\rG1 X3\r",
        "G1 X1\r\n\nG1 X2\r\rG1 X3\n\r",
    };
    for (const std::string& text : texts) {
        TGCodeParser p;
        ASSERT_TRUE(LoadText(p, text));
        EXPECT_EQ(Column(p, &TGCodeMove::X), (std::vector<double>{1, 2, 3}));
    }
}

TEST(GCodeFile, OnlyCommentsOrNothingIsAnEmptySuccess)
{
    for (const std::string& text : {std::string(), std::string("; generated\n;TYPE:SKIRT\n; LINE_WIDTH: 1\n\n"),
                                    std::string("M104 S200\nG28\nG92 E0\n")}) {
        TGCodeParser p;
        ASSERT_TRUE(LoadText(p, text));
        EXPECT_EQ(p.MoveCount, 0);
        EXPECT_EQ(p.LayerCount, 1);
        EXPECT_EQ(MoveBounds(p), (TBounds{0, 100, 0, 100, 0, 10}));
        EXPECT_FALSE(p.HasPrintBounds);
    }
}

TEST(GCodeFile, UnopenableFilesFail)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 X1 Z1\n"));
    EXPECT_FALSE(p.LoadFromFile(Wide(voxaro::test::TempDir() + "/no_such_file.gcode")));
    EXPECT_EQ(p.MoveCount, 0);
    EXPECT_EQ(p.LayerCount, 0);
    EXPECT_FALSE(p.HasPrintBounds);
    EXPECT_FALSE(p.LoadFromFile(L""));
    EXPECT_FALSE(p.LoadFromFile(Wide(voxaro::test::TempDir())));
}

TEST(GCodeFile, NulBytesAreOrdinaryBytes)
{
    const char raw[] = "G1 X1\0 Y2\n;TYPE:SKIRT\0junk\nG1 X3 Y4\n\0\0G1 X5\n";
    const std::string text(raw, sizeof(raw) - 1);
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, text));
    auto m = AllMoves(p);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].X, 1);
    EXPECT_EQ(m[0].Y, 0);  // the scan stopped at the NUL
    EXPECT_EQ(m[1].Feature, gfSkirtBrim);
    EXPECT_EQ(m[1].Y, 4);
    EXPECT_EQ(m[2].X, 5);  // leading NULs are trimmed like blanks
}

TEST(GCodeFile, BinaryGarbageLoadsWithConsistentData)
{
    std::string text;
    uint32_t seed = 12345;
    for (int i = 0; i < (3 << 20); ++i) {
        seed = seed * 1664525u + 1013904223u;
        text += static_cast<char>(seed >> 24);
    }
    text += "\nG90\nG1 X3 Y4 Z1.5\n";
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, text));
    ASSERT_GE(p.MoveCount, 1);
    for (const TGCodeMove& m : AllMoves(p)) {
        EXPECT_LE(m.Kind, 3);
        EXPECT_LE(m.Feature, gfIroning);
        EXPECT_GE(m.Layer, 0);
        EXPECT_LT(m.Layer, INT32_MAX);
    }
    TGCodeMove last = p.GetMove(p.MoveCount - 1);
    EXPECT_EQ(last.X, 3);
    EXPECT_EQ(last.Y, 4);
    EXPECT_EQ(last.Z, 1.5);
    EXPECT_LE(p.MinX, 3);
    EXPECT_GE(p.MaxX, 3);
    EXPECT_GE(p.LayerCount, 1);
}

// Lines of megabytes are read only as far as the line limit; what lies beyond
// it is skipped, and the lines after them are read as usual.
TEST(GCodeFile, LinesOfManyMegabytes)
{
    std::string words;
    for (int i = 0; i < 1'000'000; ++i)
        words += " X1.5";  // 5 MB of words on one line
    TGCodeParser longCommand;
    ASSERT_TRUE(LoadText(longCommand, "G1" + words + " Y2"));  // no line break at all
    ASSERT_EQ(longCommand.MoveCount, 1);
    EXPECT_EQ(longCommand.GetMove(0).X, 1.5);
    EXPECT_EQ(longCommand.GetMove(0).Y, 0) << "Y2 lies 5 MB into the line";

    TGCodeParser longComment;
    ASSERT_TRUE(LoadText(longComment, "G1 X1\n;" + std::string(7 << 20, 'a') + "\r\nG1 X2\n;" +
                                          std::string(3 << 20, ' ') + "; FEATURE: Bridge\nG1 X3"));
    EXPECT_EQ(Column(longComment, &TGCodeMove::X), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(longComment.GetMove(2).Feature, gfNone) << "the feature comment lies 3 MB into its line";
}

TEST(GCodeFile, OverLongLinesAreCutAtABlankWithinTheLimit)
{
    const size_t limit = TGCodeParser::kMaxLineLength;
    // A line of exactly the limit is read whole.
    const std::string head = "G1 X1 Y1";
    std::string exact = head + std::string(limit - head.size() - 3, ' ') + "Y99";
    ASSERT_EQ(exact.size(), limit);
    // One byte more: cut before the word that would be split, at any offset
    // of the limit inside it.
    for (size_t inside = 1; inside <= 4; ++inside) {
        SCOPED_TRACE(::testing::Message() << inside << " bytes of the word within the limit");
        std::string cut = head + std::string(limit - head.size() - inside, ' ') + "Y77777";
        TGCodeParser p;
        ASSERT_TRUE(LoadText(p, exact + "\n" + cut + "\nG1 X3\n"));
        ASSERT_EQ(p.MoveCount, 3);
        EXPECT_EQ(p.GetMove(0).Y, 99);
        EXPECT_EQ(p.GetMove(1).Y, 1) << "Y7 or Y77 read from a split word";
        EXPECT_EQ(p.GetMove(2).X, 3);
    }
    // Without any blank the line is cut at the limit itself.
    TGCodeParser digits;
    ASSERT_TRUE(LoadText(digits, "G1 X" + std::string(3 * limit, '1') + "\rG1 Y2\r"));
    ASSERT_EQ(digits.MoveCount, 1);
    EXPECT_EQ(digits.GetMove(0).Y, 2) << "the first line's number does not convert";
}

TEST(GCodeFile, FileWithoutLineBreaksThenLines)
{
    // Several read blocks of NULs (a preallocated file), then G-code whose
    // first line break may follow a CR at a block's end.
    for (const char* eol : {"\n", "\r", "\r\n"}) {
        std::string text(3 * TGCodeParser::kReadBlockSize - 1, '\0');
        text += std::string(eol) + "G1 X5 Y6" + eol + "G1 X7" + eol;
        TGCodeParser p;
        ASSERT_TRUE(LoadText(p, text));
        EXPECT_EQ(Column(p, &TGCodeMove::X), (std::vector<double>{5, 7}));
    }
}

TEST(GCodeFile, LinesStraddlingReadBlocks)
{
    const size_t block = TGCodeParser::kReadBlockSize;
    const std::string target = "G1 X123.456 Y7";
    // Put the target line's break at every offset around the first block end,
    // with each kind of line break.
    for (const char* eol : {"\n", "\r", "\r\n"}) {
        for (int shift = -3; shift <= 3; ++shift) {
            const size_t eolLen = std::char_traits<char>::length(eol);
            const size_t padLen = block + static_cast<size_t>(shift) - target.size() - eolLen - 1;
            std::string text = ";" + std::string(padLen, 'p') + eol + target + eol + "G1 X9 Y9" + eol;
            ASSERT_EQ(text.find(target) + target.size(), block + static_cast<size_t>(shift));
            TGCodeParser p;
            ASSERT_TRUE(LoadText(p, text));
            ASSERT_EQ(p.MoveCount, 2) << "shift " << shift;
            EXPECT_EQ(p.GetMove(0).X, 123.456);
            EXPECT_EQ(p.GetMove(0).Y, 7);
            EXPECT_EQ(p.GetMove(1).X, 9);
        }
    }
}

TEST(GCodeFile, ManyBlocksOfMixedLines)
{
    // Lines of varying length and break style over several read blocks.
    std::string text;
    int n = 0;
    const char* eols[] = {"\n", "\r\n", "\r"};
    while (text.size() < 3 * TGCodeParser::kReadBlockSize + 1000) {
        ++n;
        text += "G1 X" + std::to_string(n) + " Y" + std::to_string(n % 97) + ".5";
        text += (n % 5 == 0) ? " ; " + std::string(static_cast<size_t>(n % 41), 'c') : "";
        text += eols[n % 3];
    }
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, text));
    ASSERT_EQ(p.MoveCount, n);
    for (int i = 0; i < n; ++i) {
        TGCodeMove m = p.GetMove(i);
        ASSERT_EQ(m.X, i + 1) << i;
        ASSERT_EQ(m.Y, (i + 1) % 97 + 0.5) << i;
    }
}

TEST(GCodeFile, PrusaSlicerFileWithSupports)
{
    const std::string path = DataFile("prusaslicer_overhang_supports.gcode");
    TGCodeParser p;
    ASSERT_TRUE(p.LoadFromFile(Wide(path)));
    ASSERT_GT(p.MoveCount, 0);
    EXPECT_GT(p.LayerCount, 1);

    // Independent count of the layers: rising ";Z:" comments.
    const std::string text = voxaro::test::ReadFileBytes(path);
    int rising = 0;
    double last = -1e10, firstZ = 0, topZ = 0;
    for (size_t at = text.find("\n;Z:"); at != std::string::npos; at = text.find("\n;Z:", at + 1)) {
        double z = std::strtod(text.c_str() + at + 4, nullptr);
        if (rising == 0) firstZ = z;
        if (z > last + 0.001) ++rising, last = z;
        topZ = std::max(topZ, z);
    }
    ASSERT_GT(rising, 1);
    EXPECT_EQ(p.LayerCount, rising + 1);

    bool support = false, interface = false, outer = false;
    for (const TGCodeMove& m : AllMoves(p)) {
        EXPECT_LE(m.Kind, 1);  // PrusaSlicer writes no arcs by default
        EXPECT_LT(m.Layer, p.LayerCount);
        if (!m.Extrude) continue;
        support |= m.Feature == gfSupport;
        interface |= m.Feature == gfSupportInterface;
        outer |= m.Feature == gfOuterWall;
        EXPECT_NE(m.Feature, gfNone);
    }
    EXPECT_TRUE(support);
    EXPECT_TRUE(interface);
    EXPECT_TRUE(outer);

    ASSERT_TRUE(p.HasPrintBounds);
    EXPECT_GE(p.PrintMinX, p.MinX);
    EXPECT_LE(p.PrintMaxX, p.MaxX);
    EXPECT_GE(p.PrintMinY, p.MinY);
    EXPECT_LE(p.PrintMaxY, p.MaxY);
    EXPECT_GE(p.PrintMinZ, p.MinZ);
    EXPECT_LE(p.PrintMaxZ, p.MaxZ);
    EXPECT_LT(p.PrintMinX, p.PrintMaxX);
    EXPECT_LT(p.PrintMinY, p.PrintMaxY);
    // Printing spans the first to the last layer height.
    EXPECT_DOUBLE_EQ(p.PrintMinZ, firstZ);
    EXPECT_DOUBLE_EQ(p.PrintMaxZ, topZ);
}

// ---------------------------------------------------------------------------
// Loads that stop early or fail

TEST(GCodeLoad, MovesThatNoLongerFitEndTheLoadMarkedIncomplete)
{
    std::string text;
    for (int i = 1; i <= 1000; ++i)
        text += "G1 X" + std::to_string(i) + " Y" + std::to_string(i % 7) + " E" + std::to_string(i) + "\n";
    text += ";Z:5\n;Z:6\n";  // layer comments after the last move that fitted are not read
    TGCodeParser p;
    p.MoveMemoryLimit = 300 * sizeof(TMoveRecord) + 16 * sizeof(TMoveRun);
    ASSERT_TRUE(LoadText(p, text)) << "the moves read are kept: a success, but incomplete";
    EXPECT_TRUE(p.Incomplete);
    EXPECT_LE(p.Moves.Bytes(), p.MoveMemoryLimit);
    ASSERT_EQ(p.MoveCount, 300) << "the moves share one run";
    EXPECT_EQ(p.GetMove(299).X, 300);
    EXPECT_EQ(p.LayerCount, 1);
    EXPECT_EQ(MoveBounds(p), (TBounds{1, 300, 0, 6, 0, 0}));
    p.MoveMemoryLimit = SIZE_MAX;
    ASSERT_TRUE(LoadText(p, text));
    EXPECT_FALSE(p.Incomplete) << "a reload with room for every move is complete again";
}

TEST(GCodeLoad, FailuresSayWhy)
{
    TGCodeParser p;
    ASSERT_TRUE(LoadText(p, "G1 X1 Z1\n"));
    // A read error is no longer taken as the end of the file. (Reading this
    // regular file of the system from its start always fails with EIO.)
    EXPECT_FALSE(p.LoadFromFile(L"/proc/self/mem"));
    EXPECT_EQ(p.ErrorMsg, "GCode: Read error at byte 0 (error " + std::to_string(EIO) + ").");
    EXPECT_EQ(p.MoveCount, 0);
    EXPECT_EQ(p.LayerCount, 0);

    EXPECT_FALSE(p.LoadFromFile(Wide(voxaro::test::TempDir() + "/no_such_file.gcode")));
    EXPECT_EQ(p.ErrorMsg, "GCode: Failed to parse no_such_file.gcode");
    EXPECT_FALSE(p.LoadFromFile(L"/dev/zero"));
    EXPECT_EQ(p.ErrorMsg, "GCode: Failed to parse zero (not a regular file)");
    EXPECT_FALSE(p.LoadFromFile(L""));
    EXPECT_EQ(p.ErrorMsg, "GCode: Failed to parse ");
}
