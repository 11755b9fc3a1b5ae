// The ASCII STL reader against the reader it replaced: that one read the whole
// text into memory, counted the facet lines in a first pass and converted in
// a second, all on one thread. A copy of it stays here while the comparison
// needs it. Generated files are large enough to be read in parts, and mix
// every kind of line so that the part boundaries fall among them.
#include "mesh_data.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "decimal.h"
#include "test_files.h"
#include "text_scan.h"

using namespace voxaro;

namespace {

// ---- the previous reader ----

struct TToken {
    const char* Begin;
    const char* End;
};

int OldTokenize(const char* b, const char* e, TToken* tokens, int maxTokens)
{
    int count = 0;
    while (b < e) {
        while (b < e && IsBlank(*b))
            ++b;
        if (b == e) break;
        const char* s = b;
        while (b < e && !IsBlank(*b))
            ++b;
        if (count < maxTokens) tokens[count] = {s, b};
        if (++count > maxTokens) break;
    }
    return count;
}

bool OldConvert(const TToken& t, float& out)
{
    if (t.End - t.Begin >= 256) return false;
    double d = 0;
    if (!ParseDecimalOrSpecial(t.Begin, t.End, d)) return false;
    constexpr double kOverflow = 0x1.ffffffp+127;
    if (d >= kOverflow)
        out = std::numeric_limits<float>::infinity();
    else if (d <= -kOverflow)
        out = -std::numeric_limits<float>::infinity();
    else
        out = static_cast<float>(d);
    return true;
}

// The vertex records the previous reader made of the text after the 84-byte
// preamble check (the whole text is read, as it was).
std::vector<TGLVertex> OldRead(const std::string& text)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    uint64_t capacity = 0;
    ForEachLine(begin, end, [&](const char* b, const char* e) {
        Trim(b, e);
        if (e - b >= 6 && EqualsNoCase(b, b + 5, "facet") && b[5] == ' ') capacity += 3;
    });
    std::vector<TGLVertex> out;
    float normal[3] = {0.0f, 0.0f, 0.0f};
    ForEachLine(begin, end, [&](const char* b, const char* e) {
        TToken t[5];
        int count = OldTokenize(b, e, t, 5);
        if (count < 4) return;
        if (count >= 5 && EqualsNoCase(t[0].Begin, t[0].End, "facet") && EqualsNoCase(t[1].Begin, t[1].End, "normal")) {
            for (int k = 0; k < 3; ++k)
                OldConvert(t[2 + k], normal[k]);
            NormalizeVector(normal[0], normal[1], normal[2]);
        } else if (EqualsNoCase(t[0].Begin, t[0].End, "vertex") && out.size() < capacity) {
            float p[3];
            for (int k = 0; k < 3; ++k)
                if (!OldConvert(t[1 + k], p[k])) return;
            out.emplace_back();
            SetGLVertex(out.back(), normal, p);
        }
    });
    return out;
}

// ---- generated files ----

std::string Number(std::mt19937& rnd, int style)
{
    static const char* const kOdd[] = {"nan", "-INF", "1e39", "-3.5e38", "1e-46", "1.4e-45", "0x10", "1,5",
                                       "--1", "7.",   ".5",   "1e",      "+0",    "-0",      "x"};
    char text[64];
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const double v = unit(rnd);
    switch (style) {
    case 0: std::snprintf(text, sizeof text, "%e", v * 100); break;
    case 1: std::snprintf(text, sizeof text, "%.1f", v * 100); break;
    case 2: std::snprintf(text, sizeof text, "%.9g", v * 3e38); break;
    case 3: std::snprintf(text, sizeof text, "%.9g", v * 1e-40); break;
    default: return kOdd[rnd() % (sizeof kOdd / sizeof kOdd[0])];
    }
    return text;
}

// About bytes of text after a solid line: facets in the given number style,
// and, as often as oddity asks (0..100), lines of every other kind.
std::string MakeText(uint32_t seed, int style, int oddity, size_t bytes)
{
    std::mt19937 rnd(seed);
    std::string s = "solid compare" + std::string(90, ' ') + "\n";
    const char* const breaks[] = {"\n", "\r\n", "\r"};
    auto odd = [&] { return static_cast<int>(rnd() % 100) < oddity; };
    auto num = [&] { return Number(rnd, odd() ? 4 : style); };
    auto brk = [&] { return odd() ? breaks[rnd() % 3] : "\n"; };
    while (s.size() < bytes) {
        if (odd()) {
            switch (rnd() % 6) {
            case 0: s += "facet\tnormal " + num() + " " + num() + " " + num() + brk(); break;
            case 1: s += "  facet normal 1 x " + num() + brk(); break;
            case 2: s += "; comment " + std::string(rnd() % 2 ? 40 : 300000, 'c') + brk(); break;
            case 3:
                for (int i = rnd() % 40; i > 0; --i)
                    s += "vertex " + num() + " " + num() + " " + num() + brk();
                break;
            case 4: s += "FACET " + std::string(rnd() % 2 ? "\n" : "x\n"); break;
            default: s += "vertex 1 2\n  \t\n"; break;
            }
        }
        s += "  facet normal " + num() + " " + num() + " " + num() + (odd() ? " ; note" : "") + brk();
        s += "    outer loop\n";
        for (int k = 0; k < 3; ++k)
            s += "      vertex " + num() + " " + num() + " " + num() + (odd() ? " 9 ; note" : "") + brk();
        s += "    endloop\n  endfacet\n";
    }
    return s + "endsolid compare\n";
}

void ExpectSameAsBefore(const std::string& text, const std::string& label)
{
    SCOPED_TRACE(label);
    const std::string path = test::WriteTempFile("compare.stl", text);
    TMeshData m;
    const bool ok = m.LoadFromFile(test::Wide(path), "");
    std::filesystem::remove(path);
    const std::vector<TGLVertex> old = OldRead(text);
    ASSERT_TRUE(ok) << m.ErrorMsg;
    ASSERT_EQ(static_cast<size_t>(m.VertexCount), old.size());
    EXPECT_EQ(m.InfoText, "STL ASCII  |  Triangles: " + std::to_string(old.size() / 3) +
                              "  |  Vertices: " + std::to_string(old.size()));
    ASSERT_EQ(m.IndexCount, m.VertexCount);
    ASSERT_TRUE(m.Indices.empty());
    for (size_t i = 0; i < old.size(); ++i)
        ASSERT_EQ(std::memcmp(&m.Vertices[i], &old[i], sizeof(TGLVertex)), 0) << "vertex " << i;
    // The box the chunks kept is the one of the whole array.
    const float loaded[4] = {m.CenterX, m.CenterY, m.CenterZ, m.Radius};
    m.ComputeBounds();
    const float whole[4] = {m.CenterX, m.CenterY, m.CenterZ, m.Radius};
    EXPECT_EQ(std::memcmp(loaded, whole, sizeof loaded), 0);
}

TEST(StlAsciiCompare, GeneratedFilesReadInPartsAsBefore)
{
    // 4.5 MB each: above the size from which a file is read in parts.
    constexpr size_t kBytes = 4500000;
    const struct {
        int Style, Oddity;
    } kinds[] = {{0, 0}, {1, 0}, {2, 5}, {3, 5}, {0, 30}, {1, 60}, {4, 10}, {1, 100}};
    uint32_t seed = 1;
    for (const auto& kind : kinds) {
        const std::string label = "style " + std::to_string(kind.Style) + ", oddity " + std::to_string(kind.Oddity);
        ExpectSameAsBefore(MakeText(seed++, kind.Style, kind.Oddity, kBytes), label);
    }
}

TEST(StlAsciiCompare, NormalsCarryAcrossParts)
{
    // Normal lines only in the first few bytes, then a long run of vertices
    // ("facet ." counts a facet and sets no normal): every later part starts
    // with the first part's last normal, or keeps components of it.
    std::string s = "solid carry" + std::string(90, ' ') + "\nfacet normal 0 3 4\n";
    for (int i = 0; i < 3; ++i)
        s += "facet normal 1 2 x\n";
    for (int i = 0; s.size() < 9000000; ++i)
        s += "facet .\nvertex " + std::to_string(i) + " 1 2\n" + (i % 50000 == 49999 ? "facet normal y z 1\n" : "");
    s += "facet normal 0 0 1\n";
    ExpectSameAsBefore(s, "carry");
}

TEST(StlAsciiCompare, AHugeLineIsReadOnce)
{
    // A 30 MB line straddling chunks, its head a vertex: it must not be
    // scanned again for every few kilobytes that arrive.
    std::string s = "solid long" + std::string(90, ' ') + "\nfacet normal 0 0 1\nvertex";
    while (s.size() < 30000000)
        s += " 1 2 3 vertex";
    s += "\nvertex 4 5 6\nvertex 7 8 9\n";
    test::RunWithTimeout(6, "a 30 MB line", [&] { ExpectSameAsBefore(s, "huge line"); });
}

TEST(StlAsciiCompare, RealExportAsBefore)
{
    ExpectSameAsBefore(test::ReadFileBytes(test::DataFile("openscad_overhang_ascii.stl")), "OpenSCAD");
}

}  // namespace
