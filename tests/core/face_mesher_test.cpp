// Meshing in a surface's parameters: the constrained Delaunay triangulation
// and faces of closed surfaces checked against their exact area, their
// distance from the surface and the way their normals point.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "geom/face_mesher.h"
#include "geom/uv_mesh.h"

namespace voxaro {
namespace {

double MeshArea(const TUVMesh& m)
{
    double sum = 0;
    for (size_t t = 0; t < m.Tris.size(); ++t)
        sum += m.Area2(static_cast<int32_t>(t)) / 2;
    return sum;
}

// A square loop from (x0, y0) to (x1, y1) with n points on each side (many
// of them in a line, the case plane sweeps get wrong), counter-clockwise.
std::vector<TUV> Square(double x0, double y0, double x1, double y1, int n)
{
    std::vector<TUV> p;
    for (int side = 0; side < 4; ++side)
        for (int k = 0; k < n; ++k) {
            const double t = static_cast<double>(k) / n;
            const TUV corners[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
            const TUV a = corners[side], b = corners[(side + 1) % 4];
            p.push_back({a.U + (b.U - a.U) * t, a.V + (b.V - a.V) * t});
        }
    return p;
}

TEST(UVMesh, BoundsAreKeptAndHolesCutOut)
{
    std::vector<TUV> points = Square(0, 0, 4, 4, 9), hole = Square(1, 1, 3, 2, 5);
    std::vector<std::vector<int32_t>> loops(2);
    for (size_t k = 0; k < points.size(); ++k)
        loops[0].push_back(static_cast<int32_t>(k));
    for (const TUV& p : hole) {
        loops[1].push_back(static_cast<int32_t>(points.size()));
        points.push_back(p);
    }
    TUVMesh mesh;
    TWorkBudget work(10000000);
    ASSERT_TRUE(mesh.Triangulate(points, loops, work));
    EXPECT_NEAR(MeshArea(mesh), 16 - 2, 1e-9);
    std::map<std::pair<int32_t, int32_t>, int> edges;
    for (size_t t = 0; t < mesh.Tris.size(); ++t) {
        EXPECT_GT(mesh.Area2(static_cast<int32_t>(t)), 0);
        for (int k = 0; k < 3; ++k)
            ++edges[{mesh.Tris[t].V[k], mesh.Tris[t].V[(k + 1) % 3]}];
    }
    for (const auto& loop : loops)  // every bound segment is an edge of exactly one triangle
        for (size_t j = 0; j < loop.size(); ++j) {
            const int32_t a = loop[j], b = loop[(j + 1) % loop.size()];
            const int uses = edges[std::make_pair(a, b)] + edges[std::make_pair(b, a)];
            EXPECT_EQ(uses, 1) << a << "-" << b;
        }

    // Points added later keep every triangle on the same area.
    std::vector<int32_t> touched;
    for (int i = 0; i < 200; ++i) {
        const TUVMesh::TTri& r = mesh.Tris[static_cast<size_t>(i * 7) % mesh.Tris.size()];
        TUV c{0, 0};
        for (int32_t v : r.V)
            c.U += mesh.Points[static_cast<size_t>(v)].U / 3, c.V += mesh.Points[static_cast<size_t>(v)].V / 3;
        mesh.Insert(static_cast<int32_t>((i * 7) % mesh.Tris.size()), c, touched);
    }
    EXPECT_NEAR(MeshArea(mesh), 14, 1e-9);
}

struct TFaceCheck {
    double Area = 0, Volume = 0, WorstDistance = 0;
    int Inward = 0;
};

// Area, enclosed volume and the worst distance from the surface at the
// triangles' centres; triangles whose winding disagrees with their normals.
TFaceCheck Check(const TSurface& s, const TMeshedFace& m)
{
    TFaceCheck c;
    for (const TTriangleIds& t : m.Triangles) {
        const TVec3 &a = m.Points[static_cast<size_t>(t[0])], &b = m.Points[static_cast<size_t>(t[1])],
                    &p = m.Points[static_cast<size_t>(t[2])];
        const TVec3 n = Cross(b - a, p - a);
        c.Area += Length(n) / 2;
        c.Volume += Dot(a, Cross(b, p)) / 6;
        const TVec3 normals = m.Normals[static_cast<size_t>(t[0])] + m.Normals[static_cast<size_t>(t[1])] +
                              m.Normals[static_cast<size_t>(t[2])];
        if (Dot(n, normals) < 0) ++c.Inward;
        const TVec3 centre = (a + b + p) * (1.0 / 3);
        double u, v;
        bool pole;
        TUVHint hint;
        SurfaceParam(s, centre, hint, u, v, pole);
        c.WorstDistance = std::max(c.WorstDistance, Length(SurfacePoint(s, u, v) - centre));
    }
    return c;
}

TTrimLoop Circle(double radius, double z, int n, int firstId, bool upwards)
{
    TTrimLoop l;
    for (int k = 0; k < n; ++k) {
        const double a = 2 * kPi * (upwards ? k : -k) / n;
        l.Points.push_back({radius * std::cos(a), radius * std::sin(a), z});
        l.Ids.push_back(firstId + k);
        l.Edges.push_back(firstId);
    }
    return l;
}

TEST(FaceMesher, ClosedSurfacesComeOutWholeWithinTheTolerance)
{
    TFaceQuality q;
    q.Tolerance = 0.01;
    TWorkBudget work(100000000);

    TSurface sphere;
    sphere.Kind = skSphere;
    sphere.Radius = 5;
    TTrimLoop pole;  // a whole sphere bounded by a lone vertex at its south pole
    pole.Points = {{0, 0, -5}}, pole.Ids = {0}, pole.Edges = {-1};
    TMeshedFace m;
    ASSERT_TRUE(MeshFaceOnSurface(sphere, true, {pole}, q, work, m));
    TFaceCheck c = Check(sphere, m);
    EXPECT_NEAR(c.Area, 4 * kPi * 25, 0.01 * 4 * kPi * 25);
    EXPECT_NEAR(c.Volume, 4 * kPi * 125 / 3, 0.02 * 4 * kPi * 125 / 3);
    EXPECT_LE(c.WorstDistance, 1.5 * q.Tolerance);
    EXPECT_EQ(c.Inward, 0);

    // The same sphere as a hole in a solid: its outside faces the centre.
    ASSERT_TRUE(MeshFaceOnSurface(sphere, false, {pole}, q, work, m));
    EXPECT_LT(Check(sphere, m).Volume, 0);

    TSurface torus;
    torus.Kind = skTorus;
    torus.Radius = 6, torus.Radius2 = 2;
    ASSERT_TRUE(MeshFaceOnSurface(torus, true, {}, q, work, m));
    c = Check(torus, m);
    EXPECT_NEAR(c.Area, 4 * kPi * kPi * 12, 0.01 * 4 * kPi * kPi * 12);
    EXPECT_LE(c.WorstDistance, 1.5 * q.Tolerance);
    EXPECT_EQ(c.Inward, 0);
}

TEST(FaceMesher, BandBetweenTwoCirclesWithoutASeam)
{
    TSurface cylinder;
    cylinder.Kind = skCylinder;
    cylinder.Radius = 3;
    TFaceQuality q;
    q.Tolerance = 0.005;
    TWorkBudget work(100000000);
    TMeshedFace m;
    // The bottom circle runs round the axis, the top one back: the side of a solid.
    ASSERT_TRUE(
        MeshFaceOnSurface(cylinder, true, {Circle(3, 0, 48, 0, true), Circle(3, 10, 48, 100, false)}, q, work, m));
    const TFaceCheck c = Check(cylinder, m);
    const double chordArea = 48 * 2 * 3 * std::sin(kPi / 48) * 10;  // the band of the 48-sided prism
    EXPECT_NEAR(c.Area, chordArea, 0.01 * chordArea);
    EXPECT_EQ(c.Inward, 0);
    // Every corner is used as it was given: faces that share them meet.
    std::vector<int> used(200, 0);
    for (const TTriangleIds& t : m.Triangles)
        for (int32_t k : t)
            if (m.Ids[static_cast<size_t>(k)] >= 0) used[static_cast<size_t>(m.Ids[static_cast<size_t>(k)])] = 1;
    for (int k = 0; k < 48; ++k)
        EXPECT_TRUE(used[static_cast<size_t>(k)] && used[static_cast<size_t>(100 + k)]) << k;
}

TEST(FaceMesher, RefusesWhatItCannotDraw)
{
    TSurface cylinder;
    cylinder.Kind = skCylinder;
    cylinder.Radius = 3;
    TFaceQuality q;
    TWorkBudget work(100000000);
    TMeshedFace m;
    EXPECT_FALSE(MeshFaceOnSurface(cylinder, true, {Circle(4, 0, 24, 0, true)}, q, work, m));  // off the surface
    TTrimLoop wild = Circle(3, 0, 24, 0, true);
    wild.Points[5].X = NAN;
    EXPECT_FALSE(MeshFaceOnSurface(cylinder, true, {wild}, q, work, m));
    TSurface torus;
    torus.Kind = skTorus;
    torus.Radius = 1, torus.Radius2 = 2;  // the tube crosses the axis
    EXPECT_FALSE(MeshFaceOnSurface(torus, true, {}, q, work, m));
    EXPECT_TRUE(m.Triangles.empty());
}

}  // namespace
}  // namespace voxaro
