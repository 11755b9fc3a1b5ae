// The 3MF reader on real packages read by real lib3mf code: Debian's lib3mf
// 1.8.1 behind the 2.x adapter (tests/lib3mf), whose fault plan also makes
// the library fail or answer nonsense on purpose.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <map>
#include <string>
#include <sys/resource.h>

#include "fixture_writer.h"
#include "mesh_data.h"
#include "test_files.h"

namespace voxaro {
namespace {

using test181::TFixture;
using test181::TFixtureMaterial;
using test181::TFixtureObject;
using test181::TFixtureTransform;
using TVec = std::array<double, 3>;

const std::string kAdapter = VOXARO_LIB3MF_ADAPTER_DIR;
const std::string kLoadPrefix = "lib3mf.dll not loaded (";
const std::string kGeneric = "the 3MF Library Error - a generic exception occurred (#5, ";
// The sample's build: the cube and the pyramid each placed by an item and
// once more by a components object, 4 instances of 12 + 6 triangles each.
const char kSample[] = "3MF  |  Objects: 4  |  Vertices: 108  |  Triangles: 36  |  Material: Yes";
const char kSampleShared[] = "3MF  |  Objects: 4  |  Vertices: 26  |  Triangles: 36";
const char kNoTriangleProperties[] = " fail=lib3mf_meshobject_getalltriangleproperties";

// The adapter's fault plan for one scope.
struct TFaults {
    explicit TFaults(const std::string& plan) { setenv("VOXARO_LIB3MF_FAULTS", plan.c_str(), 1); }
    ~TFaults() { unsetenv("VOXARO_LIB3MF_FAULTS"); }
};

bool AdapterLoaded()
{
    void* h = dlopen((kAdapter + "lib3mf.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

// Reads file; the text is InfoText or ErrorMsg.
std::string Read(TMeshData& m, const std::string& file, const std::string& dir = kAdapter)
{
    return m.LoadFromFile(test::Wide(file), dir) ? m.InfoText : m.ErrorMsg;
}

// Handles the adapter gave out during a read of file (the sample) and did not
// get back, and releases of handles it never gave (it is kept loaded to ask).
std::pair<int, int> HandlesLeftByARead(const std::string& file = test::DataFile("lib3mf_object_colours.3mf"))
{
    void* pin = dlopen((kAdapter + "lib3mf.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    auto count = reinterpret_cast<void (*)(int*, int*)>(dlsym(pin, "voxaro_fake_handles"));
    TMeshData m;
    Read(m, file);
    int live = -1, bad = -1;
    count(&live, &bad);
    dlclose(pin);
    return {live, bad};
}

std::string Write(const std::string& name, const TFixture& f)
{
    std::string path = test::TempDir() + "/" + name, error;
    EXPECT_TRUE(test181::Write3mf(f, path, error)) << error;
    return path;
}

// A tetrahedron with outward faces, moved along x.
TFixtureObject Tetra(float dx)
{
    TFixtureObject o;
    o.Vertices = {{{dx, 0, 0}}, {{dx + 10, 0, 0}}, {{dx, 10, 0}}, {{dx, 0, 10}}};
    o.Triangles = {{{0, 2, 1}}, {{0, 1, 3}}, {{0, 3, 2}}, {{1, 2, 3}}};
    return o;
}

TVec Unit(const TVec& v)
{
    double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return {v[0] / l, v[1] / l, v[2] / l};
}

TVec FaceNormal(const TFixtureObject& o, int t)
{
    const auto &a = o.Vertices[o.Triangles[t][0]], &b = o.Vertices[o.Triangles[t][1]],
               &c = o.Vertices[o.Triangles[t][2]];
    TVec u = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, v = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    return Unit({u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]});
}

void ExpectVertex(const TGLVertex& v, const TVec& n, const std::array<int, 4>& rgba)
{
    EXPECT_NEAR(v.NX, n[0], 1e-6);
    EXPECT_NEAR(v.NY, n[1], 1e-6);
    EXPECT_NEAR(v.NZ, n[2], 1e-6);
    EXPECT_EQ((std::array<int, 4>{v.R, v.G, v.B, v.A}), rgba);
}

TEST(ThreeMfReader, SharedAndFlatLayouts)
{
    TFixture f;
    f.Materials = {{200, 10, 20, 255}, {0, 180, 0, 255}, {0, 0, 250, 128}};
    f.Objects = {Tetra(0), Tetra(20)};
    // lib3mf gives the triangles without a material of their own the object's.
    f.Objects[0].TriangleMaterials = {0, -1, 2, -1};
    f.Objects[0].Material = 1;
    TMeshData m;
    ASSERT_EQ(Read(m, Write("layouts.3mf", f)),
              "3MF  |  Objects: 2  |  Vertices: 16  |  Triangles: 8  |  Material: Yes");

    // Flat: three records per triangle, face normal, the triangle's colour.
    const TFixtureObject& flat = f.Objects[0];
    const std::array<int, 4> colours[4] = {{200, 10, 20, 255}, {0, 180, 0, 255}, {0, 0, 250, 128}, {0, 180, 0, 255}};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(m.Indices[i], static_cast<uint32_t>(i));
        EXPECT_EQ(m.Vertices[i].Y, flat.Vertices[flat.Triangles[i / 3][i % 3]][1]);
        ExpectVertex(m.Vertices[i], FaceNormal(flat, i / 3), colours[i / 3]);
    }
    // Shared: one record per vertex, the sum of its triangles' unit normals, offset indices.
    const TFixtureObject& shared = f.Objects[1];
    for (uint32_t k = 0; k < 4; ++k) {
        TVec sum = {0, 0, 0};
        for (int t = 0; t < 4; ++t)
            for (uint32_t corner : shared.Triangles[t])
                if (corner == k)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += FaceNormal(shared, t)[c];
        EXPECT_EQ(m.Vertices[12 + k].X, shared.Vertices[k][0]);
        ExpectVertex(m.Vertices[12 + k], Unit(sum), {160, 160, 160, 255});
    }
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(m.Indices[12 + i], 12 + shared.Triangles[i / 3][i % 3]);
}

// The sample: RedCube (8 vertices) and BluePyramid (5) with object colours,
// placed by build items and by a components object: the cube's two
// placements come first, then the pyramid's.
TEST(ThreeMfReader, ColoursOfARealPackage)
{
    const std::array<int, 4> red = {255, 0, 0, 255}, blue = {0, 0, 255, 255}, grey = {160, 160, 160, 255};
    struct Row {
        std::string Faults, Info;
        std::array<int, 4> Cube, Pyramid;
    } rows[] = {
        // lib3mf gives every triangle its object's material: flat layout.
        {"", kSample, red, blue},
        // Only the first corner's material counts (the other corners name Blue).
        {"cornerpid=3", kSample, red, blue},
        // Without triangle properties the objects share their vertices, in the object colour.
        {kNoTriangleProperties, kSampleShared + std::string("  |  Material: Yes"), red, blue},
        // Refused look-ups stay grey; triangles with properties still count as material.
        {"propertyid=99", kSample, grey, grey},
        {"resourceid=77", kSample, grey, grey},
        {"fail=lib3mf_model_getbasematerialgroupbyid", kSample, grey, grey},
        {"fail=lib3mf_model_getpropertytypebyid", kSample, grey, grey},
        {std::string("propertyid=99") + kNoTriangleProperties, kSampleShared, grey, grey},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Faults);
        TFaults faults(r.Faults);
        TMeshData m;
        ASSERT_EQ(Read(m, test::DataFile("lib3mf_object_colours.3mf")), r.Info);
        int cubes = m.VertexCount == 26 ? 16 : 72;
        for (int32_t i = 0; i < m.VertexCount; ++i) {
            const TGLVertex& v = m.Vertices[i];
            ASSERT_EQ((std::array<int, 4>{v.R, v.G, v.B, v.A}), i < cubes ? r.Cube : r.Pyramid) << i;
        }
        // Items at (10,10,0), (40,10,0) and (10,50,0), the last holding the
        // pyramid 25 further along x: from (10,10,0) to (60,70,20).
        EXPECT_FLOAT_EQ(m.CenterX, 35.0f);
        EXPECT_FLOAT_EQ(m.CenterY, 40.0f);
        EXPECT_FLOAT_EQ(m.CenterZ, 10.0f);
        EXPECT_FLOAT_EQ(m.Radius, 0.5f * std::sqrt(50.0f * 50 + 60 * 60 + 20 * 20));
    }
}

TEST(ThreeMfReader, ModelsWithoutTrianglesAndFilesLib3mfCannotRead)
{
    TFixture none;
    none.Materials = {{1, 2, 3, 255}};
    TMeshData m;
    EXPECT_EQ(Read(m, Write("none.3mf", none)), "No mesh objects found.");
    {
        TFaults empty("trianglecount=0");  // lib3mf 1.8.1 writes no mesh without triangles
        EXPECT_EQ(Read(m, test::DataFile("lib3mf_object_colours.3mf")), "4 mesh object(s), all empty.");
    }
    std::string zip = test::ReadFileBytes(test::DataFile("lib3mf_object_colours.3mf"));
    for (const std::string& file :
         {test::WriteTempFile("notes.txt", "solid but not STL\n"), test::WriteTempFile("zero.3mf", ""),
          test::WriteTempFile("cut.3mf", zip.substr(0, zip.size() / 2)), test::TempDir() + "/missing.3mf"}) {
        std::string error = Read(m, file);
        EXPECT_EQ(error.rfind("3MF read error: " + kGeneric, 0), 0u) << error;
        EXPECT_GT(error.size(), kGeneric.size() + 17) << "lib3mf's own text follows";
    }
    // lib3mf would wait on a FIFO for ever: such files never reach it.
    const std::string fifo = test::TempDir() + "/pipe.3mf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Read(m, fifo), "3MF read error: Cannot open file (not a regular file)");
}

TEST(ThreeMfReader, LibraryThatCannotBeUsed)
{
    const std::string shortDir = VOXARO_LIB3MF_SHORT_DIR, noBuild = VOXARO_LIB3MF_NOBUILD_DIR,
                      missing = test::TempDir() + "/nowhere/";
    const std::string refused = "lib3mf.so): the 3MF Library Error - the version of the binary interface does not "
                                "match the bindings interface (#8, )";
    struct Row {
        std::string Dir, Faults, Error;
    } rows[] = {
        {missing, "",
         kLoadPrefix + missing + "lib3mf.so): the 3MF Library Error - the library could not be loaded (#6, )"},
        {shortDir, "",
         kLoadPrefix + shortDir + "lib3mf.so): could not find function lib3mf_basematerialgroup_getdisplaycolor (7)"},
        {noBuild, "", kLoadPrefix + noBuild + "lib3mf.so): could not find function lib3mf_model_getbuilditems (7)"},
        {kAdapter, "version=2.4.9", kLoadPrefix + kAdapter + refused},
        {kAdapter, "version=3.0.0", kLoadPrefix + kAdapter + refused},
        {kAdapter, "version=1.9.0", kLoadPrefix + kAdapter + refused},
        {kAdapter, "version=2.6.0", kSample},
    };
    for (const Row& r : rows) {
        TFaults faults(r.Faults);
        TMeshData m;
        EXPECT_EQ(Read(m, test::DataFile("lib3mf_object_colours.3mf"), r.Dir), r.Error);
        EXPECT_FALSE(AdapterLoaded());
    }
}

// A failure at any call, or nonsense from the library: the stage's message
// with no partial geometry (or, where only colours or single triangles are at
// stake, a sound mesh), every handle back exactly once, the library unloaded.
TEST(ThreeMfReader, LibraryFailuresAndNonsense)
{
    const std::string injected = kGeneric + "injected failure in ", geometry = "3MF geometry error: ";
    const std::string differ = geometry + "The library's objects differ",
                      tooLarge = "3MF iteration error: The model is too large.";
    struct Row {
        std::string Faults, Expected;  // start of ErrorMsg or InfoText
    } rows[] = {
        {"fail=lib3mf_getlibraryversion", kLoadPrefix},
        {"fail=lib3mf_createmodel", "CreateModel: " + kGeneric + ")"},
        {"fail=lib3mf_model_queryreader", "3MF read error: " + injected + "lib3mf_model_queryreader)"},
        {"fail=lib3mf_reader_readfromfile", "3MF read error: " + injected + "lib3mf_reader_readfromfile)"},
        {"fail=lib3mf_model_getbuilditems", "3MF iteration error: " + injected},
        {"fail=lib3mf_builditemiterator_movenext@3", "3MF iteration error: " + injected},
        {"fail=lib3mf_builditemiterator_getcurrent@2", "3MF iteration error: " + injected},
        {"fail=lib3mf_builditem_getobjecttransform@3", "3MF iteration error: " + injected},
        {"fail=lib3mf_builditem_getobjectresource@1", "3MF iteration error: " + injected},
        {"fail=lib3mf_object_ismeshobject@3", "3MF iteration error: " + injected},
        {"fail=lib3mf_object_iscomponentsobject", "3MF iteration error: " + injected},
        {"fail=lib3mf_resource_getuniqueresourceid@3", "3MF iteration error: " + injected},
        {"fail=lib3mf_componentsobject_getcomponentcount", "3MF iteration error: " + injected},
        {"fail=lib3mf_componentsobject_getcomponent@2", "3MF iteration error: " + injected},
        {"fail=lib3mf_component_gettransform@1", "3MF iteration error: " + injected},
        {"fail=lib3mf_component_getobjectresource@2", "3MF iteration error: " + injected},
        // A components object that claims more components than it holds.
        {"componentcount=3", "3MF iteration error: " + kGeneric},
        {"fail=lib3mf_meshobject_getvertexcount@2", "3MF iteration error: " + injected},
        {"fail=lib3mf_meshobject_getobjectlevelproperty@1", "3MF iteration error: " + injected},
        {"fail=lib3mf_meshobject_gettrianglecount@4", geometry + injected},
        {"fail=lib3mf_meshobject_getvertices@2", geometry + injected},
        {"fail=lib3mf_meshobject_gettriangleindices", geometry + injected},
        // Each look-up of triangle properties is a size query and a fill: call 5 is the
        // first object's in the filling pass (its two cubes share their vertices), call 3
        // the second's in the counting pass.
        {"fail=lib3mf_meshobject_getalltriangleproperties@5", "3MF  |  Objects: 4  |  Vertices: 52  |"},
        {"fail=lib3mf_meshobject_getalltriangleproperties@3", differ},
        // Counts beyond 32 bits, counts that change between the passes, arrays of another size.
        {std::string("vertexcount=4000000000") + kNoTriangleProperties, tooLarge},
        {"trianglecount=800000000", tooLarge},
        {std::string("vertexcount=3000000000@3") + kNoTriangleProperties, differ},
        {"trianglecount=3000000@4", differ},
        {"vertexcount=300@3", geometry + "The library's vertex array does not match its count."},
        {"needed=0", geometry + "The library's vertex array does not match its count."},
        {"needed=4000000000000", geometry + "The library's vertex array does not match its count."},
        // Out-of-range indices: the triangle is skipped in every placement, the counts follow.
        {"badindex", "3MF  |  Objects: 4  |  Vertices: 96  |  Triangles: 32  |  Material: Yes"},
        {std::string("badindex") + kNoTriangleProperties, "3MF  |  Objects: 4  |  Vertices: 26  |  Triangles: 32"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Faults);
        TFaults faults(r.Faults);
        TMeshData m;
        std::string text = Read(m, test::DataFile("lib3mf_object_colours.3mf"));
        EXPECT_EQ(text.rfind(r.Expected, 0), 0u) << text;
        EXPECT_EQ(m.IndexCount % 3, 0);
        for (int32_t i = 0; i < m.IndexCount; ++i)
            ASSERT_LT(m.Indices[i], static_cast<uint32_t>(m.VertexCount));
        if (text != m.InfoText) {
            EXPECT_TRUE(m.Vertices.empty()) << "no partial geometry";
        }
        EXPECT_FALSE(AdapterLoaded());
        EXPECT_EQ(HandlesLeftByARead(), std::make_pair(0, 0)) << "live handles, bad releases";
    }
}

// Our mesh in the line form of the oracle (../shared/oracles): instances,
// area, volume by the triangles' winding, bounding box and area per colour.
std::string Facts(const TMeshData& m)
{
    double area = 0, volume = 0, lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    std::map<std::string, double> colours;
    for (int32_t t = 0; t + 2 < m.IndexCount; t += 3) {
        const TGLVertex *a = &m.Vertices[m.Indices[t]], *b = &m.Vertices[m.Indices[t + 1]],
                        *c = &m.Vertices[m.Indices[t + 2]];
        TVec u = {b->X - a->X, b->Y - a->Y, b->Z - a->Z}, w = {c->X - a->X, c->Y - a->Y, c->Z - a->Z};
        TVec n = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        double triangle = 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        area += triangle;
        volume += (double(a->X) * n[0] + double(a->Y) * n[1] + double(a->Z) * n[2]) / 6;
        char rgb[8];
        std::snprintf(rgb, sizeof rgb, "%02X%02X%02X", a->R, a->G, a->B);
        colours[rgb] += triangle;
        for (const TGLVertex* v : {a, b, c}) {
            const double p[3] = {v->X, v->Y, v->Z};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], p[k]);
                hi[k] = std::max(hi[k], p[k]);
            }
        }
    }
    char line[512];
    std::snprintf(line, sizeof line, "faces %d area %.9g volume %.9g bbox %.6f %.6f %.6f %.6f %.6f %.6f colours ",
                  m.ObjectCount, area, std::fabs(volume), lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
    std::string text = line;
    for (const auto& [rgb, share] : colours)
        text += rgb + ":" + std::to_string(share / area) + ",";
    return text;
}

const std::string kShared = std::string(VOXARO_TEST_DATA) + "/../../../shared/";

std::string Run(const std::string& command)
{
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (size_t n = std::fread(buffer, 1, sizeof buffer, p))
            out.append(buffer, n);
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

std::string Quoted(const std::string& s)
{
    return "'" + s + "'";
}

// The oracle's reading of the package (with --objects: every mesh object once).
std::string OracleFacts(const std::string& file, bool everyObject = false)
{
    return Run("python3 " + kShared + "oracles/threemf_facts.py " + (everyObject ? "--objects " : "") + Quoted(file) +
               " 2>&1");
}

// "ok" when our mesh agrees with the oracle's line, else what differs; only
// is compare_facts.py's --geometry or --styles, or empty for both.
std::string AgainstOracle(const TMeshData& m, const std::string& oracle, const std::string& only)
{
    std::string verdict =
        Run("python3 " + kShared + "oracles/compare_facts.py " + only + " " + Quoted(oracle) + " " + Quoted(Facts(m)));
    return verdict.substr(0, verdict.find('\t')) + "\n  ours:   " + Facts(m) + "\n  oracle: " + oracle;
}

bool HaveOracle()
{
    return std::filesystem::exists(kShared + "oracles/threemf_facts.py");
}

// Agreement with the oracle, when it is there.
void ExpectOracleAgrees(const TMeshData& m, const std::string& file, bool everyObject = false,
                        const std::string& only = "", const std::string& oracle = "")
{
    if (!HaveOracle()) {
        std::printf("  ../shared/oracles is absent: %s not compared with the oracle\n", file.c_str());
        return;
    }
    std::string verdict = AgainstOracle(m, oracle.empty() ? OracleFacts(file, everyObject) : oracle, only);
    EXPECT_EQ(verdict.rfind("ok\n", 0), 0u) << file << ": " << verdict;
}

// The smallest or largest coordinate along axis.
float Extent(const TMeshData& m, int axis, bool largest)
{
    float e = largest ? -1e30f : 1e30f;
    for (int32_t i = 0; i < m.VertexCount; ++i) {
        float p = axis == 0 ? m.Vertices[i].X : axis == 1 ? m.Vertices[i].Y : m.Vertices[i].Z;
        e = largest ? std::max(e, p) : std::min(e, p);
    }
    return e;
}

TFixtureTransform Moved(float x, float y, float z)
{
    return {1, 0, 0, 0, 1, 0, 0, 0, 1, x, y, z};
}

// A quarter turn about z, then moved.
TFixtureTransform Turned(float x, float y, float z)
{
    return {0, 1, 0, -1, 0, 0, 0, 0, 1, x, y, z};
}

// Components two levels deep, a mesh placed by three items and again through
// the components, another scaled; an object no item places is not drawn.
// lib3mf gives every triangle of an object with a material that material:
// all are in the flat layout.
TEST(ThreeMfReader, BuildItemsAndComponents)
{
    TFixture f;
    f.Materials = {{200, 10, 20, 255}, {0, 180, 0, 255}};
    f.Objects = {Tetra(0), Tetra(0), {}, {}, Tetra(1000)};
    f.Objects[0].Material = 0;
    f.Objects[1].TriangleMaterials = {1, -1, 1, -1};
    f.Objects[1].Material = 0;
    f.Objects[2].Components = {{0, Moved(0, 40, 0)}, {1, {2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 20}}};
    f.Objects[3].Components = {{2}, {2, Turned(50, 50, 0)}};
    f.BuildEveryObject = false;
    f.Items = {{0, Moved(100, 0, 0)}, {0, Turned(0, -50, 0)}, {0}, {3}};
    const std::string file = Write("build.3mf", f);
    TMeshData m;
    ASSERT_EQ(Read(m, file), "3MF  |  Objects: 7  |  Vertices: 84  |  Triangles: 28  |  Material: Yes");
    EXPECT_FLOAT_EQ(Extent(m, 0, true), 110.0f);  // the unplaced object at x 1000 is not there
    ExpectOracleAgrees(m, file);
    EXPECT_EQ(HandlesLeftByARead(file), std::make_pair(0, 0)) << "live handles, bad releases";

    // Each mesh's arrays are fetched once (a size query and a fill), however often it is placed.
    {
        TFaults third("fail=lib3mf_meshobject_getvertices@5 fail=lib3mf_meshobject_gettriangleindices@5");
        std::string text = Read(m, file);
        EXPECT_EQ(text.rfind("3MF  |  Objects: 7", 0), 0u) << text;
    }
    // Three placements of 200 million triangles overflow the mesh's counts; two do not.
    {
        TFaults many("trianglecount=200000000");
        EXPECT_EQ(Read(m, file), "3MF iteration error: The model is too large.");
    }
}

// Mirroring placements keep every triangle facing outwards, in both layouts.
TEST(ThreeMfReader, MirroredPlacements)
{
    TFixture f;
    f.Materials = {{200, 10, 20, 255}};
    f.Objects = {Tetra(5), Tetra(5)};
    f.Objects[1].TriangleMaterials = {0, 0, 0, 0};
    f.Objects[1].Material = 0;  // lib3mf 1.8.1 writes triangle materials only with one
    f.BuildEveryObject = false;
    const TFixtureTransform mirror = {-1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0},
                            turnedMirror = {0, -1, 0, -1, 0, 0, 0, 0, 1, 0, 0, 30};
    f.Items = {{0}, {0, mirror}, {1, turnedMirror}, {1}};
    TMeshData m;
    ASSERT_EQ(Read(m, Write("mirror.3mf", f)),
              "3MF  |  Objects: 4  |  Vertices: 32  |  Triangles: 16  |  Material: Yes");
    // Each placement's four triangles follow each other; their corners' mean is inside it.
    double volume = 0;
    for (int32_t t = 0; t < m.IndexCount; t += 3) {
        const int32_t first = t - t % 12;
        TVec centre = {0, 0, 0};
        for (int32_t i = first; i < first + 12; ++i) {
            const TGLVertex& v = m.Vertices[m.Indices[i]];
            centre = {centre[0] + v.X / 12, centre[1] + v.Y / 12, centre[2] + v.Z / 12};
        }
        const TGLVertex *a = &m.Vertices[m.Indices[t]], *b = &m.Vertices[m.Indices[t + 1]],
                        *c = &m.Vertices[m.Indices[t + 2]];
        TVec u = {b->X - a->X, b->Y - a->Y, b->Z - a->Z}, w = {c->X - a->X, c->Y - a->Y, c->Z - a->Z};
        TVec n = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        volume += (a->X * n[0] + a->Y * n[1] + a->Z * n[2]) / 6;
        EXPECT_GT(n[0] * (a->X - centre[0]) + n[1] * (a->Y - centre[1]) + n[2] * (a->Z - centre[2]), 0)
            << "triangle " << t / 3 << " faces inwards";
        for (const TGLVertex* v : {a, b, c})
            EXPECT_GT(v->NX * (v->X - centre[0]) + v->NY * (v->Y - centre[1]) + v->NZ * (v->Z - centre[2]), 0)
                << "normal at triangle " << t / 3;
    }
    EXPECT_NEAR(volume, 4 * 1000.0 / 6, 1e-3);  // each tetrahedron encloses 10*10*10/6, positively
}

// Components nested 64 deep are followed, 65 deep not (nor would a loop be).
TEST(ThreeMfReader, NestingDepth)
{
    for (int depth : {64, 65}) {
        SCOPED_TRACE(depth);
        TFixture f;
        f.Objects = {Tetra(0)};
        for (int d = 0; d < depth; ++d) {
            f.Objects.emplace_back();
            f.Objects.back().Components = {{d, Moved(1, 0, 0)}};
        }
        f.BuildEveryObject = false;
        f.Items = {{depth}};
        const std::string file = Write("deep.3mf", f);
        TMeshData m;
        std::string text = Read(m, file);
        EXPECT_EQ(text, depth == 64 ? "3MF  |  Objects: 1  |  Vertices: 4  |  Triangles: 4" : "No mesh objects found.");
        if (depth == 64) {
            EXPECT_FLOAT_EQ(Extent(m, 0, false), 64.0f);
        } else if (HaveOracle()) {
            EXPECT_EQ(OracleFacts(file), "error no mesh");
        }
    }
    // Each level places the one below twice: 2^24 placements are refused before they are made.
    TFixture f;
    f.Objects = {Tetra(0)};
    for (int d = 0; d < 24; ++d) {
        f.Objects.emplace_back();
        f.Objects.back().Components = {{d}, {d, Moved(0, 0, 1)}};
    }
    f.BuildEveryObject = false;
    f.Items = {{24}};
    TMeshData m;
    EXPECT_EQ(Read(m, Write("wide.3mf", f)), "3MF iteration error: The model is too large.");
}

// Without build items every mesh object is drawn once, where it is.
TEST(ThreeMfReader, EmptyBuild)
{
    TFixture f;
    f.Materials = {{0, 0, 250, 255}};
    f.Objects = {Tetra(0), Tetra(20), {}};
    f.Objects[1].Material = 0;
    f.Objects[2].Components = {{0, Moved(0, 0, 50)}};
    f.BuildEveryObject = false;
    const std::string file = Write("nobuild.3mf", f);
    TMeshData m;
    ASSERT_EQ(Read(m, file), "3MF  |  Objects: 2  |  Vertices: 16  |  Triangles: 8  |  Material: Yes");
    EXPECT_FLOAT_EQ(Extent(m, 2, true), 10.0f);
    ExpectOracleAgrees(m, file, true);
    // An item for one of them: only that one.
    f.Items = {{1}};
    ASSERT_EQ(Read(m, Write("onebuild.3mf", f)),
              "3MF  |  Objects: 1  |  Vertices: 12  |  Triangles: 4  |  Material: Yes");
    EXPECT_FLOAT_EQ(Extent(m, 0, false), 20.0f);
}

// Colour groups colour triangles (by their first corner) and objects, alpha
// included; a triangle without a colour of its own takes its object's.
TEST(ThreeMfReader, ColourGroups)
{
    const TFixtureMaterial red = {220, 20, 30, 255}, green = {10, 200, 40, 255}, glass = {30, 60, 240, 128};
    const TFixtureMaterial grey = {160, 160, 160, 255};
    TFixture f;
    f.Objects = {Tetra(0), Tetra(20), Tetra(40)};
    f.Objects[0].TriangleColours = {red, glass, {}, red};
    f.Objects[0].HasColour = true;
    f.Objects[0].Colour = green;
    f.Objects[1].HasColour = true;
    f.Objects[1].Colour = glass;
    const std::string file = Write("colours.3mf", f);
    TMeshData m;
    ASSERT_EQ(Read(m, file), "3MF  |  Objects: 3  |  Vertices: 28  |  Triangles: 12  |  Material: Yes");
    const TFixtureMaterial expected[12] = {red, glass, green, red, glass, glass, glass, glass, grey, grey, grey, grey};
    for (int t = 0; t < 12; ++t) {
        const TGLVertex& v = m.Vertices[m.Indices[3 * t]];
        const TFixtureMaterial& e = expected[t];
        EXPECT_EQ((std::array<int, 4>{v.R, v.G, v.B, v.A}), (std::array<int, 4>{e.R, e.G, e.B, e.A})) << t;
    }
    ExpectOracleAgrees(m, file);
    EXPECT_EQ(HandlesLeftByARead(file), std::make_pair(0, 0)) << "live handles, bad releases";
    // Colour groups the library will not hand out leave the triangles grey, still counted as coloured.
    TFaults faults("fail=lib3mf_model_getcolorgroupbyid");
    ASSERT_EQ(Read(m, file), "3MF  |  Objects: 3  |  Vertices: 28  |  Triangles: 12  |  Material: Yes");
    for (int32_t i = 0; i < m.VertexCount; ++i)
        EXPECT_EQ((std::array<int, 3>{m.Vertices[i].R, m.Vertices[i].G, m.Vertices[i].B}),
                  (std::array<int, 3>{160, 160, 160}));
}

// Packages other programs wrote (../shared/world): what lib3mf reads is what
// the oracle reads; what lib3mf refuses stays refused, in its words.
TEST(ThreeMfReader, RealPackages)
{
    const std::string world = kShared + "world/";
    if (!std::filesystem::exists(world) || !HaveOracle())
        GTEST_SKIP() << "../shared/world or ../shared/oracles is absent";
    // lib3mf 1.8.1 refuses a metadata name whose prefix is not declared (2.x only warns).
    const std::string refused = "bambustudio176_cubes_external_parts.3mf";
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(world))
        if (entry.path().extension() == ".3mf") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        TMeshData m;
        std::string text = Read(m, file);
        if (std::filesystem::path(file).filename() == refused) {
            EXPECT_EQ(text.rfind("3MF read error: " + kGeneric, 0), 0u) << text;
            continue;
        }
        const std::string oracle = OracleFacts(file);
        if (oracle == "error no mesh") {
            EXPECT_EQ(text, "No mesh objects found.");
        } else {
            ASSERT_EQ(text, m.InfoText) << text;
            ExpectOracleAgrees(m, file, false, "", oracle);
        }
    }
}

// Every result code lib3mf defines is told in its words; others are unknown.
TEST(ThreeMfReader, ResultCodesInLib3mfsWords)
{
    const std::pair<int, std::string> rows[] = {
        {5, "a generic exception occurred"},
        {145, "Invalid triangle set index"},
        {2000, "This object type is not valid for beamlattices"},
        {3004, "A Key or Conentent encryption callback has not been registered"},
        {4003, "The selected node configuration is not supported"},
        {146, "unknown error"},
        {3006, "unknown error"},
    };
    for (const auto& [code, text] : rows) {
        TFaults faults("fail=lib3mf_reader_readfromfile code=" + std::to_string(code));
        TMeshData m;
        EXPECT_EQ(Read(m, test::DataFile("lib3mf_object_colours.3mf")),
                  "3MF read error: the 3MF Library Error - " + text + " (#" + std::to_string(code) +
                      ", injected failure in lib3mf_reader_readfromfile)");
    }
}

#if defined(__SANITIZE_ADDRESS__)
// Debian's lib3mf 1.8.1 leaves libzip buffers behind on some reads; not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libzip.so\n";
}
#else
// The one error that leaves LoadFromFile: the mesh arrays cannot be had.
TEST(ThreeMfReader, MeshThatCannotBeHadIsRaised)
{
    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    rlimit tight = old;
    tight.rlim_cur = 8ull << 30;  // 8 GB of address space; the mesh would need 28 GB
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    TFaults faults("trianglecount=300000000@1");
    TMeshData m;
    EXPECT_THROW(m.LoadFromFile(test::Wide(test::DataFile("lib3mf_object_colours.3mf")), kAdapter), std::bad_alloc);
    setrlimit(RLIMIT_AS, &old);
    EXPECT_FALSE(AdapterLoaded());
}
#endif

}  // namespace
}  // namespace voxaro
