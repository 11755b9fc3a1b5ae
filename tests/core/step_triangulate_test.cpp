// Face triangulation. The reader clips ears without rescanning; here a plain
// version of the rule (rescan from the first corner after every cut, test
// every remaining corner) is the reference, and both must write the same
// triangles in the same order.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <algorithm>
#include <array>

#include "mesh_data.h"
#include "reader_error.h"
#include "step_scene.h"
#include "step_test_util.h"
#include "test_files.h"

namespace voxaro {
namespace {

struct P2 {
    double U, V;
};
double Cross(P2 a, P2 b, P2 p)
{
    return (b.U - a.U) * (p.V - a.V) - (b.V - a.V) * (p.U - a.U);
}
double Area2(const std::vector<P2>& p)
{
    double s = 0;
    for (size_t j = 0; j < p.size(); ++j)
        s += p[j].U * p[(j + 1) % p.size()].V - p[j].V * p[(j + 1) % p.size()].U;
    return p.size() < 3 ? 0 : s;
}

double PolygonArea(const TStepScene& s, const std::vector<int32_t>& loop);

bool ProperlyCross(P2 a, P2 b, P2 c, P2 d)
{
    auto opposite = [](double x, double y) { return (x > 1e-12 && y < -1e-12) || (x < -1e-12 && y > 1e-12); };
    return opposite(Cross(a, b, c), Cross(a, b, d)) && opposite(Cross(c, d, a), Cross(c, d, b));
}

// The plain rule for one face: its triangles as point-index triples, and
// whether the bridged polygon was free of crossing edges.
struct TReference {
    std::vector<std::array<int32_t, 3>> Triangles;
    bool Simple = true;
};

TReference ReferenceFace(const TStepScene& s, const TStepFace& f)
{
    auto pt = [&](int32_t i) { return s.Points[static_cast<size_t>(i)]; };
    double nx = 0, ny = 0, nz = 0;
    for (size_t j = 0; j < f.Outer.size(); ++j) {
        TStepVec3 a = pt(f.Outer[j]), b = pt(f.Outer[(j + 1) % f.Outer.size()]);
        nx += (a.Y - b.Y) * (a.Z + b.Z), ny += (a.Z - b.Z) * (a.X + b.X), nz += (a.X - b.X) * (a.Y + b.Y);
    }
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (len > 1e-12)
        nx /= len, ny /= len, nz /= len;
    else
        nx = 0, ny = 0, nz = 1;
    const double ax = std::fabs(nx), ay = std::fabs(ny), az = std::fabs(nz);
    const int axis = (az >= ax && az >= ay) ? 0 : ax > ay ? 2 : 1;
    auto uv = [&](int32_t i) {
        TStepVec3 p = pt(i);
        return axis == 0 ? P2{p.X, p.Y} : axis == 1 ? P2{p.X, p.Z} : P2{p.Y, p.Z};
    };
    auto uvs = [&](const std::vector<int32_t>& loop) {
        std::vector<P2> out;
        for (int32_t i : loop)
            out.push_back(uv(i));
        return out;
    };
    std::vector<int32_t> poly = f.Outer;
    if (Area2(uvs(poly)) < 0) std::reverse(poly.begin(), poly.end());
    for (std::vector<int32_t> hole : f.Holes) {
        if (hole.size() < 3) continue;
        if (Area2(uvs(hole)) > 0) std::reverse(hole.begin(), hole.end());
        size_t m = 0;
        for (size_t j = 1; j < hole.size(); ++j)
            if (uv(hole[j]).U > uv(hole[m]).U || (uv(hole[j]).U == uv(hole[m]).U && uv(hole[j]).V < uv(hole[m]).V))
                m = j;
        const double um = uv(hole[m]).U;
        long b = -1;
        for (size_t j = 0; j < poly.size(); ++j)
            if (uv(poly[j]).U >= um - 1e-12 && (b < 0 || uv(poly[j]).U - um < uv(poly[b]).U - um))
                b = static_cast<long>(j);
        if (b < 0) {
            b = 0;
            for (size_t j = 1; j < poly.size(); ++j)
                if (uv(poly[j]).U > uv(poly[b]).U) b = static_cast<long>(j);
        }
        std::vector<int32_t> joined(poly.begin(), poly.begin() + b + 1);
        for (size_t k = 0; k <= hole.size(); ++k)
            joined.push_back(hole[(m + k) % hole.size()]);
        joined.push_back(poly[b]);
        joined.insert(joined.end(), poly.begin() + b + 1, poly.end());
        poly = joined;
    }
    TReference ref;
    const size_t r = poly.size();
    std::vector<P2> p = uvs(poly);
    for (size_t i = 0; i < r; ++i)
        for (size_t j = i + 2; j < r; ++j)
            if (!(i == 0 && j == r - 1) && ProperlyCross(p[i], p[i + 1], p[j], p[(j + 1) % r])) ref.Simple = false;
    if (r == 3) {
        ref.Triangles.push_back({poly[0], poly[1], poly[2]});
        return ref;
    }
    double a = 0;
    for (size_t k = 0; k < r; ++k)
        a += Cross(p[0], p[k], p[(k + 1) % r]);
    auto beyond = [&](double c) { return a >= 0 ? c > 1e-12 : c < -1e-12; };
    std::vector<size_t> rest(r);
    for (size_t k = 0; k < r; ++k)
        rest[k] = k;
    while (rest.size() > 3) {  // the first ear, scanning from the first corner after every cut
        const size_t n = rest.size();
        size_t found = n;
        for (size_t l = 0; l < n && found == n; ++l) {
            P2 pp = p[rest[(l + n - 1) % n]], pc = p[rest[l]], pn = p[rest[(l + 1) % n]];
            if (!beyond(Cross(pp, pc, pn))) continue;
            bool blocked = false;
            for (size_t q = 0; q < n && !blocked; ++q)
                if (q != l && q != (l + n - 1) % n && q != (l + 1) % n)
                    blocked = beyond(Cross(pp, pc, p[rest[q]])) && beyond(Cross(pc, pn, p[rest[q]])) &&
                              beyond(Cross(pn, pp, p[rest[q]]));
            if (!blocked) found = l;
        }
        if (found == n) {
            if (f.Holes.empty())
                for (size_t k = 1; k + 1 < n; ++k)
                    ref.Triangles.push_back({poly[rest[0]], poly[rest[k]], poly[rest[k + 1]]});
            return ref;
        }
        ref.Triangles.push_back({poly[rest[(found + n - 1) % n]], poly[rest[found]], poly[rest[(found + 1) % n]]});
        rest.erase(rest.begin() + static_cast<long>(found));
    }
    ref.Triangles.push_back({poly[rest[0]], poly[rest[1]], poly[rest[2]]});
    return ref;
}

// Positions written for one face's reference triangles, degenerate ones left
// out, each wound as the face's normal points.
std::vector<float> Positions(const TStepScene& s, const std::vector<std::array<int32_t, 3>>& triangles,
                             const TStepVec3& normal)
{
    std::vector<float> out;
    for (const auto& t : triangles) {
        TStepVec3 a = s.Points[t[0]], b = s.Points[t[1]], c = s.Points[t[2]];
        double ux = b.X - a.X, uy = b.Y - a.Y, uz = b.Z - a.Z, vx = c.X - a.X, vy = c.Y - a.Y, vz = c.Z - a.Z;
        double ex = uy * vz - uz * vy, ey = uz * vx - ux * vz, ez = ux * vy - uy * vx;
        if (ex * ex + ey * ey + ez * ez < 1e-16) continue;
        if (ex * normal.X + ey * normal.Y + ez * normal.Z < 0) std::swap(b, c);
        for (const TStepVec3& q : {a, b, c})
            out.insert(out.end(), {float(q.X), float(q.Y), float(q.Z)});
    }
    return out;
}

std::vector<float> MeshPositions(const TMeshData& m)
{
    std::vector<float> out;
    for (int32_t i = 0; i < m.VertexCount; ++i)
        out.insert(out.end(), {m.Vertices[i].X, m.Vertices[i].Y, m.Vertices[i].Z});
    return out;
}

double TrianglesArea(const std::vector<float>& p)
{
    double area = 0;
    for (size_t i = 0; i + 8 < p.size(); i += 9) {
        const double ux = p[i + 3] - p[i], uy = p[i + 4] - p[i + 1], uz = p[i + 5] - p[i + 2];
        const double vx = p[i + 6] - p[i], vy = p[i + 7] - p[i + 1], vz = p[i + 8] - p[i + 2];
        area += 0.5 * std::sqrt(std::pow(uy * vz - uz * vy, 2) + std::pow(uz * vx - ux * vz, 2) +
                                std::pow(ux * vy - uy * vx, 2));
    }
    return area;
}

double PolygonArea(const TStepScene& s, const std::vector<int32_t>& loop)
{
    double nx = 0, ny = 0, nz = 0;
    for (size_t j = 0; j < loop.size(); ++j) {
        TStepVec3 a = s.Points[loop[j]], b = s.Points[loop[(j + 1) % loop.size()]];
        nx += a.Y * b.Z - a.Z * b.Y, ny += a.Z * b.X - a.X * b.Z, nz += a.X * b.Y - a.Y * b.X;
    }
    return 0.5 * std::sqrt(nx * nx + ny * ny + nz * nz);
}

// The outer loop's area less the holes'.
double FaceArea(const TStepScene& s, const TStepFace& f)
{
    double area = PolygonArea(s, f.Outer);
    for (const auto& h : f.Holes)
        if (h.size() >= 3) area -= PolygonArea(s, h);
    return area;
}

// The triangles cover the faces exactly: their areas add up to the faces'
// (up to the rounding of the mesh's single-precision positions).
void ExpectFacesCovered(const TStepScene& scene, const TMeshData& mesh)
{
    double faces = 0;
    for (const TStepFace& f : scene.Faces)
        faces += FaceArea(scene, f);
    EXPECT_NEAR(TrianglesArea(MeshPositions(mesh)), faces, 1e-5 * faces + 1e-4);
}

// Triangulates one face on its own: the triangles cover it, and where the
// plain rule covers it too (its bridges cross nothing), they are the plain
// rule's triangles. Returns whether they were compared.
bool CoveredAsByThePlainRule(const TStepScene& scene, const TStepFace& face)
{
    TStepScene one;
    one.Points.Resize(static_cast<size_t>(scene.PointCount));
    std::copy(scene.Points.data(), scene.Points.data() + scene.PointCount, one.Points.data());
    one.PointCount = scene.PointCount;
    one.Faces = {face};
    TMeshData mesh;
    TriangulateFaces(one, mesh, UINT64_MAX);
    ExpectFacesCovered(one, mesh);

    TReference ref = ReferenceFace(scene, face);
    const std::vector<float> expected = Positions(scene, ref.Triangles, FaceNormal(scene, face));
    const double area = FaceArea(scene, face);
    if (!ref.Simple || std::fabs(TrianglesArea(expected) - area) > 1e-6 * area) return false;
    EXPECT_EQ(MeshPositions(mesh), expected);
    return true;
}

TEST(StepTriangulation, RealPartsAreCoveredExactly)
{
    for (const char* name : {"occt_plate_holes.step", "occt_perforated_plate.step", "occt_coloured_faces.step"}) {
        SCOPED_TRACE(name);
        TStepScene scene;
        LoadSceneFaces(scene, test::ReadFileBytes(test::DataFile(name)));
        TMeshData mesh;
        TriangulateFaces(scene, mesh, UINT64_MAX);
        ExpectFacesCovered(scene, mesh);
        for (const TStepFace& f : scene.Faces)
            CoveredAsByThePlainRule(scene, f);
    }
}

// A random simple polygon around (cx, cy) of n corners, one in each of n
// equal sectors at a random angle and radius; every seventh corner is put on
// the edge before it, in line with its neighbours.
std::vector<P2> StarPolygon(std::mt19937& rng, int n, double cx, double cy, double r0, double r1)
{
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<P2> out;
    for (int i = 0; i < n; ++i) {
        const double a = (i + 0.8 * unit(rng)) * 2 * M_PI / n, r = r0 + (r1 - r0) * unit(rng);
        out.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
        if (i >= 2 && i % 7 == 0)
            out[out.size() - 2] = {(out[out.size() - 3].U + out.back().U) / 2,
                                   (out[out.size() - 3].V + out.back().V) / 2};
    }
    return out;
}

TEST(StepTriangulation, RandomFacesAreCovered)
{
    std::mt19937 rng(20261208);
    TStepScene scene;
    FillBuffer(scene, "");
    InitPointHash(scene);
    int compared = 0;
    const int rounds = 300;
    for (int round = 0; round < rounds; ++round) {
        const int plane = round % 4;  // faces facing z, y and x, and a tilted one
        auto place = [&](P2 p) {
            switch (plane) {
            case 0: return TStepVec3{p.U, p.V, 0.3};
            case 1: return TStepVec3{p.U, 2, p.V};
            case 2: return TStepVec3{5, p.U, p.V};
            default: return TStepVec3{p.U, p.V, 0.4 * p.U - 0.2 * p.V};
            }
        };
        auto loop = [&](std::vector<P2> corners) {
            if (rng() % 2) std::reverse(corners.begin(), corners.end());
            TStepIntArray out;
            for (P2 c : corners)
                out.push_back(AddPoint(scene, place(c)));
            return out;
        };
        // The outer loop holds the circle of radius 0.5; up to four holes sit
        // in their own quarters of it.
        TStepFace face;
        face.Outer = loop(StarPolygon(rng, 12 + static_cast<int>(rng() % 150), 0, 0, 0.6, 1.0));
        const int holes = static_cast<int>(rng() % 5);
        for (int h = 0; h < holes; ++h) {
            const double cx = (h & 1) ? 0.18 : -0.18, cy = (h & 2) ? 0.18 : -0.18;
            face.Holes.push_back(loop(StarPolygon(rng, 3 + static_cast<int>(rng() % 12), cx, cy, 0.03, 0.12)));
        }
        if (round % 25 == 0) face.Holes.push_back({face.Outer[0], face.Outer[1]});  // two points: not bridged
        compared += CoveredAsByThePlainRule(scene, face) ? 1 : 0;
    }
    EXPECT_GT(compared, rounds / 2);
}

TEST(StepTriangulation, WorkIsBounded)
{
    TStepScene scene;  // a circle of 20,000 corners
    FillBuffer(scene, "");
    InitPointHash(scene);
    TStepFace circle;
    for (int i = 0; i < 20000; ++i)
        circle.Outer.push_back(AddPoint(scene, {std::cos(i * 2 * M_PI / 20000), std::sin(i * 2 * M_PI / 20000), 0}));
    scene.Faces = {circle};
    TMeshData mesh;
    TriangulateFaces(scene, mesh, 100000000);
    EXPECT_LE(mesh.IndexCount / 3, 19998);  // slivers near the first corner are dropped as degenerate
    ExpectFacesCovered(scene, mesh);
    EXPECT_THROW(TriangulateFaces(scene, mesh, 20000), TReaderError);
}

TEST(StepTriangulation, ThinFaceGetsAGridThatFitsItsSize)
{
    // 1e12 long, 1e-5 wide, 100 corners: the columns an even grid would want
    // (2.2e9) are past the int range, which UBSan in the asan build reports.
    TStepScene scene;
    FillBuffer(scene, "");
    InitPointHash(scene);
    TStepFace strip;
    for (int i = 0; i < 100; ++i)
        strip.Outer.push_back(AddPoint(scene, {(i < 50 ? i : 99 - i) * (1e12 / 49), i < 50 ? 0 : 1e-5, 0}));
    scene.Faces = {strip};
    TMeshData mesh;
    TriangulateFaces(scene, mesh, UINT64_MAX);
    ExpectFacesCovered(scene, mesh);
}

}  // namespace
}  // namespace voxaro
