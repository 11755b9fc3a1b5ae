// Mesh model rules: the empty state, bounds and radius fallbacks, the vector
// helpers and the choice of reader by file name.
#include "mesh_data.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cwchar>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "test_files.h"

using namespace voxaro;
using voxaro::test::TempDir;
using voxaro::test::Wide;
using voxaro::test::WriteTempFile;

namespace {

using Vec3 = std::array<float, 3>;

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Fills the mesh with vertices at the given positions (VertexCount = all of them).
void SetPositions(TMeshData& m, const std::vector<Vec3>& positions)
{
    m.Vertices.resize(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        m.Vertices[i] = TGLVertex{};
        m.Vertices[i].X = positions[i][0];
        m.Vertices[i].Y = positions[i][1];
        m.Vertices[i].Z = positions[i][2];
    }
    m.VertexCount = static_cast<int32_t>(positions.size());
}

void ExpectEmpty(const TMeshData& m)
{
    EXPECT_TRUE(m.Vertices.empty());
    EXPECT_TRUE(m.Indices.empty());
    EXPECT_EQ(m.VertexCount, 0);
    EXPECT_EQ(m.IndexCount, 0);
    EXPECT_EQ(m.ObjectCount, 0);
    EXPECT_EQ(m.CenterX, 0.0f);
    EXPECT_EQ(m.CenterY, 0.0f);
    EXPECT_EQ(m.CenterZ, 0.0f);
    EXPECT_EQ(m.Radius, 1.0f);
    EXPECT_EQ(m.ErrorMsg, "");
    EXPECT_EQ(m.InfoText, "");
    EXPECT_FALSE(m.HasMaterial);
}

// A binary STL with one triangle spanning (0,0,0) to (2,4,4): 134 bytes.
std::string OneTriangleStl()
{
    std::string bytes(80, ' ');
    bytes += std::string("\x01\x00\x00\x00", 4);
    const float record[12] = {0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 4, 4};
    bytes.append(reinterpret_cast<const char*>(record), sizeof record);
    bytes += std::string(2, '\0');
    return bytes;
}

}  // namespace

// ---------------------------------------------------------------------------
// Empty state

TEST(MeshData, NewObjectIsEmpty)
{
    TMeshData m;
    ExpectEmpty(m);
}

TEST(MeshData, ClearResetsEveryFieldAndReleasesTheArrays)
{
    TMeshData m;
    SetPositions(m, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    m.Indices = {0, 1, 2};
    m.IndexCount = 3;
    m.ObjectCount = 2;
    m.CenterX = 4;
    m.CenterY = 5;
    m.CenterZ = 6;
    m.Radius = 9;
    m.ErrorMsg = "old error";
    m.InfoText = "old info";
    m.HasMaterial = true;

    m.Clear();
    ExpectEmpty(m);
    EXPECT_EQ(m.Vertices.capacity(), 0u);
    EXPECT_EQ(m.Indices.capacity(), 0u);
}

TEST(MeshData, FailedLoadAfterSuccessKeepsNothingOfTheFirstLoad)
{
    TMeshData m;
    ASSERT_TRUE(m.LoadFromFile(Wide(WriteTempFile("mesh_reuse.stl", OneTriangleStl())), ""));
    EXPECT_EQ(m.VertexCount, 3);
    EXPECT_EQ(m.ObjectCount, 1);
    EXPECT_NE(m.InfoText, "");
    m.HasMaterial = true;  // as a coloured model would have left it

    EXPECT_FALSE(m.LoadFromFile(Wide(WriteTempFile("mesh_reuse_bad.stl", std::string(10, 'x'))), ""));
    EXPECT_EQ(m.ErrorMsg, "STL: Header missing.");
    EXPECT_EQ(m.VertexCount, 0);
    EXPECT_EQ(m.IndexCount, 0);
    EXPECT_EQ(m.ObjectCount, 0);
    EXPECT_EQ(m.InfoText, "");
    EXPECT_FALSE(m.HasMaterial);
    EXPECT_EQ(m.Radius, 1.0f);
    EXPECT_EQ(m.CenterX, 0.0f);

    // And a success after the failure carries no error text.
    ASSERT_TRUE(m.LoadFromFile(Wide(WriteTempFile("mesh_reuse.stl", OneTriangleStl())), ""));
    EXPECT_EQ(m.ErrorMsg, "");
}

// ---------------------------------------------------------------------------
// ComputeBounds

struct TBoundsCase {
    const char* Name;
    std::vector<Vec3> Positions;
    int32_t Count;  // VertexCount to use; -1 = all positions
    Vec3 Center;
    float Radius;
};

TEST(MeshData, ComputeBoundsTakesBoxCentreAndHalfDiagonal)
{
    const TBoundsCase cases[] = {
        {"two corners", {{0, 0, 0}, {2, 4, 4}}, -1, {1, 2, 2}, 3.0f},
        // Minimum and maximum of each axis come from different vertices, and
        // the first vertex lies inside the box.
        {"axes separately", {{1, 1.5f, 3}, {0, 3, 6}, {2, 0, 0}}, -1, {1, 1.5f, 3}, 3.5f},
        {"negative box", {{-6, -4, -4}, {-2, -4, -4}}, -1, {-4, -4, -4}, 2.0f},
        {"only the first VertexCount", {{0, 0, 0}, {6, 0, 0}, {100, 100, 100}}, 2, {3, 0, 0}, 3.0f},
        {"single vertex", {{5, -3, 2}}, -1, {5, -3, 2}, 1.0f},
        {"all at one position", {{7, 7, 7}, {7, 7, 7}, {7, 7, 7}}, -1, {7, 7, 7}, 1.0f},
        // Half-diagonal 0.00075 is below 0.001: fallback 1.0.
        {"0.0015 apart", {{0, 0, 0}, {0.0015f, 0, 0}}, -1, {0.00075f, 0, 0}, 1.0f},
        {"0.003 apart", {{0, 0, 0}, {0.003f, 0, 0}}, -1, {0.0015f, 0, 0}, 0.0015f},
        // Exactly 0.001 is not below 0.001.
        {"radius exactly 0.001", {{0, 0, 0}, {0.002f, 0, 0}}, -1, {0.001f, 0, 0}, 0.001f},
        // A NaN coordinate after the first vertex is neither smaller nor greater.
        {"NaN later vertex ignored", {{0, 0, 0}, {kNaN, 0, 0}, {4, 0, 0}}, -1, {2, 0, 0}, 2.0f},
    };
    for (const TBoundsCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMeshData m;
        SetPositions(m, c.Positions);
        if (c.Count >= 0) m.VertexCount = c.Count;
        m.ComputeBounds();
        EXPECT_FLOAT_EQ(m.CenterX, c.Center[0]);
        EXPECT_FLOAT_EQ(m.CenterY, c.Center[1]);
        EXPECT_FLOAT_EQ(m.CenterZ, c.Center[2]);
        EXPECT_FLOAT_EQ(m.Radius, c.Radius);
    }
}

TEST(MeshData, ComputeBoundsWithoutVerticesKeepsCentreAndSetsRadiusOne)
{
    TMeshData m;
    SetPositions(m, {{10, 10, 10}, {20, 20, 20}});  // present but not counted
    m.VertexCount = 0;
    m.CenterX = 4;
    m.CenterY = 5;
    m.CenterZ = 6;
    m.Radius = 9;
    m.ComputeBounds();
    EXPECT_EQ(m.CenterX, 4.0f);
    EXPECT_EQ(m.CenterY, 5.0f);
    EXPECT_EQ(m.CenterZ, 6.0f);
    EXPECT_EQ(m.Radius, 1.0f);
}

// A NaN in the first vertex used to stick in min and max of its axis and make
// the radius NaN: the whole model vanished while the load reported success.
TEST(MeshData, NonFinitePositionsStayOutOfTheBounds)
{
    const float inf = std::numeric_limits<float>::infinity();
    const TBoundsCase cases[] = {
        {"NaN first", {{kNaN, 0, 0}, {1, 1, 1}, {3, 1, 5}}, -1, {2, 1, 3}, std::sqrt(5.0f)},
        {"infinities", {{-inf, 0, 0}, {0, 0, 0}, {0, inf, 0}, {0, 6, 8}}, -1, {0, 3, 4}, 5.0f},
        // Nothing finite: the origin, and the radius of an empty model.
        {"nothing finite", {{kNaN, kNaN, kNaN}, {inf, 0, 0}}, -1, {0, 0, 0}, 1.0f},
        // Finite but huge: neither the centre nor the radius overflows.
        {"huge", {{2e38f, -3e38f, 0}, {3e38f, 3e38f, 0}}, -1, {2.5e38f, 0, 0}, float(0.5 * std::sqrt(37.0) * 1e38)},
    };
    for (const TBoundsCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMeshData m;
        SetPositions(m, c.Positions);
        m.CenterX = m.CenterY = m.CenterZ = 7;
        m.ComputeBounds();
        EXPECT_FLOAT_EQ(m.CenterX, c.Center[0]);
        EXPECT_FLOAT_EQ(m.CenterY, c.Center[1]);
        EXPECT_FLOAT_EQ(m.CenterZ, c.Center[2]);
        EXPECT_FLOAT_EQ(m.Radius, c.Radius);
    }
}

// ---------------------------------------------------------------------------
// NormalizeVector and TriangleNormal

struct TVecCase {
    const char* Name;
    Vec3 In;
    Vec3 Out;
};

TEST(VectorMath, NormalizeVectorScalesToUnitOrFallsBackToZUp)
{
    const TVecCase cases[] = {
        {"3-4-5", {3, 4, 0}, {0.6f, 0.8f, 0}},
        {"z only", {0, 0, 5}, {0, 0, 1}},
        {"negative z keeps its sign", {0, 0, -2}, {0, 0, -1}},
        {"all axes", {2, -3, 6}, {2.0f / 7, -3.0f / 7, 6.0f / 7}},
        {"unit stays", {0, 1, 0}, {0, 1, 0}},
        {"short but above 1e-12", {1e-7f, 0, 0}, {1, 0, 0}},
        {"just above 1e-12", {0, -2e-12f, 0}, {0, -1, 0}},
        {"zero", {0, 0, 0}, {0, 0, 1}},
        {"length 1e-12 (float) is not above", {1e-12f, 0, 0}, {0, 0, 1}},
        {"tiny", {1e-13f, 1e-13f, 0}, {0, 0, 1}},
        {"squares underflow", {1e-20f, 1e-20f, 1e-20f}, {0, 0, 1}},
        {"NaN component", {kNaN, 1, 0}, {0, 0, 1}},
        {"all NaN", {kNaN, kNaN, kNaN}, {0, 0, 1}},
    };
    for (const TVecCase& c : cases) {
        SCOPED_TRACE(c.Name);
        float x = c.In[0], y = c.In[1], z = c.In[2];
        NormalizeVector(x, y, z);
        EXPECT_FLOAT_EQ(x, c.Out[0]);
        EXPECT_FLOAT_EQ(y, c.Out[1]);
        EXPECT_FLOAT_EQ(z, c.Out[2]);
    }
}

struct TTriangleCase {
    const char* Name;
    Vec3 P0, P1, P2;
    Vec3 Normal;
};

TEST(VectorMath, TriangleNormalFollowsWindingAndFallsBackForDegenerates)
{
    const TTriangleCase cases[] = {
        {"counter-clockwise in xy", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {"clockwise in xy", {0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, -1}},
        {"yz plane", {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
        {"xz plane, offset and scaled", {1, 1, 1}, {4, 1, 1}, {1, 1, 5}, {0, -1, 0}},
        // u = (1,0,0), v = (0,4,3): n = (0,-3,4).
        {"tilted", {0, 0, 0}, {1, 0, 0}, {0, 4, 3}, {0, -0.6f, 0.8f}},
        {"three identical corners", {2, 2, 2}, {2, 2, 2}, {2, 2, 2}, {0, 0, 1}},
        {"two identical corners", {1, 2, 3}, {1, 2, 3}, {5, 0, 0}, {0, 0, 1}},
        {"collinear", {0, 0, 0}, {1, 1, 1}, {3, 3, 3}, {0, 0, 1}},
    };
    for (const TTriangleCase& c : cases) {
        SCOPED_TRACE(c.Name);
        float n[3] = {-9, -9, -9};
        TriangleNormal(c.P0.data(), c.P1.data(), c.P2.data(), n);
        EXPECT_FLOAT_EQ(n[0], c.Normal[0]);
        EXPECT_FLOAT_EQ(n[1], c.Normal[1]);
        EXPECT_FLOAT_EQ(n[2], c.Normal[2]);
    }
}

// ---------------------------------------------------------------------------
// Choice of reader by file name

namespace {

// Every file below holds the same valid one-triangle binary STL, so only the
// name decides what happens: the STL reader succeeds, the others fail.
struct TDispatch {
    bool Ok;
    std::string Error;
    std::string Info;
};

TDispatch LoadNamed(const std::string& name)
{
    std::string path = WriteTempFile("dispatch/" + name, OneTriangleStl());
    TMeshData m;
    TDispatch d;
    d.Ok = m.LoadFromFile(Wide(path), TempDir() + "/no-plugin-here/");
    d.Error = m.ErrorMsg;
    d.Info = m.InfoText;
    return d;
}

bool IsStlMessage(const std::string& s)
{
    return s.rfind("STL", 0) == 0 || s.rfind("ASCII-STL", 0) == 0;
}

class MeshDispatch : public ::testing::Test {
protected:
    static void SetUpTestSuite() { std::filesystem::create_directories(TempDir() + "/dispatch"); }
};

}  // namespace

TEST_F(MeshDispatch, StlNamesGoToTheStlReader)
{
    for (const char* name : {"part.stl", "PART.STL", "Part.Stl", "x.sTl"}) {
        SCOPED_TRACE(name);
        TDispatch d = LoadNamed(name);
        EXPECT_TRUE(d.Ok);
        EXPECT_EQ(d.Info, "STL Binary  |  Triangles: 1  |  Vertices: 3");
    }
}

TEST_F(MeshDispatch, StepAndOtherNamesGoToTheirOwnReaders)
{
    // The two non-STL readers answer the same bytes with their own, different texts.
    const TDispatch step = LoadNamed("reference.stp");
    const TDispatch other = LoadNamed("reference.3mf");
    ASSERT_FALSE(step.Ok);
    ASSERT_FALSE(other.Ok);
    ASSERT_NE(step.Error, "");
    ASSERT_NE(other.Error, "");
    ASSERT_FALSE(IsStlMessage(step.Error)) << step.Error;
    ASSERT_FALSE(IsStlMessage(other.Error)) << other.Error;
    ASSERT_NE(step.Error, other.Error);

    for (const char* name : {"part.stp", "part.STEP", "Part.Step", "PART.STP", "part.step"}) {
        SCOPED_TRACE(name);
        TDispatch d = LoadNamed(name);
        EXPECT_FALSE(d.Ok);
        EXPECT_EQ(d.Error, step.Error);
    }
    // Everything else, including a trailing dot or space after ".stl", goes to 3MF.
    for (const char* name :
         {"part.3mf", "part.obj", "README", "ab", "part.stl.", "part.stl ", "part.stlx", "part.tep", "partstl"}) {
        SCOPED_TRACE(name);
        TDispatch d = LoadNamed(name);
        EXPECT_FALSE(d.Ok);
        EXPECT_EQ(d.Error, other.Error);
    }
}

TEST_F(MeshDispatch, ShortNamesAreMatchedOnTheWholeName)
{
    // Relative names that do not exist: only the message's origin matters.
    TMeshData m;
    EXPECT_FALSE(m.LoadFromFile(L".stl", ""));
    EXPECT_EQ(m.ErrorMsg, "STL: Cannot open file (error 2)");

    for (const wchar_t* name : {L"ab", L"stl", L"STL", L"STEP", L""}) {
        SCOPED_TRACE(std::string(name, name + std::wcslen(name)));
        TMeshData s;
        EXPECT_FALSE(s.LoadFromFile(name, ""));
        EXPECT_NE(s.ErrorMsg, "");
        EXPECT_FALSE(IsStlMessage(s.ErrorMsg)) << s.ErrorMsg;
    }
}

namespace voxaro {
namespace {

// Squares of such components overflow a float; the direction must survive.
TEST(VectorMath, HugeComponentsKeepTheirDirection)
{
    float x = 3e19f, y = 4e19f, z = 0;
    NormalizeVector(x, y, z);
    EXPECT_FLOAT_EQ(x, 0.6f);
    EXPECT_FLOAT_EQ(y, 0.8f);
    EXPECT_EQ(z, 0.0f);

    float a = INFINITY, b = 0, c = 0;
    NormalizeVector(a, b, c);
    EXPECT_EQ(a, 0.0f);
    EXPECT_EQ(b, 0.0f);
    EXPECT_EQ(c, 1.0f);
}

}  // namespace
}  // namespace voxaro
