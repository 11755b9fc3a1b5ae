// Face triangulation. Each planar face is projected onto the coordinate plane
// most nearly parallel to it and cut into triangles there (bridging and ear
// clipping, geom/polygon_triangulate.h). Every triangle gets three vertices of
// its own with the face's normal and colour.
#include <algorithm>
#include <cmath>
#include <utility>

#include "geom/polygon_triangulate.h"
#include "mesh_data.h"
#include "reader_error.h"
#include "step_scene.h"

namespace voxaro {

namespace {

TUV Project(const TStepVec3& p, int axis)
{
    switch (axis) {
    case 0: return {p.X, p.Y};
    case 1: return {p.X, p.Z};
    default: return {p.Y, p.Z};
    }
}

// Writes flat-shaded triangles into the mesh; degenerate ones are dropped.
class TTriangleWriter {
public:
    TTriangleWriter(const TStepScene& scene, TMeshData& mesh) : Scene_(scene), Mesh_(mesh) {}
    void SetFace(const float normal[3], uint8_t r, uint8_t g, uint8_t b)
    {
        std::copy(normal, normal + 3, Normal_);
        R_ = r, G_ = g, B_ = b;
    }
    void Emit(int32_t ia, int32_t ib, int32_t ic)
    {
        const TStepVec3& a = Point(ia);
        const TStepVec3& b = Point(ib);
        const TStepVec3& c = Point(ic);
        const double ux = b.X - a.X, uy = b.Y - a.Y, uz = b.Z - a.Z;
        const double vx = c.X - a.X, vy = c.Y - a.Y, vz = c.Z - a.Z;
        const double ex = uy * vz - uz * vy, ey = uz * vx - ux * vz, ez = ux * vy - uy * vx;
        if (!(ex * ex + ey * ey + ez * ez >= 1e-16)) return;
        // Wound as the face's normal points, so that the side facing the
        // viewer is the one lit.
        const bool agrees = ex * Normal_[0] + ey * Normal_[1] + ez * Normal_[2] >= 0;
        for (const TStepVec3* p : {&a, agrees ? &b : &c, agrees ? &c : &b}) {
            const float position[3] = {static_cast<float>(p->X), static_cast<float>(p->Y), static_cast<float>(p->Z)};
            SetGLVertex(Mesh_.Vertices[N_], Normal_, position, R_, G_, B_);
            ++N_;
        }
    }
    // A vertex record made elsewhere (a face drawn on its surface).
    void Copy(const TGLVertex& v) { Mesh_.Vertices[N_++] = v; }
    size_t Written() const { return N_; }

private:
    const TStepVec3& Point(int32_t i) const { return Scene_.Points[static_cast<size_t>(i)]; }
    const TStepScene& Scene_;
    TMeshData& Mesh_;
    size_t N_ = 0;
    float Normal_[3] = {0, 0, 1};
    uint8_t R_ = 0, G_ = 0, B_ = 0;
};

void LoadLoop(const TStepScene& scene, const TStepIntArray& loop, int axis, TPolygon& out)
{
    out.Points.assign(loop.begin(), loop.end());
    out.UV.resize(loop.size());
    for (size_t j = 0; j < loop.size(); ++j)
        out.UV[j] = Project(scene.Points[static_cast<size_t>(loop[j])], axis);
}

void TriangulateFace(const TStepScene& scene, const TStepFace& face, int32_t index, TTriangleWriter& out,
                     TWorkBudget& work, std::vector<TTriangleIds>& triangles)
{
    const TStepVec3 n = FaceNormal(scene, face);
    const float normal[3] = {static_cast<float>(n.X), static_cast<float>(n.Y), static_cast<float>(n.Z)};
    uint8_t r = face.R, g = face.G, b = face.B;
    if (!face.HasColor) StepPaletteColor(index, r, g, b);
    out.SetFace(normal, r, g, b);
    const double ax = std::fabs(n.X), ay = std::fabs(n.Y), az = std::fabs(n.Z);
    const int axis = (az >= ax && az >= ay) ? 0 : (ax > ay ? 2 : 1);

    TPolygon polygon;
    LoadLoop(scene, face.Outer, axis, polygon);
    std::vector<TPolygon> holes(face.Holes.size());
    for (size_t k = 0; k < face.Holes.size(); ++k)
        LoadLoop(scene, face.Holes[k], axis, holes[k]);
    triangles.clear();
    TriangulatePolygon(std::move(polygon), std::move(holes), !face.Holes.empty(), work, triangles);
    for (const TTriangleIds& t : triangles)
        out.Emit(t[0], t[1], t[2]);
}

}  // namespace

TStepVec3 NewellNormal(const TStepScene& scene, const TStepIntArray& loop)
{
    const TStepVec3 n = NewellArea(scene, loop);
    double length = std::sqrt(n.X * n.X + n.Y * n.Y + n.Z * n.Z);
    if (length > 1e-12) return {n.X / length, n.Y / length, n.Z / length};
    return {0, 0, 1};
}

TStepVec3 NewellArea(const TStepScene& scene, const TStepIntArray& loop)
{
    TStepVec3 n{0, 0, 0};
    for (size_t j = 0; j < loop.size(); ++j) {
        const TStepVec3& p = scene.Points[static_cast<size_t>(loop[j])];
        const TStepVec3& q = scene.Points[static_cast<size_t>(loop[(j + 1) % loop.size()])];
        n.X += (p.Y - q.Y) * (p.Z + q.Z);
        n.Y += (p.Z - q.Z) * (p.X + q.X);
        n.Z += (p.X - q.X) * (p.Y + q.Y);
    }
    return n;
}

TStepVec3 FaceNormal(const TStepScene& scene, const TStepFace& face)
{
    // The outside of the largest loop: the outer one, whichever bound the
    // file lists first.
    const TStepIntArray* largest = &face.Outer;
    const TStepVec3 outer = NewellArea(scene, face.Outer);
    double area = Dot(outer, outer);
    for (const TStepIntArray& h : face.Holes) {
        const TStepVec3 m = NewellArea(scene, h);
        if (Dot(m, m) > area) area = Dot(m, m), largest = &h;
    }
    return NewellNormal(scene, *largest);
}

void StepPaletteColor(int32_t i, uint8_t& r, uint8_t& g, uint8_t& b)
{
    r = StepColorByte(((i % 7) * 0.032 + 0.3) * 255);
    g = StepColorByte(((i % 5) * 0.036 + 0.54) * 255);
    b = StepColorByte(std::max(0.0, 0.86 - (i % 9) * 0.018) * 255);
}

namespace {

// Flat faces with straight edges are clipped (bridging holes in and cutting
// ears, which gives the same triangles every time) up to this size; larger
// ones go to the Delaunay triangulation, whose cost grows far slower.
constexpr size_t kMaxClippedHoles = 1000, kMaxClippedCorners = 10000;

bool TooLargeToClip(const TStepFace& face)
{
    size_t corners = face.Outer.size();
    for (const TStepIntArray& h : face.Holes)
        corners += h.size();
    return face.Holes.size() > kMaxClippedHoles || corners > kMaxClippedCorners;
}

// Colour of face i: its own, or the fall-back palette's.
void FaceColor(const TStepFace& face, size_t i, uint8_t rgb[3])
{
    rgb[0] = face.R, rgb[1] = face.G, rgb[2] = face.B;
    if (!face.HasColor) StepPaletteColor(static_cast<int32_t>(i), rgb[0], rgb[1], rgb[2]);
}

}  // namespace

void TriangulateFaces(const TStepScene& scene, TMeshData& mesh, uint64_t workLimit)
{
    TWorkBudget work(workLimit);
    // Curved faces first, into a list of their own: their triangle count is
    // known only once they are meshed. A face that cannot be drawn on its
    // surface is drawn as its polygon below.
    struct TRange {
        size_t Begin = 0, End = 0;
        bool Meshed = false;
    };
    std::vector<TGLVertex> curved;
    std::vector<TRange> onSurface(scene.Faces.size());
    for (size_t i = 0; i < scene.Faces.size(); ++i) {
        const TStepFace& face = scene.Faces[i];
        const bool onItsSurface = face.Surface >= 0 && !face.Loops.empty();
        const bool tooLarge = TooLargeToClip(face);
        if (!onItsSurface && !face.CurvedEdges && !tooLarge) continue;
        uint8_t rgb[3];
        FaceColor(face, i, rgb);
        const size_t begin = curved.size();
        if ((onItsSurface && MeshCurvedFace(scene, face, rgb, work, curved)) ||
            ((!onItsSurface || tooLarge) && MeshFlatFace(scene, face, rgb, work, curved)))
            onSurface[i] = {begin, curved.size(), true};
    }

    uint64_t triangles = curved.size() / 3;
    for (size_t i = 0; i < scene.Faces.size(); ++i) {
        const TStepFace& face = scene.Faces[i];
        if (onSurface[i].Meshed || face.Outer.size() < 3) continue;
        triangles += face.Outer.size() - 2;
        for (const TStepIntArray& h : face.Holes)
            if (h.size() >= 3) triangles += h.size() + 2;
    }
    if (triangles == 0) return;
    if (triangles > UINT32_MAX || !mesh.AllocateOwnRecords(3 * triangles)) throw TOutOfMemory();
    mesh.HasMaterial = true;

    TTriangleWriter writer(scene, mesh);
    std::vector<TTriangleIds> scratch;
    for (size_t i = 0; i < scene.Faces.size(); ++i) {
        if (onSurface[i].Meshed) {
            for (size_t k = onSurface[i].Begin; k < onSurface[i].End; ++k)
                writer.Copy(curved[k]);
        } else if (scene.Faces[i].Outer.size() >= 3) {
            TriangulateFace(scene, scene.Faces[i], static_cast<int32_t>(i), writer, work, scratch);
        }
    }

    const size_t n = writer.Written();
    mesh.VertexCount = mesh.IndexCount = static_cast<int32_t>(n);
    mesh.Vertices.resize(n);
}

}  // namespace voxaro
