// STL reading: the probe that tells binary from ASCII, both readers, their
// failure texts, and the ASCII number rules. Every file is built here byte by
// byte, apart from the two real exports in tests/data.
#include "mesh_data.h"

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "file_io.h"
#include "test_files.h"

using namespace voxaro;
using voxaro::test::DataFile;
using voxaro::test::ReadFileBytes;
using voxaro::test::TempDir;
using voxaro::test::Wide;
using voxaro::test::WriteTempFile;

namespace {

using Vec3 = std::array<float, 3>;

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

struct TFacet {
    Vec3 Normal;
    Vec3 Corner[3];
};

std::string Le32(uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string F32(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return Le32(bits);
}

std::string Record(const TFacet& f)
{
    std::string r;
    for (float c : f.Normal)
        r += F32(c);
    for (const Vec3& p : f.Corner)
        for (float c : p)
            r += F32(c);
    r += "\x1f\x7c";  // attribute bytes, as some tools store a colour there
    return r;
}

std::string Repeated(const std::string& s, size_t times)
{
    std::string r;
    r.reserve(s.size() * times);
    while (times-- > 0)
        r += s;
    return r;
}

// A binary STL: the header padded to 80 bytes, the count (the number of
// facets unless given), then one 50-byte record per facet.
std::string BinaryStl(const std::vector<TFacet>& facets, std::string header = "binary test", int64_t count = -1)
{
    header.resize(80, ' ');
    std::string out = header + Le32(static_cast<uint32_t>(count < 0 ? static_cast<int64_t>(facets.size()) : count));
    for (const TFacet& f : facets)
        out += Record(f);
    return out;
}

// An ASCII text long enough (over 84 bytes) to pass the binary preamble; the
// first line is a solid line, which the reader skips.
std::string AsciiStl(const std::string& body)
{
    return "solid test" + std::string(90, ' ') + "\n" + body;
}

const std::vector<TFacet> kTwoFacets = {
    {{0, 0, 5}, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}},  // corners wound clockwise: file normal wins
    {{3, 0, 4}, {{-2, 3, 1}, {4, -1, 2}, {1, 1, -6}}},
};

// Writes the bytes to a fresh .stl file, loads it and removes the file.
bool LoadStl(TMeshData& m, const std::string& bytes)
{
    static int serial = 0;
    std::string path = WriteTempFile("stl_" + std::to_string(++serial) + ".stl", bytes);
    bool ok = m.LoadFromFile(Wide(path), "");
    std::filesystem::remove(path);
    return ok;
}

// InfoText after a success, ErrorMsg after a failure (the other text must be empty).
std::string Outcome(const std::string& bytes, bool* okOut = nullptr)
{
    TMeshData m;
    bool ok = LoadStl(m, bytes);
    if (okOut) *okOut = ok;
    EXPECT_EQ(ok ? m.ErrorMsg : m.InfoText, "");
    return ok ? m.InfoText : m.ErrorMsg;
}

std::string BinaryInfo(int triangles)
{
    return "STL Binary  |  Triangles: " + std::to_string(triangles) + "  |  Vertices: " + std::to_string(3 * triangles);
}

std::string AsciiInfo(int vertices)
{
    return "STL ASCII  |  Triangles: " + std::to_string(vertices / 3) + "  |  Vertices: " + std::to_string(vertices);
}

void ExpectVertex(const TMeshData& m, int i, const Vec3& position, const Vec3& normal)
{
    SCOPED_TRACE("vertex " + std::to_string(i));
    ASSERT_LT(i, m.VertexCount);
    const TGLVertex& v = m.Vertices[static_cast<size_t>(i)];
    EXPECT_EQ(v.X, position[0]);
    EXPECT_EQ(v.Y, position[1]);
    EXPECT_EQ(v.Z, position[2]);
    EXPECT_FLOAT_EQ(v.NX, normal[0]);
    EXPECT_FLOAT_EQ(v.NY, normal[1]);
    EXPECT_FLOAT_EQ(v.NZ, normal[2]);
    EXPECT_EQ(v.R, 160);
    EXPECT_EQ(v.G, 160);
    EXPECT_EQ(v.B, 160);
    EXPECT_EQ(v.A, 255);
}

// What holds for every successful STL load with finite coordinates.
void ExpectWellFormed(const TMeshData& m)
{
    EXPECT_EQ(m.ErrorMsg, "");
    EXPECT_EQ(m.ObjectCount, 1);
    EXPECT_FALSE(m.HasMaterial);
    ASSERT_EQ(m.IndexCount, m.VertexCount);
    ASSERT_GE(m.Vertices.size(), static_cast<size_t>(m.VertexCount));
    ASSERT_TRUE(m.Indices.empty());  // three records per triangle, drawn in order
    for (int32_t i = 0; i < m.VertexCount; ++i) {
        const TGLVertex& v = m.Vertices[static_cast<size_t>(i)];
        double len = std::sqrt(double(v.NX) * v.NX + double(v.NY) * v.NY + double(v.NZ) * v.NZ);
        ASSERT_NEAR(len, 1.0, 1e-5) << "vertex " << i;
        ASSERT_TRUE(v.R == 160 && v.G == 160 && v.B == 160 && v.A == 255) << "vertex " << i;
        // The bounding sphere holds every position.
        double dx = v.X - m.CenterX, dy = v.Y - m.CenterY, dz = v.Z - m.CenterZ;
        ASSERT_LE(std::sqrt(dx * dx + dy * dy + dz * dz), m.Radius * (1 + 1e-5)) << "vertex " << i;
    }
}

Vec3 Normalized(Vec3 v)
{
    double len = std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
    return {float(v[0] / len), float(v[1] / len), float(v[2] / len)};
}

// A load of kTwoFacets: the corners in file order under the normalised file
// normals, and the bounds of the corners.
void ExpectTwoFacets(const TMeshData& m, const std::string& infoText)
{
    EXPECT_EQ(m.InfoText, infoText);
    EXPECT_EQ(m.VertexCount, 6);
    EXPECT_EQ(m.IndexCount, 6);
    ExpectWellFormed(m);
    // (0,0,5) becomes (0,0,1) although the corners run clockwise; (3,0,4) becomes (0.6,0,0.8).
    for (int t = 0; t < 2; ++t)
        for (int k = 0; k < 3; ++k)
            ExpectVertex(m, 3 * t + k, kTwoFacets[t].Corner[k], Normalized(kTwoFacets[t].Normal));
    // Box (-2,-1,-6)..(4,3,2): centre (1,1,-2), half-diagonal 0.5 x sqrt(36+16+64).
    EXPECT_FLOAT_EQ(m.CenterX, 1);
    EXPECT_FLOAT_EQ(m.CenterY, 1);
    EXPECT_FLOAT_EQ(m.CenterZ, -2);
    EXPECT_FLOAT_EQ(m.Radius, 0.5f * std::sqrt(116.0f));
}

int OpenFileCount()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

}  // namespace

// ---------------------------------------------------------------------------
// StlProbe: opening, the preamble and the binary/ASCII decision

struct TOutcomeCase {
    const char* Name;
    std::string Bytes;
    std::string Text;  // expected ErrorMsg
};

TEST(StlProbe, FailureTexts)
{
    const TFacet f = kTwoFacets[0];
    const TOutcomeCase cases[] = {
        {"0 bytes", "", "STL: Header missing."},
        {"50 bytes", std::string(50, 's'), "STL: Header missing."},
        {"79 bytes", std::string(79, 's'), "STL: Header missing."},
        {"80 bytes", std::string(80, 's'), "STL: Missing triangle count."},
        {"83 bytes", std::string(80, 's') + std::string("\x01\x00\x00", 3), "STL: Missing triangle count."},
        {"84 bytes, count 0", BinaryStl({}), "STL Binary: No triangles found."},
        // Any size other than 84 + 50 x count is ASCII.
        {"85 bytes, count 0", BinaryStl({}) + " ", "ASCII-STL: No triangles found."},
        {"one trailing byte", BinaryStl({f}) + "\n", "ASCII-STL: No triangles found."},
        {"one byte short", BinaryStl({f}).substr(0, 133), "ASCII-STL: No triangles found."},
        {"count above the records", BinaryStl({f, f}, "h", 3), "ASCII-STL: No triangles found."},
        {"count 0xFFFFFFFF", BinaryStl({f}, "h", 0xFFFFFFFF), "ASCII-STL: No triangles found."},
        // 84 + 50 x 0x80000001 is 134 modulo 2^32: the size check must not wrap.
        {"count 0x80000001, 134 bytes", BinaryStl({f}, "h", 0x80000001), "ASCII-STL: No triangles found."},
        {"text without facet lines", AsciiStl("  outer loop\n    vertex 1 2 3\n    vertex 4 5 6\n    vertex 7 8 9\n"),
         "ASCII-STL: No triangles found."},
        {"facet needs a following space",
         AsciiStl("facet\tnormal 0 0 1\nfacetnormal 0 0 1\n  facet\nFACET\nvertex 1 2 3\nvertex 1 2 3\nvertex 1 2 3\n"),
         "ASCII-STL: No triangles found."},
    };
    const int openBefore = OpenFileCount();
    for (const TOutcomeCase& c : cases) {
        SCOPED_TRACE(c.Name);
        bool ok = true;
        EXPECT_EQ(Outcome(c.Bytes, &ok), c.Text);
        EXPECT_FALSE(ok);
    }
    // The file is closed on every path.
    EXPECT_EQ(OpenFileCount(), openBefore);
}

TEST(StlProbe, OpenFailuresNameTheSystemError)
{
    TMeshData m;
    EXPECT_FALSE(m.LoadFromFile(Wide(TempDir() + "/no-such-file.stl"), ""));
    EXPECT_EQ(m.ErrorMsg, "STL: Cannot open file (error 2)");
    EXPECT_EQ(m.InfoText, "");

    // A folder is refused when it is opened, in the same words on every system.
    const std::string folder = TempDir() + "/folder.stl";
    std::filesystem::create_directories(folder);
    TMeshData d;
    EXPECT_FALSE(d.LoadFromFile(Wide(folder), ""));
    EXPECT_EQ(d.ErrorMsg, "STL: Cannot open file (a folder)");
    EXPECT_EQ(d.InfoText, "");
}

TEST(StlProbe, ExactSizeMeansBinaryWhateverTheHeaderSays)
{
    // The header itself is a complete ASCII facet: read as binary when the
    // size matches, and as that ASCII text when one byte is added.
    std::string header = "solid t\nfacet normal 0 0 1\nvertex 1 2 3\nvertex 4 5 6\nvertex 7 8 9\n";
    header.resize(79, ' ');
    header += '\n';
    const std::string bin = BinaryStl({{{1, 0, 0}, {{10, 11, 12}, {13, 14, 15}, {16, 17, 18}}}}, header);
    ASSERT_EQ(bin.size(), 134u);

    TMeshData b;
    ASSERT_TRUE(LoadStl(b, bin)) << b.ErrorMsg;
    EXPECT_EQ(b.InfoText, BinaryInfo(1));
    ExpectVertex(b, 0, {10, 11, 12}, {1, 0, 0});

    TMeshData a;
    ASSERT_TRUE(LoadStl(a, bin + "\n")) << a.ErrorMsg;
    EXPECT_EQ(a.InfoText, AsciiInfo(3));
    ExpectVertex(a, 0, {1, 2, 3}, {0, 0, 1});
    ExpectVertex(a, 2, {7, 8, 9}, {0, 0, 1});
}

TEST(StlProbe, FileOver4GiBIsNeverBinary)
{
    // 84 + 50 x 90,000,000 bytes matches the count but needs more than 32 bits;
    // such a file is ASCII and therefore too large. Sparse, so it costs nothing.
    const std::string path = WriteTempFile("huge.stl", BinaryStl({}, "huge", 90000000));
    std::error_code ec;
    std::filesystem::resize_file(path, 84 + 50ull * 90000000, ec);
    if (ec) GTEST_SKIP() << "cannot make a sparse file: " << ec.message();
    TMeshData m;
    EXPECT_FALSE(m.LoadFromFile(Wide(path), ""));
    EXPECT_EQ(m.ErrorMsg, "ASCII-STL: File too large (max. 64 MB).");
    std::filesystem::remove(path);
}

TEST(StlProbe, EveryPrefixOfABinaryFileLoadsOrFailsCleanly)
{
    const std::string full = BinaryStl(kTwoFacets);
    ASSERT_EQ(full.size(), 184u);
    for (size_t len = 0; len <= full.size(); ++len) {
        SCOPED_TRACE("length " + std::to_string(len));
        bool ok = false;
        const std::string text = Outcome(full.substr(0, len), &ok);
        if (len < 80)
            EXPECT_EQ(text, "STL: Header missing.");
        else if (len < 84)
            EXPECT_EQ(text, "STL: Missing triangle count.");
        else if (len < full.size())
            EXPECT_EQ(text, "ASCII-STL: No triangles found.");
        else
            EXPECT_EQ(text, BinaryInfo(2));
        EXPECT_EQ(ok, len == full.size());
    }
}

TEST(StlProbe, EveryPrefixOfAnAsciiFileLoadsOrFailsCleanly)
{
    const std::string full = "solid sweep\r\n"
                             "  facet normal 0 0 1\r\n"
                             "    outer loop\r\n"
                             "      vertex 1.5 -2.25 3e1\r\n"
                             "      vertex 4 5 6\r\n"
                             "      vertex -7.125 8 9\r\n"
                             "    endloop\r\n"
                             "  endfacet\r\n"
                             "  facet normal 0 -1 0\r\n"
                             "    outer loop\r\n"
                             "      vertex 1 1 1\r\n"
                             "      vertex 2 2 2.5E-1\r\n"
                             "      vertex 3 3 3\r\n"
                             "    endloop\r\n"
                             "  endfacet\r\n"
                             "endsolid sweep\r\n";
    const Vec3 positions[6] = {{1.5f, -2.25f, 30}, {4, 5, 6}, {-7.125f, 8, 9}, {1, 1, 1}, {2, 2, 0.25f}, {3, 3, 3}};
    const Vec3 normals[6] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, -1, 0}, {0, -1, 0}, {0, -1, 0}};

    for (size_t len = 0; len <= full.size(); ++len) {
        SCOPED_TRACE("length " + std::to_string(len));
        const std::string prefix = full.substr(0, len);
        TMeshData m;
        const bool ok = LoadStl(m, prefix);
        if (len < 80) {
            EXPECT_EQ(m.ErrorMsg, "STL: Header missing.");
            continue;
        }
        if (len < 84) {
            EXPECT_EQ(m.ErrorMsg, "STL: Missing triangle count.");
            continue;
        }
        // The first facet line lies within the first 84 bytes, so every
        // longer prefix loads; vertex lines that end before the cut are stored,
        // a cut line may or may not convert.
        ASSERT_TRUE(ok) << m.ErrorMsg;
        int whole = 0, started = 0;
        for (size_t p = prefix.find("vertex"); p != std::string::npos; p = prefix.find("vertex", p + 1)) {
            ++started;
            if (prefix.find('\r', p) != std::string::npos) ++whole;
        }
        EXPECT_GE(m.VertexCount, whole);
        EXPECT_LE(m.VertexCount, started);
        EXPECT_EQ(m.InfoText, AsciiInfo(m.VertexCount));
        for (int i = 0; i < whole; ++i)
            ExpectVertex(m, i, positions[i], normals[i]);
    }
}

// ---------------------------------------------------------------------------
// StlBinary

TEST(StlBinary, StoresRecordsInFileOrderWithNormalisedFileNormals)
{
    TMeshData m;
    ASSERT_TRUE(LoadStl(m, BinaryStl(kTwoFacets)));
    ExpectTwoFacets(m, "STL Binary  |  Triangles: 2  |  Vertices: 6");
}

TEST(StlBinary, NormalsComeFromTheFileNeverFromTheCorners)
{
    // The same counter-clockwise xy corners (which would give (0,0,1)) under
    // different file normals.
    const Vec3 a = {0, 0, 0}, b = {1, 0, 0}, c = {0, 1, 0};
    const struct {
        Vec3 File;
        Vec3 Stored;
    } cases[] = {
        {{0, 0, 0}, {0, 0, 1}},      {{0, 0, 5}, {0, 0, 1}},    {{0, 0, -1}, {0, 0, -1}},
        {{1, 0, 0}, {1, 0, 0}},      {{0, -2, 0}, {0, -1, 0}},  {{3, 4, 0}, {0.6f, 0.8f, 0}},
        {{1e-13f, 0, 0}, {0, 0, 1}}, {{kNaN, 0, 0}, {0, 0, 1}}, {{0, 0.5f, 0}, {0, 1, 0}},
    };
    std::vector<TFacet> facets;
    for (const auto& k : cases)
        facets.push_back({k.File, {a, b, c}});
    TMeshData m;
    ASSERT_TRUE(LoadStl(m, BinaryStl(facets)));
    ASSERT_EQ(m.VertexCount, static_cast<int32_t>(3 * facets.size()));
    for (size_t t = 0; t < facets.size(); ++t) {
        SCOPED_TRACE("facet " + std::to_string(t));
        for (int k = 0; k < 3; ++k)
            ExpectVertex(m, static_cast<int>(3 * t) + k, facets[t].Corner[k], cases[t].Stored);
    }
}

TEST(StlBinary, PositionsAreTheFileValuesUnchanged)
{
    const std::vector<TFacet> facets = {
        {{0, 0, 1}, {{1e-30f, -0.0f, 123456.789f}, {-3e30f, 0.1f, 7}, {FLT_MAX, -FLT_MIN, 1}}},
    };
    TMeshData m;
    ASSERT_TRUE(LoadStl(m, BinaryStl(facets)));
    for (int k = 0; k < 3; ++k) {
        const TGLVertex& v = m.Vertices[static_cast<size_t>(k)];
        const float got[3] = {v.X, v.Y, v.Z};
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_EQ(std::memcmp(&got[axis], &facets[0].Corner[k][axis], 4), 0) << "corner " << k << " axis " << axis;
    }
}

// Large files are converted in parts side by side: every record must still
// land at its own place, with its neighbours' parts joined without a gap, and
// the box the parts keep must be the one of all finite positions.
TEST(StlBinary, LargeFileKeepsEveryRecordInPlace)
{
    const uint32_t count = 120000;  // 6 MB, past the size worth splitting
    std::vector<TFacet> facets(count);
    for (uint32_t t = 0; t < count; ++t)
        for (int k = 0; k < 3; ++k)
            facets[t].Corner[k] = {float(t), float(k), -float(t) * 0.5f};
    // Non-finite corners where a part starts and ends, an extreme in the middle.
    facets[0].Corner[0] = {kNaN, 0, 0};
    facets[count - 1].Corner[2] = {1, kInf, 1};
    facets[count / 2].Corner[1] = {1, -5e4f, 1};
    TMeshData m;
    ASSERT_TRUE(LoadStl(m, BinaryStl(facets)));
    ASSERT_EQ(m.VertexCount, static_cast<int32_t>(3 * count));
    for (uint32_t i = 0; i < 3 * count; ++i) {
        const TGLVertex& v = m.Vertices[i];
        const Vec3& want = facets[i / 3].Corner[i % 3];
        if (std::memcmp(&v.X, want.data(), sizeof want) != 0) {
            ADD_FAILURE() << "vertex " << i << " is (" << v.X << ", " << v.Y << ", " << v.Z << ")";
            break;
        }
    }
    const float loaded[4] = {m.CenterX, m.CenterY, m.CenterZ, m.Radius};
    m.ComputeBounds();
    const float whole[4] = {m.CenterX, m.CenterY, m.CenterZ, m.Radius};
    EXPECT_EQ(std::memcmp(loaded, whole, sizeof loaded), 0);
    EXPECT_EQ(m.CenterY, 0.5f * 2 + 0.5f * -5e4f);
}

TEST(StlBinary, ReadErrorNamesTheFirstIncompleteTriangle)
{
    // LoadBinarySTL is handed a file at byte 84 and a count larger than the
    // records that follow (the probe never does that for a file that keeps its size).
    const TFacet f = kTwoFacets[1];
    const struct {
        const char* Name;
        std::string Tail;
        uint32_t Count;
        int FirstMissing;
    } cases[] = {
        {"no records", "", 1, 0},
        {"two of five", Record(f) + Record(f), 5, 2},
        {"half a record", Record(f) + Record(f).substr(0, 49), 2, 1},
        {"half of three", Record(f) + Record(f).substr(0, 25), 3, 1},
        // Read in runs on several cores: the runs after the cut may fail first.
        {"6 MB cut short", Repeated(Record(f), 70001).substr(0, 70000 * 50 + 7), 120000, 70000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = WriteTempFile("short.stl", std::string(80, ' ') + Le32(c.Count) + c.Tail);
        TFile file;
        ASSERT_TRUE(file.Open(Wide(path)));
        char preamble[84];
        ASSERT_EQ(file.ReadFull(preamble, 84), 84u);
        TMeshData m;
        EXPECT_FALSE(m.LoadBinarySTL(file, c.Count));
        EXPECT_EQ(m.ErrorMsg, "STL Binary: Read error at triangle " + std::to_string(c.FirstMissing) + ".");
        EXPECT_EQ(m.InfoText, "");
        // The counts keep the full size; the triangles before the failure are stored.
        EXPECT_EQ(m.VertexCount, static_cast<int32_t>(3 * c.Count));
        EXPECT_EQ(m.IndexCount, static_cast<int32_t>(3 * c.Count));
        for (int i = 0; i < 3 * c.FirstMissing; ++i)
            ExpectVertex(m, i, f.Corner[i % 3], Normalized(f.Normal));
    }
}

TEST(StlBinary, OpenScadGearFile)
{
    // 1304 triangles (tests/data/README.md): 84 + 50 x 1304 bytes.
    const std::string path = DataFile("openscad_gear_bin.stl");
    const std::string bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 84u + 50u * 1304u);
    TMeshData m;
    ASSERT_TRUE(m.LoadFromFile(Wide(path), "")) << m.ErrorMsg;
    EXPECT_EQ(m.InfoText, "STL Binary  |  Triangles: 1304  |  Vertices: 3912");
    ASSERT_EQ(m.VertexCount, 3912);
    ExpectWellFormed(m);
    // Positions are the record's corners bit for bit; normals the record's, normalised.
    for (int t = 0; t < 1304; ++t) {
        float rec[12];
        std::memcpy(rec, bytes.data() + 84 + 50 * t, sizeof rec);
        const Vec3 n = Normalized({rec[0], rec[1], rec[2]});
        for (int k = 0; k < 3; ++k) {
            const TGLVertex& v = m.Vertices[static_cast<size_t>(3 * t + k)];
            ASSERT_TRUE(v.X == rec[3 + 3 * k] && v.Y == rec[4 + 3 * k] && v.Z == rec[5 + 3 * k]) << "triangle " << t;
            ASSERT_NEAR(v.NX, n[0], 1e-6f);
            ASSERT_NEAR(v.NY, n[1], 1e-6f);
            ASSERT_NEAR(v.NZ, n[2], 1e-6f);
        }
    }
}

// ---------------------------------------------------------------------------
// StlAscii

TEST(StlAscii, ReadsFacetsAndVertices)
{
    TMeshData m;
    ASSERT_TRUE(LoadStl(m, AsciiStl("  facet normal 0 0 5\n"
                                    "    outer loop\n"
                                    "      vertex 0 0 0\n"
                                    "      vertex 0 1 0\n"
                                    "      vertex 1 0 0\n"
                                    "    endloop\n"
                                    "  endfacet\n"
                                    "  facet normal 3 0 4\n"
                                    "    outer loop\n"
                                    "      vertex -2 3 1\n"
                                    "      vertex 4 -1 2\n"
                                    "      vertex 1 1 -6\n"
                                    "    endloop\n"
                                    "  endfacet\n"
                                    "endsolid test\n")));
    ExpectTwoFacets(m, "STL ASCII  |  Triangles: 2  |  Vertices: 6");
}

struct TAsciiCase {
    const char* Name;
    std::string Body;
    std::vector<Vec3> Positions;  // every stored vertex, in order
    std::vector<Vec3> Normals;    // one per stored vertex
};

TEST(StlAscii, LineRules)
{
    const Vec3 z = {0, 0, 1}, y = {0, 1, 0}, x = {1, 0, 0};
    const std::string v123 = "vertex 1 2 3\nvertex 4 5 6\nvertex 7 8 9\n";
    const std::vector<Vec3> p123 = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    const TAsciiCase cases[] = {
        {"upper-case keywords",
         "FACET NORMAL 0 0 1\nOUTER LOOP\nVERTEX 1 2 3\nVERTEX 4 5 6\nVERTEX 7 8 9\nENDLOOP\nENDFACET\n",
         p123,
         {z, z, z}},
        {"mixed case",
         "Facet Normal 0 -3 0\n Vertex 1 2 3\nvErTeX 4 5 6\nvertex 7 8 9\n",
         p123,
         {{0, -1, 0}, {0, -1, 0}, {0, -1, 0}}},
        {"tabs between tokens",
         "facet normal\t0\t2\t0\n\tvertex\t1\t2\t3\n\t\tvertex 4\t5 6\nvertex\t7 8\t\t9\n",
         p123,
         {y, y, y}},
        {"control characters are blanks",
         "\x0b facet normal 1 0 0 \x0c\n\x01vertex 1 2 3\x1f\nvertex 4 5 6\nvertex 7 8 9\n",
         p123,
         {x, x, x}},
        {"no final line end", "facet normal 0 0 1\nvertex 1 2 3\nvertex 4 5 6\nvertex 7 8 9", p123, {z, z, z}},
        {"block structure not checked",
         "endloop\nfacet normal 0 0 1\nendsolid\nvertex 1 2 3\nhello there old friend\n"
         "outer loop\nvertex 4 5 6\n\n\nvertex 7 8 9\nendfacet\nendfacet\n",
         p123,
         {z, z, z}},
        {"extra tokens after the numbers",
         "facet normal 0 0 1 9 9\nvertex 1 2 3 4\nvertex 4 5 6 x\nvertex 7 8 9\n",
         p123,
         {z, z, z}},
        {"exponents",
         "facet normal 0 0 1\nvertex 1.5E+03 -2e-2 +3E1\nvertex 0 0 0\nvertex 1 1 1\n",
         {{1500, -0.02f, 30}, {0, 0, 0}, {1, 1, 1}},
         {z, z, z}},
        {"normal carried to the next facet line of 4 tokens",
         "facet normal 0 1 0\nvertex 1 0 0\nvertex 2 0 0\nvertex 3 0 0\n"
         "facet normal 0 0\nvertex 4 0 0\nvertex 5 0 0\nvertex 6 0 0\n",
         {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}, {6, 0, 0}},
         {y, y, y, y, y, y}},
        // (0.6, 0, 0.8) from the first facet; "a 0 1" keeps x: (0.6, 0, 1) / sqrt(1.36).
        {"component that does not convert keeps the previous one",
         "facet normal 3 0 4\nvertex 1 0 0\nvertex 2 0 0\nvertex 3 0 0\n"
         "facet normal a 0 1\nvertex 4 0 0\nvertex 5 0 0\nvertex 6 0 0\n",
         {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}, {6, 0, 0}},
         {{0.6f, 0, 0.8f},
          {0.6f, 0, 0.8f},
          {0.6f, 0, 0.8f},
          {0.51449576f, 0, 0.85749293f},
          {0.51449576f, 0, 0.85749293f},
          {0.51449576f, 0, 0.85749293f}}},
        {"first normal starts from zero", "facet normal x 5 y\n" + v123, p123, {y, y, y}},
        {"zero normal falls back", "facet normal 0 0 0\n" + v123, p123, {z, z, z}},
        {"NaN normal falls back", "facet normal 1 nan 0\n" + v123, p123, {z, z, z}},
        // Not counted (capacity 3 from the first line) but read by the filling pass.
        {"facet and tab",
         "facet normal 0 0 1\nfacet\tnormal 1 0 0\n" + v123 + "vertex 10 11 12\nvertex 13 14 15\n",
         p123,
         {x, x, x}},
        {"surplus vertices ignored",
         "facet normal 0 0 1\n" + v123 + "vertex 10 11 12\nvertex 13 14 15\nvertex 16 17 18\n",
         p123,
         {z, z, z}},
        // The comma line is skipped; later corners move up by one: 5 vertices, 1 triangle.
        {"comma decimal separator",
         "facet normal 0 0 1\nvertex 0 0 0\nvertex 1,5 0 0\nvertex 2 0 0\n"
         "facet normal 0 1 0\nvertex 3 0 0\nvertex 4 0 0\nvertex 5 0 0\n",
         {{0, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}},
         {z, z, y, y, y}},
        {"vertex line of 3 tokens skipped", "facet normal 0 0 1\nvertex 1 2\nvertex 1 2 3\nvertex\n", {{1, 2, 3}}, {z}},
        {"vertex with a bad middle number skipped",
         "facet normal 0 0 1\nvertex 1 x 3\nvertex 4 5 6\n",
         {{4, 5, 6}},
         {z}},
        {"keywords are whole tokens",
         "facet normal 0 0 1\nvertexx 1 2 3\nvertices 1 2 3\nfacets normal 1 0 0\nfacet normals 1 0 0\n"
         "facet normal\nvertex 4 5 6\n",
         {{4, 5, 6}},
         {z}},
        // The normal is taken as it stands, before any facet line: (0, 0, 0).
        {"vertices before the first facet line",
         v123 + "facet normal 0 0 1\n",
         p123,
         {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
        {"no vertex converts", "facet normal 0 0 1\nvertex a b c\nvertex 1,0 2,0 3,0\n", {}, {}},
    };
    for (const TAsciiCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_EQ(c.Positions.size(), c.Normals.size());
        TMeshData m;
        ASSERT_TRUE(LoadStl(m, AsciiStl(c.Body))) << m.ErrorMsg;
        EXPECT_EQ(m.InfoText, AsciiInfo(static_cast<int>(c.Positions.size())));
        ASSERT_EQ(m.VertexCount, static_cast<int32_t>(c.Positions.size()));
        EXPECT_EQ(m.IndexCount, m.VertexCount);
        EXPECT_EQ(m.ObjectCount, 1);
        EXPECT_FALSE(m.HasMaterial);
        for (size_t i = 0; i < c.Positions.size(); ++i)
            ExpectVertex(m, static_cast<int>(i), c.Positions[i], c.Normals[i]);
    }
}

TEST(StlAscii, LineEnds)
{
    for (const char* eol : {"\n", "\r\n", "\r", "\n\r", "\r\r\n"}) {
        SCOPED_TRACE(::testing::PrintToString(std::string(eol)));
        std::string body;
        for (const char* line : {"facet normal 0 1 0", "outer loop", "vertex 1 2 3", "vertex 4 5 6", "vertex 7 8 9",
                                 "endloop", "endfacet", "facet normal 1 0 0", "vertex -1 -2 -3"})
            body += std::string(line) + eol;
        TMeshData m;
        ASSERT_TRUE(LoadStl(m, "solid x" + std::string(90, ' ') + eol + body)) << m.ErrorMsg;
        EXPECT_EQ(m.InfoText, "STL ASCII  |  Triangles: 1  |  Vertices: 4");
        ExpectVertex(m, 0, {1, 2, 3}, {0, 1, 0});
        ExpectVertex(m, 2, {7, 8, 9}, {0, 1, 0});
        ExpectVertex(m, 3, {-1, -2, -3}, {1, 0, 0});
    }
}

TEST(StlAscii, SizeLimitIsExactly64MiB)
{
    const size_t limit = 67108864;
    std::string text = AsciiStl("facet normal 0 0 1\nvertex 1 2 3\nvertex 4 5 6\nvertex 7 8 9\n");
    text.resize(limit, ' ');
    TMeshData m;
    ASSERT_TRUE(LoadStl(m, text)) << m.ErrorMsg;
    EXPECT_EQ(m.InfoText, "STL ASCII  |  Triangles: 1  |  Vertices: 3");

    text += ' ';
    TMeshData big;
    EXPECT_FALSE(LoadStl(big, text));
    EXPECT_EQ(big.ErrorMsg, "ASCII-STL: File too large (max. 64 MB).");
}

TEST(StlAscii, OpenScadOverhangFile)
{
    // 332 triangles (tests/data/README.md).
    const std::string path = DataFile("openscad_overhang_ascii.stl");
    TMeshData m;
    ASSERT_TRUE(m.LoadFromFile(Wide(path), "")) << m.ErrorMsg;
    EXPECT_EQ(m.InfoText, "STL ASCII  |  Triangles: 332  |  Vertices: 996");
    ASSERT_EQ(m.VertexCount, 996);
    ExpectWellFormed(m);

    // Each vertex is its line's numbers rounded to float, under the facet's normal.
    std::istringstream in(ReadFileBytes(path));
    std::string word;
    Vec3 normal = {0, 0, 0};
    int n = 0;
    while (in >> word) {
        if (word == "normal") {
            double a, b, c;
            in >> a >> b >> c;
            normal = Normalized({float(a), float(b), float(c)});
        } else if (word == "vertex") {
            double a, b, c;
            in >> a >> b >> c;
            ASSERT_LT(n, 996);
            const TGLVertex& v = m.Vertices[static_cast<size_t>(n)];
            ASSERT_TRUE(v.X == float(a) && v.Y == float(b) && v.Z == float(c)) << "vertex " << n;
            ASSERT_NEAR(v.NX, normal[0], 1e-6f);
            ASSERT_NEAR(v.NY, normal[1], 1e-6f);
            ASSERT_NEAR(v.NZ, normal[2], 1e-6f);
            ++n;
        }
    }
    EXPECT_EQ(n, 996);
}

// ---------------------------------------------------------------------------
// StlNumbers: which vertex tokens convert, and to what

TEST(StlNumbers, TokenConversion)
{
    const std::string len255 = "1." + std::string(253, '0');
    const std::string len256 = "1." + std::string(254, '0');
    // Few digits but a long exponent: the length rule holds for short numbers too.
    const std::string exp255 = "1e" + std::string(252, '0') + "1";
    const std::string exp256 = "1e" + std::string(253, '0') + "1";
    const struct {
        std::string Token;
        bool Converts;
        float Value;
    } cases[] = {
        {"0", true, 0.0f},
        {"-0", true, -0.0f},
        {"+7", true, 7},
        {"007", true, 7},
        {"1.5", true, 1.5f},
        {"-2.25", true, -2.25f},
        {"1.5E+03", true, 1500},
        {"25e-1", true, 2.5f},
        {"1E2", true, 100},
        {"0.1", true, 0.1f},
        // Just above the midpoint between 1 and the next float: the double
        // is the midpoint itself, which rounds to even, 1.
        {"1.0000000596046447753906251", true, 1.0f},
        {"1e-50", true, 0.0f},
        {"-1e-50", true, -0.0f},
        {"1e39", true, kInf},
        {"-1e39", true, -kInf},
        {"3.4028235e38", true, FLT_MAX},  // above FLT_MAX, below the rounding midpoint
        {"3.4028236e38", true, kInf},
        {"inf", true, kInf},
        {"-inf", true, -kInf},
        {"+INF", true, kInf},
        {"nan", true, kNaN},
        {"-NaN", true, kNaN},
        {"+nan", true, kNaN},
        {len255, true, 1.0f},
        {len256, false, 0},
        {std::string(256, '0'), false, 0},
        {exp255, true, 10},
        {exp256, false, 0},
        {"1,5", false, 0},
        {"1.5.2", false, 0},
        {"--1", false, 0},
        {"+-1", false, 0},
        {"1e", false, 0},
        {"1e+", false, 0},
        {"e5", false, 0},
        {"1x", false, 0},
        {"0x10", false, 0},
        {"infinity", false, 0},
        {"nana", false, 0},
        {"in", false, 0},
        {"-", false, 0},
        {".", false, 0},
        {"1.5f", false, 0},
        {"1d5", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Token.size() > 40 ? c.Token.substr(0, 20) + "... (" + std::to_string(c.Token.size()) + ")"
                                         : c.Token);
        TMeshData m;
        ASSERT_TRUE(LoadStl(m, AsciiStl("facet normal 0 0 1\nvertex " + c.Token + " 0 0\n"))) << m.ErrorMsg;
        if (!c.Converts) {
            EXPECT_EQ(m.VertexCount, 0);
            EXPECT_EQ(m.InfoText, "STL ASCII  |  Triangles: 0  |  Vertices: 0");
            continue;
        }
        ASSERT_EQ(m.VertexCount, 1);
        const float got = m.Vertices[0].X;
        if (std::isnan(c.Value)) {
            EXPECT_TRUE(std::isnan(got)) << got;
        } else {
            EXPECT_EQ(std::memcmp(&got, &c.Value, 4), 0) << "got " << got << ", want " << c.Value;
        }
    }
}

TEST(StlNumbers, SpecialValuesLoadButStayOutOfTheBounds)
{
    TMeshData m;
    ASSERT_TRUE(LoadStl(m, AsciiStl("facet normal 0 0 1\nvertex nan 0 0\nvertex 1 2 3\nvertex -INF 5 6\n")));
    EXPECT_EQ(m.InfoText, "STL ASCII  |  Triangles: 1  |  Vertices: 3");
    EXPECT_TRUE(std::isnan(m.Vertices[0].X));
    EXPECT_EQ(m.Vertices[2].X, -kInf);
    // The one finite position is the whole box.
    EXPECT_EQ(m.CenterX, 1.0f);
    EXPECT_EQ(m.CenterY, 2.0f);
    EXPECT_EQ(m.CenterZ, 3.0f);
    EXPECT_EQ(m.Radius, 1.0f);
}

TEST(StlNumbers, DecimalsRoundThroughDoubleToFloat)
{
    // Random plain decimals, and decimals at or just beside a midpoint between
    // two floats (odd multiples of half a float step, which are integers above
    // 2^24), checked against the C library's double conversion rounded to float.
    std::mt19937 rng(12345);
    auto digits = [&](int n) {
        std::string d;
        for (int i = 0; i < n; ++i)
            d += static_cast<char>('0' + rng() % 10);
        return d;
    };
    std::vector<std::string> tokens;
    for (int i = 0; i < 600; ++i) {
        const uint64_t mid = ((uint64_t{1} << 24) + 2 * (rng() % (1u << 23)) + 1) << (rng() % 12);
        const std::string m = std::to_string(mid), below = std::to_string(mid - 1);
        for (const std::string& t : {m, "-" + m, m + ".00000000001", below + ".99999999999",
                                     m.substr(0, 1) + "." + m.substr(1) + "E+" + std::to_string(m.size() - 1)})
            tokens.push_back(t);
        // The same midpoint with k trailing zeros and exponent -k.
        for (size_t k = 1; m.size() + k <= 16; ++k)
            tokens.push_back(m + std::string(k, '0') + "e-" + std::to_string(k));
        // Just above it, with 16 to 19 significant digits.
        for (int j = 0; j < 3 && m.size() < 16; ++j) {
            const size_t fraction = 16 + rng() % 4 - m.size();
            const size_t zeros = rng() % fraction;
            tokens.push_back(m + "." + std::string(zeros, '0') + digits(static_cast<int>(fraction - zeros)));
        }
    }
    std::string body;
    while (tokens.size() < 30000) {
        std::string t = (rng() % 3 == 0) ? "-" : (rng() % 5 == 0) ? "+" : "";
        const int whole = static_cast<int>(rng() % 9), fraction = static_cast<int>(rng() % 14);
        t += whole == 0 && fraction == 0 ? "0" : digits(whole);
        if (fraction > 0 || rng() % 4 == 0) t += "." + digits(fraction);
        if (t.find_first_of("0123456789") == std::string::npos) t += "0";
        if (rng() % 3 == 0)
            t += std::string(rng() % 2 ? "e" : "E") +
                 (rng() % 2   ? "-"
                  : rng() % 2 ? "+"
                              : "") +
                 std::to_string(rng() % 31);
        if (std::fabs(std::strtod(t.c_str(), nullptr)) > 1e37) continue;
        tokens.push_back(t);
    }
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (i % 3 == 0) body += "facet normal 0 0 1\n";
        body += "vertex " + tokens[i] + " 0 0\n";
    }
    TMeshData m;
    ASSERT_TRUE(LoadStl(m, AsciiStl(body)));
    ASSERT_EQ(m.VertexCount, static_cast<int32_t>(tokens.size()));
    for (int i = 0; i < m.VertexCount; ++i) {
        const float want = static_cast<float>(std::strtod(tokens[static_cast<size_t>(i)].c_str(), nullptr));
        const float got = m.Vertices[static_cast<size_t>(i)].X;
        ASSERT_EQ(std::memcmp(&got, &want, 4), 0)
            << tokens[static_cast<size_t>(i)] << ": got " << got << ", want " << want;
    }
}
